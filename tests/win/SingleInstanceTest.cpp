// One running copy: the mutex name from the program file, and real starts of Tidewell.exe, a
// second and a third of which end at once and bring the first forward.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/WLSingleInstance.h"
#include "app/forms/Forms.h"
#include "tests/win/ProgramCopy.h"

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

class TwoCopiesTest : public tw::test::TProgramCopyTest {
 protected:
  void SetUp() override { MakeCopy(L"TidewellTwice"); }
  void TearDown() override {
    if (first_.hProcess) {
      TerminateProcess(first_.hProcess, 1);
      WaitForSingleObject(first_.hProcess, 5000);
      CloseHandle(first_.hProcess);
      CloseHandle(first_.hThread);
    }
    TProgramCopyTest::TearDown();
  }

  // Starts another copy and waits up to 10 s for it to end; its exit code, or -1.
  long RunSecond(const std::wstring& args) {
    PROCESS_INFORMATION pi{};
    if (!Launch(args, pi)) return -1;
    return tw::test::WaitForExit(pi, 10000);
  }
  std::wstring Caption(HWND hwnd) {
    wchar_t text[256] = {};
    GetWindowTextW(hwnd, text, 256);
    return text;
  }

  PROCESS_INFORMATION first_{};
};

TEST_F(TwoCopiesTest, ALaterCopyEndsAtOnceAndBringsTheRunningOneForward) {
  ASSERT_TRUE(Launch(L"", first_));
  HWND main = tw::test::WaitForMainWindow(first_.dwProcessId);
  ASSERT_NE(main, nullptr) << "the first copy's window did not appear";

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
