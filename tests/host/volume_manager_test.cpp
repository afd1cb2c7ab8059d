// The Volume page's changes to the volume list on the in-memory platform: the input check, the
// path clash question, Apply of new and changed volumes, Delete with its clear-up and Remove.
#include <gtest/gtest.h>

#include <deque>
#include <tuple>

#include "engine/overdue.h"
#include "engine/settings.h"
#include "engine/volumeedit.h"
#include "engine/volumemanager.h"
#include "engine/volumeidentity.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/ScriptedPrompts.h"

namespace tw {
namespace {

const std::string kAppDir = "C:\\Program Files\\Tidewell\\";
const std::string kKey = "\\Software\\Corvane\\TidewellTest";

// The conflict dialog's answers, acted out on the memory file system.
class ScriptedConflict : public IFileConflictPrompt {
 public:
  enum Action { Delete, Rename, Cancel, FailToDelete };
  explicit ScriptedConflict(MemoryFileSystem& fs) : fs_(fs) {}
  bool ResolveFileConflict(const std::string& fileName) override {
    asked.push_back(fileName);
    Action a = script.empty() ? Cancel : script.front();
    if (!script.empty()) script.pop_front();
    if (a == Delete) fs_.Remove(kAppDir + fileName);
    if (a == Rename) fs_.Move(kAppDir + fileName, kAppDir + fileName + ".BAK", false);
    return a != Cancel;
  }
  std::deque<Action> script;
  std::vector<std::string> asked;

 private:
  MemoryFileSystem& fs_;
};

class RecordedClearUp : public IFolderClearUp {
 public:
  void ClearUpFolder(const std::string& folder) override { folders.push_back(folder); }
  std::vector<std::string> folders;
};

struct Rig {
  Rig() {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.AddDrive("D:", DriveType::Fixed);
    fs.AddDrive("A:", DriveType::Removable);
    fs.MakeDirs(kAppDir);
  }
  int New(const std::string& name, const std::string& path, bool separate = false) {
    return manager.ApplyNew(conflict, name, path, separate);
  }
  std::optional<std::string> RegString(const std::string& key, const std::string& name) {
    auto v = registry.Value(RegRoot::CurrentUser, key, name);
    return v ? std::optional<std::string>(v->text) : std::nullopt;
  }
  void Mark(const std::string& volume) {
    registry.Open(RegRoot::CurrentUser, settings.ContextMenuKey(), true)->WriteString(volume, "");
  }
  std::optional<std::string> DefaultVolume() { return RegString(kKey, "DefaultVolume"); }
  // The names VOLUMES.TWB holds now.
  std::vector<std::string> Saved() {
    TVolumeStore reread(fs, prompts, kAppDir);
    reread.Load("");
    std::vector<std::string> names;
    for (const auto& v : reread.VolumeList) names.push_back(v->Name + "=" + v->BackupPath);
    return names;
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> t;
    for (const auto& r : prompts.Records()) t.push_back(r.text);
    return t;
  }
  MemoryFileSystem fs;
  MemoryRegistry registry;
  ScriptedPrompts prompts;
  TVolumeStore store{fs, prompts, kAppDir};
  TSettingsStore settings{registry, kKey};
  TVolumeManager manager{fs, store, settings, prompts, kAppDir};
  ScriptedConflict conflict{fs};
  RecordedClearUp clearUp;
  TVolumeRec* current = nullptr;
};

TEST(VolumeManager, EachRefusalIsOneWarningAndWritesNothing) {
  Rig r;
  ASSERT_EQ(r.New("Docs", "D:\\Docs"), 0);
  const auto filesBefore = r.fs.ListAll();
  const std::string bad = kVolumeNameText, path = kVolumePathText;
  struct Case {
    std::string name, path, text;
  } cases[] = {
      {"a\\b", "D:\\X", bad}, {"a/b", "D:\\X", bad}, {"a:b", "D:\\X", bad},
      {"a*b", "D:\\X", bad}, {"a?b", "D:\\X", bad}, {"a\"b", "D:\\X", bad},
      {"a<b", "D:\\X", bad}, {std::string(252, 'n'), "D:\\X", bad}, {"a>b", "D:\\X", bad}, {"a|b", "D:\\X", bad},
      {"a\tb", "D:\\X", bad}, {"Docs.", "D:\\X", bad}, {"CON", "D:\\X", bad},
      {"prn", "D:\\X", bad}, {"Aux.old", "D:\\X", bad}, {"nul ", "D:\\X", bad},
      {"com1", "D:\\X", bad}, {"LPT9", "D:\\X", bad},
      {"DOCS", "D:\\X", "A volume named Docs already exists."},
      {"Mail", "Backup", path}, {"Mail", "\\Backup", path}, {"Mail", "D:Backup", path},
      {"Mail", "\\\\server", path}, {"Mail", "\\\\server\\", path},
      {"Mail", "D:\\a\\..\\b", path}, {"Mail", "D:\\a\\.\\b", path}, {"Mail", "D:\\a*b", path},
      // Folders Explorer could not open once the long-path form had made them.
      {"Mail", "D:\\Backup.", kVolumePathPartText}, {"Mail", "D:\\a \\b", kVolumePathPartText},
      {"Mail", "D:\\CON\\b", kVolumePathPartText}, {"Mail", "\\\\srv\\share\\lpt1.x", kVolumePathPartText},
      {std::string(256, 'n'), "D:\\X", kVolumeTooLongText},
      {"Mail", "D:\\" + std::string(253, 'p'), kVolumeTooLongText},
  };
  for (const auto& c : cases) {
    r.prompts.Clear();
    EXPECT_EQ(r.New(c.name, c.path), -1) << c.name << " " << c.path;
    ASSERT_EQ(r.prompts.Count(), 1u) << c.name << " " << c.path;
    EXPECT_EQ(r.prompts.Last().text, c.text) << c.name << " " << c.path;
    EXPECT_EQ(r.prompts.Last().caption, "Tidewell");
    EXPECT_EQ(r.prompts.Last().flags, mb::Ok | mb::IconWarning);
  }
  EXPECT_EQ(r.store.VolumeList.size(), 1u);
  EXPECT_EQ(r.fs.ListAll(), filesBefore);
  // What passes: device names inside a longer name, drive and share roots, the longest file
  // name and path.
  r.prompts.Clear();
  EXPECT_EQ(r.New("Console", "E:\\"), 1);
  EXPECT_EQ(r.New("COM10", "\\\\server\\share"), 2);
  EXPECT_TRUE(HasPlainFolderNames("D:\\a.b\\Console\\x y\\"));
  // A record from before the check keeps working: only what is typed is refused.
  TVolumeRec old;
  old.Name = "Old";
  old.BackupPath = "D:\\Backup.\\";
  EXPECT_EQ(CheckVolumeRecord(old), "");
  EXPECT_EQ(r.New(std::string(251, 'n'), "D:\\" + std::string(251, 'p')), 3);
  EXPECT_EQ(r.prompts.Count(), 0u) << r.Texts()[0];
  // Stored trimmed, with the backslash.
  EXPECT_EQ(r.New(" \tFotos für Oma\r\n", "  D:\\Fotos \t"), 4);
  EXPECT_EQ(r.store.VolumeList[4]->Name, "Fotos für Oma");
  EXPECT_EQ(r.store.VolumeList[4]->BackupPath, "D:\\Fotos\\");
  EXPECT_TRUE(r.fs.Exists(kAppDir + "Fotos für Oma.TWS"));
}

TEST(VolumeManager, ApplyNewMakesTheFirstDefaultSavesTheListAndWritesTheDefault) {
  Rig r;
  EXPECT_EQ(r.New("Docs", "D:\\Backup\\Docs", true), 0);
  EXPECT_EQ(r.New("Mail", "D:\\Mail\\"), 1);
  auto& list = r.store.VolumeList;
  EXPECT_TRUE(list[0]->IsDefault);
  EXPECT_FALSE(list[1]->IsDefault);
  EXPECT_TRUE(list[0]->SeparateFolders);
  EXPECT_EQ(r.fs.Contents(kAppDir + "Docs.TWS"), std::string());
  EXPECT_TRUE(r.fs.IsDir("D:\\Backup\\Docs"));
  EXPECT_EQ(r.DefaultVolume(), "Docs");
  EXPECT_EQ(r.Saved(), (std::vector<std::string>{"Docs=D:\\Backup\\Docs\\", "Mail=D:\\Mail\\"}));
  // A backup folder that cannot be made is not reported: the wizard refuses it later.
  EXPECT_EQ(r.New("Zip", "Q:\\Zip\\"), 2);
  EXPECT_EQ(r.prompts.Count(), 0u);
}

TEST(VolumeManager, PathClashAsksAboutTheFirstVolumeWithoutSeparateFolders) {
  Rig r;
  for (auto [name, path, separate] : {std::tuple{"Sep", "D:\\BACKUP\\SUB\\DEEP\\", true},
                                      {"Whole", "D:\\Backup\\", false},
                                      {"Also", "D:\\Backup\\Sub\\Deep\\Er\\", false}}) {
    auto v = std::make_unique<TVolumeRec>();
    v->Name = name;
    v->BackupPath = path;
    v->SeparateFolders = separate;
    r.store.VolumeList.push_back(std::move(v));
  }
  r.prompts.Clear();
  // Cancel: nothing stored, the panel stays in editing.
  r.prompts.Answer(mb::IdCancel);
  EXPECT_EQ(r.New("New", "d:\\backup\\sub"), -1);
  ASSERT_EQ(r.prompts.Count(), 1u);
  EXPECT_EQ(r.prompts.Last().text,
            "There could be a clash between the paths of this new Volume and Volume named "
            "Whole. Do you want to use this path ?");
  EXPECT_EQ(r.prompts.Last().caption, "Tidewell");
  EXPECT_EQ(r.prompts.Last().flags, mb::OkCancel | mb::IconQuestion);
  EXPECT_FALSE(r.fs.Exists(kAppDir + "New.TWS"));
  EXPECT_EQ(r.store.VolumeList.size(), 3u);
  // OK: stored.
  r.prompts.Answer(mb::IdOk);
  EXPECT_EQ(r.New("New", "d:\\backup\\sub"), 3);
  // Inside a separate-folder volume only: no question. Holding one: asked about it.
  r.prompts.Clear();
  EXPECT_EQ(r.New("Other", "C:\\Other"), 4);
  r.store.VolumeList[1]->SeparateFolders = true;
  r.store.VolumeList[2]->SeparateFolders = true;
  r.store.VolumeList[3]->SeparateFolders = true;
  EXPECT_EQ(r.New("Inside", "D:\\Backup\\Sub\\Deep\\X"), 5);
  EXPECT_EQ(r.prompts.Count(), 0u);
  r.prompts.Answer(mb::IdCancel);
  EXPECT_EQ(r.New("Holds", "C:\\"), -1);
  EXPECT_NE(r.prompts.Last().text.find("Volume named Other."), std::string::npos);
  // A removable drive is never checked.
  r.store.VolumeList[4]->BackupPath = "A:\\Zip\\";
  r.prompts.Clear();
  EXPECT_EQ(r.New("Zip", "A:\\"), 6);
  EXPECT_EQ(r.prompts.Count(), 0u);
}

TEST(VolumeManager, ExistingSelectionFileIsAskedAboutAndCancelKeepsEditing) {
  Rig r;
  const std::string old = "[C:\\Photos]\r\n**ALL**=#\r\n";
  r.fs.WriteFile(kAppDir + "Photos.TWS", old);
  r.conflict.script = {ScriptedConflict::Cancel};
  EXPECT_EQ(r.New("Photos", "D:\\Photos"), -1);
  EXPECT_EQ(r.conflict.asked, std::vector<std::string>{"Photos.TWS"});
  EXPECT_EQ(r.fs.Contents(kAppDir + "Photos.TWS"), old);
  EXPECT_TRUE(r.store.VolumeList.empty());
  EXPECT_FALSE(r.fs.Exists(kAppDir + "VOLUMES.TWB"));
  // A Delete that left the file: said, and counted as Cancel.
  r.conflict.script = {ScriptedConflict::FailToDelete};
  EXPECT_EQ(r.New("Photos", "D:\\Photos"), -1);
  EXPECT_EQ(r.Texts(), std::vector<std::string>{"Tidewell was not able to delete the file " +
                                                kAppDir + "Photos.TWS."});
  EXPECT_EQ(r.fs.Contents(kAppDir + "Photos.TWS"), old);
  EXPECT_TRUE(r.store.VolumeList.empty());
  // Rename: the old selection moves aside, the new volume starts empty.
  r.conflict.script = {ScriptedConflict::Rename};
  EXPECT_EQ(r.New("Photos", "D:\\Photos"), 0);
  EXPECT_EQ(r.fs.Contents(kAppDir + "Photos.TWS.BAK"), old);
  EXPECT_EQ(r.fs.Contents(kAppDir + "Photos.TWS"), std::string());
}

TEST(VolumeManager, RenameCarriesTheSelectionFileAndTheContextMenuMark) {
  Rig r;
  r.New("Docs", "D:\\Docs", true);
  r.New("Mail", "D:\\Mail");
  r.fs.WriteFile(kAppDir + "Docs.TWS", "[C:\\Docs]\r\n**ALL**=#\r\n");
  r.Mark("Docs");
  TRefreshHealthStore health(r.registry, r.settings.ProductKey());
  health.NoteRun("Docs", 46000.5, false);
  TVolumeIdStore ids(r.registry, r.settings.ProductKey());
  const std::string id = NewVolumeId();
  ids.Write("Docs", id);

  // Another volume's name, in any case, is refused; its own name is kept.
  EXPECT_EQ(r.manager.ApplyChanged(r.conflict, 0, "MAIL", "D:\\Docs", true), -1);
  EXPECT_EQ(r.Texts(), std::vector<std::string>{"A volume named Mail already exists."});
  EXPECT_EQ(r.manager.ApplyChanged(r.conflict, 0, "Docs", "D:\\Docs2", false), 0);
  EXPECT_EQ(r.store.VolumeList[0]->BackupPath, "D:\\Docs2\\");
  EXPECT_FALSE(r.store.VolumeList[0]->SeparateFolders);
  EXPECT_TRUE(r.fs.IsDir("D:\\Docs2"));
  EXPECT_EQ(ids.Read("Docs"), "") << "a path chosen anew is the volume's whatever it holds";
  ids.Write("Docs", id);

  // A change of case asks nothing and carries the file along.
  EXPECT_EQ(r.manager.ApplyChanged(r.conflict, 0, "DOCS", "D:\\Docs2", false), 0);
  EXPECT_TRUE(r.conflict.asked.empty());
  auto names = r.fs.ListAll();
  EXPECT_NE(std::find(names.begin(), names.end(), kAppDir + "DOCS.TWS"), names.end());

  // A new name: the file and the mark follow, the default names it, the list is saved.
  r.prompts.Clear();
  EXPECT_EQ(r.manager.ApplyChanged(r.conflict, 0, "Papers", "D:\\Docs2", false), 0);
  EXPECT_EQ(r.fs.Contents(kAppDir + "Papers.TWS"), "[C:\\Docs]\r\n**ALL**=#\r\n");
  EXPECT_FALSE(r.fs.Exists(kAppDir + "DOCS.TWS"));
  EXPECT_TRUE(r.RegString(r.settings.ContextMenuKey(), "Papers"));
  EXPECT_FALSE(r.registry.Value(RegRoot::CurrentUser, r.settings.ContextMenuKey(), "Docs"));
  EXPECT_EQ(health.Read("Papers").LastGood, 46000.5) << "the last good refresh follows";
  EXPECT_EQ(health.Read("Docs").LastGood, 0);
  EXPECT_EQ(ids.Read("Papers"), id) << "the folder's identity follows the name";
  EXPECT_EQ(ids.Read("Docs"), "");
  EXPECT_EQ(r.DefaultVolume(), "Papers");
  EXPECT_EQ(r.Saved()[0], "Papers=D:\\Docs2\\");
  EXPECT_EQ(r.prompts.Count(), 0u);

  // A file of the new name: asked first; Cancel changes nothing.
  r.fs.WriteFile(kAppDir + "Letters.TWS", "old");
  r.conflict.script = {ScriptedConflict::Cancel};
  EXPECT_EQ(r.manager.ApplyChanged(r.conflict, 0, "Letters", "D:\\Docs2", false), -1);
  EXPECT_EQ(r.store.VolumeList[0]->Name, "Papers");
  EXPECT_EQ(r.fs.Contents(kAppDir + "Letters.TWS"), "old");
  EXPECT_TRUE(r.fs.Exists(kAppDir + "Papers.TWS"));
  r.conflict.script = {ScriptedConflict::Delete};
  EXPECT_EQ(r.manager.ApplyChanged(r.conflict, 0, "Letters", "D:\\Docs2", false), 0);
  EXPECT_EQ(r.fs.Contents(kAppDir + "Letters.TWS"), "[C:\\Docs]\r\n**ALL**=#\r\n");

  // A move that fails keeps the old name and file, and says so.
  r.prompts.Clear();
  r.fs.AddFault({FsOp::Move, kAppDir + "Letters.TWS", PathMatch::Exact, winerr::SharingViolation,
                 0, FsFault::kAlways});
  EXPECT_EQ(r.manager.ApplyChanged(r.conflict, 0, "Notes", "D:\\Docs2", false), -1);
  EXPECT_EQ(r.Texts(), std::vector<std::string>{"Tidewell was not able to rename the file " +
                                                kAppDir + "Letters.TWS to " + kAppDir +
                                                "Notes.TWS."});
  EXPECT_EQ(r.store.VolumeList[0]->Name, "Letters");
  EXPECT_TRUE(r.RegString(r.settings.ContextMenuKey(), "Letters"));
}

TEST(VolumeManager, DeleteAsksRemovesTheVolumeAndOffersTheClearUp) {
  Rig r;
  r.New("Docs", "D:\\Backup\\Docs");
  r.New("Mail", "D:\\Mail");
  r.Mark("Docs");
  r.current = r.store.VolumeList[0].get();
  r.prompts.Clear();

  // No: nothing changes. An index without a row: nothing, not even the question.
  r.prompts.Answer(mb::IdNo);
  EXPECT_FALSE(r.manager.Delete(0, r.current).Deleted);
  EXPECT_FALSE(r.manager.Delete(7, r.current).Deleted);
  ASSERT_EQ(r.prompts.Count(), 1u);
  EXPECT_EQ(r.prompts.Last().text,
            "You are about to delete volume named as Docs. Are you sure you want to continue ?");
  EXPECT_EQ(r.prompts.Last().caption, "Delete Volume");
  EXPECT_EQ(r.prompts.Last().flags, mb::YesNo | mb::IconQuestion);
  EXPECT_EQ(r.store.VolumeList.size(), 2u);

  TRefreshHealthStore health(r.registry, r.settings.ProductKey());
  health.NoteRun("Docs", 46000.5, false);
  TVolumeIdStore ids(r.registry, r.settings.ProductKey());
  ids.Write("Docs", NewVolumeId());
  r.prompts.Answer(mb::IdYes);
  auto deleted = r.manager.Delete(0, r.current);
  EXPECT_EQ(health.Read("Docs").LastGood, 0) << "a new volume of that name starts afresh";
  EXPECT_EQ(ids.Read("Docs"), "");
  EXPECT_TRUE(deleted.Deleted);
  EXPECT_TRUE(deleted.WasCurrent);
  EXPECT_EQ(r.current, nullptr);
  EXPECT_EQ(deleted.BackupFolder, "D:\\Backup\\Docs");
  EXPECT_FALSE(r.fs.Exists(kAppDir + "Docs.TWS"));
  EXPECT_FALSE(r.registry.Value(RegRoot::CurrentUser, r.settings.ContextMenuKey(), "Docs"));
  EXPECT_EQ(r.Saved(), std::vector<std::string>{"Mail=D:\\Mail\\"});
  EXPECT_EQ(r.DefaultVolume(), std::nullopt) << "the deleted default is not named any more";

  r.prompts.Clear();
  r.prompts.Answer(mb::IdYes);
  r.manager.OfferClearUp(deleted.BackupFolder, r.clearUp);
  EXPECT_EQ(r.prompts.Last().text,
            "Backup Path is D:\\Backup\\Docs. Would you like Tidewell to clear up the Backup "
            "path ?");
  EXPECT_EQ(r.prompts.Last().caption, "Confirmation");
  EXPECT_EQ(r.prompts.Last().flags, mb::YesNo | mb::IconQuestion);
  EXPECT_EQ(r.clearUp.folders, std::vector<std::string>{"D:\\Backup\\Docs"});
  r.prompts.Answer(mb::IdNo);
  r.manager.OfferClearUp(deleted.BackupFolder, r.clearUp);
  EXPECT_EQ(r.clearUp.folders.size(), 1u);
}

TEST(VolumeManager, FoldersOtherDataDependsOnAreNeverOfferedForClearUp) {
  Rig r;
  r.New("Mail", "D:\\Mail\\Inbox");
  r.New("Other", "\\\\srv\\share\\Other");
  r.prompts.Clear();
  for (const char* folder : {"E:", "\\\\srv\\share", "C:\\Program Files", "C:\\Program Files\\Tidewell",
                             "D:\\Mail", "D:\\Mail\\Inbox", "D:\\MAIL\\Inbox\\Sub",
                             "\\\\SRV\\share\\Other\\x", "", "..\\x", "D:\\a\\..\\b"}) {
    r.prompts.Clear();
    r.manager.OfferClearUp(folder, r.clearUp);
    EXPECT_EQ(r.Texts(), std::vector<std::string>{std::string("The backup path ") + folder +
                                                  " was kept because other data depends on it."});
    EXPECT_EQ(r.prompts.Last().flags, mb::Ok | mb::IconInformation);
  }
  EXPECT_TRUE(r.clearUp.folders.empty());
  // Neighbours that only share the beginning of a name are not protected.
  r.prompts.Clear();
  r.prompts.Answer({mb::IdYes, mb::IdYes});
  r.manager.OfferClearUp("D:\\Mai", r.clearUp);
  r.manager.OfferClearUp("D:\\Mail\\Inbox2", r.clearUp);
  EXPECT_EQ(r.clearUp.folders, (std::vector<std::string>{"D:\\Mai", "D:\\Mail\\Inbox2"}));
}

TEST(VolumeManager, SharedSelectionFileAndMarkStayWhileAnotherVolumeUsesTheName) {
  Rig r;
  // Two volumes of one name, as an older list could hold them, and a damaged record.
  for (auto [name, path] : {std::pair{"Docs", "D:\\A\\"}, {"DOCS", "D:\\B\\"},
                            {"..\\Outside", "D:\\C\\"}}) {
    auto v = std::make_unique<TVolumeRec>();
    v->Name = name;
    v->BackupPath = path;
    r.store.VolumeList.push_back(std::move(v));
  }
  r.fs.WriteFile(kAppDir + "Docs.TWS", "shared");
  r.fs.WriteFile("C:\\Program Files\\Outside.TWS", "not ours");
  r.Mark("Docs");
  r.prompts.Answer({mb::IdYes, mb::IdYes, mb::IdYes});
  EXPECT_TRUE(r.manager.Delete(1, r.current).Deleted);
  EXPECT_EQ(r.fs.Contents(kAppDir + "Docs.TWS"), "shared");
  EXPECT_TRUE(r.RegString(r.settings.ContextMenuKey(), "Docs"));
  EXPECT_TRUE(r.manager.Delete(1, r.current).Deleted);
  EXPECT_EQ(r.fs.Contents("C:\\Program Files\\Outside.TWS"), "not ours");
  EXPECT_TRUE(r.manager.Delete(0, r.current).Deleted);
  EXPECT_FALSE(r.fs.Exists(kAppDir + "Docs.TWS"));
  EXPECT_FALSE(r.RegString(r.settings.ContextMenuKey(), "Docs"));
}

TEST(VolumeManager, RemoveFromListForgetsOnlyTheRecord) {
  Rig r;
  r.New("Docs", "D:\\Docs");
  r.New("Mail", "D:\\Mail");
  r.Mark("Docs");
  r.current = r.store.VolumeList[0].get();
  r.prompts.Clear();
  r.prompts.Answer(mb::IdNo);
  EXPECT_FALSE(r.manager.RemoveFromList(0, r.current));
  EXPECT_FALSE(r.manager.RemoveFromList(2, r.current));
  ASSERT_EQ(r.prompts.Count(), 1u);
  EXPECT_EQ(r.prompts.Last().text,
            "Are you sure that you want to remove the backup volume Docs from this list");
  EXPECT_EQ(r.prompts.Last().caption, "Tidewell");
  EXPECT_EQ(r.prompts.Last().flags, mb::YesNo | mb::IconQuestion);
  r.prompts.Answer(mb::IdYes);
  EXPECT_TRUE(r.manager.RemoveFromList(0, r.current));
  EXPECT_EQ(r.current, nullptr);
  EXPECT_EQ(r.Saved(), std::vector<std::string>{"Mail=D:\\Mail\\"});
  EXPECT_EQ(r.DefaultVolume(), std::nullopt);
  EXPECT_TRUE(r.fs.Exists(kAppDir + "Docs.TWS"));
  EXPECT_TRUE(r.fs.IsDir("D:\\Docs"));
  EXPECT_TRUE(r.RegString(r.settings.ContextMenuKey(), "Docs"));
}

}  // namespace
}  // namespace tw
