// A new volume from the Volume page's fields, and the selection file of an opened volume that
// gains files.
#include <gtest/gtest.h>

#include "engine/selectionmerge.h"
#include "engine/volumeedit.h"
#include "platform/ProfileFile.h"
#include "platform/memory/MemoryFileSystem.h"

namespace tw {
namespace {

const std::string kAppDir = "C:\\Program Files\\Tidewell\\";

TEST(VolumeEdit, FieldsAreTrimmedAndRefusedWhenTheyCannotBecomeAFileAndAFolder) {
  EXPECT_EQ(TrimBlanksAndControls(" \t Docs \r\n"), "Docs");
  EXPECT_FALSE(VolumeInputComplete("   ", "D:\\Backup"));
  EXPECT_FALSE(VolumeInputComplete("Docs", "\t"));
  EXPECT_TRUE(VolumeInputComplete(" Docs", "D:\\Backup "));

  EXPECT_EQ(CheckVolumeInput("Docs", "D:\\Backup\\"), "");
  EXPECT_EQ(CheckVolumeInput("Mail", "\\\\server\\share\\Mail\\"), "");
  EXPECT_EQ(CheckVolumeInput("Fotos für Oma", "E:\\"), "");
  // The name becomes AppDir + name + ".TWS".
  for (const char* bad : {"a\\b", "a/b", "a:b", "a*b", "a?b", "a\"b", "a<b", "a>b", "a|b", "Docs."})
    EXPECT_NE(CheckVolumeInput(bad, "D:\\Backup\\"), "") << bad;
  // Relative paths would land wherever the current folder happens to be.
  for (const char* bad : {"Backup\\", "\\Backup\\", "D:Backup\\", "\\\\server\\", "D:\\a\\..\\"})
    EXPECT_NE(CheckVolumeInput("Docs", bad), "") << bad;
  std::string longName(256, 'n');
  EXPECT_NE(CheckVolumeInput(longName, "D:\\Backup\\"), "");
  EXPECT_NE(CheckVolumeInput("Docs", "D:\\" + std::string(260, 'p') + "\\"), "");
}

TEST(VolumeEdit, ApplyMakesTheFirstVolumeDefaultAndNeverEmptiesAnExistingSelectionFile) {
  MemoryFileSystem fs;
  fs.AddDrive("C:", DriveType::Fixed);
  fs.AddDrive("D:", DriveType::Fixed);
  fs.MakeDirs(kAppDir);
  TVolumeList volumes;

  auto first = ApplyNewVolume(fs, volumes, kAppDir, "Docs", "D:\\Backup\\Docs\\", true);
  ASSERT_TRUE(first.Volume);
  EXPECT_TRUE(first.Volume->IsDefault);
  EXPECT_TRUE(first.Volume->SeparateFolders);
  EXPECT_EQ(fs.Contents(kAppDir + "Docs.TWS"), std::string());
  EXPECT_TRUE(fs.IsDir("D:\\Backup\\Docs"));

  auto second = ApplyNewVolume(fs, volumes, kAppDir, "Mail", "D:\\Mail\\", false);
  ASSERT_TRUE(second.Volume);
  EXPECT_FALSE(second.Volume->IsDefault);
  ASSERT_EQ(volumes.size(), 2u);

  // Another volume's saved selection is not lost to a new volume of the same name.
  fs.WriteFile(kAppDir + "Photos.TWS", "[C:\\Photos]\r\n**ALL**=#\r\n");
  auto clash = ApplyNewVolume(fs, volumes, kAppDir, "Photos", "D:\\Photos\\", true);
  EXPECT_FALSE(clash.Volume);
  EXPECT_NE(clash.Message.find(kAppDir + "Photos.TWS"), std::string::npos);
  EXPECT_EQ(fs.Contents(kAppDir + "Photos.TWS"), "[C:\\Photos]\r\n**ALL**=#\r\n");
  EXPECT_EQ(volumes.size(), 2u);

  // A backup folder that cannot be made is not reported here: the wizard refuses it later.
  auto unreachable = ApplyNewVolume(fs, volumes, kAppDir, "Zip", "Z:\\Zip\\", false);
  EXPECT_TRUE(unreachable.Volume);
}

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
  ASSERT_EQ(SaveSelectionMerged(fs, added, file), winerr::Success);

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
  EXPECT_NE(SaveSelectionMerged(fs, added, file), winerr::Success);
  EXPECT_GT(fs.FaultHits(fault), 0);
  fs.ClearFaults();
  ASSERT_EQ(merged.Load(), winerr::Success);
  EXPECT_TRUE(merged.HasKey("C:\\Photos", "**ALL**"));
}

}  // namespace
}  // namespace tw
