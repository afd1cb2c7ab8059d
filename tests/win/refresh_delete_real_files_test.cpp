// Refresh and delete on real files under Wine: a backed-up tree where one original changed,
// one copy went missing and one original was deleted; the local DOS time of the platform; a
// volume's copies deleted from disk. Local times assume TZ=UTC, as the test runner sets it.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/operations.h"
#include "platform/memory/ScriptedOperationUI.h"
#include "platform/win32/Win32FileSystem.h"
#include "tests/win/RealFiles.h"

namespace tw {
namespace {

constexpr FileTime kSecond = 10000000ULL;
constexpr FileTime kT0 = 133300000000000000ULL;  // 2023, a whole even second

class RefreshDeleteRealFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs.TempFolder() + "tw-refresh-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount64());
    src = root + "\\src";
    ASSERT_EQ(fs.MakeDirPath(src + "\\Sub"), winerr::Success);
    volume.Name = "Real";
    volume.BackupPath = root + "\\vol\\";
    volume.SeparateFolders = true;
    copies = MapToVolume(src, volume);
  }
  void TearDown() override { Clean(root); }

  void Clean(const std::string& folder) { test::RemoveTree(fs, folder); }
  void File(const std::string& path, const std::string& data, FileTime time = kT0) {
    ASSERT_EQ(fs.WriteAtomic(path, data), winerr::Success) << path;
    ASSERT_EQ(fs.SetLastWriteTime(path, time), winerr::Success) << path;
  }
  std::string Read(const std::string& path) {
    std::string data;
    if (fs.ReadAll(path, data)) return "<missing>";
    return data;
  }
  std::vector<std::string> Tree(const std::string& folder, const std::string& prefix = "") {
    std::vector<std::string> out;
    std::vector<FindData> entries;
    fs.List(folder, entries);
    for (const auto& e : entries) {
      out.push_back(prefix + e.name);
      if (e.IsDirectory()) {
        auto sub = Tree(folder + "\\" + e.name, prefix + e.name + "\\");
        out.insert(out.end(), sub.begin(), sub.end());
      }
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  // A plain backup of every file below src.
  void Backup(TWLDesktopNode& sel) {
    TWLNode* node = sel.AddPath(src);
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(node->SelectAll());
    ScriptedOperationUI ui;
    TAddOperation op(fs, ui);
    ASSERT_EQ(op.AddSelectionToVolume(volume, sel, CountSelectedFiles(sel)),
              TAddResult::Finished);
    ASSERT_FALSE(op.AddErrors);
  }
  std::vector<std::string> LogLines() {
    std::string text = Read(LogFilePath(fs));
    std::vector<std::string> lines;
    size_t pos = 0, end;
    while ((end = text.find("\r\n", pos)) != std::string::npos) {
      lines.push_back(text.substr(pos, end - pos));
      pos = end + 2;
    }
    return lines;
  }

  Win32FileSystem fs;
  TVolumeRec volume;
  std::string root, src, copies;
};

TEST_F(RefreshDeleteRealFiles, PlatformPacksLocalTimeAsTheChangeTestExpects) {
  TIME_ZONE_INFORMATION tz;
  DWORD mode = GetTimeZoneInformation(&tz);
  if (tz.Bias != 0 || (mode == TIME_ZONE_ID_DAYLIGHT && tz.DaylightBias != 0))
    GTEST_SKIP() << "run with TZ=UTC";
  for (FileTime t : {kT0, kT0 + kSecond, kT0 + 3 * kSecond + 9999999})
    EXPECT_EQ(fs.LocalDosDateTime(t), PackDosDateTime(t)) << t;
  EXPECT_EQ(fs.LocalDosDateTime(kT0 + kSecond), fs.LocalDosDateTime(kT0));
  EXPECT_EQ(fs.LocalDosDateTime(116444736000000000ULL), std::nullopt);  // 1970
}

TEST_F(RefreshDeleteRealFiles, RefreshCopiesTheChangedAndTheMissingAndWarnsAboutTheDeleted) {
  File(src + "\\same.txt", "unchanged");
  File(src + "\\changed.txt", "before");
  File(src + "\\lost copy.txt", "copy goes missing");
  File(src + "\\deleted.txt", "original goes");
  File(src + "\\Sub\\step.txt", "within one step");
  TWLDesktopNode sel(fs);
  Backup(sel);
  ASSERT_EQ(Read(copies + "changed.txt"), "before");

  File(src + "\\changed.txt", "after, longer");
  ASSERT_EQ(fs.Remove(copies + "lost copy.txt"), winerr::Success);
  ASSERT_EQ(fs.Remove(src + "\\deleted.txt"), winerr::Success);
  ASSERT_EQ(fs.SetLastWriteTime(src + "\\Sub\\step.txt", kT0 + kSecond), winerr::Success);

  ScriptedOperationUI ui;
  TAddOperation op(fs, ui);
  op.RefreshMode = IsRefreshMode(4, false);
  EXPECT_EQ(op.AddSelectionToVolume(volume, sel, CountSelectedFiles(sel)), TAddResult::Finished);

  EXPECT_EQ(op.FilesChecked, 4);
  EXPECT_EQ(op.FilesChanged, 2);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text,
            "Tidewell has finished refreshing the volume \"Real\". 2 of 4 files have changed.");
  EXPECT_EQ(LogLines(), std::vector<std::string>{"Warning: Couldnt find file deleted.txt at its "
                                                 "original location of " + src + "."});
  EXPECT_EQ(Read(copies + "changed.txt"), "after, longer");
  EXPECT_EQ(Read(copies + "lost copy.txt"), "copy goes missing");
  EXPECT_EQ(Read(copies + "deleted.txt"), "original goes");
  FindData info;
  ASSERT_EQ(fs.Stat(copies + "Sub\\step.txt", info), winerr::Success);
  EXPECT_EQ(info.lastWrite, kT0);  // not copied again

  // The volume's own contents, refreshed from the originals: one more change, the deleted
  // original now an error, the placeholder silent.
  File(src + "\\same.txt", "changed again");
  TWLDesktopNode contents(fs);
  ASSERT_TRUE(SelectWholeVolume(contents, volume));
  ScriptedOperationUI ui2;
  ui2.Answer(mb::IdNo);
  TContentsRefreshOperation refresh(fs, ui2);
  EXPECT_EQ(refresh.RefreshVolumeContents(volume, contents, CountSelectedFiles(contents)),
            TRefreshResult::Finished);
  EXPECT_EQ(Read(copies + "same.txt"), "changed again");
  EXPECT_EQ(refresh.FilesChecked, 4);
  EXPECT_EQ(refresh.FilesChanged, 1);
  EXPECT_EQ(LogLines(), std::vector<std::string>{"Couldnt find file deleted.txt at its original "
                                                 "location of " + src + "\\."});
  ASSERT_EQ(ui2.messages.size(), 1u);
  EXPECT_EQ(ui2.messages[0].text, kRefreshErrorQuestion);
}

TEST_F(RefreshDeleteRealFiles, DeleteAllRemovesEveryCopyAndFolderButThePlaceholder) {
  File(src + "\\a.txt", "a");
  File(src + "\\Sub\\b.txt", "b");
  TWLDesktopNode sel(fs);
  Backup(sel);
  ASSERT_EQ(fs.SetAttrs(copies + "a.txt", fileattr::ReadOnly | fileattr::Hidden),
            winerr::Success);

  TWLDesktopNode contents(fs);
  ASSERT_TRUE(SelectWholeVolume(contents, volume));
  ScriptedOperationUI ui;
  TDeleteOperation op(fs, ui);
  TDeleteResult res =
      op.DeleteSelectionFromVolume(volume, contents, CountSelectedFiles(contents), true);

  EXPECT_TRUE(res.RemoveVolumeFromList);
  EXPECT_EQ(Tree(root + "\\vol"), std::vector<std::string>{"VOLUME.TWV"});
  EXPECT_EQ(Tree(src), (std::vector<std::string>{"Sub", "Sub\\b.txt", "a.txt"}));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, kDeleteFinished);
}

}  // namespace
}  // namespace tw
