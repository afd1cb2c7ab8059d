// The in-memory file system must behave as Windows does wherever the engine's results depend
// on it; otherwise engine tests pass against behaviour the real program never sees.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "platform/memory/MemoryFileSystem.h"

namespace tw {
namespace {

class MemoryFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { fs.AddDrive("C:", DriveType::Fixed); }

  std::vector<std::string> Names(const std::string& folder) {
    std::vector<FindData> entries;
    EXPECT_EQ(fs.List(folder, entries), winerr::Success) << folder;
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name);
    return names;
  }

  bool NoTempFiles() {
    auto all = fs.ListAll();
    return std::none_of(all.begin(), all.end(),
                        [](const std::string& p) { return p.find(".tmp") != std::string::npos; });
  }

  MemoryFileSystem fs;
};

TEST_F(MemoryFileSystemTest, NamesAreCaseInsensitiveCasePreservingAndListedInNtfsOrder) {
  fs.WriteFile("C:\\Data\\Report.TXT", "v1");
  std::string data;
  EXPECT_EQ(fs.ReadAll("c:\\DATA\\report.txt", data), winerr::Success);
  EXPECT_EQ(data, "v1");
  EXPECT_EQ(fs.MakeDir("C:\\data"), winerr::AlreadyExists);

  // Rewriting under another spelling replaces the file instead of adding a second one.
  EXPECT_EQ(fs.WriteAtomic("C:\\dAtA\\REPORT.txt", "v2"), winerr::Success);
  EXPECT_EQ(Names("C:\\Data"), std::vector<std::string>{"REPORT.txt"});
  EXPECT_EQ(fs.Contents("C:\\Data\\report.txt"), "v2");

  // Non-ASCII letters fold too.
  fs.WriteFile("C:\\Data\\Ärger.txt", "x");
  EXPECT_TRUE(fs.Exists("C:\\DATA\\äRGER.TXT"));
  fs.WriteFile("C:\\Data\\Привет", "x");
  EXPECT_TRUE(fs.Exists("C:\\Data\\ПРИВЕТ"));

  for (const char* n : {"b.txt", "A.txt", "c.txt", "_u", "B2"}) fs.WriteFile(std::string("C:\\L\\") + n, "");
  EXPECT_EQ(Names("C:\\L"), (std::vector<std::string>{"A.txt", "b.txt", "B2", "c.txt", "_u"}));
}

TEST_F(MemoryFileSystemTest, ErrorsAreTheOnesWindowsGives) {
  fs.WriteFile("C:\\Dir\\f.txt", "x");
  std::string data;
  std::vector<FindData> entries;
  EXPECT_EQ(fs.ReadAll("C:\\Dir\\missing.txt", data), winerr::FileNotFound);
  EXPECT_EQ(fs.ReadAll("C:\\NoDir\\f.txt", data), winerr::PathNotFound);
  EXPECT_EQ(fs.ReadAll("C:\\Dir\\f.txt\\below", data), winerr::PathNotFound);
  EXPECT_EQ(fs.ReadAll("C:\\Dir", data), winerr::AccessDenied);
  EXPECT_EQ(fs.ReadAll("Q:\\f.txt", data), winerr::PathNotFound);
  EXPECT_EQ(fs.ReadAll("\\\\srv\\share\\f.txt", data), winerr::BadNetPath);
  EXPECT_EQ(fs.WriteAtomic("C:\\NoDir\\f.txt", "x"), winerr::PathNotFound);
  EXPECT_EQ(fs.WriteAtomic("C:\\Dir", "x"), winerr::AccessDenied);
  EXPECT_EQ(fs.MakeDir("C:\\NoDir\\Sub"), winerr::PathNotFound);
  EXPECT_EQ(fs.MakeDir("C:\\Dir\\f.txt"), winerr::AlreadyExists);
  EXPECT_EQ(fs.RemoveDir("C:\\Dir"), winerr::DirNotEmpty);
  EXPECT_EQ(fs.RemoveDir("C:\\Dir\\f.txt"), winerr::DirectoryName);
  EXPECT_EQ(fs.RemoveDir("C:\\"), winerr::AccessDenied);
  EXPECT_EQ(fs.Remove("C:\\Dir"), winerr::AccessDenied);
  EXPECT_EQ(fs.Remove("C:\\Dir\\missing"), winerr::FileNotFound);
  EXPECT_EQ(fs.List("C:\\NoDir", entries), winerr::PathNotFound);
  EXPECT_EQ(fs.Move("C:\\Dir\\missing", "C:\\Dir\\g", false), winerr::FileNotFound);

  // Bad names are refused, never cut short or mapped to something else.
  EXPECT_EQ(fs.WriteAtomic("C:\\Dir\\a?b", "x"), winerr::InvalidName);
  EXPECT_EQ(fs.WriteAtomic("C:\\Dir\\a:b", "x"), winerr::InvalidName);
  EXPECT_EQ(fs.WriteAtomic("Dir\\relative", "x"), winerr::InvalidName);
  EXPECT_EQ(fs.WriteAtomic("C:drive-relative", "x"), winerr::InvalidName);
  EXPECT_EQ(fs.WriteAtomic("C:\\Dir\\bad\xff", "x"), winerr::InvalidName);
  EXPECT_EQ(fs.WriteAtomic("C:\\Dir\\" + std::string(256, 'n'), "x"), winerr::FilenameExcedRange);
  EXPECT_EQ(fs.WriteAtomic("C:\\Dir\\" + std::string(255, 'n'), "x"), winerr::Success);
  EXPECT_EQ(fs.ListAll().size(), 3u);
}

TEST_F(MemoryFileSystemTest, PathSpellingsOfOneFileMeetAndBlanksArePartOfNames) {
  fs.WriteFile("C:\\A\\B\\f.txt", "x");
  std::string data;
  for (const char* p : {"C:/A/B/f.txt", "\\\\?\\C:\\A\\B\\f.txt", "C:\\A\\.\\X\\..\\B\\f.txt",
                        "C:\\A\\\\B\\f.txt"}) {
    EXPECT_EQ(fs.ReadAll(p, data), winerr::Success) << p;
  }
  // Names that plain Win32 paths would trim stay distinct, as through "\\?\" paths.
  EXPECT_EQ(fs.WriteAtomic("C:\\A\\name ", "blank"), winerr::Success);
  EXPECT_EQ(fs.WriteAtomic("C:\\A\\name.", "dot"), winerr::Success);
  EXPECT_EQ(fs.WriteAtomic("C:\\A\\ name", "lead"), winerr::Success);
  EXPECT_FALSE(fs.Exists("C:\\A\\name"));
  EXPECT_EQ(fs.Contents("C:\\A\\name "), "blank");

  fs.AddDrive("\\\\Server\\Share", DriveType::Remote);
  EXPECT_EQ(fs.WriteAtomic("\\\\?\\UNC\\server\\share\\n.txt", "unc"), winerr::Success);
  EXPECT_EQ(fs.Contents("\\\\SERVER\\share\\N.TXT"), "unc");
  EXPECT_EQ(fs.DriveKind("\\\\server\\share\\"), DriveType::Remote);
  EXPECT_EQ(fs.DriveKind("c:\\"), DriveType::Fixed);
  EXPECT_EQ(fs.DriveKind("D:\\"), DriveType::NoRootDir);
}

TEST_F(MemoryFileSystemTest, ReadOnlyFilesRefuseRemovalAndOverwriteButMayBeRenamed) {
  fs.WriteFile("C:\\d\\ro.txt", "keep", fileattr::ReadOnly);
  fs.WriteFile("C:\\d\\other.txt", "other");
  EXPECT_EQ(fs.Remove("C:\\d\\ro.txt"), winerr::AccessDenied);
  EXPECT_EQ(fs.WriteAtomic("C:\\d\\ro.txt", "new"), winerr::AccessDenied);
  EXPECT_EQ(fs.Move("C:\\d\\other.txt", "C:\\d\\ro.txt", true), winerr::AccessDenied);
  EXPECT_EQ(fs.Contents("C:\\d\\ro.txt"), "keep");
  EXPECT_EQ(fs.Contents("C:\\d\\other.txt"), "other");
  EXPECT_TRUE(NoTempFiles());

  EXPECT_EQ(fs.Move("C:\\d\\ro.txt", "C:\\d\\renamed.txt", false), winerr::Success);
  EXPECT_EQ(fs.Attributes("C:\\d\\renamed.txt"), uint32_t{fileattr::ReadOnly});
  EXPECT_EQ(fs.SetAttrs("C:\\d\\renamed.txt", 0), winerr::Success);
  EXPECT_EQ(fs.Attributes("C:\\d\\renamed.txt"), uint32_t{fileattr::Normal});
  EXPECT_EQ(fs.Remove("C:\\d\\renamed.txt"), winerr::Success);

  EXPECT_EQ(fs.MakeDir("C:\\d\\rodir"), winerr::Success);
  EXPECT_EQ(fs.SetAttrs("C:\\d\\rodir", fileattr::ReadOnly), winerr::Success);
  EXPECT_EQ(fs.Attributes("C:\\d\\rodir"), uint32_t{fileattr::Directory | fileattr::ReadOnly});
  EXPECT_EQ(fs.RemoveDir("C:\\d\\rodir"), winerr::AccessDenied);
}

TEST_F(MemoryFileSystemTest, WriteAtomicKeepsTheOldFileWhenTheWriteFailsMidway) {
  fs.WriteFile("C:\\v\\VOLUMES.TWB", "old contents", fileattr::Archive, 42);
  FsFault f;
  f.op = FsOp::Write;
  f.path = "c:\\V\\volumes.twb";
  f.error = winerr::HandleDiskFull;
  f.partialBytes = 3;
  int id = fs.AddFault(f);

  EXPECT_EQ(fs.WriteAtomic("C:\\v\\VOLUMES.TWB", "new contents"), winerr::HandleDiskFull);
  EXPECT_EQ(fs.FaultHits(id), 1);
  EXPECT_EQ(fs.Contents("C:\\v\\VOLUMES.TWB"), "old contents");
  EXPECT_EQ(fs.TimeOf("C:\\v\\VOLUMES.TWB"), FileTime{42});
  EXPECT_EQ(fs.ListAll(), (std::vector<std::string>{"C:\\v", "C:\\v\\VOLUMES.TWB"}));

  // The fault was for one call only; the next write goes through and is time-stamped.
  fs.SetCurrentTime(1000);
  EXPECT_EQ(fs.WriteAtomic("C:\\v\\VOLUMES.TWB", "new contents"), winerr::Success);
  EXPECT_EQ(fs.Contents("C:\\v\\VOLUMES.TWB"), "new contents");
  EXPECT_EQ(fs.TimeOf("C:\\v\\VOLUMES.TWB"), FileTime{1000});
  EXPECT_EQ(fs.ListAll().size(), 2u);
}

TEST_F(MemoryFileSystemTest, FullDiskFailsWithDiskFullAndLosesNothing) {
  fs.AddDrive("A:", DriveType::Removable, 100);
  fs.WriteFile("A:\\f", std::string(60, 'o'));
  EXPECT_EQ(fs.FreeSpace("A:\\"), 40u);
  // The new copy needs room next to the old one until it replaces it.
  EXPECT_EQ(fs.WriteAtomic("A:\\f", std::string(50, 'n')), winerr::DiskFull);
  EXPECT_EQ(fs.Contents("A:\\f"), std::string(60, 'o'));
  EXPECT_EQ(fs.FreeSpace("A:\\"), 40u);
  EXPECT_EQ(fs.ListAll(), std::vector<std::string>{"A:\\f"});

  EXPECT_EQ(fs.WriteAtomic("A:\\f", std::string(40, 'n')), winerr::Success);
  EXPECT_EQ(fs.FreeSpace("A:\\"), 60u);

  fs.WriteFile("C:\\big", std::string(61, 'b'));
  EXPECT_EQ(fs.Move("C:\\big", "A:\\big", false), winerr::DiskFull);
  EXPECT_TRUE(fs.Exists("C:\\big"));
  fs.WriteFile("C:\\small", std::string(60, 's'));
  EXPECT_EQ(fs.Move("C:\\small", "A:\\small", false), winerr::Success);
  EXPECT_EQ(fs.FreeSpace("A:\\"), 0u);
  EXPECT_EQ(fs.Remove("A:\\f"), winerr::Success);
  EXPECT_EQ(fs.FreeSpace("A:\\"), 40u);
}

TEST_F(MemoryFileSystemTest, FaultsHonourSkipTimesAndPathRules) {
  fs.WriteFile("C:\\src\\a.txt", "a");
  fs.WriteFile("C:\\src\\sub\\b.txt", "b");
  fs.WriteFile("C:\\other\\c.txt", "c");
  std::string data;

  FsFault third;
  third.op = FsOp::ReadAll;
  third.path = "C:\\src\\a.txt";
  third.error = winerr::Crc;
  third.skip = 2;
  int id = fs.AddFault(third);
  std::vector<WinError> results;
  for (int i = 0; i < 4; ++i) results.push_back(fs.ReadAll("C:\\SRC\\A.TXT", data));
  EXPECT_EQ(results, (std::vector<WinError>{0, 0, winerr::Crc, 0}));
  EXPECT_EQ(fs.FaultHits(id), 1);
  EXPECT_EQ(fs.ReadAll("C:\\src\\sub\\b.txt", data), winerr::Success);  // exact rule only
  fs.ClearFaults();

  FsFault prefix;
  prefix.path = "C:\\src\\";
  prefix.match = PathMatch::Prefix;
  prefix.error = winerr::NotReady;
  prefix.times = FsFault::kAlways;
  fs.AddFault(prefix);
  EXPECT_EQ(fs.ReadAll("C:\\src\\sub\\b.txt", data), winerr::NotReady);
  EXPECT_EQ(fs.Remove("c:\\Src\\a.txt"), winerr::NotReady);
  EXPECT_EQ(fs.ReadAll("C:\\src\\a.txt", data), winerr::NotReady);
  EXPECT_EQ(fs.ReadAll("C:\\other\\c.txt", data), winerr::Success);
  // A move is refused when either end matches.
  EXPECT_EQ(fs.Move("C:\\other\\c.txt", "C:\\src\\c.txt", false), winerr::NotReady);
  EXPECT_TRUE(fs.Exists("C:\\src\\a.txt"));
  EXPECT_TRUE(fs.Exists("C:\\other\\c.txt"));
  fs.ClearFaults();

  FsFault contains;
  contains.op = FsOp::List;
  contains.path = "SUB";
  contains.match = PathMatch::Contains;
  contains.error = winerr::NetworkAccessDenied;
  contains.times = 2;
  fs.AddFault(contains);
  std::vector<FindData> entries;
  EXPECT_EQ(fs.List("C:\\src\\sub", entries), winerr::NetworkAccessDenied);
  EXPECT_EQ(fs.List("C:\\src\\sub", entries), winerr::NetworkAccessDenied);
  EXPECT_EQ(fs.List("C:\\src\\sub", entries), winerr::Success);
  EXPECT_EQ(entries.size(), 1u);
  EXPECT_EQ(fs.List("C:\\src", entries), winerr::Success);

  EXPECT_EQ(fs.CallCount(FsOp::List, "c:\\src\\SUB"), 3);
  fs.ClearFaults();

  // An Any fault counts whole calls: WriteAtomic's inner steps do not use up its skip.
  FsFault any;
  any.op = FsOp::Any;
  any.path = "C:\\other\\c.txt";
  any.skip = 1;
  any.error = winerr::LockViolation;
  fs.AddFault(any);
  EXPECT_EQ(fs.WriteAtomic("C:\\other\\c.txt", "c2"), winerr::Success);
  EXPECT_EQ(fs.WriteAtomic("C:\\other\\c.txt", "c3"), winerr::LockViolation);
  EXPECT_EQ(fs.Contents("C:\\other\\c.txt"), "c2");
  EXPECT_EQ(fs.CallCount(FsOp::Move), 1);
  EXPECT_EQ(fs.CallCount(FsOp::Any, "C:\\src\\c.txt"), 1);  // as a move's target
}

TEST_F(MemoryFileSystemTest, WriteAtomicRidesOutABriefHoldOnTheTargetButNotALongOne) {
  fs.WriteFile("C:\\m\\mark", "old", fileattr::Hidden);
  FsFault held;
  held.op = FsOp::Replace;
  held.path = "C:\\m\\mark";
  held.error = winerr::SharingViolation;
  held.times = MemoryFileSystem::kReplaceTries - 1;
  fs.AddFault(held);
  EXPECT_EQ(fs.WriteAtomic("C:\\m\\mark", "new"), winerr::Success);
  EXPECT_EQ(fs.Contents("C:\\m\\mark"), "new");
  // The rewritten mark is still hidden.
  EXPECT_EQ(fs.Attributes("C:\\m\\mark"), uint32_t{fileattr::Hidden | fileattr::Archive});
  fs.ClearFaults();

  held.times = FsFault::kAlways;
  int id = fs.AddFault(held);
  EXPECT_EQ(fs.WriteAtomic("C:\\m\\mark", "newer"), winerr::SharingViolation);
  EXPECT_EQ(fs.FaultHits(id), MemoryFileSystem::kReplaceTries);
  EXPECT_EQ(fs.Contents("C:\\m\\mark"), "new");
  EXPECT_TRUE(NoTempFiles());
  fs.ClearFaults();

  held.error = winerr::WriteProtect;  // not something waiting cures
  id = fs.AddFault(held);
  EXPECT_EQ(fs.WriteAtomic("C:\\m\\mark", "newer"), winerr::WriteProtect);
  EXPECT_EQ(fs.FaultHits(id), 1);
  EXPECT_TRUE(NoTempFiles());
}

TEST_F(MemoryFileSystemTest, MovesFollowWindowsRules) {
  fs.WriteFile("C:\\tree\\sub\\f.txt", "f");
  fs.WriteFile("C:\\x.txt", "x");
  fs.WriteFile("C:\\y.txt", "y");
  EXPECT_EQ(fs.Move("C:\\x.txt", "C:\\y.txt", false), winerr::AlreadyExists);
  EXPECT_EQ(fs.Move("C:\\x.txt", "C:\\y.txt", true), winerr::Success);
  EXPECT_EQ(fs.Contents("C:\\y.txt"), "x");
  EXPECT_FALSE(fs.Exists("C:\\x.txt"));
  EXPECT_EQ(fs.Move("C:\\y.txt", "C:\\tree", true), winerr::AccessDenied);

  EXPECT_EQ(fs.Move("C:\\tree", "C:\\tree\\sub\\inside", false), winerr::AccessDenied);
  EXPECT_EQ(fs.Move("C:\\tree", "C:\\moved", false), winerr::Success);
  EXPECT_EQ(fs.Contents("C:\\moved\\sub\\f.txt"), "f");
  EXPECT_EQ(fs.Move("C:\\moved", "C:\\MOVED", false), winerr::Success);  // case only
  std::vector<FindData> entries;
  ASSERT_EQ(fs.List("C:\\", entries), winerr::Success);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "MOVED");
  EXPECT_TRUE(entries[0].IsDirectory());

  fs.AddDrive("D:", DriveType::Fixed);
  EXPECT_EQ(fs.Move("C:\\MOVED", "D:\\moved", false), winerr::NotSameDevice);
  EXPECT_EQ(fs.Move("C:\\y.txt", "D:\\y.txt", false), winerr::Success);
  EXPECT_EQ(fs.Contents("D:\\y.txt"), "x");
}

TEST_F(MemoryFileSystemTest, StatReportsKindSizeTimeAndAttributes) {
  fs.WriteFile("C:\\s\\file.bin", "12345", fileattr::Archive | fileattr::System, 777);
  FindData d;
  ASSERT_EQ(fs.Stat("c:\\S\\FILE.bin", d), winerr::Success);
  EXPECT_EQ(d.name, "FILE.bin");
  EXPECT_EQ(d.size, 5u);
  EXPECT_EQ(d.lastWrite, 777u);
  EXPECT_EQ(d.attributes, uint32_t{fileattr::Archive | fileattr::System});
  ASSERT_EQ(fs.Stat("C:\\s", d), winerr::Success);
  EXPECT_TRUE(d.IsDirectory());
  ASSERT_EQ(fs.Stat("C:\\", d), winerr::Success);
  EXPECT_TRUE(d.IsDirectory());
  EXPECT_EQ(fs.Stat("C:\\s\\none", d), winerr::FileNotFound);
  // The folder flag cannot be set on a file or cleared from a folder.
  EXPECT_EQ(fs.SetAttrs("C:\\s\\file.bin", fileattr::Directory | fileattr::Hidden), 0u);
  EXPECT_EQ(fs.Attributes("C:\\s\\file.bin"), uint32_t{fileattr::Hidden});
  EXPECT_EQ(fs.SetAttrs("C:\\s", fileattr::Hidden), 0u);
  EXPECT_EQ(fs.Attributes("C:\\s"), uint32_t{fileattr::Directory | fileattr::Hidden});
}

TEST_F(MemoryFileSystemTest, ConcurrentCallersDoNotCorruptTheTree) {
  fs.MakeDirs("C:\\w");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      std::vector<FindData> entries;
      for (int i = 0; i < 200; ++i) {
        std::string path = "C:\\w\\t" + std::to_string(t) + "_" + std::to_string(i);
        EXPECT_EQ(fs.WriteAtomic(path, path), winerr::Success);
        EXPECT_EQ(fs.List("C:\\w", entries), winerr::Success);
        if (i % 2) {
          EXPECT_EQ(fs.Remove(path), winerr::Success);
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(fs.ListAll().size(), 1u + 4 * 100);
  EXPECT_EQ(fs.Contents("C:\\w\\t3_198"), "C:\\w\\t3_198");
}

}  // namespace
}  // namespace tw
