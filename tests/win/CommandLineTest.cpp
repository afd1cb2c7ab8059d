// The real Tidewell.exe started with /REFRESH on real files: its exit codes, its dry run, its
// window-less run, two runs of one volume at once, and a run beside an open window.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/cmdline.h"
#include "engine/oplog.h"
#include "engine/scheduler.h"
#include "engine/volumes.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32NamedMutex.h"
#include "platform/win32/Win32FileSystem.h"
#include "tests/win/ProgramCopy.h"
#include "tests/win/RealFiles.h"

namespace tw {
namespace {

std::string ReadAll(const std::string& path) {
  std::string data;
  Win32FileSystem().ReadAll(path, data);
  return data;
}
void WriteAll(const std::string& path, const std::string& data) {
  ASSERT_EQ(Win32FileSystem().WriteAtomic(path, data), winerr::Success) << path;
}

BOOL CALLBACK CountWindows(HWND hwnd, LPARAM lp) {
  auto* find = reinterpret_cast<std::pair<DWORD, int>*>(lp);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner == find->first) ++find->second;
  return TRUE;
}
int TopLevelWindowsOf(DWORD pid) {
  std::pair<DWORD, int> find{pid, 0};
  EnumWindows(CountWindows, reinterpret_cast<LPARAM>(&find));
  return find.second;
}

struct TRun {
  PROCESS_INFORMATION pi{};
  HANDLE out = nullptr;  // read end of its standard output
};

class CommandLineTest : public test::TProgramCopyTest {
 protected:
  void SetUp() override {
    MakeCopy(L"TidewellCmd");
    app_ = Narrow(folder_);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::string pid = std::to_string(GetCurrentProcessId());
    source_ = Narrow(temp) + "CmdSource" + pid;
    backup_ = Narrow(temp) + "CmdBackup" + pid + "\\";
    test::RemoveTree(fs_, source_);
    test::RemoveTree(fs_, backup_.substr(0, backup_.size() - 1));
    CreateDirectoryW(Widen(source_).c_str(), nullptr);
    WriteAll(source_ + "\\f.txt", "one");
    WriteAll(source_ + "\\g.txt", "two");
    log_ = app_ + "run log.txt";
  }
  void TearDown() override {
    if (window_.hProcess) {
      TerminateProcess(window_.hProcess, 1);
      WaitForSingleObject(window_.hProcess, 5000);
      CloseHandle(window_.hProcess);
      CloseHandle(window_.hThread);
    }
    for (const char* f : {"Docs.TWS", "Gone.TWS", "run log.txt", "VOLUMES.TWB.bad"})
      DeleteFileW(Widen(app_ + f).c_str());
    test::RemoveTree(fs_, source_);
    test::RemoveTree(fs_, backup_.substr(0, backup_.size() - 1));
    TProgramCopyTest::TearDown();
  }

  // Docs backs up the source folder; Gone lives on a drive that does not exist.
  void WriteVolumes(bool withGone) {
    TVolumeRec docs;
    docs.Name = "Docs";
    docs.BackupPath = backup_;
    docs.SeparateFolders = true;
    TValueWriter writer;
    WriteVolumeRec(writer, docs);
    if (withGone) {
      TVolumeRec gone = docs;
      gone.Name = "Gone";
      gone.BackupPath = "Q:\\Gone\\";
      WriteVolumeRec(writer, gone);
      WriteAll(app_ + "Gone.TWS", "[" + source_ + "]\r\nf.txt=#\r\n");
    }
    WriteAll(app_ + "VOLUMES.TWB", writer.Data());
    WriteAll(app_ + "Docs.TWS", "[" + source_ + "]\r\nf.txt=#\r\ng.txt=#\r\n");
  }
  std::string CopyOf(const std::string& name) {
    return ReadAll(backup_ + "From Drive C\\" + source_.substr(3) + "\\" + name);
  }

  TRun Start(const std::wstring& args) {
    TRun run;
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE write = nullptr;
    EXPECT_TRUE(CreatePipe(&run.out, &write, &sa, 1 << 16));
    SetHandleInformation(run.out, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = write;
    si.hStdError = write;
    si.hStdInput = nullptr;
    // Wine now and then refuses a start made at the same moment as another; a user's script
    // would simply start it again.
    bool started = false;
    DWORD error = 0;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
      std::wstring cmd = L"\"" + exe_ + L"\" " + args;
      started = CreateProcessW(exe_.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr,
                               folder_.c_str(), &si, &run.pi) != FALSE;
      if (!started) {
        error = GetLastError();
        Sleep(200);
      }
    }
    EXPECT_TRUE(started) << "CreateProcess failed with " << error;
    CloseHandle(write);
    return run;
  }
  // Waits up to 60 s for the run to end; its exit code (-1: still running, killed). Counts the
  // top-level windows it had while it ran.
  long Finish(TRun& run, std::string* console = nullptr) {
    long code = -1;
    if (!run.pi.hProcess) {  // never started: nothing to wait for or read
      CloseHandle(run.out);
      return code;
    }
    for (int i = 0; i < 600; ++i) {
      windowsSeen_ += TopLevelWindowsOf(run.pi.dwProcessId);
      if (WaitForSingleObject(run.pi.hProcess, 100) == WAIT_OBJECT_0) break;
    }
    DWORD exit = 0;
    if (WaitForSingleObject(run.pi.hProcess, 0) != WAIT_OBJECT_0) {
      TerminateProcess(run.pi.hProcess, 99);
      WaitForSingleObject(run.pi.hProcess, 5000);
    } else if (GetExitCodeProcess(run.pi.hProcess, &exit)) {
      code = static_cast<long>(exit);
    }
    std::string text;
    char buf[4096];
    DWORD got = 0;
    // Only what is there: a start Wine refused may leave a half-made process holding the
    // pipe's other end, and a read to its end would wait for it forever.
    DWORD avail = 0;
    while (PeekNamedPipe(run.out, nullptr, 0, nullptr, &avail, nullptr) && avail > 0 &&
           ReadFile(run.out, buf, std::min<DWORD>(avail, sizeof(buf)), &got, nullptr) && got)
      text.append(buf, got);
    if (console) *console = text;
    CloseHandle(run.out);
    CloseHandle(run.pi.hProcess);
    CloseHandle(run.pi.hThread);
    return code;
  }
  long Run(const std::wstring& args, std::string* console = nullptr) {
    TRun run = Start(args);
    return Finish(run, console);
  }

  Win32FileSystem fs_;
  std::string app_, source_, backup_, log_;
  int windowsSeen_ = 0;
  PROCESS_INFORMATION window_{};
};

TEST_F(CommandLineTest, EachExitCodeFromARealCaseWithItsConsoleLineAndLog) {
  WriteVolumes(false);
  std::string console;
  EXPECT_EQ(Run(L"/REFRESH", &console), exitcode::CouldNotRun);
  EXPECT_NE(console.find("Usage: Tidewell.exe /REFRESH"), std::string::npos) << console;

  // Never backed up: both copies are missing, so both count as changed.
  EXPECT_EQ(Run(L"/refresh Docs /QUIET", &console), exitcode::FilesCopied);
  EXPECT_EQ(console, "Volume \"Docs\": 2 of 2 files have changed.\r\n");
  EXPECT_EQ(CopyOf("f.txt"), "one");
  EXPECT_EQ(Run(L"/REFRESH \"Docs\" /QUIET", &console), exitcode::NothingCopied);
  EXPECT_EQ(console, "Volume \"Docs\": 0 of 2 files have changed.\r\n");
  EXPECT_EQ(Run(L"/REFRESH \"No Such\" /QUIET"), exitcode::Missing);

  // A file where the copies' folder must go: every copy fails, the question is not asked.
  test::RemoveTree(fs_, backup_ + "From Drive C");
  WriteAll(backup_ + "From Drive C", "in the way");
  WriteAll(source_ + "\\f.txt", "one, changed");
  EXPECT_EQ(Run(L"/REFRESH Docs /QUIET /LOG:\"" + Widen(log_) + L"\"", &console),
            exitcode::Errors);
  const std::string log = ReadAll(log_);
  EXPECT_NE(log.find(logline::ErrorWriting(backup_ + "From Drive C\\" + source_.substr(3) +
                                           "\\f.txt")),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Stopped without asking: It seems that the backup path"), std::string::npos);
  EXPECT_EQ(ReadAll(backup_ + "From Drive C"), "in the way");

  // A volume list that cannot be read: nothing runs.
  WriteAll(app_ + "VOLUMES.TWB", std::string("\x06\x04" "Docs\xff\xff", 8));
  EXPECT_EQ(Run(L"/REFRESH /ALL /QUIET", &console), exitcode::CouldNotRun);
  EXPECT_NE(console.find("could not be read"), std::string::npos) << console;
  EXPECT_EQ(windowsSeen_, 0) << "a quiet run made a window";
}

TEST_F(CommandLineTest, QuietMissingVolumeAndListCopiesNothingButNamesWhatTheRefreshCopies) {
  WriteVolumes(true);
  ASSERT_EQ(Run(L"/REFRESH Docs /QUIET"), exitcode::FilesCopied);
  WriteAll(source_ + "\\f.txt", "one, changed");
  WriteAll(source_ + "\\h.txt", "three");
  WriteAll(app_ + "Docs.TWS", "[" + source_ + "]\r\nf.txt=#\r\ng.txt=#\r\nh.txt=#\r\n");

  std::string console;
  EXPECT_EQ(Run(L"/REFRESH /ALL /QUIET /LIST /LOG:\"" + Widen(log_) + L"\"", &console),
            exitcode::Missing);
  EXPECT_EQ(console,
            "Volume \"Docs\": 2 of 3 files would be copied.\r\n"
            "Volume \"Gone\": its backup folder is not available.\r\n");
  EXPECT_EQ(CopyOf("f.txt"), "one");
  EXPECT_EQ(CopyOf("h.txt"), "");
  const std::string log = ReadAll(log_);
  const std::string folder = source_ + "\\";
  EXPECT_NE(log.find("Would copy " + folder + "f.txt\r\nWould copy " + folder + "h.txt\r\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("Would copy " + folder + "g.txt"), std::string::npos);
  EXPECT_NE(log.find("Volume \"Gone\": its backup folder is not available."), std::string::npos);

  EXPECT_EQ(Run(L"/REFRESH /ALL /QUIET", &console), exitcode::Missing);
  EXPECT_EQ(console,
            "Volume \"Docs\": 2 of 3 files have changed.\r\n"
            "Volume \"Gone\": its backup folder is not available.\r\n");
  EXPECT_EQ(CopyOf("f.txt"), "one, changed");
  EXPECT_EQ(CopyOf("h.txt"), "three");
  EXPECT_EQ(windowsSeen_, 0) << "a quiet run made a window";
}

TEST_F(CommandLineTest, TwoRefreshesOfOneVolumeRunOneAfterTheOther) {
  WriteVolumes(false);
  TVolumeRec docs;
  docs.Name = "Docs";
  // Held here as a running refresh would hold it: both runs wait for it.
  HANDLE held =
      CreateMutexW(nullptr, TRUE, NamedMutexObjectName(VolumeRefreshMutexName(docs)).c_str());
  ASSERT_NE(held, nullptr);
  TRun first = Start(L"/REFRESH Docs /QUIET");
  TRun second = Start(L"/REFRESH docs /QUIET");
  EXPECT_EQ(WaitForSingleObject(first.pi.hProcess, 1500), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(second.pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  ReleaseMutex(held);
  CloseHandle(held);
  std::string one, two;
  const long a = Finish(first, &one);
  const long b = Finish(second, &two);
  // One copied both files; the other, after it, found nothing changed.
  EXPECT_EQ(a + b, 1) << one << two;
  EXPECT_EQ(one + two == "Volume \"Docs\": 2 of 2 files have changed.\r\n"
                         "Volume \"Docs\": 0 of 2 files have changed.\r\n" ||
                one + two == "Volume \"Docs\": 0 of 2 files have changed.\r\n"
                             "Volume \"Docs\": 2 of 2 files have changed.\r\n",
            true)
      << one << two;
  EXPECT_EQ(CopyOf("g.txt"), "two");
}

TEST_F(CommandLineTest, ARefreshBesideTheOpenWindowLeavesItWorking) {
  WriteVolumes(false);
  ASSERT_TRUE(Launch(L"", window_));
  HWND main = test::WaitForMainWindow(window_.dwProcessId);
  ASSERT_NE(main, nullptr);

  // Not handed to the running copy: it runs itself and ends with its own code.
  EXPECT_EQ(Run(L"/REFRESH Docs /QUIET"), exitcode::FilesCopied);
  EXPECT_EQ(CopyOf("f.txt"), "one");
  DWORD_PTR result = 0;
  EXPECT_NE(SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result), 0);
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_EQ(WaitForSingleObject(window_.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  // And the window still answers its own controls.
  HWND next = forms::FindControl(main, "NextBTN");
  if (next) EXPECT_TRUE(IsWindowEnabled(next));
}

}  // namespace
}  // namespace tw
