// The named mutex of the selection files on the real kernel: shared by name between handles,
// threads and processes, bounded waits, and a mutex whose holder ended counting as held.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "platform/win32/Win32NamedMutex.h"
#include "tests/win/ProgramCopy.h"

namespace tw {
namespace {

std::string UniqueName(const char* what) {
  return std::string("TidewellTest-") + what + "-" + std::to_string(GetCurrentProcessId());
}

TEST(Win32NamedMutex, SharedByNameBetweenThreadsWaitsBoundedAndCountsAnAbandonedOneAsHeld) {
  const std::string name = UniqueName("threads");
  Win32NamedMutex mine(name);
  // Another handle on another thread holds it: a bounded wait here fails, then succeeds once
  // it is released.
  HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread other([&] {
    Win32NamedMutex theirs(name);
    ASSERT_TRUE(theirs.Acquire(1000));
    ASSERT_TRUE(theirs.Acquire(0));  // again on its own thread: held recursively
    SetEvent(taken);
    WaitForSingleObject(release, 5000);
    theirs.Release();
    theirs.Release();
  });
  ASSERT_EQ(WaitForSingleObject(taken, 5000), WAIT_OBJECT_0);
  // Seen from every session, and kept apart from another user's lock of the same name.
  const std::wstring object = NamedMutexObjectName(name);
  EXPECT_EQ(object.rfind(L"Global\\TidewellTest-threads-", 0), 0u);
  EXPECT_NE(object.find(L"-S-1-"), std::wstring::npos);
  HANDLE byObjectName = OpenMutexW(SYNCHRONIZE, FALSE, object.c_str());
  EXPECT_NE(byObjectName, nullptr) << "the lock is the object of that name";
  if (byObjectName) CloseHandle(byObjectName);
  EXPECT_FALSE(mine.Acquire(0));
  EXPECT_FALSE(mine.Acquire(50));
  SetEvent(release);
  other.join();
  EXPECT_TRUE(mine.Acquire(1000));
  mine.Release();

  // A thread that ends while holding it leaves it abandoned: the next wait gets it.
  std::thread quitter([&] {
    Win32NamedMutex theirs(name);
    ASSERT_TRUE(theirs.Acquire(1000));
  });  // its handle closes, its hold stays until the thread ends
  quitter.join();
  EXPECT_TRUE(mine.Acquire(1000));
  // Now this thread holds it and another cannot have it.
  bool got = true;
  std::thread late([&] {
    Win32NamedMutex theirs(name);
    got = theirs.Acquire(50);
  });
  late.join();
  EXPECT_FALSE(got);
  mine.Release();
  CloseHandle(taken);
  CloseHandle(release);

  // A name no mutex can have (a backslash means a namespace that does not exist): every
  // Acquire fails at once instead of claiming a lock it does not hold.
  Win32NamedMutex none("NoSuchNamespace\\" + name);
  EXPECT_FALSE(none.Acquire(0));
  none.Release();
}

TEST(Win32NamedMutex, AProcessThatEndsHoldingItLeavesItToTheNextWaiter) {
  const std::string name = UniqueName("process");
  Win32NamedMutex mine(name);  // keeps the mutex in being after the other process ends
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &sa, 0));
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  PROCESS_INFORMATION pi{};
  const std::wstring exe = test::ModuleFolder() + L"tw_selection_rounds.exe";
  std::wstring cmd = L"\"" + exe + L"\" hold " + std::wstring(name.begin(), name.end()) + L" 400";
  ASSERT_TRUE(CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr,
                             nullptr, &si, &pi));
  CloseHandle(writeEnd);
  char said[16] = {};
  DWORD got = 0;
  ReadFile(readEnd, said, 4, &got, nullptr);
  EXPECT_EQ(std::string(said, got), "HELD");
  EXPECT_FALSE(mine.Acquire(0));
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(mine.Acquire(1000));
  mine.Release();
  CloseHandle(readEnd);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
}

}  // namespace
}  // namespace tw
