// The start-up shortcut in the prefix's real Startup folder, and the real Tidewell.exe started at
// log-on in tray mode: its start-up refresh, the tray, and the end of the Windows session.
#include <windows.h>

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "app/forms/Forms.h"
#include "engine/layout.h"
#include "engine/oplog.h"
#include "engine/scheduler.h"
#include "engine/startup.h"
#include "engine/volumes.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32StartupShortcuts.h"
#include "tests/win/ProgramCopy.h"
#include "tests/win/RealFiles.h"
#include "tests/gui/TrayProbe.h"

namespace tw {
namespace {

std::string ReadAll(const std::wstring& path) {
  std::string data;
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (f == INVALID_HANDLE_VALUE) return data;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(f, buf, sizeof(buf), &got, nullptr) && got) data.append(buf, got);
  CloseHandle(f);
  return data;
}

void WriteAll(const std::wstring& path, const std::string& data) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD wrote = 0;
  WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &wrote, nullptr);
  CloseHandle(f);
}

struct TReadLink {
  bool loaded = false;
  std::wstring target, arguments, description;
};

// What the shell's own link object reads from the file.
TReadLink ReadLink(const std::wstring& path) {
  TReadLink out;
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkW* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
        wchar_t text[MAX_PATH] = {};
        out.loaded = true;
        if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, 0))) out.target = text;
        text[0] = 0;
        if (SUCCEEDED(link->GetArguments(text, MAX_PATH))) out.arguments = text;
        text[0] = 0;
        if (SUCCEEDED(link->GetDescription(text, MAX_PATH))) out.description = text;
      }
      file->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return out;
}

TEST(StartupShortcutInTheStartupFolder, MadeAsALinkTheShellReadsKeptWhenThereDeletedWhenOff) {
  Win32StartupShortcuts shell;
  const auto folder = shell.StartupFolder();
  ASSERT_TRUE(folder);
  const std::wstring link = Widen(AddBackslash(*folder) + "Tidewell.lnk");
  DeleteFileW(link.c_str());
  const std::string program = Narrow(test::ModuleFolder()) + "Tidewell.exe";

  ASSERT_EQ(UpdateStartupShortcut(shell, true, program), TShortcutEnd::Created);
  const TReadLink read = ReadLink(link);
  ASSERT_TRUE(read.loaded);
  EXPECT_EQ(CompareStringOrdinal(read.target.c_str(), -1, Widen(program).c_str(), -1, TRUE),
            CSTR_EQUAL)
      << Narrow(read.target);
  EXPECT_EQ(read.arguments, L"/WINSTART");
  EXPECT_EQ(read.description, L"Tidewell");

  // One the user changed (here: any file of that name) stays as it is.
  WriteAll(link, "the user's own");
  EXPECT_EQ(UpdateStartupShortcut(shell, true, program), TShortcutEnd::Kept);
  EXPECT_EQ(ReadAll(link), "the user's own");

  EXPECT_EQ(UpdateStartupShortcut(shell, false, program), TShortcutEnd::Deleted);
  EXPECT_EQ(GetFileAttributesW(link.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(UpdateStartupShortcut(shell, false, program), TShortcutEnd::Deleted)
      << "a missing link is no error";
}

// ---- The real program ----

using tw::testing::InTray;

struct TFind {
  DWORD pid;
  const wchar_t* cls;
  HWND found = nullptr;
};
BOOL CALLBACK MatchClass(HWND hwnd, LPARAM lp) {
  auto* f = reinterpret_cast<TFind*>(lp);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (owner != f->pid || lstrcmpW(cls, f->cls) != 0) return TRUE;
  if (lstrcmpW(f->cls, L"#32770") == 0 && !IsWindowVisible(hwnd)) return TRUE;
  f->found = hwnd;
  return FALSE;
}
// A top-level window of the process by class, visible or not (message boxes: visible only).
HWND WaitForWindow(DWORD pid, const wchar_t* cls, int tenths = 300) {
  TFind find{pid, cls};
  for (int i = 0; i < tenths && !find.found; ++i) {
    EnumWindows(MatchClass, reinterpret_cast<LPARAM>(&find));
    if (!find.found) Sleep(100);
  }
  return find.found;
}

bool OwnTopLevelWindows() {
  TFind find{GetCurrentProcessId(), nullptr};
  EnumWindows(
      [](HWND hwnd, LPARAM lp) -> BOOL {
        auto* f = reinterpret_cast<TFind*>(lp);
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if (owner != f->pid) return TRUE;
        f->found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&find));
  return find.found != nullptr;
}

class TrayProgramTest : public test::TProgramCopyTest {
 protected:
  void SetUp() override {
    MakeCopy(L"TidewellTray");
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::string pid = std::to_string(GetCurrentProcessId());
    source_ = Narrow(temp) + "TraySource" + pid;
    backup_ = Narrow(temp) + "TrayBackup" + pid + "\\";
    test::RemoveTree(fs_, source_);
    CreateDirectoryW(Widen(source_).c_str(), nullptr);
    WriteAll(Widen(source_ + "\\f.txt"), "data");
    const auto startup = Win32StartupShortcuts().StartupFolder();
    ASSERT_TRUE(startup);
    link_ = Widen(AddBackslash(*startup) + "Tidewell.lnk");
    DeleteFileW(link_.c_str());
  }
  void TearDown() override {
    if (pi_.hProcess) {
      TerminateProcess(pi_.hProcess, 1);
      WaitForSingleObject(pi_.hProcess, 5000);
      CloseHandle(pi_.hProcess);
      CloseHandle(pi_.hThread);
    }
    DeleteFileW((folder_ + L"Docs.TWS").c_str());
    DeleteFileW(link_.c_str());
    test::RemoveTree(fs_, source_);
    test::RemoveTree(fs_, backup_.substr(0, backup_.size() - 1));
    TProgramCopyTest::TearDown();
  }

  Win32FileSystem fs_;
  std::string source_, backup_;
  std::wstring link_;
  PROCESS_INFORMATION pi_{};
};

TEST_F(TrayProgramTest, ALogOnStartRefreshesInTheTrayAndTheSessionsEndSavesItsDay) {
  ASSERT_FALSE(OwnTopLevelWindows()) << "the session's end would take this process too";
  Win32Clock clock;
  TVolumeRec docs;
  docs.Name = "Docs";
  docs.BackupPath = backup_;
  docs.SeparateFolders = true;
  docs.AutoRefresh = true;
  docs.Frequency = 1;  // daily, no time: due at once
  docs.LastRefresh = clock.Now() - 1;
  TVolumeRec photos = docs;
  photos.Name = "Photos";
  photos.AutoRefresh = false;
  TValueWriter writer;
  WriteVolumeRec(writer, docs);
  WriteVolumeRec(writer, photos);
  WriteAll(folder_ + L"VOLUMES.TWB", writer.Data());
  WriteAll(folder_ + L"Docs.TWS", "[" + source_ + "]\r\nf.txt=#\r\n");

  ASSERT_TRUE(Launch(L"/winstart", pi_));
  HWND main = WaitForWindow(pi_.dwProcessId, L"TfWLMain");
  ASSERT_NE(main, nullptr);
  // The start-up check's own dialogs: its progress, then its report, over no main window.
  HWND box = WaitForWindow(pi_.dwProcessId, L"#32770");
  ASSERT_NE(box, nullptr) << "no report of the start-up refresh";
  wchar_t text[512] = {};
  GetDlgItemTextW(box, 0xFFFF, text, 512);
  EXPECT_EQ(Narrow(text), AutoRefreshFinishedText("Docs", 1, 1));
  EXPECT_FALSE(IsWindowVisible(main));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  for (int i = 0; i < 50 && IsWindow(box); ++i) Sleep(100);
  Sleep(500);  // the close request of the log-on start has run by now
  EXPECT_EQ(ReadAll(Widen(backup_ + "From Drive C\\" + source_.substr(3) + "\\f.txt")), "data");
  ASSERT_EQ(WaitForSingleObject(pi_.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "the tray keeps the program for its daily refresh";
  EXPECT_FALSE(IsWindowVisible(main));
  EXPECT_TRUE(InTray(main, 0));

  // A double click on the icon shows the window; its close box hides it again.
  const UINT notify = RegisterWindowMessageW(L"Quillmoor.TicNotifyIconMsg");
  SendMessageW(main, notify, 0, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(IsWindowVisible(main));

  // The options: automatic refresh for the second volume checks the launch box, and closing
  // the dialog makes the start-up shortcut.
  ASSERT_TRUE(PostMessageW(forms::FindControl(main, "OptionsBTN"), BM_CLICK, 0, 0));
  HWND options = WaitForWindow(pi_.dwProcessId, L"TfWLOptions", 100);
  ASSERT_NE(options, nullptr) << "no options dialog";
  for (int i = 0; i < 50 && !IsWindowVisible(options); ++i) Sleep(100);
  HWND list = forms::FindControl(options, "VolumesLB");
  const auto rowHeight = static_cast<int>(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
  const LPARAM row1 = MAKELPARAM(20, rowHeight + rowHeight / 2);
  PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, row1);
  PostMessageW(list, WM_LBUTTONUP, 0, row1);
  for (int i = 0; i < 50 && SendMessageW(list, LB_GETCURSEL, 0, 0) != 1; ++i) Sleep(100);
  ASSERT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 1);
  HWND refreshes = forms::FindControl(options, "RefreshesCHB");
  HWND launch = forms::FindControl(options, "LaunchCHB");
  EXPECT_EQ(SendMessageW(refreshes, BM_GETCHECK, 0, 0), BST_UNCHECKED) << "Photos has none";
  EXPECT_EQ(SendMessageW(launch, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  PostMessageW(refreshes, BM_CLICK, 0, 0);
  for (int i = 0; i < 50 && SendMessageW(launch, BM_GETCHECK, 0, 0) != BST_CHECKED; ++i)
    Sleep(100);
  EXPECT_EQ(SendMessageW(launch, BM_GETCHECK, 0, 0), BST_CHECKED);
  PostMessageW(forms::FindControl(options, "CloseBTN"), BM_CLICK, 0, 0);
  for (int i = 0; i < 50 && IsWindow(options); ++i) Sleep(100);
  EXPECT_FALSE(IsWindow(options));
  EXPECT_NE(GetFileAttributesW(link_.c_str()), INVALID_FILE_ATTRIBUTES) << "no Tidewell.lnk";
  EXPECT_TRUE(IsWindowEnabled(main));

  SendMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(IsWindowVisible(main));
  EXPECT_EQ(WaitForSingleObject(pi_.hProcess, 300), static_cast<DWORD>(WAIT_TIMEOUT));

  // The end of the session, asked of every process with a top-level window.
  PROCESS_INFORMATION boot{};
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  std::wstring cmd = L"wineboot.exe --end-session";
  ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &si, &boot));
  WaitForSingleObject(boot.hProcess, 60000);
  CloseHandle(boot.hProcess);
  CloseHandle(boot.hThread);
  ASSERT_EQ(WaitForSingleObject(pi_.hProcess, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(pi_.hProcess);
  CloseHandle(pi_.hThread);
  pi_ = {};

  const std::string saved = ReadAll(folder_ + L"VOLUMES.TWB");
  TValueReader reader(saved);
  TVolumeRec back;
  ASSERT_TRUE(ReadVolumeRec(reader, back));
  EXPECT_TRUE(RefreshedToday(back.LastRefresh, clock.Now()));
  TVolumeRec photosBack;
  ASSERT_TRUE(ReadVolumeRec(reader, photosBack));
  EXPECT_EQ(photosBack.Name, "Photos");
  EXPECT_TRUE(photosBack.AutoRefresh) << "the options' change saved";
  // The settings of a normal exit.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Corvane\\Tidewell\\Options", 0, KEY_READ,
                          &key),
            ERROR_SUCCESS);
  DWORD value = 0, size = sizeof(value);
  EXPECT_EQ(RegQueryValueExW(key, L"RunAsTrayIcon", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 1u);
  size = sizeof(value);
  EXPECT_EQ(RegQueryValueExW(key, L"LaunchOnStartup", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 1u);
  RegCloseKey(key);
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Corvane\\Tidewell\\AppPath", 0,
                          KEY_READ, &key),
            ERROR_SUCCESS);
  wchar_t path[MAX_PATH] = {};
  size = sizeof(path);
  EXPECT_EQ(RegQueryValueExW(key, L"", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(CompareStringOrdinal(path, -1, exe_.c_str(), -1, TRUE), CSTR_EQUAL) << Narrow(path);
  RegCloseKey(key);
}

}  // namespace
}  // namespace tw
