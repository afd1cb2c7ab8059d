// Two processes on one selection file: the extension marking files in this one while the engine
// loads, changes and saves the file in another, both under the named lock. Nothing may be lost.
#include <gtest/gtest.h>
#include <windows.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "platform/win32/Utf.h"
#include "platform/win32/Win32FileSystem.h"
#include "selection/selection.h"
#include "tests/win/ContextMenuDll.h"
#include "tests/win/ProgramCopy.h"
#include "tests/win/RealFiles.h"

namespace tw {
namespace {

const wchar_t kClsid[] = L"{6B0E2D71-4C3A-4F58-9E21-7A5C3D90B1E4}";
constexpr int kRounds = 300;

TEST(SelectionLockTwoProcesses, ThreeHundredMarksAgainstThreeHundredEngineRoundsLoseNoEntry) {
  Win32FileSystem fs;
  const std::string root = fs.TempFolder() + "tw-lock-" + std::to_string(GetCurrentProcessId());
  const std::string marked = root + "\\Marked", prog = root + "\\Prog\\";
  ASSERT_EQ(fs.MakeDirPath(marked), winerr::Success);
  ASSERT_EQ(fs.MakeDirPath(prog), winerr::Success);
  for (int i = 0; i < kRounds; ++i)
    ASSERT_EQ(fs.WriteAtomic(marked + "\\dll" + std::to_string(i) + ".txt", "x"), winerr::Success);
  const std::string tws = prog + "Docs.TWS";
  ASSERT_EQ(fs.WriteAtomic(tws, ""), winerr::Success);
  // The extension finds the program folder and the volume where the program leaves them.
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\Corvane\\Tidewell\\AppPath", nullptr, REG_SZ,
                  Widen(prog + "Tidewell.exe").c_str(),
                  static_cast<DWORD>((prog.size() + 13) * sizeof(wchar_t)));
  RegSetKeyValueW(HKEY_CURRENT_USER, test::kProductKey, L"DefaultVolume", REG_SZ, L"Docs",
                  sizeof(L"Docs"));

  HMODULE dll = LoadLibraryW((test::ModuleFolder() + L"TWContext.dll").c_str());
  ASSERT_TRUE(dll);
  auto getClass = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
      GetProcAddress(dll, "DllGetClassObject"));
  ASSERT_TRUE(getClass);
  CLSID clsid;
  CLSIDFromString(kClsid, &clsid);
  IClassFactory* factory = nullptr;
  ASSERT_EQ(getClass(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);

  // The engine's rounds in the other process, started first so that the two overlap.
  const std::wstring helper = test::ModuleFolder() + L"tw_selection_rounds.exe";
  std::wstring cmd = L"\"" + helper + L"\" rounds " + std::to_wstring(kRounds) + L" \"" +
                     Widen(tws) + L"\" \"" + Widen(marked) + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(helper.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &si, &pi));
  int failedMarks = 0;
  for (int i = 0; i < kRounds; ++i) {
    IShellExtInit* init = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init)),
              S_OK);
    auto* data = new test::THDropData(
        test::DropFilesBytes({Widen(marked + "\\dll" + std::to_string(i) + ".txt")}));
    IContextMenu* menu = nullptr;
    HRESULT hr = init->Initialize(nullptr, data, nullptr);
    data->Release();
    if (SUCCEEDED(hr)) hr = init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
    if (SUCCEEDED(hr)) {
      HMENU popup = CreatePopupMenu();
      menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL);
      CMINVOKECOMMANDINFO info{};
      info.cbSize = sizeof(info);
      info.lpVerb = MAKEINTRESOURCEA(0);
      hr = menu->InvokeCommand(&info);
      menu->Release();
      DestroyMenu(popup);
    }
    init->Release();
    failedMarks += FAILED(hr);
  }
  factory->Release();
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 120000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(failedMarks, 0);

  TWLDesktopNode loaded(fs);
  ASSERT_EQ(loaded.LoadFromFile(tws), winerr::Success);
  TWLNode* node = loaded.FindNode(marked);
  ASSERT_TRUE(node);
  int missing = 0;
  for (int i = 0; i < kRounds; ++i) {
    missing += node->IndexOfFile("dll" + std::to_string(i) + ".txt") < 0;
    missing += node->IndexOfFile("engine" + std::to_string(i) + ".txt") < 0;
  }
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(node->FileCount(), 2 * kRounds);

  RegDeleteTreeW(HKEY_LOCAL_MACHINE, test::kProductKey);
  RegDeleteTreeW(HKEY_CURRENT_USER, test::kProductKey);
  test::RemoveTree(fs, root);
}

}  // namespace
}  // namespace tw
