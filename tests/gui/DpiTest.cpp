// Every form at 144 DPI: the test starts a copy of itself with Wine's screen DPI set to 144 and
// checks there that no caption or label is cut, then saves a picture of each page.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/WLMain.h"
#include "app/WLOptions.h"
#include "app/WLProgress.h"
#include "app/WLRootPath.h"
#include "app/WLSelecting.h"
#include "app/forms/Forms.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/ScriptedPrompts.h"
#include "platform/win32/Utf.h"
#include "tests/gui/WindowPicture.h"

namespace tw {
namespace {

constexpr int kTestDpi = 144;
const char kChildVariable[] = "TW_DPI_CHILD";

struct TCut {
  std::string name, text;
  int need, have;
};

std::wstring ClassOf(HWND hwnd) {
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  return cls;
}

bool ShownOnScreen(HWND hwnd) {
  for (HWND h = hwnd; h; h = GetParent(h))
    if (!IsWindowVisible(h)) return false;
  return true;
}

// The width and height the control's text needs in its own font, against what it has.
void CheckText(HWND hwnd, std::vector<TCut>& cuts) {
  std::wstring cls = ClassOf(hwnd);
  bool button = _wcsicmp(cls.c_str(), L"Button") == 0;
  bool label = _wcsicmp(cls.c_str(), L"Static") == 0;
  if (!button && !label) return;
  int n = GetWindowTextLengthW(hwnd);
  if (n == 0) return;
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), n + 1)));
  LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  if (label && (style & (SS_ENDELLIPSIS | SS_PATHELLIPSIS | SS_LEFTNOWORDWRAP))) return;
  RECT client{};
  GetClientRect(hwnd, &client);
  HDC dc = GetDC(hwnd);
  auto font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
  HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(SYSTEM_FONT));
  UINT flags = DT_CALCRECT | ((label && (style & SS_NOPREFIX)) ? DT_NOPREFIX : 0);
  int have = client.right - client.left;
  int dpi = static_cast<int>(GetDpiForWindow(hwnd));
  if (button) {
    LONG type = style & BS_TYPEMASK;
    bool box = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
               type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE;
    // The check mark and its gap, or the push button's frame.
    have -= box ? MulDiv(16, dpi, 96) : MulDiv(6, dpi, 96);
    flags |= DT_SINGLELINE;
  } else {
    flags |= DT_WORDBREAK;
  }
  RECT need{0, 0, have, 0};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need, flags);
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  int height = client.bottom - client.top;
  if (need.right - need.left > have || need.bottom - need.top > height)
    cuts.push_back({forms::ControlName(hwnd), Narrow(text),
                    static_cast<int>(need.right - need.left) * 1000 + (need.bottom - need.top),
                    have * 1000 + height});
}

BOOL CALLBACK CheckChild(HWND hwnd, LPARAM lp) {
  if (ShownOnScreen(hwnd)) CheckText(hwnd, *reinterpret_cast<std::vector<TCut>*>(lp));
  return TRUE;
}

std::string Describe(const std::vector<TCut>& cuts) {
  std::string out;
  for (const auto& c : cuts)
    out += c.name + " \"" + c.text + "\": needs " + std::to_string(c.need / 1000) + "x" +
           std::to_string(c.need % 1000) + ", has " + std::to_string(c.have / 1000) + "x" +
           std::to_string(c.have % 1000) + "\n";
  return out;
}

std::vector<TCut> CutTexts(HWND form) {
  std::vector<TCut> cuts;
  EnumChildWindows(form, CheckChild, reinterpret_cast<LPARAM>(&cuts));
  return cuts;
}

// In the copy started with 144 DPI.
void CheckEveryForm() {
  ASSERT_EQ(static_cast<int>(GetDpiForSystem()), kTestDpi) << "Wine did not take LogPixels";
  MemoryFileSystem fs;
  fs.AddDrive("C:", DriveType::Fixed);
  fs.MakeDirs("C:\\Tidewell");
  MemoryRegistry registry;
  ScriptedPrompts prompts;
  TfWLSelecting selecting;
  TMainEnv env;
  env.Fs = &fs;
  env.Registry = &registry;
  env.Prompts = &prompts;
  env.AppDir = "C:\\Tidewell\\";
  env.ExePath = "C:\\Tidewell\\Tidewell.exe";
  env.ProductKey = "\\Software\\Corvane\\TidewellDpiTest";
  env.QuitOnDestroy = false;
  TfWLMain main(env);
  ASSERT_TRUE(main.Create());
  forms::driver::Pump();
  RECT rc{};
  GetWindowRect(main.Handle(), &rc);
  EXPECT_GE(rc.right - rc.left, 760 * kTestDpi / 96 - 2) << "the window keeps its 96-DPI size";

  const char* const names[] = {"main", "volume", "contents", "add",
                               "restore", "delete", "refresh", "orphaned"};
  for (uint8_t mode : {uint8_t{wmBrowse}, uint8_t{wmRestore}}) {
    main.WizardMode = mode;
    for (int page = 0; page < 8; ++page) {
      main.ShowPage(page);
      forms::driver::Pump();
      auto cuts = CutTexts(main.Handle());
      EXPECT_TRUE(cuts.empty()) << "page " << names[page] << ":\n" << Describe(cuts);
      if (mode == wmBrowse) testing::SavePicture(main.Handle(), std::string("dpi144-") + names[page] + ".bmp");
    }
  }

  TfWLProgress progress(main.Handle());
  ShowWindow(progress.Handle(), SW_SHOW);
  forms::driver::Pump();
  auto cuts = CutTexts(progress.Handle());
  EXPECT_TRUE(cuts.empty()) << "progress:\n" << Describe(cuts);
  testing::SavePicture(progress.Handle(), "dpi144-progress.bmp");
  ShowWindow(progress.Handle(), SW_HIDE);

  TfWLRootPath root(main.Handle());
  ShowWindow(root.Handle(), SW_SHOW);
  forms::driver::Pump();
  cuts = CutTexts(root.Handle());
  EXPECT_TRUE(cuts.empty()) << "root path:\n" << Describe(cuts);
  ShowWindow(root.Handle(), SW_HIDE);

  TOptionsEnv optionsEnv;
  optionsEnv.Owner = main.Handle();
  optionsEnv.VolumeList = &main.VolumeList;
  optionsEnv.Options = &main.Options;
  optionsEnv.Settings = &main.Settings;
  optionsEnv.Registry = &registry;
  optionsEnv.Prompts = &prompts;
  TfWLOptions options(optionsEnv);
  ShowWindow(options.Handle(), SW_SHOW);
  forms::driver::Pump();
  cuts = CutTexts(options.Handle());
  EXPECT_TRUE(cuts.empty()) << "options:\n" << Describe(cuts);
  EXPECT_EQ(SendMessageW(options.Control("VolumesLB"), LB_GETITEMHEIGHT, 0, 0), 16 * kTestDpi / 96);
  testing::SavePicture(options.Handle(), "dpi144-options.bmp");
  ShowWindow(options.Handle(), SW_HIDE);

  ShowWindow(selecting.Handle(), SW_SHOW);
  forms::driver::Pump();
  cuts = CutTexts(selecting.Handle());
  EXPECT_TRUE(cuts.empty()) << "busy:\n" << Describe(cuts);
  ShowWindow(selecting.Handle(), SW_HIDE);
}

TEST(DpiTest, NoCaptionOrLabelOfAnyFormIsCutAt144Dpi) {
  if (std::getenv(kChildVariable)) {
    CheckEveryForm();
    return;
  }
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                            KEY_READ | KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  DWORD old = 0, size = sizeof(old), type = 0;
  bool hadOld = RegQueryValueExW(key, L"LogPixels", nullptr, &type,
                                 reinterpret_cast<BYTE*>(&old), &size) == ERROR_SUCCESS;
  DWORD dpi = kTestDpi;
  RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));

  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=DpiTest.*";
  SetEnvironmentVariableA(kChildVariable, "1");
  STARTUPINFOW si{sizeof(si)};
  PROCESS_INFORMATION pi{};
  BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                nullptr, &si, &pi);
  SetEnvironmentVariableA(kChildVariable, nullptr);
  DWORD code = 99;
  if (started) {
    if (WaitForSingleObject(pi.hProcess, 120000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 98);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  if (hadOld)
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old), sizeof(old));
  else
    RegDeleteValueW(key, L"LogPixels");
  RegCloseKey(key);
  ASSERT_TRUE(started);
  EXPECT_EQ(code, 0u) << "the forms at 144 DPI: see the copy's output above";
}

}  // namespace
}  // namespace tw
