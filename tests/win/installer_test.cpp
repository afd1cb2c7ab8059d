// Tidewell-setup.exe under Wine: what a silent install writes, the extension it registers at
// work in the install folder, the program started by the extension, the option page, and what
// the uninstaller takes away and leaves.
#include <gtest/gtest.h>
#include <windows.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "app/forms/Forms.h"
#include "platform/win32/Utf.h"
#include "tests/gui/WindowPicture.h"
#include "tests/win/ContextMenuDll.h"
#include "tests/win/ProgramCopy.h"

namespace tw {
namespace {

const wchar_t kClsid[] = L"{6B0E2D71-4C3A-4F58-9E21-7A5C3D90B1E4}";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tidewell";
const wchar_t kApprovedKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  std::wstring out;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) out = path;
  CoTaskMemFree(path);
  return out;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The value as a string, or none when the key or value is missing.
std::optional<std::wstring> RegString(HKEY root, const std::wstring& key, const wchar_t* value) {
  wchar_t data[1024];
  DWORD size = sizeof(data);
  if (RegGetValueW(root, key.c_str(), value, RRF_RT_REG_SZ, nullptr, data,
                   &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::wstring(data);
}
std::optional<DWORD> RegDword(HKEY root, const std::wstring& key, const wchar_t* value) {
  DWORD data = 0, size = sizeof(data);
  if (RegGetValueW(root, key.c_str(), value, RRF_RT_REG_DWORD, nullptr,
                   &data, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return data;
}
bool KeyExists(HKEY root, const std::wstring& key) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &k) != ERROR_SUCCESS)
    return false;
  RegCloseKey(k);
  return true;
}

// Runs a program and waits for it, bounded; its exit code, or -1 when it did not end in time.
long RunWait(const std::wstring& exe, const std::wstring& args, DWORD waitMs = 60000) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::wstring cmd = L"\"" + exe + L"\" " + args;
  if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi))
    return -2;
  return test::WaitForExit(pi, waitMs);
}

// "Mark for Tidewell" on one path through the registered class, as Explorer calls it.
HRESULT MarkForTidewell(const std::wstring& path) {
  CLSID clsid;
  CLSIDFromString(kClsid, &clsid);
  IShellExtInit* init = nullptr;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                reinterpret_cast<void**>(&init));
  if (FAILED(hr)) return hr;
  auto* data = new test::THDropData(test::DropFilesBytes({path}));
  hr = init->Initialize(nullptr, data, nullptr);
  data->Release();
  IContextMenu* menu = nullptr;
  if (SUCCEEDED(hr)) hr = init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
  if (SUCCEEDED(hr)) {
    HMENU popup = CreatePopupMenu();
    menu->QueryContextMenu(popup, 0, 100, 200, CMF_NORMAL);
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof(info);
    info.lpVerb = MAKEINTRESOURCEA(0);
    info.nShow = SW_SHOWNORMAL;
    hr = menu->InvokeCommand(&info);
    menu->Release();
    DestroyMenu(popup);
  }
  init->Release();
  return hr;
}

// A visible fWLMain of another process; null when none appeared within 20 s.
HWND WaitForOtherMainWindow() {
  for (int i = 0; i < 200; ++i) {
    HWND found = nullptr;
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
          DWORD pid = 0;
          GetWindowThreadProcessId(hwnd, &pid);
          if (pid == GetCurrentProcessId() || !IsWindowVisible(hwnd) ||
              forms::ControlName(hwnd) != "fWLMain")
            return TRUE;
          *reinterpret_cast<HWND*>(lp) = hwnd;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    if (found) return found;
    Sleep(100);
  }
  return nullptr;
}

class InstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    setup_ = test::ModuleFolder() + L"Tidewell-setup.exe";
    ASSERT_TRUE(Exists(setup_)) << "Tidewell-setup.exe was not built (makensis missing?)";
    folder_ = KnownFolder(FOLDERID_ProgramFiles) + L"\\Tidewell\\";
    link_ = KnownFolder(FOLDERID_Startup) + L"\\Tidewell.lnk";
    ClearUserKeys();
  }
  void TearDown() override {
    if (Exists(folder_ + L"Uninstall.exe")) Uninstall();
    for (const wchar_t* f : {L"VOLUMES.TWB", L"Docs.TWS", L"Tidewell.exe", L"TWContext.dll"})
      DeleteFileW((folder_ + f).c_str());
    RemoveDirectoryW(folder_.c_str());
    DeleteFileW(link_.c_str());
    ClearUserKeys();
    CoUninitialize();
  }
  static void ClearUserKeys() { RegDeleteTreeW(HKEY_CURRENT_USER, test::kProductKey); }
  // Uninstall.exe /S hands over to a copy of itself and returns at once: waits for the copy's
  // work (the entry and the program file gone), bounded.
  bool Uninstall() {
    // The extension this process loaded goes first, as Explorer lets it go when asked.
    CoFreeUnusedLibrariesEx(0, 0);
    if (RunWait(folder_ + L"Uninstall.exe", L"/S") != 0) return false;
    for (int i = 0; i < 150; ++i) {
      if (!KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey) && !Exists(folder_ + L"Uninstall.exe"))
        return true;
      Sleep(100);
    }
    return false;
  }

  std::wstring setup_, folder_, link_;
};

TEST_F(InstallerTest, SilentInstallWritesEveryFileKeyAndLinkAndTheUninstallTakesThemAwayButTheBackupsDescriptions) {
  // While Tidewell runs (its single-instance mutex exists) neither runs.
  HANDLE running = CreateMutexW(nullptr, FALSE, L"Tidewell");
  EXPECT_EQ(RunWait(setup_, L"/S"), 4);
  EXPECT_FALSE(Exists(folder_ + L"Tidewell.exe"));
  CloseHandle(running);

  ASSERT_EQ(RunWait(setup_, L"/S /STARTUP"), 0);
  const std::wstring exe = folder_ + L"Tidewell.exe", dll = folder_ + L"TWContext.dll";
  EXPECT_TRUE(Exists(exe));
  EXPECT_TRUE(Exists(dll));
  EXPECT_TRUE(Exists(folder_ + L"Uninstall.exe"));
  for (const wchar_t* page : {L"manual\\index.html", L"manual\\options.html",
                              L"manual\\images\\options.png"})
    EXPECT_TRUE(Exists(folder_ + page)) << Narrow(page);
  EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, L"Software\\Corvane\\Tidewell\\AppPath", nullptr), exe);
  const std::wstring clsidKey = std::wstring(L"CLSID\\") + kClsid;
  EXPECT_EQ(RegString(HKEY_CLASSES_ROOT, clsidKey, nullptr), L"Tidewell Context Menu Extension");
  EXPECT_EQ(RegString(HKEY_CLASSES_ROOT, clsidKey + L"\\InprocServer32", nullptr),
            L"\"" + dll + L"\"");
  EXPECT_EQ(RegString(HKEY_CLASSES_ROOT, L"*\\shellex\\ContextMenuHandlers\\Tidewell", nullptr),
            kClsid);
  EXPECT_EQ(
      RegString(HKEY_CLASSES_ROOT, L"Directory\\shellex\\ContextMenuHandlers\\Tidewell", nullptr),
      kClsid);
  EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, kApprovedKey, kClsid), L"Tidewell Context Menu Extension");
  EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"), L"Tidewell");
  EXPECT_EQ(RegString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"),
            L"\"" + folder_ + L"Uninstall.exe\"");
  EXPECT_EQ(RegDword(HKEY_CURRENT_USER, L"Software\\Corvane\\Tidewell\\Options", L"LaunchOnStartup"),
            1u);
  // The start-up link, as the program makes it.
  IShellLinkW* link = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                             reinterpret_cast<void**>(&link)),
            S_OK);
  IPersistFile* file = nullptr;
  link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  ASSERT_EQ(file->Load(link_.c_str(), STGM_READ), S_OK) << Narrow(link_);
  wchar_t text[MAX_PATH] = {};
  link->GetPath(text, MAX_PATH, nullptr, 0);
  EXPECT_EQ(std::wstring(text), exe);
  link->GetArguments(text, MAX_PATH);
  EXPECT_EQ(std::wstring(text), L"/WINSTART");
  link->GetDescription(text, MAX_PATH);
  EXPECT_EQ(std::wstring(text), L"Tidewell");
  file->Release();
  link->Release();

  // The installed handler marks into the install folder's selection file.
  const std::wstring marked = folder_ + L"Docs.TWS";
  ASSERT_TRUE(CloseHandle(CreateFileW(marked.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                      nullptr)));
  RegSetKeyValueW(HKEY_CURRENT_USER, test::kProductKey, L"DefaultVolume", REG_SZ, L"Docs",
                  sizeof(L"Docs"));
  EXPECT_EQ(MarkForTidewell(dll), S_OK);
  std::string tws;
  {
    HANDLE h = CreateFileW(marked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    char buf[4096];
    DWORD got = 0;
    ReadFile(h, buf, sizeof(buf), &got, nullptr);
    CloseHandle(h);
    tws.assign(buf, got);
  }
  EXPECT_NE(tws.find("TWContext.dll=#"), std::string::npos) << tws;

  // The uninstaller: the user's volume list and selection files stay, and the settings.
  ASSERT_TRUE(CloseHandle(CreateFileW((folder_ + L"VOLUMES.TWB").c_str(), GENERIC_WRITE, 0,
                                      nullptr, CREATE_ALWAYS, 0, nullptr)));
  ASSERT_TRUE(Uninstall());
  for (const wchar_t* gone : {L"Tidewell.exe", L"TWContext.dll", L"Uninstall.exe", L"manual"})
    EXPECT_FALSE(Exists(folder_ + gone)) << Narrow(gone);
  EXPECT_TRUE(Exists(folder_ + L"VOLUMES.TWB"));
  EXPECT_TRUE(Exists(marked));
  EXPECT_FALSE(Exists(link_));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, clsidKey));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"*\\shellex\\ContextMenuHandlers\\Tidewell"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Directory\\shellex\\ContextMenuHandlers\\Tidewell"));
  EXPECT_FALSE(RegString(HKEY_LOCAL_MACHINE, kApprovedKey, kClsid));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Corvane"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_EQ(RegDword(HKEY_CURRENT_USER, L"Software\\Corvane\\Tidewell\\Options", L"LaunchOnStartup"),
            1u);

  // Without /STARTUP: no link, no start-up setting.
  ClearUserKeys();
  ASSERT_EQ(RunWait(setup_, L"/S"), 0);
  EXPECT_FALSE(Exists(link_));
  EXPECT_FALSE(RegDword(HKEY_CURRENT_USER, L"Software\\Corvane\\Tidewell\\Options", L"LaunchOnStartup"));
}

TEST_F(InstallerTest, MarkWithoutADefaultVolumeSaysSoAndStartsTheInstalledProgram) {
  ASSERT_EQ(RunWait(setup_, L"/S"), 0);
  // The message box of the extension, answered OK from another thread.
  std::atomic<bool> stop{false};
  std::wstring caption, text;
  std::thread answer([&] {
    while (!stop) {
      HWND box = FindWindowW(L"#32770", L"Tidewell");
      DWORD pid = 0;
      if (box) GetWindowThreadProcessId(box, &pid);
      if (box && pid == GetCurrentProcessId()) {
        wchar_t t[512] = {};
        GetWindowTextW(box, t, 512);
        caption = t;
        GetDlgItemTextW(box, 0xFFFF, t, 512);
        text = t;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return;
      }
      Sleep(50);
    }
  });
  const HRESULT hr = MarkForTidewell(folder_ + L"Tidewell.exe");
  stop = true;
  answer.join();
  EXPECT_EQ(hr, E_FAIL);
  EXPECT_EQ(caption, L"Tidewell");
  EXPECT_EQ(text, L"There is no default volume selected. Please create a new backup volume now.");
  HWND main = WaitForOtherMainWindow();
  ASSERT_TRUE(main);
  EXPECT_TRUE(forms::driver::Enabled(main, "BackupBTN"));
  EXPECT_FALSE(forms::driver::Enabled(main, "RefreshBTN"));
  DWORD pid = 0;
  GetWindowThreadProcessId(main, &pid);
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
  PostMessageW(main, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) TerminateProcess(process, 1);
  CloseHandle(process);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder_ + L"*.TWS").c_str(), &found);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  DeleteFileW((folder_ + L"VOLUMES.TWB").c_str());  // the program's exit writes an empty one
}

TEST_F(InstallerTest, TheOptionPageOffersStartWithWindowsUncheckedByDefault) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::wstring cmd = L"\"" + setup_ + L"\"";
  ASSERT_TRUE(CreateProcessW(setup_.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &si, &pi));
  HWND window = nullptr, box = nullptr;
  for (int i = 0; i < 200 && !box; ++i) {
    Sleep(100);
    window = FindWindowW(nullptr, L"Tidewell Setup");
    if (window) box = FindWindowExW(FindWindowExW(window, nullptr, L"#32770", nullptr), nullptr,
                                    L"Button", L"&Start Tidewell with Windows");
  }
  ASSERT_TRUE(box);
  Sleep(300);  // the page paints
  testing::SaveRunPicture(window, "InstallerOptions.bmp");
  EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  TerminateProcess(pi.hProcess, 1);
  WaitForSingleObject(pi.hProcess, 5000);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  EXPECT_FALSE(Exists(folder_ + L"Tidewell.exe"));
}

}  // namespace
}  // namespace tw
