// Restore on real files under Wine: a tree is backed up with the add operation, then restored
// from the volume to its original place and to a chosen folder, and compared byte for byte with
// the originals, attributes and last-write times included. The orphaned checks run on the same
// real volume folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "engine/operations.h"
#include "engine/orphan.h"
#include "engine/restore.h"
#include "platform/memory/ScriptedOperationUI.h"
#include "platform/win32/Win32FileSystem.h"
#include "tests/win/RealFiles.h"

namespace tw {
namespace {

struct TOriginal {
  std::string data;
  FileTime time;
  uint32_t attributes;
};

class RestoreRealFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs.TempFolder() + "tw-restore-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount64());
    orig = root + "\\orig";
    volume.Name = "Real";
    volume.BackupPath = root + "\\vol\\";
    volume.SeparateFolders = true;

    std::string big(3 * 1024 * 1024 + 5, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + (i >> 10));
    Put("a.txt", "alpha", 130000000000000000ULL, fileattr::Archive);
    Put("Sub\\big.bin", big, 131000000000000000ULL, fileattr::Archive);
    Put("Sub\\Deep\\hidden.txt", "hidden", 132000000000000000ULL,
        fileattr::Hidden | fileattr::Archive);
    Put("Sub\\Deep\\r\xC3\xA9sum\xC3\xA9 \xC3\xBC.txt", "unicode", 133000000000000000ULL,
        fileattr::Archive);
    ASSERT_EQ(fs.MakeDirPath(orig + "\\Empty"), winerr::Success);

    // The backup the restores start from.
    TWLDesktopNode add{fs};
    TWLNode* node = add.AddPath(orig);
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(node->SelectAll());
    ScriptedOperationUI ui;
    TAddOperation op{fs, ui};
    ASSERT_EQ(op.AddSelectionToVolume(volume, add, 4), TAddResult::Finished);
    ASSERT_FALSE(op.AddErrors);
  }
  void TearDown() override { Clean(root); }

  void Put(const std::string& rel, const std::string& data, FileTime time, uint32_t attrs) {
    const std::string path = orig + "\\" + rel;
    ASSERT_EQ(fs.MakeDirPath(path.substr(0, path.rfind('\\'))), winerr::Success);
    ASSERT_EQ(fs.WriteAtomic(path, data), winerr::Success) << path;
    ASSERT_EQ(fs.SetLastWriteTime(path, time), winerr::Success);
    ASSERT_EQ(fs.SetAttrs(path, attrs), winerr::Success);
    originals[rel] = {data, time, attrs};
  }

  void Clean(const std::string& folder) { test::RemoveTree(fs, folder); }

  // Every file below folder, relative to it.
  void Collect(const std::string& folder, const std::string& rel,
               std::vector<std::string>& out) {
    std::vector<FindData> entries;
    ASSERT_EQ(fs.List(folder, entries), winerr::Success) << folder;
    for (const auto& e : entries) {
      const std::string r = rel.empty() ? e.name : rel + "\\" + e.name;
      if (e.IsDirectory())
        Collect(folder + "\\" + e.name, r, out);
      else
        out.push_back(r);
    }
  }

  // The tree below folder holds exactly the originals, equal in data, time and attributes.
  void ExpectOriginalsBelow(const std::string& folder) {
    std::vector<std::string> files;
    Collect(folder, "", files);
    std::vector<std::string> expected;
    for (const auto& [rel, o] : originals) expected.push_back(rel);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, expected);  // no VOLUME.TWV, nothing else
    for (const auto& [rel, o] : originals) {
      SCOPED_TRACE(rel);
      std::string data;
      ASSERT_EQ(fs.ReadAll(folder + "\\" + rel, data), winerr::Success);
      EXPECT_TRUE(data == o.data);
      FindData info;
      ASSERT_EQ(fs.Stat(folder + "\\" + rel, info), winerr::Success);
      EXPECT_EQ(info.lastWrite, o.time);
      EXPECT_EQ(info.attributes & (fileattr::Hidden | fileattr::ReadOnly),
                o.attributes & (fileattr::Hidden | fileattr::ReadOnly));
    }
  }

  // The whole volume checked in the contents selection, as "Restore all files" does.
  TRestoreOptions All(TWLDesktopNode& contents) {
    TRestoreOptions options;
    options.SelectWholeVolume = [&contents, this] {
      ASSERT_TRUE(contents.AddPath(root + "\\vol")->SelectAll());
    };
    return options;
  }

  Win32FileSystem fs;
  std::string root, orig;
  TVolumeRec volume;
  std::map<std::string, TOriginal> originals;
};

TEST_F(RestoreRealFiles, RestoresAVolumeToItsOriginalPlace) {
  Clean(orig);
  ASSERT_EQ(fs.MakeDirPath(orig), winerr::Success);
  ASSERT_EQ(fs.WriteAtomic(orig + "\\a.txt", "changed since the backup"), winerr::Success);

  TWLDesktopNode contents{fs};
  ScriptedOperationUI ui;
  TRestoreOperation op{fs, ui};
  EXPECT_EQ(op.RestoreSelection(volume, contents, All(contents)), TRestoreResult::Finished);

  EXPECT_FALSE(op.RestoreErrors);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, kRestoreFinished);
  ExpectOriginalsBelow(orig);
  EXPECT_TRUE(ui.AtRest());
}

TEST_F(RestoreRealFiles, RestoresAVolumeToAChosenFolderAndAcceptsItAsAnOrphan) {
  TWLDesktopNode contents{fs};
  ASSERT_TRUE(contents.AddPath(root + "\\vol")->SelectAll());
  ScriptedOperationUI ui;
  TRestoreLocationCheck check = CheckRestoreLocation(ui, contents, volume.BackupPath,
                                                     root + "\\chosen");
  ASSERT_EQ(check.Result, TRestoreInput::Ok);
  TRestoreOperation op{fs, ui};
  TRestoreOptions options;
  options.ChosenLocation = check.Location;
  EXPECT_EQ(op.RestoreSelection(volume, contents, std::move(options)), TRestoreResult::Finished);
  EXPECT_EQ(ui.messages.back().text, kRestoreFinished);
  // The path below the drive folder comes along, the drive folder does not.
  ExpectOriginalsBelow(root + "\\chosen\\" + orig.substr(3));

  // The same folder as an orphan: placeholder and drive folder found, no question.
  ScriptedOperationUI orphanUi;
  std::optional<TOrphanedVolume> orphan = CheckOrphanedFolder(fs, orphanUi, root + "\\vol");
  ASSERT_TRUE(orphan);
  EXPECT_TRUE(orphanUi.messages.empty());
  EXPECT_TRUE(orphan->DriveFoldersFound);
  ASSERT_TRUE(orphan->PlaceholderIni);
  EXPECT_EQ(orphan->PlaceholderIni->ReadString("Tidewell Volume", "users", ""), "C:");
  EXPECT_EQ(orphan->Volume.BackupPath, volume.BackupPath);
}

TEST_F(RestoreRealFiles, RestoresAVolumeWithoutDriveFoldersBelowThePromptedRoot) {
  // A volume made without drive folders elsewhere, found without its placeholder.
  TVolumeRec flat;
  flat.BackupPath = root + "\\flat\\";
  flat.SeparateFolders = false;
  {
    TWLDesktopNode add{fs};
    ASSERT_TRUE(add.AddPath(orig)->SelectAll());
    ScriptedOperationUI ui;
    TAddOperation op{fs, ui};
    ASSERT_EQ(op.AddSelectionToVolume(flat, add, 4), TAddResult::Finished);
  }
  ASSERT_EQ(fs.Remove(flat.BackupPath + "VOLUME.TWV"), winerr::Success);

  ScriptedOperationUI ui;
  ui.Answer(mb::IdYes);  // no placeholder
  ui.Answer(mb::IdYes);  // no drive folders
  std::optional<TOrphanedVolume> orphan = CheckOrphanedFolder(fs, ui, root + "\\flat");
  ASSERT_TRUE(orphan);
  ui.AnswerRootPath(root + "\\again");
  TWLDesktopNode contents{fs};
  TRestoreOperation op{fs, ui};
  TRestoreOptions options;
  options.SelectWholeVolume = [&] { ASSERT_TRUE(contents.AddPath(root + "\\flat")->SelectAll()); };
  EXPECT_EQ(op.RestoreSelection(orphan->Volume, contents, std::move(options)),
            TRestoreResult::Finished);
  EXPECT_EQ(ui.CountCalls("AskRootPath"), 1);
  EXPECT_EQ(ui.messages.back().text, kRestoreFinished);
  // The flat volume holds users\...\orig below its folder; the answer takes the place of C:\.
  ExpectOriginalsBelow(root + "\\again\\" + orig.substr(3));
}

}  // namespace
}  // namespace tw
