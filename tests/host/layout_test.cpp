// The layout of a volume folder: forward and reverse mapping, and the placeholder VOLUME.TWV.
#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>

#include "engine/layout.h"
#include "platform/memory/MemoryFileSystem.h"

namespace tw {
namespace {

TVolumeRec Volume(bool separate, std::string backup = "E:\\Backup\\Work\\") {
  TVolumeRec v;
  v.Name = "Work";
  v.BackupPath = std::move(backup);
  v.SeparateFolders = separate;
  return v;
}

class ScriptedRootPrompt : public IRootPathPrompt {
 public:
  std::optional<std::string> AskRootPath(const std::string& folderName) override {
    ++asked;
    folders.push_back(folderName);
    if (answers.empty()) return std::nullopt;
    std::string a = answers.front();
    answers.pop_front();
    return a;
  }
  std::deque<std::string> answers;
  int asked = 0;
  std::vector<std::string> folders;  // the first-level folder each question named
};

using Opt = std::optional<std::string>;

TEST(LayoutForward, EveryKindOfOriginalFolderInBothLayouts) {
  TVolumeRec sep = Volume(true), flat = Volume(false);
  EXPECT_EQ(MapToVolume("C:", sep), "E:\\Backup\\Work\\From Drive C\\");
  EXPECT_EQ(MapToVolume("C:", flat), "E:\\Backup\\Work\\");
  EXPECT_EQ(MapToVolume("C:\\Windows\\System", sep),
            "E:\\Backup\\Work\\From Drive C\\Windows\\System\\");
  EXPECT_EQ(MapToVolume("C:\\Windows\\System", flat), "E:\\Backup\\Work\\Windows\\System\\");
  EXPECT_EQ(MapToVolume("\\\\srv", sep), "E:\\Backup\\Work\\From Network\\srv\\");
  EXPECT_EQ(MapToVolume("\\\\srv", flat), "E:\\Backup\\Work\\srv\\");
  EXPECT_EQ(MapToVolume("\\\\srv\\share\\docs", sep),
            "E:\\Backup\\Work\\From Network\\srv\\share\\docs\\");
  EXPECT_EQ(MapToVolume("\\\\srv\\share\\docs", flat), "E:\\Backup\\Work\\srv\\share\\docs\\");
}

TEST(LayoutForward, KeepsTheDriveLetterAsWrittenAndNeverCutsLongPaths) {
  EXPECT_EQ(MapToVolume("c:\\data", Volume(true)), "E:\\Backup\\Work\\From Drive c\\data\\");
  EXPECT_EQ(MapToVolume("c:\\data", Volume(false)), "E:\\Backup\\Work\\data\\");
  // A volume on a share and on a drive root.
  EXPECT_EQ(MapToVolume("D:\\x", Volume(true, "\\\\nas\\b\\")), "\\\\nas\\b\\From Drive D\\x\\");
  EXPECT_EQ(MapToVolume("D:", Volume(false, "F:\\")), "F:\\");
  std::string deep = "C:";
  for (int i = 0; i < 60; ++i) deep += "\\Folder" + std::to_string(i);  // about 500 characters
  std::string mapped = MapToVolume(deep, Volume(true));
  EXPECT_EQ(mapped, "E:\\Backup\\Work\\From Drive C" + deep.substr(2) + "\\");
  std::string net = "\\\\srv\\share" + deep.substr(2);
  EXPECT_EQ(MapToVolume(net, Volume(false)), "E:\\Backup\\Work\\" + net.substr(2) + "\\");
}

TEST(LayoutReverse, PerDriveFoldersMapBackToTheirDrivesAndShares) {
  TVolumeRec v = Volume(true);
  TRestoreMapping state;
  const std::string b = v.BackupPath;
  EXPECT_EQ(MapToOriginal(b + "From Drive C", v, state), Opt("C:\\"));
  EXPECT_EQ(MapToOriginal(b + "From Drive C\\Windows\\System", v, state),
            Opt("C:\\Windows\\System\\"));
  EXPECT_EQ(MapToOriginal(b + "From Drive D\\Work\\a", v, state), Opt("D:\\Work\\a\\"));
  EXPECT_EQ(MapToOriginal(b + "From Drive c\\data", v, state), Opt("c:\\data\\"));
  EXPECT_EQ(MapToOriginal(b + "From Network\\srv", v, state), Opt("\\\\srv\\"));
  EXPECT_EQ(MapToOriginal(b + "From Network\\srv\\share", v, state), Opt("\\\\srv\\share\\"));
  EXPECT_EQ(MapToOriginal(b + "From Network\\srv\\share\\docs", v, state),
            Opt("\\\\srv\\share\\docs\\"));
  EXPECT_EQ(MapToOriginal(b + "From Network", v, state), std::nullopt);
  // The volume folder and its ancestors have no original location.
  EXPECT_EQ(MapToOriginal("E:\\Backup\\Work", v, state), std::nullopt);
  EXPECT_EQ(MapToOriginal("E:\\Backup", v, state), std::nullopt);
  EXPECT_EQ(MapToOriginal("E:", v, state), std::nullopt);
  // Every kind of original folder goes there and back.
  for (std::string original : {"C:", "C:\\Windows\\System", "\\\\srv", "\\\\srv\\share\\docs",
                               "c:\\data"}) {
    std::string folder = MapToVolume(original, v);
    folder.pop_back();
    EXPECT_EQ(MapToOriginal(folder, v, state), Opt(AddBackslash(original))) << original;
    EXPECT_EQ(MapDriveFolderToOriginal(folder, b), Opt(AddBackslash(original))) << original;
  }
  EXPECT_EQ(state.RootMapping, "");
}

TEST(LayoutReverse, DriveFoldersAreNamedExactlyWhateverTheirCase) {
  TVolumeRec v = Volume(true);
  TRestoreMapping state;
  ScriptedRootPrompt prompt;
  state.RootPrompt = &prompt;
  const std::string b = v.BackupPath;
  // The network folder in capitals is still the network folder, never drive K.
  EXPECT_EQ(MapToOriginal(b + "FROM NETWORK", v, state), std::nullopt);
  EXPECT_EQ(MapToOriginal(b + "FROM NETWORK\\srv\\share", v, state), Opt("\\\\srv\\share\\"));
  EXPECT_EQ(MapToOriginal(b + "from drive x\\y", v, state), Opt("x:\\y\\"));
  EXPECT_EQ(prompt.asked, 0);  // neither counts as a folder that needs a root
  EXPECT_EQ(MapDriveFolderToOriginal(b + "FROM NETWORK\\a", b), Opt("\\\\a\\"));
  // Longer names only begin like drive folders.
  EXPECT_EQ(MapToOriginal(b + "From Networks\\x", v, state), std::nullopt);
  EXPECT_EQ(MapToOriginal(b + "FROM NETWORKel", v, state), std::nullopt);
  EXPECT_EQ(MapToOriginal(b + "From Drive CD\\x", v, state), std::nullopt);
  // Named like a drive folder but without a drive letter: nothing to restore to.
  EXPECT_EQ(MapToOriginal(b + "From Drive", v, state), std::nullopt);
  EXPECT_EQ(MapToOriginal(b + "From Drive 1\\x", v, state), std::nullopt);
  EXPECT_EQ(MapDriveFolderToOriginal(b + "Misc\\x", b), std::nullopt);
  EXPECT_EQ(MapDriveFolderToOriginal(b, b), std::nullopt);
}

TEST(LayoutReverse, ChosenLocationTakesThePathBelowTheDriveFolder) {
  TVolumeRec v = Volume(true);
  TRestoreMapping state;
  const std::string b = v.BackupPath;
  Opt chosen = "D:\\Old\\";
  EXPECT_EQ(MapToOriginal(b + "From Drive C\\Windows\\System", v, state, chosen),
            Opt("D:\\Old\\Windows\\System\\"));
  EXPECT_EQ(MapToOriginal(b + "From Drive C", v, state, chosen), Opt("D:\\Old\\"));
  EXPECT_EQ(MapToOriginal(b + "From Network\\srv\\share", v, state, chosen),
            Opt("D:\\Old\\srv\\share\\"));
  EXPECT_EQ(MapToOriginal(b + "From Network", v, state, chosen), std::nullopt);
  EXPECT_EQ(MapToOriginal(b + "From Drive C\\x", v, state, Opt("D:\\Old")), Opt("D:\\Old\\x\\"));
}

TEST(LayoutReverse, FolderWithoutDriveFoldersAsksForItsRootOncePerRestore) {
  TVolumeRec v = Volume(false);
  TRestoreMapping state;
  ScriptedRootPrompt prompt;
  prompt.answers = {"C:", "Z:\\never"};
  state.RootPrompt = &prompt;
  const std::string b = v.BackupPath;
  EXPECT_EQ(MapToOriginal("E:\\Backup\\Work", v, state), std::nullopt);  // clears the root
  EXPECT_EQ(MapToOriginal(b + "Windows", v, state), Opt("C:\\Windows\\"));
  EXPECT_EQ(state.RootMapping, "C:\\");
  EXPECT_EQ(MapToOriginal(b + "Windows\\System", v, state), Opt("C:\\Windows\\System\\"));
  EXPECT_EQ(MapToOriginal(b + "Data", v, state), Opt("C:\\Data\\"));  // root kept, not asked
  // A drive folder next to them keeps its own rules and leaves the root in force.
  EXPECT_EQ(MapToOriginal(b + "From Drive D\\x", v, state), Opt("D:\\x\\"));
  EXPECT_EQ(MapToOriginal(b + "Misc", v, state), Opt("C:\\Misc\\"));
  EXPECT_EQ(prompt.asked, 1);

  // The network path stored without separate folders: srv\share\docs asks for its root.
  TRestoreMapping fresh;
  ScriptedRootPrompt p2;
  p2.answers = {"\\\\"};
  fresh.RootPrompt = &p2;
  EXPECT_EQ(MapToOriginal(b + "srv", v, fresh), Opt("\\\\srv\\"));
  EXPECT_EQ(MapToOriginal(b + "srv\\share\\docs", v, fresh), Opt("\\\\srv\\share\\docs\\"));
  EXPECT_EQ(p2.asked, 1);

  // Passing the volume folder again clears the root: the next first-level folder asks again.
  EXPECT_EQ(MapToOriginal(b.substr(0, b.size() - 1), v, state), std::nullopt);
  EXPECT_EQ(state.RootMapping, "");
  EXPECT_EQ(MapToOriginal(b + "Data", v, state), Opt("Z:\\never\\Data\\"));
  EXPECT_EQ(prompt.asked, 2);
}

TEST(LayoutReverse, NoRootNoRestoreAndAChosenLocationNeedsNoRoot) {
  TVolumeRec v = Volume(false);
  TRestoreMapping state;
  ScriptedRootPrompt prompt;  // gives no answer
  state.RootPrompt = &prompt;
  const std::string b = v.BackupPath;
  EXPECT_EQ(MapToOriginal(b + "Data", v, state), std::nullopt);
  EXPECT_EQ(MapToOriginal(b + "Data\\Sub", v, state), std::nullopt);
  EXPECT_EQ(prompt.asked, 1);
  EXPECT_EQ(MapToOriginal(b + "Data", v, state, Opt("F:\\To")), Opt("F:\\To\\Data\\"));
  EXPECT_EQ(MapToOriginal(b + "Data\\Sub", v, state, Opt("F:\\To")), Opt("F:\\To\\Data\\Sub\\"));
  EXPECT_EQ(prompt.asked, 1);
  // Not below the backup path at all.
  EXPECT_EQ(MapToOriginal("G:\\Else\\Where\\Deep\\X", v, state), std::nullopt);
}

TEST(LayoutReverse, BackupPathIsComparedWithoutRegardToCase) {
  TVolumeRec v = Volume(true);
  TRestoreMapping state;
  EXPECT_EQ(MapToOriginal("e:\\BACKUP\\work\\From Drive C\\x", v, state), Opt("C:\\x\\"));
}

class LayoutPlaceholderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.AddDrive("E:", DriveType::Fixed);
    fs.MakeDirs(backup);
  }
  MemoryFileSystem fs;
  const std::string backup = "E:\\Backup\\Work\\";
};

TEST_F(LayoutPlaceholderTest, AddWritesTheMarkAndOneKeyPerChildOfEachRoot) {
  EXPECT_FALSE(IsVolumeFolder(fs, backup));
  TPlaceholderWriter w(fs, backup);
  EXPECT_EQ(w.FullName(), "E:\\Backup\\Work\\VOLUME.TWV");
  ASSERT_EQ(w.WriteVolumeFile(), winerr::Success);
  ASSERT_EQ(w.WriteRoot("C:", {"Windows", "Data"}), winerr::Success);
  ASSERT_EQ(w.WriteRoot("D:", {"DATA", "Games"}), winerr::Success);  // Data now on D:
  ASSERT_EQ(w.WriteRoot("\\\\srv", {"share"}), winerr::Success);
  EXPECT_EQ(fs.Contents(backup + "VOLUME.TWV"),
            "[Tidewell Volume]\r\nVolume File=#\r\nWindows=C:\r\nData=D:\r\nGames=D:\r\n"
            "share=\\\\srv\r\n");
  EXPECT_TRUE(IsVolumeFolder(fs, "E:\\Backup\\Work"));
  EXPECT_TRUE(IsVolumeFolder(fs, backup));

  // A later add keeps the entries of earlier ones.
  TPlaceholderWriter later(fs, backup);
  ASSERT_EQ(later.WriteVolumeFile(), winerr::Success);
  ASSERT_EQ(later.WriteRoot("C:", {"Temp"}), winerr::Success);
  TProfileFile ini(fs, backup + "VOLUME.TWV");
  ASSERT_EQ(ini.Load(), winerr::Success);
  EXPECT_EQ(ini.EntryCount(kPlaceholderSection), 6u);
  EXPECT_EQ(PlaceholderRoot(ini, "windows"), Opt("C:"));
  EXPECT_EQ(PlaceholderRoot(ini, "Temp"), Opt("C:"));
  EXPECT_EQ(PlaceholderRoot(ini, "Share"), Opt("\\\\srv"));
  EXPECT_EQ(PlaceholderRoot(ini, "Volume File"), std::nullopt);  // "#" is no root
}

TEST_F(LayoutPlaceholderTest, WriteFailureIsReportedWithTheFullName) {
  FsFault fault;
  fault.op = FsOp::WriteAtomic;
  fault.path = backup + "VOLUME.TWV";
  fault.error = winerr::WriteProtect;
  fs.AddFault(fault);
  TPlaceholderWriter w(fs, backup);
  EXPECT_EQ(w.WriteVolumeFile(), winerr::WriteProtect);
  EXPECT_EQ(UnableToWriteText(w.FullName()), "Unable to write to E:\\Backup\\Work\\VOLUME.TWV");
  EXPECT_FALSE(fs.Exists(backup + "VOLUME.TWV"));
}

TEST_F(LayoutPlaceholderTest, AnUnreadablePlaceholderIsNotReplaced) {
  fs.WriteFile(backup + "VOLUME.TWV", "[Tidewell Volume]\r\nOld=C:\r\n");
  FsFault fault;
  fault.op = FsOp::ReadAll;
  fault.path = backup + "VOLUME.TWV";
  fault.error = winerr::SharingViolation;
  fs.AddFault(fault);
  TPlaceholderWriter w(fs, backup);
  EXPECT_EQ(w.WriteVolumeFile(), winerr::SharingViolation);
  EXPECT_EQ(fs.Contents(backup + "VOLUME.TWV"), "[Tidewell Volume]\r\nOld=C:\r\n");
  EXPECT_EQ(w.WriteVolumeFile(), winerr::Success);  // read on the next try
  EXPECT_EQ(fs.Contents(backup + "VOLUME.TWV"),
            "[Tidewell Volume]\r\nOld=C:\r\nVolume File=#\r\n");
}

TEST_F(LayoutPlaceholderTest, OrphanedRestoreTakesEachRootFromThePlaceholder) {
  fs.WriteFile(backup + "VOLUME.TWV",
               "[Tidewell Volume]\r\nVolume File=#\r\nWindows=C:\r\nProjects=\\\\srv\r\n");
  TProfileFile ini(fs, backup + "VOLUME.TWV");
  ASSERT_EQ(ini.Load(), winerr::Success);
  TVolumeRec v = Volume(false);
  TRestoreMapping state;
  ScriptedRootPrompt prompt;
  prompt.answers = {"X:\\Asked"};
  state.PlaceholderIni = &ini;
  state.RootPrompt = &prompt;
  const std::string b = v.BackupPath;
  EXPECT_EQ(MapToOriginal(b.substr(0, b.size() - 1), v, state), std::nullopt);
  EXPECT_EQ(MapToOriginal(b + "Windows\\System", v, state), std::nullopt)
      << "a second-level folder before its first-level one has no root";
  EXPECT_EQ(MapToOriginal(b + "Windows", v, state), Opt("C:\\Windows\\"));
  EXPECT_EQ(MapToOriginal(b + "Windows\\System", v, state), Opt("C:\\Windows\\System\\"));
  EXPECT_EQ(MapToOriginal(b + "projects", v, state), Opt("\\\\srv\\projects\\"));
  EXPECT_EQ(prompt.asked, 0);
  // No entry: asked, even though a root was in force; the next entry is its own again.
  EXPECT_EQ(MapToOriginal(b + "Music", v, state), Opt("X:\\Asked\\Music\\"));
  EXPECT_EQ(prompt.folders, std::vector<std::string>{"Music"});
  EXPECT_EQ(MapToOriginal(b + "Windows", v, state), Opt("C:\\Windows\\"));
}

TEST_F(LayoutPlaceholderTest, HostilePlaceholderEntriesAreIgnored) {
  fs.WriteFile(backup + "VOLUME.TWV",
               "[Tidewell Volume]\r\n"
               "Volume File=#\r\n"
               "Up=C:\\Windows\\..\\..\r\n"
               "Dots=\\\\srv\\..\r\n"
               "Empty=C:\\\\Data\r\n"
               "EmptyNet=\\\\\\srv\r\n"
               "Relative=Data\\Sub\r\n"
               "DriveRelative=C:Data\r\n"
               "Rooted=\\Data\r\n"
               "Blank=\r\n"
               "Slash=C:/Windows\r\n"
               "Dot=C:\\.\r\n"
               "Stream=C:\\a:b\r\n"
               "Good=D:\\Deep\\Place\\\r\n");
  TProfileFile ini(fs, backup + "VOLUME.TWV");
  ASSERT_EQ(ini.Load(), winerr::Success);
  for (const char* key : {"Up", "Dots", "Empty", "EmptyNet", "Relative", "DriveRelative",
                          "Rooted", "Blank", "Slash", "Dot", "Stream"}) {
    EXPECT_EQ(PlaceholderRoot(ini, key), std::nullopt) << key;
  }
  EXPECT_EQ(PlaceholderRoot(ini, "good"), Opt("D:\\Deep\\Place\\"));

  TVolumeRec v = Volume(false);
  TRestoreMapping state;
  ScriptedRootPrompt prompt;
  prompt.answers = {"C:\\Safe"};
  state.PlaceholderIni = &ini;
  state.RootPrompt = &prompt;
  EXPECT_EQ(MapToOriginal(v.BackupPath + "Up\\x", v, state), std::nullopt);
  EXPECT_EQ(MapToOriginal(v.BackupPath + "Up", v, state), Opt("C:\\Safe\\Up\\"));
  EXPECT_EQ(prompt.asked, 1);
  EXPECT_EQ(MapToOriginal(v.BackupPath + "Good", v, state), Opt("D:\\Deep\\Place\\Good\\"));
}

TEST_F(LayoutPlaceholderTest, NamesAKeyCannotCarryAreEscapedAndOldPlainEntriesStillRead) {
  TPlaceholderWriter w(fs, backup);
  ASSERT_EQ(w.WriteRoot("C:", {"a=b", ";semi", "[br", " lead", "trail ", "x]y", "ok"}),
            winerr::Success);
  EXPECT_EQ(fs.Contents(backup + "VOLUME.TWV"),
            "[Tidewell Volume]\r\n*a%3Db=C:\r\n*%3Bsemi=C:\r\n*%5Bbr=C:\r\n*%20lead=C:\r\n"
            "*trail%20=C:\r\n*x%5Dy=C:\r\nok=C:\r\n");
  // A file written before names were escaped holds "a;b" and "x]y" as they are; an escaped
  // entry written since wins over the old one.
  fs.WriteFile(backup + "VOLUME.TWV", *fs.Contents(backup + "VOLUME.TWV") +
                                          "a;b=D:\r\nx]y=D:\r\nlead=D:\r\n");
  TProfileFile ini(fs, backup + "VOLUME.TWV");
  ASSERT_EQ(ini.Load(), winerr::Success);
  for (const char* name : {"a=b", ";SEMI", "[br", " lead", "trail ", "x]y", "ok"})
    EXPECT_EQ(PlaceholderRoot(ini, name), Opt("C:")) << name;
  EXPECT_EQ(PlaceholderRoot(ini, "a;b"), Opt("D:"));
  EXPECT_EQ(PlaceholderRoot(ini, "lead "), std::nullopt) << "another folder than \"lead\"";
}

TEST_F(LayoutPlaceholderTest, AFolderNamedVolumeTwvIsNoVolume) {
  fs.MakeDirs(backup + "VOLUME.TWV");
  EXPECT_FALSE(IsVolumeFolder(fs, backup));
}

}  // namespace
}  // namespace tw
