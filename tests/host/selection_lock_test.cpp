// The selection file shared with the Explorer extension: read and replaced under the named lock,
// whose scripted form lets the extension write while Tidewell waits for it.
#include <gtest/gtest.h>

#include "engine/operations.h"
#include "engine/scheduler.h"
#include "engine/selectionmerge.h"
#include "platform/ProfileFile.h"
#include "platform/memory/FakeClock.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/MemoryNamedMutex.h"
#include "platform/memory/ScriptedOperationUI.h"

namespace tw {
namespace {

const std::string kAppDir = "C:\\Prog\\";
const std::string kFile = kAppDir + "Docs.TWS";

struct Machine {
  Machine() {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.AddDrive("D:", DriveType::Fixed);
    fs.SetTempFolder("C:\\Temp");
    fs.MakeDirs("C:\\Temp");
    fs.MakeDirs("C:\\Prog");
    for (const char* f : {"C:\\Data\\a.txt", "C:\\Data\\b.txt", "C:\\Mail\\m.txt",
                          "C:\\Photos\\p.jpg", "C:\\root.txt", "C:\\Music\\x.mp3"})
      fs.WriteFile(f, "x");
    volume.Name = "Docs";
    volume.BackupPath = "D:\\Backup\\";
    volume.SeparateFolders = true;
  }
  // What the extension does to the file under the lock: read it, add, replace it.
  void Mark(const std::string& section, const std::string& key) {
    TProfileFile file(fs, kFile);
    ASSERT_EQ(file.Load(), winerr::Success);
    if (key == "**ALL**") file.EraseSection(section);
    ASSERT_EQ(file.WriteString(section, key, "#"), winerr::Success);
    ASSERT_EQ(file.Save(), winerr::Success);
  }
  bool Has(const std::string& section, const std::string& key) {
    TProfileFile file(fs, kFile);
    EXPECT_EQ(file.Load(), winerr::Success);
    return file.HasKey(section, key);
  }
  MemoryFileSystem fs;
  MemoryNamedMutex lock;
  ScriptedOperationUI ui;
  TVolumeRec volume;
};

TEST(SelectionLock, ARefreshKeepsMarksMadeBetweenItsLoadAndSave) {
  Machine m;
  m.fs.WriteFile(kFile, "[C:\\Data]\r\na.txt=#\r\n[C:\\Music]\r\n**ALL**=#\r\n");
  // The lock is held for the read and the replacement only, never during a scan or the walk.
  int walkedLocked = 0, scanned = 0;
  m.ui.onProcessMessages = [&] { walkedLocked += m.lock.Depth() > 0; };
  // The extension marks while Tidewell waits for the lock to write back: a file, a whole
  // folder and a drive-root file, each in its own section.
  m.lock.BeforeAcquire = [&] {
    if (m.lock.Acquired != 1) return;
    m.Mark("C:\\Mail\\", "m.txt");
    m.Mark("C:\\Photos", "**ALL**");
    m.Mark("C:\\", "root.txt");
  };
  TWLDesktopNode sel(m.fs);
  sel.Environment().messageInterval = std::chrono::milliseconds(0);
  sel.Environment().processMessages = [&] {
    ++scanned;
    walkedLocked += m.lock.Depth() > 0;
  };
  TSelectionRefresh r = RefreshFromSelectionFile(m.fs, m.ui, m.lock, m.volume, sel, kFile);
  EXPECT_EQ(r.Result, TAddResult::Finished);
  EXPECT_EQ(r.SaveError, winerr::Success);
  EXPECT_FALSE(r.Unlocked);
  EXPECT_GT(scanned, 0);
  EXPECT_EQ(m.lock.Acquired, 2);
  EXPECT_EQ(m.lock.Depth(), 0);
  EXPECT_EQ(m.lock.LastTimeoutMs, kSelectionLockWaitMs);
  EXPECT_EQ(walkedLocked, 0);
  EXPECT_TRUE(m.Has("C:\\Data", "a.txt"));
  EXPECT_TRUE(m.Has("C:\\Mail\\", "m.txt"));
  EXPECT_TRUE(m.Has("C:\\Photos", "**ALL**"));
  EXPECT_TRUE(m.Has("C:\\", "root.txt"));
  // The next load sees all of them.
  TWLDesktopNode next(m.fs);
  ASSERT_EQ(next.LoadFromFile(kFile), winerr::Success);
  EXPECT_EQ(CountSelectedFiles(next), 5);

  // What the user took out after the load stays out; a mark made meanwhile stays in.
  TSelectionFiles files(m.fs, m.lock);
  TSelectionSeen seen;
  ASSERT_EQ(files.Load(sel, kFile, &seen), winerr::Success);
  sel.FindNode("C:\\Data")->RemoveFile("a.txt");
  m.Mark("C:\\Data\\", "b.txt");
  ASSERT_EQ(files.Save(sel, kFile, seen), winerr::Success);
  EXPECT_FALSE(m.Has("C:\\Data", "a.txt"));
  EXPECT_TRUE(m.Has("C:\\Data\\", "b.txt"));
  EXPECT_TRUE(m.Has("C:\\Mail", "m.txt"));  // as the tree saves what it loaded
  EXPECT_EQ(m.lock.Depth(), 0);
}

TEST(SelectionLock, ABackupReplacesTheFileButKeepsMarksMadeAfterItBegan) {
  Machine m;
  // Marks no refresh has loaded: the backup's selection replaces them, as it always did.
  m.fs.WriteFile(kFile, "[C:\\Mail\\]\r\nm.txt=#\r\n");
  TWLDesktopNode sel(m.fs);
  sel.AddPath("C:\\Data")->AddFile("a.txt", 1);
  TSelectionFiles files(m.fs, m.lock);
  TSelectionSeen seen;
  ASSERT_EQ(files.Note(kFile, seen), winerr::Success);  // as the backup begins
  m.Mark("C:\\Photos", "**ALL**");                       // during it
  m.Mark("C:\\Mail\\", "m.txt");                          // again: no change to the file
  ASSERT_EQ(files.Save(sel, kFile, seen), winerr::Success);
  EXPECT_TRUE(m.Has("C:\\Data", "a.txt"));
  EXPECT_TRUE(m.Has("C:\\Photos", "**ALL**"));
  EXPECT_FALSE(m.Has("C:\\Mail\\", "m.txt"));
  EXPECT_EQ(files.Unlocked, 0);

  // A file that could not be read when the backup began: nothing of it is known, so all it
  // holds at the save is kept.
  m.fs.AddFault(
      {FsOp::ReadAll, kFile, PathMatch::Exact, winerr::SharingViolation, 0, FsFault::kAlways});
  EXPECT_EQ(files.Note(kFile, seen), winerr::SharingViolation);
  EXPECT_FALSE(seen.Known());
  // Nor is a file that cannot be read at the save replaced: the marks in it would go.
  EXPECT_EQ(files.Save(sel, kFile, seen), winerr::SharingViolation);
  m.fs.ClearFaults();
  TWLDesktopNode other(m.fs);
  other.AddPath("C:\\Mail")->AddFile("m.txt", 1);
  ASSERT_EQ(files.Save(other, kFile, seen), winerr::Success);
  EXPECT_TRUE(m.Has("C:\\Data", "a.txt"));
  EXPECT_TRUE(m.Has("C:\\Photos", "**ALL**"));
  EXPECT_TRUE(m.Has("C:\\Mail", "m.txt"));

  // What was seen of another volume's file tells nothing about this one.
  const std::string music = kAppDir + "Music.TWS";
  m.fs.WriteFile(music, "[C:\\Photos]\r\n**ALL**=#\r\n");
  ASSERT_EQ(files.Note(kFile, seen), winerr::Success);
  ASSERT_EQ(files.Save(sel, music, seen), winerr::Success);
  TProfileFile musicFile(m.fs, music);
  ASSERT_EQ(musicFile.Load(), winerr::Success);
  EXPECT_TRUE(musicFile.HasKey("C:\\Photos", "**ALL**"));
  EXPECT_TRUE(musicFile.HasKey("C:\\Data", "a.txt"));
  EXPECT_TRUE(m.fs.TemporaryFiles().empty());
}

TEST(SelectionLock, HeldElsewherePastTheWaitTheReadAndTheSaveGoAheadAndSaySo) {
  Machine m;
  m.fs.WriteFile(kFile, "[C:\\Data]\r\na.txt=#\r\n");
  m.lock.HeldElsewhere = true;
  TWLDesktopNode sel(m.fs);
  m.lock.BeforeAcquire = [&] {
    if (m.lock.TimedOut == 1) m.Mark("C:\\Mail\\", "m.txt");
  };
  TSelectionRefresh r = RefreshFromSelectionFile(m.fs, m.ui, m.lock, m.volume, sel, kFile);
  EXPECT_EQ(r.Result, TAddResult::Finished);
  EXPECT_EQ(r.LoadError, winerr::Success);
  EXPECT_EQ(r.SaveError, winerr::Success);
  EXPECT_TRUE(r.Unlocked);
  EXPECT_EQ(m.lock.TimedOut, 2);
  EXPECT_EQ(m.lock.UnbalancedReleases, 0);
  // The user's selection is written and what the file held a moment before is kept.
  EXPECT_TRUE(m.Has("C:\\Data", "a.txt"));
  EXPECT_TRUE(m.Has("C:\\Mail\\", "m.txt"));
  EXPECT_NE(SavedWithoutLockText(kFile).find(kFile), std::string::npos);

  // The automatic refresh reads only: with the lock or without, the file stays as it is.
  m.lock.HeldElsewhere = false;
  m.lock.BeforeAcquire = nullptr;
  const auto before = m.fs.Contents(kFile);
  FakeClock clock;
  clock.SetLocal(2024, 3, 5, 12, 0);
  TVolumeList volumes;
  volumes.push_back(std::make_unique<TVolumeRec>(m.volume));
  volumes.back()->AutoRefresh = true;
  const int acquired = m.lock.Acquired;
  TRefreshScheduler scheduler(m.fs, clock, m.lock, kAppDir);
  ScriptedOperationUI ui;
  ui.onProcessMessages = [&] { EXPECT_EQ(m.lock.Depth(), 0); };
  scheduler.RefreshTimerTimer(volumes, TRefreshCheck::StartUp, ui);
  ASSERT_EQ(scheduler.LastCheck.size(), 1u);
  EXPECT_EQ(scheduler.LastCheck[0].FilesChecked, 2);
  EXPECT_EQ(m.lock.Acquired, acquired + 1);
  EXPECT_EQ(m.fs.Contents(kFile), before);
}

}  // namespace
}  // namespace tw
