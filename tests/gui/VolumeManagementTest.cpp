// The Volume page's management of volumes on real files, driven by control name: a new volume,
// a new one whose selection file already exists, a rename by Modify, Delete with the clear-up
// of its folder, Remove From List, and the list file written at close.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>

#include "app/WLContentsPage.h"
#include "app/WLFileConfirm.h"
#include "app/WLMain.h"
#include "app/WLVolumePage.h"
#include "app/res/resource.h"
#include "app/forms/Forms.h"
#include "engine/fileconflict.h"
#include "platform/memory/ScriptedPrompts.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Registry.h"
#include "tests/gui/BackupHarness.h"
#include "tests/gui/PromptBoxes.h"
#include "tests/gui/RealProgram.h"
#include "tests/gui/WindowPicture.h"

namespace tw {
namespace {

using forms::driver::Click;
using forms::driver::Enabled;
using forms::driver::Pump;
using forms::driver::Text;
using testing::FileExists;
using testing::ReadFileText;
using testing::TTempTree;

// The file conflict question answered from a script with what its buttons do.
class TScriptedConflict : public IFileConflictPrompt {
 public:
  enum Answer { Cancel, Rename };
  TScriptedConflict(IFileSystem& fs, IPrompts& prompts, std::string appDir,
                    std::deque<Answer>& script, std::vector<std::string>& asked)
      : fs_(fs), prompts_(prompts), appDir_(std::move(appDir)), script_(script), asked_(asked) {}
  bool ResolveFileConflict(const std::string& fileName) override {
    asked_.push_back(fileName);
    Answer a = script_.empty() ? Cancel : script_.front();
    if (!script_.empty()) script_.pop_front();
    if (a == Cancel) return false;
    RenameConflictingFile(fs_, prompts_, appDir_, fileName);
    return true;
  }

 private:
  IFileSystem& fs_;
  IPrompts& prompts_;
  std::string appDir_;
  std::deque<Answer>& script_;
  std::vector<std::string>& asked_;
};

struct TProgram : testing::TRealProgram {
  explicit TProgram(const std::string& appDir) : TRealProgram(appDir, "TidewellVolumes") {
    env.FileConflict = [this, appDir](HWND owner) -> std::unique_ptr<IFileConflictPrompt> {
      owners.push_back(owner);
      if (realDialog) return std::make_unique<TfWLFileConfirm>(owner, fs, prompts, appDir);
      return std::make_unique<TScriptedConflict>(fs, prompts, appDir, conflicts, asked);
    };
  }
  std::string RegString(const std::string& key, const std::string& name) {
    std::string value;
    if (auto k = registry.Open(RegRoot::CurrentUser, key, false)) k->ReadString(name, value);
    return value;
  }
  bool HasValue(const std::string& key, const std::string& name) {
    auto k = registry.Open(RegRoot::CurrentUser, key, false);
    return k && k->TypeOf(name) != RegType::None;
  }
  std::deque<TScriptedConflict::Answer> conflicts;
  std::vector<std::string> asked;
  std::vector<HWND> owners;
  bool realDialog = false;
};

void Type(HWND main, const std::string& name, const std::string& text) {
  forms::SetWindowTextUtf8(forms::FindControl(main, name), text);
  Pump();
}

void SelectRow(HWND main, int row) {
  HWND list = forms::FindControl(main, "VolumeListLV");
  ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  Pump();
}

std::string RowText(HWND main, int row, int column) {
  wchar_t buf[512] = {};
  ListView_GetItemText(forms::FindControl(main, "VolumeListLV"), row, column, buf, 512);
  return Narrow(buf);
}

void ExpectBrowsing(HWND main, bool rowSelected) {
  for (const char* on : {"VolumeListLV", "NewBTN", "NextVolumeBTN"})
    EXPECT_TRUE(Enabled(main, on)) << on;
  for (const char* off : {"NameSLE", "PathSLE", "BrowseBTN", "SeparateFolderCB", "ApplyBTN",
                          "CancelBTN"})
    EXPECT_FALSE(Enabled(main, off)) << off;
  EXPECT_EQ(Enabled(main, "ModifyBTN"), rowSelected);
  EXPECT_EQ(Enabled(main, "DeleteVolumeBTN"), rowSelected);
}

void ExpectEditing(HWND main) {
  for (const char* on : {"NameSLE", "PathSLE", "BrowseBTN", "SeparateFolderCB", "CancelBTN"})
    EXPECT_TRUE(Enabled(main, on)) << on;
  for (const char* off : {"VolumeListLV", "NewBTN", "ModifyBTN", "DeleteVolumeBTN",
                          "NextVolumeBTN"})
    EXPECT_FALSE(Enabled(main, off)) << off;
}

bool FolderExists(const std::string& path) {
  DWORD a = GetFileAttributesW(Widen(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// The real conflict dialog, answered by a click on one of its buttons once it shows.
const char* g_conflictButton = "";
void CALLBACK ClickInConflictDialog(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dlg = FindWindowW(L"TfWLFileConfirm", nullptr);
  if (!dlg || !IsWindowVisible(dlg)) return;
  KillTimer(nullptr, id);
  Click(dlg, g_conflictButton);
}

std::vector<std::string> SavedVolumes(const std::string& appDir) {
  Win32FileSystem fs;
  ScriptedPrompts prompts;
  TVolumeStore store(fs, prompts, appDir);
  store.Load("");
  std::vector<std::string> rows;
  for (const auto& v : store.VolumeList) rows.push_back(v->Name + " " + v->BackupPath);
  return rows;
}

TEST(VolumeManagementTest, NewConflictModifyDeleteWithClearUpRemoveAndTheSavedList) {
  TTempTree tree("volmgr");
  const std::string appDir = tree.Dir("prog") + "\\";
  const std::string backups = tree.Dir("backups");
  const std::string docs = backups + "\\Docs", mail = backups + "\\Mail";
  TProgram program(appDir);
  HWND main = program.Start();
  auto& form = *program.form;
  auto& prompts = program.prompts;
  const std::string contextMenu = program.Key() + "\\ContextMenu";

  // ---- New and Apply: the first volume, on the way of a first backup.
  ASSERT_TRUE(Click(main, "BackupBTN"));
  ASSERT_TRUE(Click(main, "NextAddBTN"));
  ExpectEditing(main);
  Type(main, "NameSLE", "  Docs ");
  Type(main, "PathSLE", docs);
  EXPECT_TRUE(Enabled(main, "ApplyBTN"));
  testing::SaveRunPicture(main, "volume-editing.bmp");
  prompts.Clear();
  ASSERT_TRUE(Click(main, "ApplyBTN"));
  EXPECT_EQ(prompts.Count(), 0u) << prompts.Last().text;
  ASSERT_EQ(form.VolumeList.size(), 1u);
  EXPECT_EQ(RowText(main, 0, 0), "Docs");
  EXPECT_EQ(RowText(main, 0, 1), docs + "\\");
  EXPECT_TRUE(FileExists(appDir + "Docs.TWS"));
  EXPECT_EQ(ReadFileText(appDir + "Docs.TWS"), "");
  EXPECT_TRUE(FolderExists(docs));
  EXPECT_EQ(program.RegString(program.Key(), "DefaultVolume"), "Docs");
  EXPECT_EQ(SavedVolumes(appDir), std::vector<std::string>{"Docs " + docs + "\\"});
  ExpectBrowsing(main, true);

  // Finish backs up the (empty) selection and goes back to the start; then Open Volume.
  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  Pump();
  ASSERT_TRUE(Click(main, "OpenVolumeBTN"));
  EXPECT_EQ(Text(main, "CaptionST"), "Select Volume...");
  ExpectBrowsing(main, form.SelectedVolumeIndex() >= 0);
  // With no row selected Modify and Delete are off.
  ListView_SetItemState(forms::FindControl(main, "VolumeListLV"), -1, 0, LVIS_SELECTED);
  Pump();
  ExpectBrowsing(main, false);
  prompts.Clear();
  form.VolumePage().ModifyBTNClick();
  form.VolumePage().DeleteVolumeBTNClick();
  form.VolumePage().RemoveFromList1Click();
  EXPECT_EQ(prompts.Count(), 0u);
  ExpectBrowsing(main, false);
  EXPECT_EQ(form.VolumeList.size(), 1u);

  // ---- A new volume whose selection file exists: Cancel keeps editing, Rename goes on.
  HANDLE f = CreateFileW(Widen(appDir + "Mail.TWS").c_str(), GENERIC_WRITE, 0, nullptr,
                         CREATE_ALWAYS, 0, nullptr);
  DWORD wrote = 0;
  WriteFile(f, "[C:\\Mail]\r\n", 11, &wrote, nullptr);
  CloseHandle(f);
  ASSERT_TRUE(Click(main, "NewBTN"));
  ExpectEditing(main);
  EXPECT_TRUE(forms::driver::Checked(main, "SeparateFolderCB"));
  Type(main, "NameSLE", "Mail");
  Type(main, "PathSLE", mail);
  ASSERT_TRUE(Click(main, "SeparateFolderCB"));
  program.conflicts = {TScriptedConflict::Cancel};
  prompts.Clear();
  ASSERT_TRUE(Click(main, "ApplyBTN"));
  EXPECT_EQ(program.asked, std::vector<std::string>{"Mail.TWS"});
  for (HWND owner : program.owners) EXPECT_EQ(owner, main);
  EXPECT_EQ(prompts.Count(), 0u);
  ExpectEditing(main);
  EXPECT_EQ(form.VolumeList.size(), 1u);
  EXPECT_EQ(ReadFileText(appDir + "Mail.TWS"), "[C:\\Mail]\r\n");
  program.conflicts = {TScriptedConflict::Rename};
  ASSERT_TRUE(Click(main, "ApplyBTN"));
  ASSERT_EQ(form.VolumeList.size(), 2u);
  EXPECT_EQ(prompts.Last().text,
            appDir + "Mail.TWS has been renamed to " + appDir + "Mail.TWS.BAK");
  EXPECT_EQ(ReadFileText(appDir + "Mail.TWS.BAK"), "[C:\\Mail]\r\n");
  EXPECT_EQ(ReadFileText(appDir + "Mail.TWS"), "");
  EXPECT_FALSE(form.VolumeList[1]->IsDefault);
  EXPECT_FALSE(form.VolumeList[1]->SeparateFolders);
  ExpectBrowsing(main, true);

  // ---- Modify: a rename carries the selection file and the context menu mark along.
  f = CreateFileW(Widen(appDir + "Docs.TWS").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                  0, nullptr);
  WriteFile(f, "[C:\\Docs]\r\n**ALL**=#\r\n", 22, &wrote, nullptr);
  CloseHandle(f);
  program.registry.Open(RegRoot::CurrentUser, contextMenu, true)->WriteString("Docs", "");
  SelectRow(main, 0);
  ExpectBrowsing(main, true);
  ASSERT_TRUE(Click(main, "ModifyBTN"));
  ExpectEditing(main);
  EXPECT_EQ(Text(main, "NameSLE"), "Docs");
  EXPECT_EQ(Text(main, "PathSLE"), docs + "\\");
  EXPECT_TRUE(forms::driver::Checked(main, "SeparateFolderCB"));
  EXPECT_TRUE(Enabled(main, "ApplyBTN"));
  Type(main, "NameSLE", "Mail");  // taken
  prompts.Clear();
  ASSERT_TRUE(Click(main, "ApplyBTN"));
  EXPECT_EQ(prompts.Last().text, "A volume named Mail already exists.");
  ExpectEditing(main);
  Type(main, "NameSLE", "Papers");
  ASSERT_TRUE(Click(main, "ApplyBTN"));
  EXPECT_EQ(RowText(main, 0, 0), "Papers");
  EXPECT_EQ(ReadFileText(appDir + "Papers.TWS"), "[C:\\Docs]\r\n**ALL**=#\r\n");
  EXPECT_FALSE(FileExists(appDir + "Docs.TWS"));
  EXPECT_TRUE(program.HasValue(contextMenu, "Papers"));
  EXPECT_FALSE(program.HasValue(contextMenu, "Docs"));
  EXPECT_EQ(program.RegString(program.Key(), "DefaultVolume"), "Papers");
  EXPECT_EQ(form.Options.LastVolumeName, "Papers") << "Docs was opened last";
  EXPECT_EQ(SavedVolumes(appDir),
            (std::vector<std::string>{"Papers " + docs + "\\", "Mail " + mail + "\\"}));

  // ---- Open it, come back, delete it with the clear-up of its folder.
  CreateDirectoryW(Widen(docs + "\\Sub").c_str(), nullptr);
  f = CreateFileW(Widen(docs + "\\Sub\\copy.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                  0, nullptr);
  CloseHandle(f);
  SelectRow(main, 0);
  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  Pump();
  ASSERT_EQ(form.CurrentVolume, form.VolumeList[0].get());
  EXPECT_NE(forms::WindowText(main), "Tidewell");
  ASSERT_TRUE(Click(main, "BackContentsBTN"));
  // A rename of the open volume shows in the title at once.
  for (const char* name : {"Letters", "Papers"}) {
    SelectRow(main, 0);
    ASSERT_TRUE(Click(main, "ModifyBTN"));
    Type(main, "NameSLE", name);
    ASSERT_TRUE(Click(main, "ApplyBTN"));
    EXPECT_EQ(forms::WindowText(main), "Tidewell - " + std::string(name) + " (" + docs + "\\)");
  }
  EXPECT_EQ(ReadFileText(appDir + "Papers.TWS"), "[C:\\Docs]\r\n**ALL**=#\r\n");
  SelectRow(main, 0);
  prompts.Clear();
  prompts.Answer({mb::IdYes, mb::IdYes});
  ASSERT_TRUE(Click(main, "DeleteVolumeBTN"));
  Pump();
  ASSERT_EQ(prompts.Count(), 2u);
  EXPECT_EQ(prompts.Records()[0].text,
            "You are about to delete volume named as Papers. Are you sure you want to continue ?");
  EXPECT_EQ(prompts.Records()[1].text, "Backup Path is " + docs +
                                           ". Would you like Tidewell to clear up the Backup "
                                           "path ?");
  EXPECT_FALSE(FolderExists(docs)) << "the folder is cleared up";
  EXPECT_TRUE(FolderExists(backups)) << "its parent stays";
  EXPECT_TRUE(FolderExists(mail));
  EXPECT_FALSE(FileExists(appDir + "Papers.TWS"));
  EXPECT_FALSE(program.HasValue(contextMenu, "Papers"));
  EXPECT_EQ(form.CurrentVolume, nullptr);
  EXPECT_EQ(forms::WindowText(main), "Tidewell");
  EXPECT_EQ(form.ContentsPage().Views().Tree.RootFolder(), "C:\\");
  ASSERT_EQ(form.VolumeList.size(), 1u);
  EXPECT_EQ(RowText(main, 0, 0), "Mail");
  ExpectBrowsing(main, false);
  EXPECT_EQ(SavedVolumes(appDir), std::vector<std::string>{"Mail " + mail + "\\"});

  // ---- Remove From List forgets a volume and nothing else.
  ASSERT_TRUE(Click(main, "NewBTN"));
  Type(main, "NameSLE", "Temp");
  Type(main, "PathSLE", backups + "\\Temp");
  ASSERT_TRUE(Click(main, "ApplyBTN"));
  ASSERT_EQ(form.VolumeList.size(), 2u);
  SelectRow(main, 1);
  prompts.Clear();
  prompts.Answer(mb::IdYes);
  SendMessageW(main, WM_COMMAND, IDM_VOLUME_REMOVE_FROM_LIST, 0);
  Pump();
  EXPECT_EQ(prompts.Last().text,
            "Are you sure that you want to remove the backup volume Temp from this list");
  ASSERT_EQ(form.VolumeList.size(), 1u);
  EXPECT_TRUE(FileExists(appDir + "Temp.TWS"));
  EXPECT_TRUE(FolderExists(backups + "\\Temp"));
  ExpectBrowsing(main, false);

  // ---- The forgotten volume's selection file meets a new volume of its name: the real
  // dialog's Rename keeps it beside the new, empty one.
  program.realDialog = true;
  ASSERT_TRUE(Click(main, "NewBTN"));
  Type(main, "NameSLE", "Temp");
  Type(main, "PathSLE", backups + "\\Temp");
  prompts.Clear();
  g_conflictButton = "RenameBTN";
  UINT_PTR timer = SetTimer(nullptr, 0, 50, ClickInConflictDialog);
  ASSERT_TRUE(Click(main, "ApplyBTN"));
  KillTimer(nullptr, timer);
  ASSERT_EQ(form.VolumeList.size(), 2u);
  EXPECT_EQ(prompts.Last().text,
            appDir + "Temp.TWS has been renamed to " + appDir + "Temp.TWS.BAK");
  EXPECT_TRUE(FileExists(appDir + "Temp.TWS.BAK"));
  EXPECT_EQ(ReadFileText(appDir + "Temp.TWS"), "");
  EXPECT_TRUE(IsWindowEnabled(main));
  ExpectBrowsing(main, true);

  // ---- Close: the list file holds what the page shows.
  PostMessageW(main, WM_CLOSE, 0, 0);
  Pump();
  EXPECT_EQ(SavedVolumes(appDir), (std::vector<std::string>{"Mail " + mail + "\\",
                                                            "Temp " + backups + "\\Temp\\"}));
}

}  // namespace
}  // namespace tw
