// One running copy: the mutex name from the program file, and real starts of Tidewell.exe, a
// second and a third of which end at once and bring the first forward.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/WLSingleInstance.h"
#include "app/forms/Forms.h"

namespace {

TEST(SingleInstance, TheMutexNameComesFromTheProgramFileAndMarksTheFirstCopyOnly) {
  EXPECT_EQ(tw::DefaultApplicationTitle(L"C:\\Program Files\\Tidewell\\TIDEWELL.EXE"),
            L"Tidewell");
  EXPECT_EQ(tw::DefaultApplicationTitle(L"C:\\x.y\\tiDEwell.exe.bak"), L"tidewell");
  EXPECT_EQ(tw::DefaultApplicationTitle(L"\\\\srv\\share\\Tide.Well.exe"), L"Tide");
  EXPECT_EQ(tw::DefaultApplicationTitle(L"C:\\ÄRGER.EXE"), L"Ärger");
  EXPECT_EQ(tw::DefaultApplicationTitle(L"x"), L"x");

  const std::wstring name = L"TidewellSingleInstanceTest" + std::to_wstring(GetCurrentProcessId());
  {
    tw::TPreviousInstance first(name);
    EXPECT_FALSE(first.Exists());
    tw::TPreviousInstance second(name);
    EXPECT_TRUE(second.Exists());
    // Mutex names keep their case.
    std::wstring other = name;
    other[0] = L't';
    tw::TPreviousInstance third(other);
    EXPECT_FALSE(third.Exists());
  }
  // Once the first copy has ended, the next one is first again.
  tw::TPreviousInstance again(name);
  EXPECT_FALSE(again.Exists());
  // A name the system refuses (a namespace that does not exist) counts as the first copy.
  tw::TPreviousInstance refused(L"NoSuchNamespace\\" + name);
  EXPECT_FALSE(refused.Exists());
}

std::wstring ModuleFolder() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring s(path, n);
  return s.substr(0, s.find_last_of(L'\\') + 1);
}

struct FindMain {
  DWORD pid;
  HWND found = nullptr;
};
BOOL CALLBACK MatchMain(HWND hwnd, LPARAM lp) {
  auto* f = reinterpret_cast<FindMain*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == f->pid && IsWindowVisible(hwnd) && tw::forms::ControlName(hwnd) == "fWLMain") {
    f->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

const wchar_t kProductKey[] = L"Software\\Corvane\\Tidewell";

class TwoCopiesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"TidewellTwice" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(folder_.c_str(), nullptr);
    exe_ = folder_ + L"Tidewell.exe";
    ASSERT_TRUE(CopyFileW((ModuleFolder() + L"Tidewell.exe").c_str(), exe_.c_str(), FALSE));
    RegDeleteTreeW(HKEY_CURRENT_USER, kProductKey);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductKey);
  }
  void TearDown() override {
    if (first_.hProcess) {
      TerminateProcess(first_.hProcess, 1);
      WaitForSingleObject(first_.hProcess, 5000);
      CloseHandle(first_.hProcess);
      CloseHandle(first_.hThread);
    }
    DeleteFileW(exe_.c_str());
    DeleteFileW((folder_ + L"VOLUMES.TWB").c_str());
    RemoveDirectoryW(folder_.c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, kProductKey);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductKey);
  }
  bool Launch(const std::wstring& args, PROCESS_INFORMATION& pi) {
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    std::wstring cmd = L"\"" + exe_ + L"\"" + (args.empty() ? L"" : L" " + args);
    return CreateProcessW(exe_.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder_.c_str(), &si, &pi) != 0;
  }
  // Starts another copy and waits up to 10 s for it to end; its exit code, or -1.
  long RunSecond(const std::wstring& args) {
    PROCESS_INFORMATION pi{};
    if (!Launch(args, pi)) return -1;
    long code = -1;
    if (WaitForSingleObject(pi.hProcess, 10000) == WAIT_OBJECT_0) {
      DWORD c = 0;
      GetExitCodeProcess(pi.hProcess, &c);
      code = static_cast<long>(c);
    } else {
      TerminateProcess(pi.hProcess, 1);
    }
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return code;
  }
  std::wstring Caption(HWND hwnd) {
    wchar_t text[256] = {};
    GetWindowTextW(hwnd, text, 256);
    return text;
  }

  std::wstring folder_, exe_;
  PROCESS_INFORMATION first_{};
};

TEST_F(TwoCopiesTest, ALaterCopyEndsAtOnceAndBringsTheRunningOneForward) {
  ASSERT_TRUE(Launch(L"", first_));
  FindMain find{first_.dwProcessId};
  for (int i = 0; i < 200 && !find.found; ++i) {
    Sleep(100);
    EnumWindows(MatchMain, reinterpret_cast<LPARAM>(&find));
  }
  ASSERT_NE(find.found, nullptr) << "the first copy's window did not appear";
  HWND main = find.found;

  EXPECT_EQ(RunSecond(L"/WINSTART"), 0);
  EXPECT_EQ(WaitForSingleObject(first_.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(Caption(main), L"Tidewell");

  // Minimised, it is restored by the next start.
  ShowWindow(main, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(main));
  EXPECT_EQ(RunSecond(L""), 0);
  EXPECT_FALSE(IsIconic(main));
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_EQ(Caption(main), L"Tidewell");

  // Hidden in the tray, it is asked to come out.
  ShowWindow(main, SW_HIDE);
  ASSERT_FALSE(IsWindowVisible(main));
  EXPECT_EQ(RunSecond(L"/WINSTART"), 0);
  for (int i = 0; i < 50 && !IsWindowVisible(main); ++i) Sleep(100);
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_EQ(Caption(main), L"Tidewell");

  // The copies that ended wrote nothing: the volume list appears only at the first one's exit.
  EXPECT_EQ(GetFileAttributesW((folder_ + L"VOLUMES.TWB").c_str()), INVALID_FILE_ATTRIBUTES);
  PostMessageW(main, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(first_.hProcess, 20000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(first_.hProcess, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(first_.hProcess);
  CloseHandle(first_.hThread);
  first_ = {};
  // With the first copy gone the mutex is free again: a new start runs.
  PROCESS_INFORMATION next{};
  ASSERT_TRUE(Launch(L"", next));
  EXPECT_EQ(WaitForSingleObject(next.hProcess, 3000), static_cast<DWORD>(WAIT_TIMEOUT));
  first_ = next;
}

}  // namespace
