// The orphaned restore: which folders are accepted after which questions, and the restore of a
// volume without drive folders through its placeholder or the root path prompt.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/operations.h"
#include "engine/orphan.h"
#include "engine/restore.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/ScriptedOperationUI.h"

namespace tw {
namespace {

const std::string kOld = "D:\\Old";

struct OrphanRun {
  OrphanRun() {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.AddDrive("D:", DriveType::Fixed);
    fs.AddDrive("E:", DriveType::Fixed);
    fs.SetTempFolder("C:\\Temp");
    fs.MakeDirs("C:\\Temp");
    fs.MakeDirs(kOld);
  }

  std::vector<std::string> Texts() {
    std::vector<std::string> t;
    for (const auto& m : ui.messages) t.push_back(m.text);
    return t;
  }

  // A volume made without drive folders: C:\ files beside the placeholder, first-level folders
  // Windows (from C:) and Data (from E:).
  void MakeFlatVolume(bool withPlaceholder, const std::string& extraEntries = "") {
    if (withPlaceholder) {
      fs.WriteFile(kOld + "\\VOLUME.TWV", "[Tidewell Volume]\r\nVolume File=#\r\nWindows=C:\r\n"
                                          "Data=E:\r\n" + extraEntries);
    }
    fs.WriteFile(kOld + "\\boot.ini", "root file of C:");
    fs.WriteFile(kOld + "\\Windows\\System\\a.dll", "a.dll");
    fs.WriteFile(kOld + "\\Data\\x.txt", "x.txt");
  }

  // Accepts the folder and restores all of it to its original location.
  TRestoreResult AcceptAndRestoreAll() {
    std::optional<TOrphanedVolume> orphan = CheckOrphanedFolder(fs, ui, kOld);
    if (!orphan) {
      ADD_FAILURE() << "folder refused";
      return TRestoreResult::Stopped;
    }
    volume = orphan->Volume;
    TRestoreOptions options;
    options.PlaceholderIni = std::move(orphan->PlaceholderIni);
    options.SelectWholeVolume = [&] { sel.AddPath(kOld)->SelectAll(); };
    return op.RestoreSelection(volume, sel, std::move(options));
  }

  MemoryFileSystem fs;
  ScriptedOperationUI ui;
  TWLDesktopNode sel{fs};
  TRestoreOperation op{fs, ui};
  TVolumeRec volume;
};

TEST(OrphanedRestore, DriveFolderNameTest) {
  for (const char* yes : {"From Drive C", "from drive c", "FROM DRIVE ", "From Drive Cx\\",
                          "FROM NETWORK", "From Network", "from network"}) {
    EXPECT_TRUE(CheckDriveFolder(yes)) << yes;
  }
  for (const char* no : {"From Drive", "From DriveC", "From Network2", "From Networks",
                         "From Netwo", "Data", "", "FROM  DRIVE C"}) {
    EXPECT_FALSE(CheckDriveFolder(no)) << no;
  }
  EXPECT_TRUE(DriveFoldersFound({"Data", "x", "From Drive D", "From Network2"}));
  EXPECT_FALSE(DriveFoldersFound({"Data", "From Network2"}));
  EXPECT_FALSE(DriveFoldersFound({}));
}

TEST(OrphanedRestore, QuestionsFollowPlaceholderAndDriveFolders) {
  struct Row {
    bool placeholder;
    std::string subfolder;
    std::vector<int> answers;
    std::vector<std::string> questions;
    bool accepted;
  };
  const std::vector<Row> rows = {
      {true, "From Drive C", {}, {}, true},
      {true, "Data", {}, {}, true},
      {false, "from drive c", {mb::IdYes}, {kNoPlaceholderQuestion}, true},
      {false, "From Network2", {mb::IdYes, mb::IdYes},
       {kNoPlaceholderQuestion, kNoVolumeQuestion}, true},
      // Either question answered No: nothing changes.
      {false, "From Drive C", {mb::IdNo}, {kNoPlaceholderQuestion}, false},
      {false, "Data", {mb::IdNo}, {kNoPlaceholderQuestion}, false},
      {false, "Data", {mb::IdYes, mb::IdNo}, {kNoPlaceholderQuestion, kNoVolumeQuestion}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.placeholder ? "placeholder, " : "no placeholder, ") +
                 row.subfolder + ", " + std::to_string(row.answers.size()) + " answers");
    OrphanRun r;
    if (row.placeholder) r.fs.WriteFile(kOld + "\\VOLUME.TWV", "[Tidewell Volume]\r\n");
    r.fs.MakeDirs(kOld + "\\" + row.subfolder);
    for (int a : row.answers) r.ui.Answer(a);

    std::optional<TOrphanedVolume> orphan = CheckOrphanedFolder(r.fs, r.ui, kOld);

    EXPECT_EQ(r.Texts(), row.questions);
    for (const auto& m : r.ui.messages) {
      EXPECT_EQ(m.caption, "Tidewell");
      EXPECT_EQ(m.flags, mb::YesNo | mb::IconQuestion);
    }
    EXPECT_EQ(orphan.has_value(), row.accepted);
    if (orphan) {
      EXPECT_EQ(orphan->Volume.BackupPath, "D:\\Old\\");
      EXPECT_EQ(orphan->PlaceholderIni != nullptr, row.placeholder);
    }
  }
}

TEST(OrphanedRestore, FolderWithoutAPathIsRefusedAndTheTreeIsListedOnlyAfterTheFirstQuestion) {
  for (std::optional<std::string> folder :
       {std::optional<std::string>{}, std::optional<std::string>{""},
        std::optional<std::string>{"Q:\\Gone"}, std::optional<std::string>{"D:\\Old\\file.txt"}}) {
    OrphanRun r;
    r.fs.WriteFile("D:\\Old\\file.txt", "not a folder");
    EXPECT_FALSE(CheckOrphanedFolder(r.fs, r.ui, folder));
    ASSERT_EQ(r.ui.messages.size(), 1u);
    EXPECT_EQ(r.ui.messages[0].text, "Cannot proceed. Please select a file system folder");
    EXPECT_EQ(r.ui.messages[0].flags, mb::Ok | mb::IconError);
  }
  {
    OrphanRun r;
    int listed = 0;
    auto tree = [&] {
      ++listed;
      return std::vector<std::string>{"From Drive C"};  // as the tree shows it
    };
    r.ui.Answer(mb::IdNo);
    EXPECT_FALSE(CheckOrphanedFolder(r.fs, r.ui, kOld, tree));
    EXPECT_EQ(listed, 0);
    r.ui.Answer(mb::IdYes);
    std::optional<TOrphanedVolume> orphan = CheckOrphanedFolder(r.fs, r.ui, kOld + "\\", tree);
    ASSERT_TRUE(orphan);
    EXPECT_EQ(listed, 1);
    EXPECT_TRUE(orphan->DriveFoldersFound);
    EXPECT_EQ(orphan->Volume.BackupPath, "D:\\Old\\");
  }
}

TEST(OrphanedRestore, VolumeWithoutDriveFoldersRestoresThroughItsPlaceholderWithoutPrompts) {
  OrphanRun r;
  r.MakeFlatVolume(true);
  r.fs.WriteFile("C:\\Windows\\System\\a.dll", "old a.dll");

  EXPECT_EQ(r.AcceptAndRestoreAll(), TRestoreResult::Finished);

  EXPECT_EQ(r.ui.CountCalls("AskRootPath"), 0);
  EXPECT_EQ(r.fs.Contents("C:\\Windows\\System\\a.dll"), "a.dll");
  EXPECT_EQ(r.fs.Contents("E:\\Data\\x.txt"), "x.txt");
  // Files beside the placeholder, and the placeholder itself, stay in the volume only.
  EXPECT_FALSE(r.fs.Exists("C:\\boot.ini"));
  EXPECT_FALSE(r.fs.Exists("C:\\VOLUME.TWV"));
  EXPECT_FALSE(r.fs.Exists("E:\\VOLUME.TWV"));
  EXPECT_EQ(r.Texts(), std::vector<std::string>{kRestoreFinished});
}

TEST(OrphanedRestore, PlaceholderEntriesThatLeadOutsideTheirPlaceAreAskedFor) {
  OrphanRun r;
  r.MakeFlatVolume(true, "Evil=..\\..\\Windows\r\nBlank= \r\n");
  r.fs.WriteFile(kOld + "\\Evil\\e.txt", "e");
  r.fs.WriteFile(kOld + "\\Missing\\m.txt", "m");
  r.ui.AnswerRootPath("E:\\Safe");
  r.ui.AnswerRootPath("E:\\Found");

  EXPECT_EQ(r.AcceptAndRestoreAll(), TRestoreResult::Finished);

  // Each folder without a usable entry of its own is asked for, by name; the placeholder's
  // entries still serve the others.
  std::vector<std::string> asked;
  for (const auto& call : r.ui.calls)
    if (call.rfind("AskRootPath", 0) == 0) asked.push_back(call);
  EXPECT_EQ(asked, (std::vector<std::string>{"AskRootPath Evil", "AskRootPath Missing"}));
  EXPECT_EQ(r.fs.Contents("E:\\Safe\\Evil\\e.txt"), "e");
  EXPECT_EQ(r.fs.Contents("E:\\Found\\Missing\\m.txt"), "m");
  EXPECT_EQ(r.fs.Contents("C:\\Windows\\System\\a.dll"), "a.dll");
  EXPECT_EQ(r.fs.Contents("E:\\Data\\x.txt"), "x.txt");
}

TEST(OrphanedRestore, FirstLevelNamesAKeyCannotCarryAreFoundInThePlaceholderWithoutPrompts) {
  OrphanRun r;
  // Names Windows allows that a profile key cannot hold as they are.
  const std::vector<std::string> names = {"a=b", ";semi", "[br]", " lead", "trail ", "x\x7Fy"};
  TWLDesktopNode added(r.fs);
  for (const auto& name : names) {
    r.fs.WriteFile("C:\\" + name + "\\f.txt", name);
    TWLNode* folder = added.AddPath("C:\\" + name);
    ASSERT_NE(folder, nullptr) << name;
    folder->AddFile("f.txt", static_cast<int64_t>(name.size()));
  }
  TVolumeRec flat;
  flat.Name = "Flat";
  flat.BackupPath = kOld + "\\";
  ScriptedOperationUI addUi;
  TAddOperation add(r.fs, addUi);
  ASSERT_EQ(add.AddSelectionToVolume(flat, added, static_cast<int>(names.size())),
            TAddResult::Finished);
  for (const auto& name : names) r.fs.Remove("C:\\" + name + "\\f.txt");
  // An entry of a file written before names were escaped is still found.
  r.fs.WriteFile(kOld + "\\VOLUME.TWV", *r.fs.Contents(kOld + "\\VOLUME.TWV") + "mid;semi=E:\r\n");
  r.fs.WriteFile(kOld + "\\mid;semi\\m.txt", "m");

  EXPECT_EQ(r.AcceptAndRestoreAll(), TRestoreResult::Finished);

  EXPECT_EQ(r.ui.CountCalls("AskRootPath"), 0);
  for (const auto& name : names) EXPECT_EQ(r.fs.Contents("C:\\" + name + "\\f.txt"), name);
  EXPECT_EQ(r.fs.Contents("E:\\mid;semi\\m.txt"), "m");
  EXPECT_EQ(r.Texts(), std::vector<std::string>{kRestoreFinished});
}

TEST(OrphanedRestore, WithoutPlaceholderOnePromptPerRestoreServesEveryFirstLevelFolder) {
  OrphanRun r;
  r.MakeFlatVolume(false);
  r.ui.Answer(mb::IdYes);  // no placeholder
  r.ui.Answer(mb::IdYes);  // no drive folders
  r.ui.AnswerRootPath("E:\\Restored");

  EXPECT_EQ(r.AcceptAndRestoreAll(), TRestoreResult::Finished);

  EXPECT_EQ(r.ui.CountCalls("AskRootPath"), 1);
  EXPECT_EQ(r.fs.Contents("E:\\Restored\\Windows\\System\\a.dll"), "a.dll");
  EXPECT_EQ(r.fs.Contents("E:\\Restored\\Data\\x.txt"), "x.txt");
  EXPECT_FALSE(r.fs.Exists("E:\\Restored\\boot.ini"));
  EXPECT_EQ(r.Texts(), (std::vector<std::string>{kNoPlaceholderQuestion, kNoVolumeQuestion,
                                                 kRestoreFinished}));
  // The animation rests while the prompt is up.
  auto ask = std::find(r.ui.calls.begin(), r.ui.calls.end(), "AskRootPath Data");
  ASSERT_NE(ask, r.ui.calls.end());
  EXPECT_EQ(*(ask - 1), "StopAnimation");
  EXPECT_EQ(*(ask + 1), "StartAnimation");

  // The next restore starts without a root and asks again.
  r.ui.AnswerRootPath("E:\\Second");
  TRestoreOptions again;
  EXPECT_EQ(r.op.RestoreSelection(r.volume, r.sel, std::move(again)), TRestoreResult::Finished);
  EXPECT_EQ(r.ui.CountCalls("AskRootPath"), 2);
  EXPECT_EQ(r.fs.Contents("E:\\Second\\Data\\x.txt"), "x.txt");
}

TEST(OrphanedRestore, RelativeRootAnswersAreRefusedAndNoAnswerIsReportedNotSkipped) {
  {
    OrphanRun r;
    r.MakeFlatVolume(false);
    r.ui.Answer(mb::IdYes);
    r.ui.Answer(mb::IdYes);
    for (const char* bad : {"Restored", " E:\\Restored", "E:\\Restored\\..\\..", "E:Restored"}) {
      r.ui.AnswerRootPath(bad);
      r.ui.Answer(mb::IdOk);
    }
    r.ui.AnswerRootPath("E:\\Restored");

    EXPECT_EQ(r.AcceptAndRestoreAll(), TRestoreResult::Finished);

    EXPECT_EQ(r.ui.CountCalls("AskRootPath"), 5);
    std::vector<std::string> texts = r.Texts();
    ASSERT_EQ(texts.size(), 7u);
    EXPECT_EQ(texts[2], RootNotAbsoluteText("Restored"));
    EXPECT_EQ(texts[3], RootNotAbsoluteText(" E:\\Restored"));
    EXPECT_EQ(r.ui.messages[2].flags, mb::Ok | mb::IconError);
    EXPECT_EQ(r.ui.messages[2].owner, MessageOwner::Progress);
    EXPECT_EQ(texts[6], kRestoreFinished);
    EXPECT_EQ(r.fs.Contents("E:\\Restored\\Data\\x.txt"), "x.txt");
    // Nothing went anywhere but below the answer and the volume itself.
    for (const auto& p : r.fs.ListAll()) {
      EXPECT_TRUE(p.rfind("D:\\Old", 0) == 0 || p.rfind("E:\\Restored", 0) == 0 ||
                  p.rfind("C:\\Temp", 0) == 0)
          << p;
    }
  }
  {
    OrphanRun r;  // the prompt could not be shown at all
    r.MakeFlatVolume(false);
    r.ui.Answer(mb::IdYes);
    r.ui.Answer(mb::IdYes);
    r.ui.Answer(mb::IdNo);
    EXPECT_EQ(r.AcceptAndRestoreAll(), TRestoreResult::Finished);
    EXPECT_TRUE(r.op.RestoreErrors);
    EXPECT_EQ(r.Texts().back(), kRestoreErrorQuestion);
    auto log = r.fs.Contents("C:\\Temp\\TW-LOG.TMP");
    ASSERT_TRUE(log);
    EXPECT_EQ(*log,
              "Couldnt restore file D:\\Old\\Data\\x.txt to an unknown location\r\n"
              "Couldnt restore file D:\\Old\\Windows\\System\\a.dll to an unknown location\r\n");
  }
}

}  // namespace
}  // namespace tw
