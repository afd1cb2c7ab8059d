// Records of VOLUMES.TWB that a damaged or hand-made file can hold: kept and saved back as read,
// refused by every operation that would build a path from them, and never cut when saved.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/operations.h"
#include "engine/volumeedit.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/MemoryNamedMutex.h"
#include "platform/memory/ScriptedOperationUI.h"
#include "platform/memory/ScriptedPrompts.h"

namespace tw {
namespace {

const std::string kAppDir = "C:\\Program Files\\Tidewell\\";
const std::string kFile = kAppDir + "VOLUMES.TWB";

TVolumeRec Rec(const std::string& name, const std::string& path) {
  TVolumeRec rec;
  rec.Name = name;
  rec.BackupPath = path;
  rec.SeparateFolders = true;
  rec.Frequency = 2;
  rec.WeekDay = 3;
  rec.LastRefresh = 45291.25;
  return rec;
}

std::string Encode(const std::vector<TVolumeRec>& list) {
  TValueWriter w;
  for (const auto& rec : list) WriteVolumeRec(w, rec);
  return w.Data();
}

struct Machine {
  Machine() {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.AddDrive("D:", DriveType::Fixed);
    fs.SetTempFolder("C:\\Temp");
    fs.MakeDirs("C:\\Temp");
    fs.MakeDirs(kAppDir);
  }
  MemoryFileSystem fs;
  ScriptedPrompts prompts;
};

// A 255-byte path, the longest the file holds, read without its trailing backslash.
const std::string kLongestPath = "D:\\" + std::string(252, 'p');

TEST(VolumeRecords, EveryRecordIsKeptAndSavedBackAsReadWithTheBackslashAddedOnLoad) {
  Machine m;
  const std::vector<TVolumeRec> hostile = {
      Rec("..\\..\\Users\\Public\\x", "D:\\Backup\\"),
      Rec("Docs:stream", "D:\\Backup\\"),
      Rec("Relative", "BACKUP\\"),
      Rec("DriveRelative", "D:BACKUP\\"),
      Rec("Empty", ""),
  };
  std::vector<TVolumeRec> stored = hostile;
  stored.push_back(Rec("Plain", "D:\\BACKUP"));
  stored.push_back(Rec("Longest", kLongestPath));
  m.fs.WriteFile(kFile, Encode(stored));

  TVolumeStore store(m.fs, m.prompts, kAppDir);
  store.Load("");
  ASSERT_EQ(store.VolumeList.size(), stored.size());
  for (size_t i = 0; i < hostile.size(); ++i) {
    EXPECT_EQ(store.VolumeList[i]->Name, hostile[i].Name);
    EXPECT_EQ(store.VolumeList[i]->BackupPath, hostile[i].BackupPath);
    EXPECT_NE(CheckVolumeRecord(*store.VolumeList[i]), "") << hostile[i].Name;
  }
  EXPECT_EQ(store.VolumeList[5]->BackupPath, "D:\\BACKUP\\");
  EXPECT_EQ(CheckVolumeRecord(*store.VolumeList[5]), "");
  EXPECT_EQ(store.VolumeList[6]->BackupPath, kLongestPath + "\\");
  EXPECT_EQ(CheckVolumeRecord(*store.VolumeList[6]), "");
  EXPECT_FALSE(store.KeepAsideOnSave());

  ASSERT_TRUE(store.Save());
  EXPECT_EQ(m.prompts.Count(), 0u);
  // Only the missing backslash was added; the longest path is written back as it was read.
  stored[5].BackupPath = "D:\\BACKUP\\";
  EXPECT_EQ(m.fs.Contents(kFile), Encode(stored));
}

TEST(VolumeRecords, SaveRefusesATextItWouldHaveToCutAndLeavesTheFileAsItWas) {
  Machine m;
  const std::string before = Encode({Rec("Docs", "D:\\Docs\\")});
  m.fs.WriteFile(kFile, before);
  // 301 bytes, with two-byte letters where a cut at 255 would split one.
  std::string path = "D:\\";
  for (int i = 0; i < 148; ++i) path += "\xC3\xA9";
  path += "x\\";
  ASSERT_EQ(path.size(), 301u);

  for (const TVolumeRec& rec : {Rec("Long path", path), Rec(std::string(256, 'n'), "D:\\N\\"),
                                Rec("Too long by its backslash", kLongestPath + "x\\")}) {
    SCOPED_TRACE(rec.Name.substr(0, 30));
    m.prompts.Clear();
    TVolumeStore store(m.fs, m.prompts, kAppDir);
    store.Load("");
    store.VolumeList.push_back(std::make_unique<TVolumeRec>(rec));
    EXPECT_FALSE(store.Save());
    ASSERT_EQ(m.prompts.Count(), 1u);
    EXPECT_EQ(m.prompts.Last().text, TooLongToSaveText(rec));
    EXPECT_EQ(m.prompts.Last().caption, "Tidewell");
    EXPECT_EQ(m.fs.Contents(kFile), before);
  }
}

struct OperationRun : Machine {
  OperationRun() {
    fs.WriteFile("C:\\Docs\\a.txt", "original a");
    sel.AddPath("C:\\Docs")->AddFile("a.txt", 10);
  }
  void ExpectRefused(const TVolumeRec& volume, const char* operation) {
    SCOPED_TRACE(operation);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, CheckVolumeRecord(volume));
    EXPECT_EQ(ui.messages[0].caption, "Tidewell");
    EXPECT_EQ(ui.messages[0].flags, mb::Ok | mb::IconError);
    // Refused before anything began: no timer stopped, no dialog, no window hidden.
    EXPECT_EQ(ui.calls.size(), 1u);
    EXPECT_TRUE(ui.AtRest());
    EXPECT_TRUE(ui.mainVisible);
    ui = ScriptedOperationUI();
  }
  TWLDesktopNode sel{fs};
  ScriptedOperationUI ui;
};

TEST(VolumeRecords, EveryOperationRefusesAVolumeWhoseNameOrPathCannotBeUsed) {
  for (const TVolumeRec& volume :
       {Rec("..\\..\\Users\\Public\\x", "D:\\Backup\\"), Rec("Docs:stream", "D:\\Backup\\"),
        Rec("Docs", "BACKUP\\"), Rec("Docs", "D:BACKUP\\"), Rec("Docs", "")}) {
    SCOPED_TRACE(volume.Name + " / " + volume.BackupPath);
    OperationRun r;
    r.fs.WriteFile("D:\\Backup\\From Drive C\\Docs\\a.txt", "copy of a");
    const std::vector<std::string> before = r.fs.ListAll();

    TAddOperation add(r.fs, r.ui);
    EXPECT_EQ(add.AddSelectionToVolume(volume, r.sel, 1), TAddResult::Stopped);
    r.ExpectRefused(volume, "add");

    TWLDesktopNode loaded(r.fs);
    MemoryNamedMutex lock;
    TSelectionRefresh refreshed = RefreshFromSelectionFile(
        r.fs, r.ui, lock, volume, loaded, VolumeSelectionFile(kAppDir, volume));
    EXPECT_EQ(refreshed.Result, TAddResult::Stopped);
    r.ExpectRefused(volume, "refresh of the saved selection");

    TWLDesktopNode contents(r.fs);
    contents.AddPath("D:\\Backup\\From Drive C\\Docs")->AddFile("a.txt", 9);
    TRestoreOperation restore(r.fs, r.ui);
    TRestoreOptions options;
    bool selectedWhole = false;
    options.SelectWholeVolume = [&] { selectedWhole = true; };
    EXPECT_EQ(restore.RestoreSelection(volume, contents, std::move(options)),
              TRestoreResult::Stopped);
    EXPECT_FALSE(selectedWhole);
    r.ExpectRefused(volume, "restore");

    TContentsRefreshOperation contentsRefresh(r.fs, r.ui);
    EXPECT_EQ(contentsRefresh.RefreshVolumeContents(volume, contents, 1), TRefreshResult::Stopped);
    r.ExpectRefused(volume, "contents refresh");

    TDeleteOperation del(r.fs, r.ui);
    TDeleteResult deleted = del.DeleteSelectionFromVolume(volume, contents, 1, true);
    EXPECT_FALSE(deleted.RemoveVolumeFromList);
    r.ExpectRefused(volume, "delete");

    // Not a byte written or removed: no selection file outside the program folder, no
    // placeholder, no log, the copy still there.
    EXPECT_EQ(r.fs.ListAll(), before);
  }
}

TEST(VolumeRecords, BackupPathReadWithoutItsBackslashKeepsCopiesBelowItAndRestoresThem) {
  OperationRun r;
  r.fs.WriteFile(kFile, Encode({Rec("Docs", "D:\\BACKUP")}));
  TVolumeStore store(r.fs, r.prompts, kAppDir);
  store.Load("");
  ASSERT_EQ(store.VolumeList.size(), 1u);
  const TVolumeRec& volume = *store.VolumeList[0];

  TAddOperation add(r.fs, r.ui);
  EXPECT_EQ(add.AddSelectionToVolume(volume, r.sel, 1), TAddResult::Finished);
  EXPECT_EQ(r.fs.Contents("D:\\BACKUP\\From Drive C\\Docs\\a.txt"), "original a");
  EXPECT_TRUE(r.fs.Exists("D:\\BACKUP\\VOLUME.TWV"));
  EXPECT_FALSE(r.fs.Exists("D:\\BACKUPFrom Drive C"));

  r.fs.Remove("C:\\Docs\\a.txt");
  TWLDesktopNode contents(r.fs);
  TRestoreOptions options;
  options.SelectWholeVolume = [&] { ASSERT_TRUE(SelectWholeVolume(contents, volume)); };
  TRestoreOperation restore(r.fs, r.ui);
  EXPECT_EQ(restore.RestoreSelection(volume, contents, std::move(options)),
            TRestoreResult::Finished);
  EXPECT_EQ(r.fs.Contents("C:\\Docs\\a.txt"), "original a");
  EXPECT_FALSE(restore.RestoreErrors);
}

}  // namespace
}  // namespace tw
