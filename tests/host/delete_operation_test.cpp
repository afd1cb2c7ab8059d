// Deleting copies from a volume against the in-memory file system: which files and folders go,
// which stay (the volume folder, its placeholder, anything not selected, anything in use), and
// what the window is told.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/operations.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/ScriptedOperationUI.h"
#include "tests/host/SmallStack.h"

namespace tw {
namespace {

struct DeleteRun {
  explicit DeleteRun(const std::string& backupPath = "D:\\Backup\\") {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.AddDrive("D:", DriveType::Fixed);
    fs.AddDrive("E:", DriveType::Removable);
    fs.SetTempFolder("C:\\Temp");
    fs.MakeDirs("C:\\Temp");
    volume.Name = "Docs";
    volume.BackupPath = backupPath;
    volume.SeparateFolders = true;
    fs.WriteFile(backupPath + "VOLUME.TWV", "[Tidewell Volume]\r\nVolume File=#\r\n");
  }
  void Copy(const std::string& rel, uint32_t attrs = fileattr::Archive) {
    fs.WriteFile(volume.BackupPath + rel, rel, attrs);
  }
  TDeleteResult Run(bool all) {
    if (all) {
      EXPECT_TRUE(SelectWholeVolume(sel, volume));
    }
    return op.DeleteSelectionFromVolume(volume, sel, CountSelectedFiles(sel), all);
  }
  std::vector<std::string> Left() {
    std::vector<std::string> left;
    for (const auto& p : fs.ListAll()) {
      if (p.rfind(volume.BackupPath.substr(0, 2), 0) == 0) left.push_back(p);
    }
    return left;
  }
  MemoryFileSystem fs;
  ScriptedOperationUI ui;
  TVolumeRec volume;
  TWLDesktopNode sel{fs};
  TDeleteOperation op{fs, ui};
};

TEST(DeleteFromVolume, AllFilesLeavesOnlyTheVolumeFolderAndItsPlaceholder) {
  DeleteRun r;
  r.Copy("From Drive C\\boot.ini");
  r.Copy("From Drive C\\Data\\a.txt", fileattr::ReadOnly | fileattr::Archive);
  r.Copy("From Drive C\\Data\\Deep\\b.txt", fileattr::Hidden | fileattr::System);
  r.Copy("From Network\\srv\\share\\n.txt");
  r.fs.MakeDirs("D:\\Backup\\From Drive C\\Empty");
  r.fs.WriteFile("D:\\Other\\not in the volume.txt", "x");

  TDeleteResult res = r.Run(true);

  EXPECT_FALSE(res.Cancelled);
  EXPECT_TRUE(res.RemoveVolumeFromList);
  std::vector<std::string> left = r.Left();
  EXPECT_EQ(left, (std::vector<std::string>{"D:\\Backup", "D:\\Backup\\VOLUME.TWV", "D:\\Other",
                                            "D:\\Other\\not in the volume.txt"}));
  EXPECT_EQ(r.op.FilesDeleted, 4);
  // The selection holds what is left: the volume folder's node, without its placeholder,
  // which is no file of the user's.
  TWLNode* volumeNode = r.sel.FindNode("D:\\Backup");
  ASSERT_NE(volumeNode, nullptr);
  EXPECT_EQ(volumeNode->ChildCount(), 0);
  EXPECT_EQ(volumeNode->FileCount(), 0);

  ASSERT_EQ(r.ui.messages.size(), 1u);
  EXPECT_EQ(r.ui.messages[0].text, "Tidewell has finished deleting the files.");
  EXPECT_EQ(r.ui.messages[0].caption, "Tidewell");
  EXPECT_EQ(r.ui.messages[0].flags, mb::Ok | mb::IconInformation);
  EXPECT_EQ(r.ui.caption, "Deleting Files...");
  EXPECT_TRUE(r.ui.deleteAnimation);
  EXPECT_EQ(r.ui.volumeText, "Docs");
  // The bar ends full: the placeholder, never deleted, is not counted.
  EXPECT_EQ(r.ui.rangeMax, 4);
  EXPECT_EQ(r.ui.position, 4);
  EXPECT_TRUE(r.ui.AtRest());
  // No log: the delete does not touch the previous operation's.
  EXPECT_EQ(r.fs.CallCount(FsOp::OpenWrite), 0);
}

TEST(DeleteFromVolume, AVolumeAtADriveRootKeepsTheRootAndItsPlaceholder) {
  DeleteRun r("E:\\");
  r.Copy("From Drive C\\Data\\a.txt");
  r.Copy("loose.txt");
  TDeleteResult res = r.Run(true);
  EXPECT_TRUE(res.RemoveVolumeFromList);
  EXPECT_EQ(r.Left(), (std::vector<std::string>{"E:\\loose.txt", "E:\\VOLUME.TWV"}));
  EXPECT_EQ(r.fs.CallCount(FsOp::RemoveDir, "E:"), 0);
  EXPECT_EQ(r.fs.CallCount(FsOp::RemoveDir, "E:\\"), 0);
}

TEST(DeleteFromVolume, SelectedFilesGoAndFoldersStayWhileTheyHoldAnythingElse) {
  DeleteRun r;
  r.Copy("From Drive C\\Data\\a.txt", fileattr::ReadOnly | fileattr::Hidden);
  r.Copy("From Drive C\\Data\\b.txt");
  r.Copy("From Drive C\\Data\\in use.txt");
  r.Copy("From Drive C\\Whole\\w1.txt");
  r.Copy("From Drive C\\Whole\\Sub\\w2.txt");
  r.Copy("From Drive C\\Busy\\busy.txt");
  r.Copy("From Drive C\\Gone\\gone.txt");

  // One file of Data; Whole, Busy and Gone checked as a whole.
  TWLNode* data = r.sel.AddPath("D:\\Backup\\From Drive C\\Data");
  data->AddFile("a.txt", -1);
  data->AddFile("in use.txt", -1);
  for (const char* whole : {"Whole", "Busy", "Gone"}) {
    TWLNode* n = r.sel.AddPath(std::string("D:\\Backup\\From Drive C\\") + whole);
    ASSERT_TRUE(n->SelectAll());
    n->SetTreeState(2);
  }
  // Since then: a file added to Whole, one removed from Gone by someone else.
  r.Copy("From Drive C\\Whole\\added later.txt");
  r.fs.Remove("D:\\Backup\\From Drive C\\Gone\\gone.txt");
  FsFault f;
  f.op = FsOp::Remove;
  f.path = "D:\\Backup\\From Drive C\\Data\\in use.txt";
  f.error = winerr::SharingViolation;
  f.times = FsFault::kAlways;
  r.fs.AddFault(f);
  f.path = "D:\\Backup\\From Drive C\\Busy\\busy.txt";
  r.fs.AddFault(f);

  TDeleteResult res = r.Run(false);

  EXPECT_FALSE(res.RemoveVolumeFromList);
  EXPECT_EQ(r.Left(), (std::vector<std::string>{
                          "D:\\Backup",
                          "D:\\Backup\\From Drive C",
                          "D:\\Backup\\From Drive C\\Busy",
                          "D:\\Backup\\From Drive C\\Busy\\busy.txt",
                          "D:\\Backup\\From Drive C\\Data",
                          "D:\\Backup\\From Drive C\\Data\\b.txt",
                          "D:\\Backup\\From Drive C\\Data\\in use.txt",
                          "D:\\Backup\\From Drive C\\Whole",
                          "D:\\Backup\\From Drive C\\Whole\\added later.txt",
                          "D:\\Backup\\VOLUME.TWV",
                      }));
  // What stayed is still selected; what went is not.
  EXPECT_EQ(data->FileCount(), 1);
  EXPECT_EQ(data->FileName(0), "in use.txt");
  EXPECT_NE(r.sel.FindNode("D:\\Backup\\From Drive C\\Whole"), nullptr);
  EXPECT_EQ(r.sel.FindNode("D:\\Backup\\From Drive C\\Whole\\Sub"), nullptr);
  EXPECT_EQ(r.sel.FindNode("D:\\Backup\\From Drive C\\Gone"), nullptr);
  EXPECT_EQ(r.sel.FindNode("D:\\Backup\\From Drive C\\Busy")->FileCount(), 1);
  // What could not be deleted stays, and the end says so rather than claiming it finished.
  EXPECT_EQ(r.ui.messages.size(), 1u);
  EXPECT_EQ(r.ui.messages[0].text, "Tidewell could not delete 2 files. They stay in the volume.");
}

TEST(DeleteFromVolume, CancelKeepsTheRestTheVolumeInTheListAndShowsNoMessage) {
  DeleteRun r;
  r.Copy("From Drive C\\A\\1.txt");
  r.Copy("From Drive C\\A\\2.txt");
  r.Copy("From Drive C\\B\\3.txt");
  r.ui.CancelAfterFiles(1);
  TDeleteResult res = r.Run(true);
  EXPECT_TRUE(res.Cancelled);
  EXPECT_FALSE(res.RemoveVolumeFromList);
  EXPECT_FALSE(r.fs.Exists("D:\\Backup\\From Drive C\\A\\1.txt"));
  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\From Drive C\\A\\2.txt"));
  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\From Drive C\\B\\3.txt"));
  EXPECT_TRUE(r.ui.messages.empty());
  EXPECT_TRUE(r.ui.AtRest());
}

}  // namespace
TEST(DeleteFromVolume, AllFilesTakesOnlyWhatTheVolumeMade) {
  {
    SCOPED_TRACE("a volume with drive folders at a drive root");
    DeleteRun r("E:\\");
    r.Copy("From Drive C\\Data\\a.txt");
    r.Copy("From Network\\srv\\share\\n.txt");
    r.Copy("Photos\\holiday.jpg");
    r.Copy("Work\\Sub\\plan.doc");
    TDeleteResult res = r.Run(true);
    EXPECT_TRUE(res.RemoveVolumeFromList);
    EXPECT_EQ(r.Left(), (std::vector<std::string>{"E:\\Photos", "E:\\Photos\\holiday.jpg",
                                                  "E:\\VOLUME.TWV", "E:\\Work", "E:\\Work\\Sub",
                                                  "E:\\Work\\Sub\\plan.doc"}));
    EXPECT_EQ(r.ui.rangeMax, 2);
  }
  {
    SCOPED_TRACE("a flat volume: the roots its placeholder records");
    DeleteRun r("D:\\Backup\\");
    r.volume.SeparateFolders = false;
    r.fs.WriteFile("D:\\Backup\\VOLUME.TWV",
                   "[Tidewell Volume]\r\nVolume File=#\r\nData=C:\\\r\nMail=\\\\srv\\share\r\n");
    r.Copy("Data\\a.txt");
    r.Copy("Mail\\m.eml");
    r.Copy("Someone else's\\keep.txt");
    TDeleteResult res = r.Run(true);
    EXPECT_TRUE(res.RemoveVolumeFromList);
    EXPECT_EQ(r.Left(), (std::vector<std::string>{
                            "D:\\Backup", "D:\\Backup\\Someone else's",
                            "D:\\Backup\\Someone else's\\keep.txt", "D:\\Backup\\VOLUME.TWV"}));
  }
  {
    SCOPED_TRACE("a volume folder emptied of its placeholder and every folder above it stay");
    DeleteRun r("D:\\Users\\Me\\Backup\\");
    r.fs.Remove("D:\\Users\\Me\\Backup\\VOLUME.TWV");
    r.Copy("From Drive C\\a.txt");
    // The whole drive checked, as a contents tree rooted higher up would give it.
    ASSERT_TRUE(r.sel.AddPath("D:")->SelectAll());
    r.sel.AddPath("D:")->SetTreeState(2);
    for (TWLNode* n = r.sel.FindNode("D:\\Users\\Me\\Backup"); n; n = n->Parent())
      n->SetTreeState(2);
    r.op.DeleteSelectionFromVolume(r.volume, r.sel, CountSelectedFiles(r.sel), false);
    EXPECT_EQ(r.Left(), (std::vector<std::string>{"D:\\Users", "D:\\Users\\Me",
                                                  "D:\\Users\\Me\\Backup"}));
  }
}

TEST(DeleteFromVolume, NodesFreedByAWindowMessageStopTheDeleteWithoutClaimingItFinished) {
  DeleteRun r;
  r.Copy("From Drive C\\A\\1.txt");
  r.Copy("From Drive C\\A\\2.txt");
  r.Copy("From Drive C\\B\\3.txt");
  int calls = 0;
  r.ui.onProcessMessages = [&] {
    if (++calls == 1) r.sel.RemovePath("D:\\Backup\\From Drive C\\B");
  };
  TDeleteResult res = r.Run(true);
  EXPECT_FALSE(res.RemoveVolumeFromList);
  ASSERT_EQ(r.ui.messages.size(), 1u);
  EXPECT_EQ(r.ui.messages[0].text, kDeleteInterrupted);
  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\From Drive C\\B\\3.txt"));
  EXPECT_TRUE(r.ui.AtRest());
}

TEST(DeleteFromVolume, TreesDeeperThanTheStackCouldRecurseAreDeletedToTheVolumeFolder) {
  DeleteRun r;
  std::string deep = "From Drive C";
  for (int i = 0; i < 1000; ++i) deep += "\\d";
  r.Copy(deep + "\\deep.txt");
  TDeleteResult res;
  ASSERT_TRUE(testing::RunOnSmallStack(256 * 1024, [&] { res = r.Run(true); }));
  EXPECT_TRUE(res.RemoveVolumeFromList);
  EXPECT_EQ(r.Left(), (std::vector<std::string>{"D:\\Backup", "D:\\Backup\\VOLUME.TWV"}));
}

}  // namespace tw
