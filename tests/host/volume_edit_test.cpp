// The selection file of an opened volume that gains files.
#include <gtest/gtest.h>

#include "engine/selectionmerge.h"
#include "platform/ProfileFile.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/MemoryNamedMutex.h"

namespace tw {
namespace {

const std::string kAppDir = "C:\\Program Files\\Tidewell\\";

TEST(SelectionMerge, AddingToAnOpenedVolumeKeepsEverythingItsFileHeld) {
  MemoryFileSystem fs;
  fs.AddDrive("C:", DriveType::Fixed);
  fs.MakeDirs(kAppDir);
  fs.WriteFile("C:\\Docs\\a.txt", "a");
  fs.WriteFile("C:\\Docs\\b.txt", "b");
  fs.WriteFile("C:\\Mail\\m.txt", "m");
  std::string file = kAppDir + "Docs.TWS";
  fs.WriteFile(file, "[C:\\Docs]\r\na.txt=#\r\n[C:\\Photos]\r\n**ALL**=#\r\n");

  TWLDesktopNode added(fs);
  added.AddPath("C:\\Docs")->AddFile("b.txt", 1);
  added.AddPath("C:\\Mail")->AddFile("m.txt", 1);
  MemoryNamedMutex lock;
  TSelectionFiles files(fs, lock);
  ASSERT_EQ(files.SaveMerged(added, file), winerr::Success);

  TProfileFile merged(fs, file);
  ASSERT_EQ(merged.Load(), winerr::Success);
  EXPECT_TRUE(merged.HasKey("C:\\Docs", "a.txt"));
  EXPECT_TRUE(merged.HasKey("C:\\Docs", "b.txt"));
  EXPECT_TRUE(merged.HasKey("C:\\Mail", "m.txt"));
  EXPECT_TRUE(merged.HasKey("C:\\Photos", "**ALL**"));
  EXPECT_TRUE(fs.TemporaryFiles().empty());
  EXPECT_FALSE(fs.Exists(file + ".~merge"));

  // A file that cannot be read is left as it is.
  int fault = fs.AddFault({FsOp::ReadAll, file, PathMatch::Exact, winerr::SharingViolation, 0, FsFault::kAlways});
  EXPECT_NE(files.SaveMerged(added, file), winerr::Success);
  EXPECT_GT(fs.FaultHits(fault), 0);
  fs.ClearFaults();
  ASSERT_EQ(merged.Load(), winerr::Success);
  EXPECT_TRUE(merged.HasKey("C:\\Photos", "**ALL**"));
}

}  // namespace
}  // namespace tw
