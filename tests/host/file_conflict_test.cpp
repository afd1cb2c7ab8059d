// The selection file a new volume needs is already in the program folder: delete, rename out
// of the way, or give up on the volume.
#include <gtest/gtest.h>

#include <functional>

#include "engine/fileconflict.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/ScriptedPrompts.h"

namespace tw {
namespace {

const std::string kAppDir = "C:\\Program Files\\Tidewell\\";
const std::string kOld = "[C:\\Docs]\r\n**ALL**=#\r\n";

struct ConflictFixture : ::testing::Test {
  MemoryFileSystem fs;
  ScriptedPrompts prompts;
  void SetUp() override {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.MakeDirs(kAppDir);
  }
};

// What the dialog does, as a script: each answer runs the same engine step its button runs.
struct ScriptedConflict : IFileConflictPrompt {
  std::function<bool(const std::string&)> answer;
  std::vector<std::string> asked;
  bool ResolveFileConflict(const std::string& fileName) override {
    asked.push_back(fileName);
    return answer(fileName);
  }
};

TEST_F(ConflictFixture, RenameTakesTheFirstFreeOfSixteenNamesAndNeverReplacesOne) {
  fs.WriteFile(kAppDir + "Office.TWS", kOld);
  fs.WriteFile(kAppDir + "Office.TWS.BAK", "older");
  RenameConflictingFile(fs, prompts, kAppDir, "Office.TWS");
  EXPECT_FALSE(fs.Exists(kAppDir + "Office.TWS"));
  EXPECT_EQ(fs.Contents(kAppDir + "Office.TWS.BAK"), "older");
  EXPECT_EQ(fs.Contents(kAppDir + "Office.TWS0.BAK"), kOld);
  ASSERT_EQ(prompts.Count(), 1u);
  EXPECT_EQ(prompts.Last().text, kAppDir + "Office.TWS has been renamed to " + kAppDir +
                                     "Office.TWS0.BAK");
  EXPECT_EQ(prompts.Last().caption, "Tidewell");
  EXPECT_EQ(prompts.Last().flags & 0xF0, mb::IconInformation);

  // The sixteenth name is the last one tried.
  for (int i = 0; i <= 13; ++i)
    fs.WriteFile(kAppDir + "Office.TWS" + std::to_string(i) + ".BAK", std::to_string(i));
  fs.WriteFile(kAppDir + "Office.TWS", kOld);
  RenameConflictingFile(fs, prompts, kAppDir, "Office.TWS");
  EXPECT_EQ(fs.Contents(kAppDir + "Office.TWS14.BAK"), kOld);

  // All sixteen names taken: one message, the file goes, every other file stays.
  prompts.Clear();
  fs.WriteFile(kAppDir + "Office.TWS", kOld);
  fs.WriteFile(kAppDir + "Office.TWS14.BAK", "14");
  RenameConflictingFile(fs, prompts, kAppDir, "Office.TWS");
  ASSERT_EQ(prompts.Count(), 1u);
  EXPECT_EQ(prompts.Last().text,
            "Tidewell was not able to rename the file. This file would be deleted.");
  EXPECT_EQ(prompts.Last().flags & 0xF0, mb::IconWarning);
  EXPECT_FALSE(fs.Exists(kAppDir + "Office.TWS"));
  EXPECT_FALSE(fs.Exists(kAppDir + "Office.TWS15.BAK"));
  EXPECT_EQ(fs.Contents(kAppDir + "Office.TWS.BAK"), "older");
  for (int i = 0; i <= 14; ++i)
    EXPECT_EQ(fs.Contents(kAppDir + "Office.TWS" + std::to_string(i) + ".BAK"),
              std::to_string(i));
}

TEST_F(ConflictFixture, TheWayIsClearOnlyWhenTheOldFileIsReallyGone) {
  ScriptedConflict conflict;
  conflict.answer = [](const std::string&) { return false; };
  // No file: nobody is asked.
  EXPECT_TRUE(ClearSelectionFileName(fs, conflict, prompts, kAppDir, "Office.TWS"));
  EXPECT_TRUE(conflict.asked.empty());

  // Cancel: nothing on disk changes.
  fs.WriteFile(kAppDir + "Office.TWS", kOld);
  EXPECT_FALSE(ClearSelectionFileName(fs, conflict, prompts, kAppDir, "Office.TWS"));
  EXPECT_EQ(conflict.asked, std::vector<std::string>{"Office.TWS"});
  EXPECT_EQ(fs.Contents(kAppDir + "Office.TWS"), kOld);
  EXPECT_EQ(prompts.Count(), 0u);

  // Delete of a file another program holds: the dialog says nothing, the caller must.
  conflict.answer = [this](const std::string& name) {
    DeleteConflictingFile(fs, kAppDir, name);
    return true;
  };
  fs.AddFault({FsOp::Remove, kAppDir + "Office.TWS", PathMatch::Exact, winerr::SharingViolation});
  EXPECT_FALSE(ClearSelectionFileName(fs, conflict, prompts, kAppDir, "Office.TWS"));
  ASSERT_EQ(prompts.Count(), 1u);
  EXPECT_EQ(prompts.Last().text,
            "Tidewell was not able to delete the file " + kAppDir + "Office.TWS.");
  EXPECT_EQ(fs.Contents(kAppDir + "Office.TWS"), kOld);

  // Rename and Delete that work clear the way.
  EXPECT_TRUE(ClearSelectionFileName(fs, conflict, prompts, kAppDir, "Office.TWS"));
  EXPECT_FALSE(fs.Exists(kAppDir + "Office.TWS"));
  fs.WriteFile(kAppDir + "Office.TWS", kOld);
  conflict.answer = [this](const std::string& name) {
    RenameConflictingFile(fs, prompts, kAppDir, name);
    return true;
  };
  EXPECT_TRUE(ClearSelectionFileName(fs, conflict, prompts, kAppDir, "Office.TWS"));
  EXPECT_EQ(fs.Contents(kAppDir + "Office.TWS.BAK"), kOld);

  // A file that cannot be looked at is never taken for an absent one.
  fs.WriteFile(kAppDir + "Mail.TWS", kOld);
  fs.AddFault({FsOp::Stat, kAppDir + "Mail.TWS", PathMatch::Exact, winerr::AccessDenied, 0,
               FsFault::kAlways});
  conflict.answer = [](const std::string&) { return false; };
  EXPECT_FALSE(ClearSelectionFileName(fs, conflict, prompts, kAppDir, "Mail.TWS"));
  EXPECT_EQ(conflict.asked.back(), "Mail.TWS");
}

}  // namespace
}  // namespace tw
