// The command-line refresh: its arguments, its exit codes, and whole runs over the in-memory
// file system with the window-less UI, a scripted UI and scripted named mutexes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/cmdline.h"
#include "engine/operations.h"
#include "engine/volumeidentity.h"
#include "platform/memory/FakeClock.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/MemoryNamedMutex.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/ScriptedOperationUI.h"

namespace tw {
namespace {

const std::string kAppDir = "C:\\Prog\\";
const std::string kRunLog = "C:\\Logs\\run.log";
const std::string kOtherId = "{7C9E6679-7425-40DE-944B-E07FC1F90AE7}";

TEST(CommandLineArguments, EveryFormParsesAndEveryBadOneIsRefusedWithAReason) {
  EXPECT_FALSE(IsCommandLineRun({}));
  EXPECT_FALSE(IsCommandLineRun({"/WINSTART"}));
  EXPECT_TRUE(IsCommandLineRun({"/quiet"}));
  EXPECT_TRUE(IsCommandLineRun({"/Log:x"}));

  TCommandLine c = ParseCommandLine({"/refresh", "My Docs", "/Quiet", "/LOG:C:\\a b\\r.log"});
  EXPECT_EQ(c.Error, "");
  EXPECT_TRUE(c.Refresh);
  EXPECT_FALSE(c.All);
  EXPECT_TRUE(c.Quiet);
  EXPECT_FALSE(c.List);
  EXPECT_EQ(c.Volume, "My Docs");
  EXPECT_EQ(c.LogPath, "C:\\a b\\r.log");

  c = ParseCommandLine({"/LIST", "/REFRESH", "/ALL"});
  EXPECT_EQ(c.Error, "");
  EXPECT_TRUE(c.All && c.List && !c.Quiet);
  EXPECT_EQ(c.Volume, "");

  // A name that is a switch is never taken as a volume's name.
  EXPECT_NE(ParseCommandLine({"/REFRESH", "/QUIET"}).Error, "");
  EXPECT_NE(ParseCommandLine({"/REFRESH"}).Error, "");
  EXPECT_NE(ParseCommandLine({"/REFRESH", "Docs", "/ALL"}).Error, "");
  EXPECT_NE(ParseCommandLine({"/REFRESH", "Docs", "Music"}).Error, "");
  EXPECT_NE(ParseCommandLine({"/REFRESH", "Docs", "/REFRESH", "Music"}).Error, "");
  EXPECT_NE(ParseCommandLine({"/QUIET", "/ALL"}).Error, "");
  EXPECT_NE(ParseCommandLine({"/REFRESH", "/ALL", "/LOG:"}).Error, "");
  EXPECT_NE(ParseCommandLine({"/REFRESH", "/ALL", "/LOG:a", "/LOG:b"}).Error, "");
  EXPECT_NE(ParseCommandLine({"/REFRESH", "/ALL", "/FORCE"}).Error, "");
  EXPECT_NE(ParseCommandLine({"/REFRESH", "   "}).Error, "");
}

TEST(CommandLineExitCode, TheWorstVolumeDecides) {
  auto r = [](TCmdEnd end, int changed = 0, bool errors = false) {
    TCmdVolumeResult x;
    x.End = end;
    x.FilesChanged = changed;
    x.Errors = errors;
    return x;
  };
  EXPECT_EQ(RunExitCode({}), 0);
  EXPECT_EQ(RunExitCode({r(TCmdEnd::Done)}), 0);
  EXPECT_EQ(RunExitCode({r(TCmdEnd::Done), r(TCmdEnd::Done, 3)}), 1);
  EXPECT_EQ(RunExitCode({r(TCmdEnd::Done, 3), r(TCmdEnd::VolumeMissing)}), 2);
  EXPECT_EQ(RunExitCode({r(TCmdEnd::PathUnavailable), r(TCmdEnd::Done)}), 2);
  // Errors outrank copies: a run that copied some files and failed others did not succeed.
  EXPECT_EQ(RunExitCode({r(TCmdEnd::SelectionMissing), r(TCmdEnd::Done, 3, true)}), 8);
  EXPECT_EQ(RunExitCode({r(TCmdEnd::Failed)}), 8);
  EXPECT_EQ(RunExitCode({r(TCmdEnd::Done, 0, true), r(TCmdEnd::Busy)}), 16);
}

// One shared mutex per name, as the system keeps them; each opening forwards to it.
struct Mutexes {
  struct Handle : INamedMutex {
    explicit Handle(MemoryNamedMutex& m) : m(m) {}
    bool Acquire(uint32_t ms) override { return m.Acquire(ms); }
    void Release() override { m.Release(); }
    MemoryNamedMutex& m;
  };
  TNamedMutexFactory Factory() {
    return [this](const std::string& name) {
      opened.push_back(name);
      return std::make_unique<Handle>(byName[name]);
    };
  }
  std::map<std::string, MemoryNamedMutex> byName;
  std::vector<std::string> opened;
};

struct Machine {
  Machine() {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.AddDrive("D:", DriveType::Fixed);
    fs.SetTempFolder("C:\\Temp");
    fs.MakeDirs("C:\\Temp");
    fs.MakeDirs("C:\\Prog");
    fs.MakeDirs("C:\\Logs");
  }
  // A volume backed up before: its selection file names the files, and each has a copy that
  // matches its original, so nothing needs copying until one changes.
  TVolumeRec& Add(const std::string& name, const std::vector<std::string>& files,
                  const std::string& drive = "D:") {
    auto v = std::make_unique<TVolumeRec>();
    v->Name = name;
    v->BackupPath = drive + "\\" + name + "\\";
    v->SeparateFolders = true;
    std::string tws = "[C:\\" + name + "]\r\n";
    for (const auto& f : files) {
      const std::string original = "C:\\" + name + "\\" + f;
      fs.WriteFile(original, "old " + f);
      fs.WriteFile(drive + "\\" + name + "\\From Drive C\\" + name + "\\" + f, "old " + f);
      fs.SetTime(drive + "\\" + name + "\\From Drive C\\" + name + "\\" + f, *fs.TimeOf(original));
      tws += f + "=#\r\n";
    }
    fs.WriteFile(kAppDir + name + ".TWS", tws);
    volumes.push_back(std::move(v));
    return *volumes.back();
  }
  void Change(const std::string& volume, const std::string& file) {
    fs.WriteFile("C:\\" + volume + "\\" + file, "new " + file);
    fs.SetTime("C:\\" + volume + "\\" + file, MemoryFileSystem::kDefaultTime + 100000000ull);
  }
  std::string Copy(const std::string& volume, const std::string& file) {
    return fs.Contents("D:\\" + volume + "\\From Drive C\\" + volume + "\\" + file).value_or("-");
  }
  int Run(const std::vector<std::string>& args, IOperationUI* withUI = nullptr,
          bool unreadable = false) {
    TCommandLineRefresh run(fs, clock, selectionLock, mutexes.Factory(), kAppDir);
    console.clear();
    run.Console = [this](const std::string& l) { console.push_back(l); };
    run.Health = &health;
    run.VolumeIds = &ids;
    const int code = run.Run(ParseCommandLine(args), volumes, unreadable, withUI ? *withUI : quiet);
    results = run.Results();
    return code;
  }
  std::string RunLog() { return fs.Contents(kRunLog).value_or(""); }

  MemoryFileSystem fs;
  FakeClock clock;
  MemoryRegistry registry;
  TRefreshHealthStore health{registry, "\\Software\\Corvane\\Tidewell"};
  TVolumeIdStore ids{registry, "\\Software\\Corvane\\Tidewell"};
  MemoryNamedMutex selectionLock;
  Mutexes mutexes;
  TVolumeList volumes;
  TQuietOperationUI quiet;
  std::vector<std::string> console;
  std::vector<TCmdVolumeResult> results;
};

TEST(CommandLineRefresh, CopiesWhatChangedInListOrderAndSaysSoOnTheConsoleAndInItsLog) {
  Machine m;
  m.Add("Docs", {"a.txt", "b.txt"});
  m.Add("Music", {"m.mp3"});
  m.fs.WriteFile(kRunLog, "earlier run\r\n");

  EXPECT_EQ(m.Run({"/REFRESH", "/ALL", "/QUIET", "/LOG:" + kRunLog}), exitcode::NothingCopied);
  EXPECT_EQ(m.console, (std::vector<std::string>{
                           "Volume \"Docs\": 0 of 2 files have changed.",
                           "Volume \"Music\": 0 of 1 files have changed."}));

  m.Change("Docs", "b.txt");
  // The name matches in any case, as the window's lists do.
  EXPECT_EQ(m.Run({"/REFRESH", "docs", "/QUIET", "/LOG:" + kRunLog}), exitcode::FilesCopied);
  EXPECT_EQ(m.Copy("Docs", "b.txt"), "new b.txt");
  EXPECT_EQ(m.console, std::vector<std::string>{"Volume \"Docs\": 1 of 2 files have changed."});
  // Appended, never emptied; each volume's walk log is copied in under its heading.
  const std::string log = m.RunLog();
  EXPECT_EQ(log.rfind("earlier run\r\nRefreshing volume Docs (D:\\Docs\\)\r\n", 0), 0u) << log;
  EXPECT_NE(log.find("Refreshing volume Music"), std::string::npos);
  EXPECT_NE(log.find("Volume \"Docs\": 1 of 2 files have changed.\r\n"), std::string::npos);
  // Each refresh held its volume's own lock, and the /LOG file's lock while it appended; each
  // was given back.
  EXPECT_EQ(std::count_if(m.mutexes.opened.begin(), m.mutexes.opened.end(),
                          [](const std::string& n) { return n.rfind("TidewellRefresh-", 0) == 0; }),
            3);
  EXPECT_EQ(m.mutexes.byName.size(), 3u);
  EXPECT_EQ(m.mutexes.byName.count(NamedLockName("TidewellLog-", UpperCaseName(kRunLog))), 1u);
  for (auto& [name, mutex] : m.mutexes.byName) {
    EXPECT_EQ(mutex.Depth(), 0) << name;
    EXPECT_EQ(mutex.LastTimeoutMs, TCommandLineRefresh::kVolumeWaitMs);
  }
  EXPECT_EQ(VolumeRefreshMutexName(*m.volumes[0]).rfind("TidewellRefresh-", 0), 0u);
  TVolumeRec lower = *m.volumes[0];
  lower.Name = "DOCS";
  EXPECT_EQ(VolumeRefreshMutexName(lower), VolumeRefreshMutexName(*m.volumes[0]));
  EXPECT_NE(VolumeRefreshMutexName(*m.volumes[1]), VolumeRefreshMutexName(*m.volumes[0]));
}

TEST(CommandLineRefresh, LogsEachVolumeApartAndNeverTouchesTheLogOfTheWindowsOperation) {
  Machine m;
  m.Add("Docs", {"a.txt"});
  m.Add("Music", {"m.mp3"});
  m.Change("Docs", "a.txt");
  m.Change("Music", "m.mp3");
  // The window's operation has its log open (Windows refuses a second writer: 32).
  m.fs.WriteFile("C:\\Temp\\TW-LOG.TMP", "the window's walk\r\n");
  FsFault held;
  held.op = FsOp::OpenWrite;
  held.path = "C:\\Temp\\TW-LOG.TMP";
  held.match = PathMatch::Exact;
  held.error = winerr::SharingViolation;
  held.times = FsFault::kAlways;
  m.fs.AddFault(held);

  EXPECT_EQ(m.Run({"/REFRESH", "/ALL", "/QUIET", "/LOG:" + kRunLog}), exitcode::FilesCopied);
  EXPECT_EQ(m.Copy("Docs", "a.txt"), "new a.txt");
  EXPECT_EQ(m.Copy("Music", "m.mp3"), "new m.mp3");
  EXPECT_EQ(m.fs.Contents("C:\\Temp\\TW-LOG.TMP"), "the window's walk\r\n");
  const std::string docsLog = VolumeLogFilePath(m.fs, *m.volumes[0]);
  const std::string musicLog = VolumeLogFilePath(m.fs, *m.volumes[1]);
  EXPECT_NE(docsLog, musicLog);
  EXPECT_EQ(docsLog.rfind("C:\\Temp\\TW-LOG-", 0), 0u) << docsLog;
  EXPECT_TRUE(m.fs.Exists(docsLog));
  EXPECT_TRUE(m.fs.Exists(musicLog));
}

TEST(CommandLineRefresh, ListCopiesNothingAndNamesExactlyWhatTheRefreshThenCopies) {
  Machine m;
  m.Add("Docs", {"a.txt", "b.txt", "c.txt"});
  m.Change("Docs", "a.txt");
  m.Change("Docs", "c.txt");
  m.fs.WriteFile("C:\\Docs\\Sub\\new.txt", "n");
  m.fs.WriteFile(kAppDir + "Docs.TWS", "[C:\\Docs]\r\na.txt=#\r\nb.txt=#\r\nc.txt=#\r\n"
                                          "[C:\\Docs\\Sub]\r\n**ALL**=#\r\n");
  const auto before = m.fs.ListAll();

  EXPECT_EQ(m.Run({"/REFRESH", "Docs", "/LIST", "/LOG:" + kRunLog}), exitcode::FilesCopied);
  std::vector<std::string> after = m.fs.ListAll();
  after.erase(std::remove_if(after.begin(), after.end(),
                             [](const std::string& p) {
                               return p.rfind("C:\\Temp\\", 0) == 0 ||
                                      p.rfind("C:\\Logs\\", 0) == 0;
                             }),
              after.end());
  std::vector<std::string> expected = before;
  expected.erase(std::remove_if(expected.begin(), expected.end(),
                                [](const std::string& p) {
                                  return p.rfind("C:\\Temp\\", 0) == 0 ||
                                         p.rfind("C:\\Logs\\", 0) == 0;
                                }),
                 expected.end());
  // Not a file nor a folder more on the volume.
  EXPECT_EQ(after, expected);
  EXPECT_EQ(m.Copy("Docs", "a.txt"), "old a.txt");
  EXPECT_EQ(m.console, std::vector<std::string>{"Volume \"Docs\": 3 of 4 files would be copied."});
  const std::string log = m.RunLog();
  std::vector<std::string> listed;
  for (size_t p = log.find("Would copy "); p != std::string::npos;
       p = log.find("Would copy ", p + 1))
    listed.push_back(log.substr(p + 11, log.find("\r\n", p) - p - 11));
  EXPECT_EQ(listed, (std::vector<std::string>{"C:\\Docs\\a.txt", "C:\\Docs\\c.txt",
                                              "C:\\Docs\\Sub\\new.txt"}));

  // A volume folder the refresh would make first: everything is listed, nothing is made.
  TVolumeRec& fresh = m.Add("Fresh", {"x.txt"});
  fresh.BackupPath = "D:\\Elsewhere\\";
  EXPECT_EQ(m.Run({"/REFRESH", "Fresh", "/LIST"}), exitcode::FilesCopied);
  EXPECT_EQ(m.console, std::vector<std::string>{"Volume \"Fresh\": 1 of 1 files would be copied."});
  EXPECT_FALSE(m.fs.Exists("D:\\Elsewhere"));
  EXPECT_EQ(m.health.Read("Docs").LastGood, 0) << "a dry run is no refresh";

  m.fs.ClearCalls();
  EXPECT_EQ(m.Run({"/REFRESH", "Docs"}), exitcode::FilesCopied);
  EXPECT_EQ(m.health.Read("Docs").LastGood, std::floor(m.clock.Now() * 86400) / 86400)
      << "a refresh counts for the overdue warning";
  std::vector<std::string> copied;
  for (const auto& c : m.fs.Calls())
    if (c.op == FsOp::Copy) copied.push_back(c.path);
  EXPECT_EQ(copied, listed);
}

TEST(CommandLineRefresh, MissingVolumeSelectionOrDiskAndAnUnreadableListOrBadArguments) {
  Machine m;
  m.fs.AddDrive("E:", DriveType::Removable);
  m.Add("Docs", {"a.txt"});
  m.Add("Photos", {"p.jpg"}, "E:");
  m.fs.WriteFile("E:\\Photos\\From Drive C\\Photos\\p.jpg", "old p.jpg");
  m.Change("Docs", "a.txt");

  EXPECT_EQ(m.Run({"/REFRESH", "Nope", "/QUIET"}), exitcode::Missing);
  EXPECT_EQ(m.console, std::vector<std::string>{"Volume \"Nope\": no volume of this name."});

  m.fs.RemoveDrive("E:");
  // The other volume is still refreshed; the missing disk decides the code.
  EXPECT_EQ(m.Run({"/REFRESH", "/ALL", "/QUIET", "/LOG:" + kRunLog}), exitcode::Missing);
  EXPECT_EQ(m.Copy("Docs", "a.txt"), "new a.txt");
  EXPECT_NE(m.RunLog().find("Volume \"Photos\": its backup folder is not available."),
            std::string::npos);
  EXPECT_FALSE(m.fs.Exists("E:\\Photos"));

  m.fs.Remove(kAppDir + "Docs.TWS");
  EXPECT_EQ(m.Run({"/REFRESH", "Docs", "/QUIET"}), exitcode::Missing);
  EXPECT_EQ(m.results.at(0).End, TCmdEnd::SelectionMissing);

  // A list without volumes backs nothing up: that is no success.
  TVolumeList none;
  std::swap(none, m.volumes);
  EXPECT_EQ(m.Run({"/REFRESH", "/ALL", "/QUIET"}), exitcode::Missing);
  EXPECT_EQ(m.console, std::vector<std::string>{"Tidewell: there are no volumes in " + kAppDir +
                                                "VOLUMES.TWB; nothing was refreshed."});
  std::swap(none, m.volumes);

  // Nothing is looked at when the list cannot be trusted or the arguments are bad.
  m.fs.ClearCalls();
  EXPECT_EQ(m.Run({"/REFRESH", "/ALL", "/QUIET"}, nullptr, true), exitcode::CouldNotRun);
  EXPECT_EQ(m.Run({"/REFRESH", "/QUIET"}), exitcode::CouldNotRun);
  EXPECT_TRUE(m.results.empty());
  EXPECT_EQ(m.fs.CallCount(FsOp::Copy), 0);
  EXPECT_GE(m.console.size(), 2u);
}

TEST(CommandLineRefresh, ADiskBackUnderAnotherLetterIsRefreshedThereAndAnotherVolumesNeverWritten) {
  Machine m;
  m.fs.AddDrive("E:", DriveType::Removable);
  TVolumeRec& photos = m.Add("Photos", {"p.jpg"}, "E:");
  m.fs.WriteFile("E:\\Photos\\VOLUME.TWV", "[Tidewell Volume]\r\nVolume File=#\r\n");
  // A folder of old gets its identity from the first refresh, and copies as before.
  m.Change("Photos", "p.jpg");
  EXPECT_EQ(m.Run({"/REFRESH", "Photos", "/QUIET"}), exitcode::FilesCopied);
  const std::string id = m.ids.Read("Photos");
  ASSERT_TRUE(IsVolumeId(id));
  EXPECT_NE(m.fs.Contents("E:\\Photos\\VOLUME.TWV")->find("Id=" + id), std::string::npos);

  // The disk comes back as F:, and E: is gone.
  m.fs.AddDrive("F:", DriveType::Removable);
  for (const std::string& path : m.fs.ListAll()) {
    if (path.rfind("E:\\", 0) != 0 || m.fs.IsDir(path)) continue;
    m.fs.WriteFile("F:" + path.substr(2), *m.fs.Contents(path));
    m.fs.SetTime("F:" + path.substr(2), *m.fs.TimeOf(path));
  }
  m.fs.RemoveDrive("E:");
  m.fs.WriteFile("C:\\Photos\\p.jpg", "newer p.jpg");
  m.fs.SetTime("C:\\Photos\\p.jpg", MemoryFileSystem::kDefaultTime + 200000000ull);
  EXPECT_EQ(m.Run({"/REFRESH", "Photos", "/QUIET", "/LOG:" + kRunLog}), exitcode::FilesCopied);
  EXPECT_EQ(m.fs.Contents("F:\\Photos\\From Drive C\\Photos\\p.jpg"), "newer p.jpg");
  EXPECT_EQ(photos.BackupPath, "E:\\Photos\\") << "changing the path is the user's choice";
  EXPECT_EQ(m.console, std::vector<std::string>{"Volume \"Photos\": 1 of 1 files have changed. "
                                                "Its folder was found at F:\\Photos\\."});
  EXPECT_NE(m.RunLog().find(VolumeMovedLogLine("Photos", "E:\\Photos\\", "F:\\Photos\\")),
            std::string::npos)
      << m.RunLog();

  // E: holds another volume's folder at that path and the disk is away: nothing is written.
  m.fs.RemoveDrive("F:");
  m.fs.AddDrive("E:", DriveType::Removable);
  m.fs.WriteFile("E:\\Photos\\VOLUME.TWV", "[Tidewell Volume]\r\nVolume File=#\r\n"
                                           "[Tidewell Identity]\r\nVolume=Photos\r\nId=" +
                                               kOtherId + "\r\n");
  const auto before = m.fs.ListAll();
  EXPECT_EQ(m.Run({"/REFRESH", "Photos", "/QUIET"}), exitcode::Missing);
  EXPECT_EQ(m.results.at(0).End, TCmdEnd::ForeignFolder);
  EXPECT_EQ(m.console, std::vector<std::string>{
                           "Volume \"Photos\": its backup folder holds another volume's backup; "
                           "nothing was written."});
  auto after = m.fs.ListAll();
  auto notTemp = [](const std::string& p) { return p.rfind("C:\\Temp\\", 0) == 0; };
  after.erase(std::remove_if(after.begin(), after.end(), notTemp), after.end());
  auto expected = before;
  expected.erase(std::remove_if(expected.begin(), expected.end(), notTemp), expected.end());
  EXPECT_EQ(after, expected);
  EXPECT_EQ(m.ids.Read("Photos"), id);

  // Another disk without the folder in E:, the volume's own nowhere: no whole new backup
  // onto a disk that is not the volume's.
  m.fs.RemoveDrive("E:");
  m.fs.AddDrive("E:", DriveType::Removable);
  EXPECT_EQ(m.Run({"/REFRESH", "Photos", "/QUIET"}), exitcode::Missing);
  EXPECT_EQ(m.results.at(0).End, TCmdEnd::PathUnavailable);
  EXPECT_FALSE(m.fs.Exists("E:\\Photos"));
}

TEST(CommandLineRefresh, QuietFullDiskStopsWithoutAskingAndTheLogSaysWhy) {
  Machine m;
  m.fs.AddDrive("E:", DriveType::Removable);
  m.Add("Photos", {"p1.jpg", "p2.jpg"}, "E:");
  m.Change("Photos", "p1.jpg");
  m.Change("Photos", "p2.jpg");
  FsFault full;
  full.op = FsOp::Copy;
  full.path = "E:\\";
  full.match = PathMatch::Prefix;
  full.error = winerr::DiskFull;
  full.times = FsFault::kAlways;
  m.fs.AddFault(full);

  EXPECT_EQ(m.Run({"/REFRESH", "Photos", "/QUIET", "/LOG:" + kRunLog}), exitcode::Errors);
  // The safe answer to "insert another disk" is to stop: nothing more was tried.
  EXPECT_EQ(m.quiet.Asked,
            (std::vector<std::string>{kDiskFullInsert, kRefreshErrorQuestion}));
  EXPECT_EQ(m.fs.CallCount(FsOp::Copy), 1);
  const std::string log = m.RunLog();
  EXPECT_NE(log.find(logline::kDiskFullTerminated), std::string::npos) << log;
  EXPECT_NE(log.find(std::string("Stopped without asking: ") + kDiskFullInsert),
            std::string::npos);
  EXPECT_EQ(log.find(std::string("Stopped without asking: ") + kRefreshErrorQuestion),
            std::string::npos);
  // The old copy stays whole.
  EXPECT_EQ(m.fs.Contents("E:\\Photos\\From Drive C\\Photos\\p1.jpg"), "old p1.jpg");
  EXPECT_TRUE(m.fs.TemporaryFiles().empty());
}

TEST(CommandLineRefresh, AVolumeBeingRefreshedElsewhereIsWaitedForThenGivenUp) {
  Machine m;
  TVolumeRec& docs = m.Add("Docs", {"a.txt"});
  m.Change("Docs", "a.txt");
  MemoryNamedMutex& held = m.mutexes.byName[VolumeRefreshMutexName(docs)];
  held.HeldElsewhere = true;

  EXPECT_EQ(m.Run({"/REFRESH", "Docs", "/QUIET", "/LOG:" + kRunLog}), exitcode::CouldNotRun);
  EXPECT_EQ(held.LastTimeoutMs, 60000u);
  EXPECT_EQ(m.Copy("Docs", "a.txt"), "old a.txt");
  EXPECT_NE(m.RunLog().find("Error: Another refresh of the volume Docs held it for 60 seconds"),
            std::string::npos);

  // The window's automatic refresh takes the same lock and does not wait: it skips the volume.
  TRefreshScheduler window(m.fs, m.clock, m.selectionLock, kAppDir);
  window.VolumeLocks = m.mutexes.Factory();
  ScriptedOperationUI ui;
  EXPECT_EQ(window.RefreshVolume(docs, m.volumes, ui).End, TAutoRefreshEnd::Busy);
  EXPECT_EQ(held.LastTimeoutMs, 0u);
  EXPECT_EQ(m.Copy("Docs", "a.txt"), "old a.txt");
  // Its check does not count the day as refreshed: the next tick tries again.
  docs.AutoRefresh = true;
  docs.Frequency = 0;
  docs.LastRefresh = 40000.5;
  EXPECT_EQ(window.RefreshTimerTimer(m.volumes, TRefreshCheck::StartUp, ui), TCheckEnd::Ran);
  ASSERT_EQ(window.LastCheck.size(), 1u);
  EXPECT_EQ(window.LastCheck[0].End, TAutoRefreshEnd::Busy);
  EXPECT_EQ(docs.LastRefresh, 40000.5);

  // Once the holder is done, the next run does the work.
  held.HeldElsewhere = false;
  EXPECT_EQ(m.Run({"/REFRESH", "Docs", "/QUIET"}), exitcode::FilesCopied);
  EXPECT_EQ(m.Copy("Docs", "a.txt"), "new a.txt");
}

TEST(CommandLineRefresh, WithoutQuietTheQuestionsAndTheEndReportGoToTheUser) {
  Machine m;
  TVolumeRec& docs = m.Add("Docs", {"a.txt"});
  m.Change("Docs", "a.txt");
  ScriptedOperationUI ui;
  // A report nobody answers (a scheduled run with a window) must not keep the volume locked.
  int depthAtReport = -1;
  ui.onMessage = [&](const UiMessage&) {
    depthAtReport = m.mutexes.byName[VolumeRefreshMutexName(docs)].Depth();
  };
  EXPECT_EQ(m.Run({"/REFRESH", "Docs"}, &ui), exitcode::FilesCopied);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, AutoRefreshFinishedText("Docs", 1, 1));
  EXPECT_EQ(depthAtReport, 0);
}

}  // namespace
}  // namespace tw
