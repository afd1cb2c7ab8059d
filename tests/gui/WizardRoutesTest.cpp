// The wizard's roads through the main window's pages, driven by control name on the in-memory
// platform; the operations run with their real dialogs, every message through one script.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include "app/WLAddPage.h"
#include "app/WLContentsPage.h"
#include "app/WLMain.h"
#include "app/WLVolumePage.h"
#include "app/forms/Forms.h"
#include "app/res/resource.h"
#include "engine/settings.h"
#include "engine/volumes.h"
#include "platform/ProfileFile.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/ScriptedPrompts.h"
#include "tests/gui/MainWindowFixture.h"

namespace tw {
namespace {

using forms::driver::Click;
using forms::driver::Enabled;
using forms::driver::Pump;
using forms::driver::Text;
using forms::driver::Visible;

const char* const kAppDir = testing::kFixtureAppDir;
const char* const kTestKey = testing::kFixtureKey;
using testing::Volume;
const char kFinished[] = "Tidewell has finished refreshing the volume \"%s\". %d of %d files have changed.";


std::string Finished(const std::string& name, int changed, int checked) {
  char buf[512];
  snprintf(buf, sizeof buf, kFinished, name.c_str(), changed, checked);
  return buf;
}

class WizardRoutesTest : public testing::MainWindowFixture {
 protected:
  // The tooltip text the form gives a control.
  std::string Hint(const std::string& name) {
    HWND control = forms::FindControl(form->Handle(), name);
    HWND tip = nullptr;
    while ((tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)))
      if (GetWindow(tip, GW_OWNER) == form->Handle()) break;
    if (!tip || !control) return {};
    wchar_t buf[256] = {};
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof(ti);
    ti.hwnd = form->Handle();
    ti.uId = reinterpret_cast<UINT_PTR>(control);
    ti.lpszText = buf;
    SendMessageW(tip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&ti));
    return Narrow(buf);
  }
};

TEST_F(WizardRoutesTest, FirstBackupOnAFreshStartMakesTheVolumeOnTheWay) {
  HWND main = Start();
  ASSERT_TRUE(Click(main, "BackupBTN"));
  ASSERT_TRUE(Click(main, "NextAddBTN"));
  // An empty list asks for the first volume and opens its fields.
  ASSERT_EQ(prompts.Count(), 1u);
  EXPECT_EQ(prompts.Last().text,
            "Please enter the name and the path of the backup volume on the right side of the "
            "window.");
  EXPECT_EQ(prompts.Last().caption, "Tidewell");
  EXPECT_TRUE(Visible(main, "VolumeTS"));
  EXPECT_EQ(Text(main, "CaptionST"), "Select Volume...");
  for (const char* on : {"NameSLE", "PathSLE", "BrowseBTN", "SeparateFolderCB", "CancelBTN"})
    EXPECT_TRUE(Enabled(main, on)) << on;
  for (const char* off : {"NewBTN", "ModifyBTN", "DeleteVolumeBTN", "VolumeListLV",
                          "NextVolumeBTN", "ApplyBTN"})
    EXPECT_FALSE(Enabled(main, off)) << off;
  EXPECT_TRUE(forms::driver::Checked(main, "SeparateFolderCB"));
  EXPECT_EQ(GetFocus(), forms::FindControl(main, "NameSLE"));

  // Blanks are no name; the folder browser fills the path.
  Type(main, "NameSLE", "   ");
  prompts.AnswerFolder("D:\\Backup");
  ASSERT_TRUE(Click(main, "BrowseBTN"));
  ASSERT_EQ(prompts.BrowseTitles().size(), 1u);
  EXPECT_EQ(prompts.BrowseTitles()[0], "Select path for backup...");
  EXPECT_EQ(Text(main, "PathSLE"), "D:\\Backup");
  EXPECT_FALSE(Enabled(main, "ApplyBTN"));

  // A name that cannot become its selection file is refused with the fields kept.
  Type(main, "NameSLE", "My:Docs");
  ASSERT_TRUE(Enabled(main, "ApplyBTN"));
  ASSERT_TRUE(Click(main, "ApplyBTN"));
  EXPECT_EQ(prompts.Last().text, "Please enter a volume name that can be used as a file name.");
  EXPECT_EQ(prompts.Last().flags, mb::Ok | mb::IconWarning);
  EXPECT_TRUE(Enabled(main, "NameSLE"));
  EXPECT_TRUE(form->VolumeList.empty());

  Type(main, "NameSLE", "Docs");
  ASSERT_TRUE(Click(main, "ApplyBTN"));
  ASSERT_EQ(form->VolumeList.size(), 1u);
  EXPECT_EQ(form->VolumeList[0]->BackupPath, "D:\\Backup\\");
  EXPECT_TRUE(form->VolumeList[0]->IsDefault);
  EXPECT_EQ(fs.Contents(std::string(kAppDir) + "Docs.TWS"), std::string());
  EXPECT_TRUE(fs.IsDir("D:\\Backup"));
  std::string defaultVolume;
  auto key = registry.Open(RegRoot::CurrentUser, kTestKey, false);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ReadString("DefaultVolume", defaultVolume), 0u);
  EXPECT_EQ(defaultVolume, "Docs");
  EXPECT_FALSE(Enabled(main, "NameSLE"));
  EXPECT_EQ(Text(main, "NameSLE"), "");
  EXPECT_EQ(form->SelectedVolumeIndex(), 0);
  for (const char* on : {"NextVolumeBTN", "VolumeListLV", "NewBTN"}) EXPECT_TRUE(Enabled(main, on)) << on;
  EXPECT_EQ(Text(main, "NextVolumeBTN"), "Fi&nish");

  // Finish backs up (nothing selected here), saves the selection and returns to the start.
  fs.WriteFile(std::string(kAppDir) + "Docs.TWS", "stale");
  size_t before = prompts.Count();
  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  Pump();
  ASSERT_EQ(prompts.Count(), before + 1) << Texts();
  EXPECT_EQ(prompts.Last().text, Finished("Docs", 0, 0));
  EXPECT_EQ(fs.Contents(std::string(kAppDir) + "Docs.TWS"), std::string());
  EXPECT_TRUE(fs.Exists("D:\\Backup\\VOLUME.TWV"));
  EXPECT_TRUE(Visible(main, "MainTS"));
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_EQ(forms::WindowText(main), "Tidewell");
  for (const char* on : {"RestoreBTN", "DeleteBTN", "RefreshBTN", "OpenVolumeBTN"})
    EXPECT_TRUE(Enabled(main, on)) << on;
  EXPECT_TRUE(form->RefreshTimerRunning());
}

TEST_F(WizardRoutesTest, ASelectionFileThatCannotBeWrittenIsReportedAndTheStepStillEnds) {
  fs.MakeDirs("D:\\Backup");
  WriteVolumes({Volume("Docs", "D:\\Backup\\", true)});
  HWND main = Start();
  std::string file = std::string(kAppDir) + "Docs.TWS";
  fs.AddFault({FsOp::WriteAtomic, file, PathMatch::Exact, winerr::AccessDenied, 0,
               FsFault::kAlways});
  ASSERT_TRUE(Click(main, "BackupBTN"));
  ASSERT_TRUE(Click(main, "NextAddBTN"));
  SelectRow(0);
  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  Pump();
  auto records = prompts.Records();
  ASSERT_GE(records.size(), 2u) << Texts();
  EXPECT_EQ(records.back().text, "Unable to write to " + file);
  EXPECT_EQ(records.back().caption, "Tidewell");
  EXPECT_TRUE(Visible(main, "MainTS"));
  EXPECT_TRUE(IsWindowVisible(main));
}

TEST_F(WizardRoutesTest, AddingToAnOpenedVolumeKeepsItsSavedSelection) {
  fs.MakeDirs("D:\\Backup");
  fs.WriteFile("C:\\Mail\\m.txt", "mail");
  std::string file = std::string(kAppDir) + "Docs.TWS";
  fs.WriteFile(file, "[C:\\Docs]\r\n**ALL**=#\r\n");
  WriteVolumes({Volume("Docs", "D:\\Backup\\", true)});
  HWND main = Start();
  ASSERT_TRUE(Click(main, "OpenVolumeBTN"));
  SelectRow(0);
  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  ASSERT_TRUE(Visible(main, "VolumeInfoTS"));
  // The Files menu belongs to an opened volume's contents.
  HMENU bar = GetMenu(main);
  ASSERT_EQ(GetMenuItemCount(bar), 3);
  wchar_t name[32] = {};
  GetMenuStringW(bar, 1, name, 32, MF_BYPOSITION);
  EXPECT_STREQ(name, L"&Files");
  ASSERT_TRUE(Click(main, "AddFilesBTN"));
  EXPECT_EQ(GetMenuItemCount(bar), 2);
  EXPECT_TRUE(Visible(main, "AddTS"));
  form->State.AddSelection.AddPath("C:\\Mail")->AddFile("m.txt", 4);
  ASSERT_TRUE(Click(main, "NextAddBTN"));
  Pump();
  EXPECT_EQ(fs.Contents("D:\\Backup\\From Drive C\\Mail\\m.txt"), "mail");
  TProfileFile saved(fs, file);
  ASSERT_EQ(saved.Load(), winerr::Success);
  EXPECT_TRUE(saved.HasKey("C:\\Docs", "**ALL**"));
  EXPECT_TRUE(saved.HasKey("C:\\Mail", "m.txt"));
  EXPECT_TRUE(Visible(main, "VolumeInfoTS"));
  EXPECT_EQ(form->State.AddSelection.RootCount(), 0);
  EXPECT_EQ(GetMenuItemCount(bar), 3);
}

TEST_F(WizardRoutesTest, DeletingAllFilesTakesTheVolumeOutOfTheWizardToo) {
  fs.MakeDirs("D:\\Backup");
  WriteVolumes({Volume("Docs", "D:\\Backup\\", true), Volume("Mail", "D:\\Mail\\", true)});
  fs.MakeDirs("D:\\Mail");
  HWND main = Start();
  ASSERT_TRUE(Click(main, "OpenVolumeBTN"));
  SelectRow(0);
  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  ASSERT_TRUE(Click(main, "DeleteFilesBTN"));
  EXPECT_EQ(Text(main, "CaptionST"), "Delete files...");
  // Nothing is checked: only "all files" can be chosen.
  EXPECT_TRUE(forms::driver::Checked(main, "DeleteAllRB"));
  EXPECT_FALSE(Enabled(main, "DeleteSelectedRB"));
  ASSERT_TRUE(Click(main, "NextDeleteBTN"));
  Pump();
  ASSERT_EQ(form->VolumeList.size(), 1u);
  EXPECT_EQ(form->VolumeList[0]->Name, "Mail");
  EXPECT_EQ(form->CurrentVolume, nullptr);
  EXPECT_EQ(forms::WindowText(main), "Tidewell");
  EXPECT_TRUE(Visible(main, "MainTS"));
  EXPECT_EQ(ListView_GetItemCount(List()), 1);
  EXPECT_TRUE(Enabled(main, "OpenVolumeBTN"));
  EXPECT_TRUE(IsWindowVisible(main));
}

TEST_F(WizardRoutesTest, RestoreWithoutVolumesStillLeadsToTheOrphanedRestore) {
  HWND main = Start();
  ASSERT_TRUE(Click(main, "RestoreBTN"));
  EXPECT_TRUE(Visible(main, "VolumeTS"));
  for (const char* hidden : {"NewBTN", "ModifyBTN", "DeleteVolumeBTN", "VolumeDetailsPA"})
    EXPECT_FALSE(Visible(main, hidden)) << hidden;
  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  EXPECT_EQ(prompts.Last().text,
            "There are no volumes created. Please create and select a volume before clicking on "
            "the Next button.");
  // A new volume's fields left open do not lock the page for a road that hides them.
  ASSERT_TRUE(Click(main, "BackVolumeBTN"));
  ASSERT_TRUE(Click(main, "BackupBTN"));
  ASSERT_TRUE(Click(main, "NextAddBTN"));
  ASSERT_TRUE(Enabled(main, "NameSLE"));
  ASSERT_TRUE(Click(main, "BackVolumeBTN"));
  ASSERT_TRUE(Click(main, "BackAddBTN"));
  ASSERT_TRUE(Click(main, "RestoreBTN"));
  EXPECT_TRUE(Enabled(main, "VolumeListLV"));
  EXPECT_TRUE(Enabled(main, "NextVolumeBTN"));
  ASSERT_TRUE(Click(main, "OrphanedRestoreBTN"));
  EXPECT_EQ(form->WizardMode, 5);
  EXPECT_TRUE(Visible(main, "OrphanedRestoreTS"));
  EXPECT_EQ(Text(main, "CaptionST"), "Select an orphaned volume to restore...");
  ASSERT_TRUE(Click(main, "BackOrphanedRestore"));
  EXPECT_TRUE(Visible(main, "MainTS"));
}

TEST_F(WizardRoutesTest, EveryPageHasItsCaptionLineAndBackStepsAlongTheRoad) {
  fs.MakeDirs("D:\\Backup");
  fs.MakeDirs("D:\\Flat");
  WriteVolumes({Volume("Docs", "D:\\Backup\\", true), Volume("Flat", "D:\\Flat\\", false)});
  HWND main = Start();
  EXPECT_EQ(Text(main, "BackupLBL"), "Add files to a new volume");
  EXPECT_EQ(Text(main, "RestoreLBL"), "Restore files from an existing volume");
  EXPECT_EQ(Text(main, "DeleteLBL"), "Delete files from an existing volume");
  EXPECT_EQ(Text(main, "RefreshLBL"), "Refresh the contents of an existing volume");
  EXPECT_EQ(Text(main, "OpenVolumeLBL"), "Open an existing volume");
  EXPECT_EQ(Text(main, "ExitLBL"), "End this session of Tidewell");
  EXPECT_EQ(Hint("BackupBTN"), "Add files to a new volume");
  EXPECT_EQ(Hint("OptionsBTN"), "Set global options for backup sets.");
  EXPECT_EQ(Hint("NextVolumeBTN"), "Starts the operation");
  EXPECT_EQ(Hint("BackVolumeBTN"), "Go back one step");
  EXPECT_EQ(Hint("NextContentsBTN"), "continue with next step");
  EXPECT_EQ(Hint("FindBTN"), "Search for files which should be backed up");
  EXPECT_EQ(Hint("OrphanedRestoreBTN"), "Restore a backup which is not listed below");
  EXPECT_EQ(Hint("BrowseBTN"), "Browse for Folder");

  // Restore: Volume, Contents, Restore, and back again.
  ASSERT_TRUE(Click(main, "RestoreBTN"));
  SelectRow(0);
  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  EXPECT_EQ(Text(main, "CaptionST"), "Volume contents...");
  EXPECT_TRUE(Visible(main, "NextContentsBTN"));
  EXPECT_FALSE(Visible(main, "RestoreFilesBTN"));
  EXPECT_EQ(GetMenuItemCount(GetMenu(main)), 2);  // no Files menu outside Browse mode
  ASSERT_TRUE(Click(main, "NextContentsBTN"));
  EXPECT_EQ(Text(main, "CaptionST"), "Restore files...");
  EXPECT_TRUE(forms::driver::Checked(main, "OriginalLocationRB"));
  EXPECT_FALSE(Enabled(main, "RestoreLocationSLE"));
  EXPECT_FALSE(Enabled(main, "DeleteOnRestoreCHB"));
  SendMessageW(forms::FindControl(main, "RestoreToChosenLocationRB"), BM_CLICK, 0, 0);
  Pump();
  EXPECT_TRUE(Enabled(main, "RestoreLocationSLE"));
  EXPECT_TRUE(Enabled(main, "RestoreLocationBTN"));
  prompts.AnswerFolder("D:\\Old");
  ASSERT_TRUE(Click(main, "RestoreLocationBTN"));
  EXPECT_EQ(prompts.BrowseTitles().back(), "Select location to restore files to...");
  EXPECT_EQ(Text(main, "RestoreLocationSLE"), "D:\\Old");
  ASSERT_TRUE(Click(main, "BackRestoreBTN"));
  EXPECT_TRUE(Visible(main, "VolumeInfoTS"));
  ASSERT_TRUE(Click(main, "BackContentsBTN"));
  EXPECT_TRUE(Visible(main, "VolumeTS"));
  ASSERT_TRUE(Click(main, "BackVolumeBTN"));
  EXPECT_TRUE(Visible(main, "MainTS"));

  // Browse mode: a volume without drive folders cannot be restored from.
  ASSERT_TRUE(Click(main, "OpenVolumeBTN"));
  SelectRow(1);
  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  EXPECT_TRUE(Visible(main, "AddFilesBTN"));
  EXPECT_FALSE(Enabled(main, "RestoreFilesBTN"));
  EXPECT_TRUE(Enabled(main, "RefreshFilesBTN"));
  HMENU files = GetSubMenu(GetMenu(main), 1);
  EXPECT_TRUE(GetMenuState(files, IDM_FILES_RESTORE, MF_BYCOMMAND) & MF_GRAYED);
  // "Refresh from Originals" leads to the Refresh Volume page.
  SendMessageW(main, WM_COMMAND, IDM_FILES_REFRESH_CONTENTS, 0);
  Pump();
  EXPECT_EQ(form->WizardMode, 4);
  EXPECT_EQ(Text(main, "CaptionST"), "Refresh files...");
  EXPECT_EQ(Text(main, "NextAddBTN"), "Fi&nish");
  EXPECT_TRUE(forms::driver::Checked(main, "RefreshAllRB"));
  ASSERT_TRUE(Click(main, "BackRefreshBTN"));
  EXPECT_TRUE(Visible(main, "NextContentsBTN"));
  ASSERT_TRUE(Click(main, "NextContentsBTN"));
  EXPECT_EQ(Text(main, "CaptionST"), "Refresh files...");

  // Back from the Add page: Backup mode drops the selection and its counts.
  ASSERT_TRUE(Click(main, "BackRefreshBTN"));
  ASSERT_TRUE(Click(main, "BackContentsBTN"));
  ASSERT_TRUE(Click(main, "BackVolumeBTN"));
  ASSERT_TRUE(Click(main, "BackupBTN"));
  form->State.AddSelection.AddPath("C:\\Mail");
  form->State.AddFileCount = 3;
  ASSERT_TRUE(Click(main, "BackAddBTN"));
  EXPECT_EQ(form->State.AddSelection.RootCount(), 0);
  EXPECT_EQ(form->State.AddFileCount, 0);
}

TEST_F(WizardRoutesTest, EnterAndDoubleClickActAsNextAndEndSessionWritesOnce) {
  fs.MakeDirs("D:\\Backup");
  WriteVolumes({Volume("Docs", "D:\\Backup\\", true)});
  HWND main = Start();
  ASSERT_TRUE(Click(main, "OpenVolumeBTN"));
  SelectRow(0);
  HWND list = List();
  SetFocus(list);
  MSG enter{list, WM_KEYDOWN, VK_RETURN, 0, 0, {}};
  EXPECT_TRUE(forms::HandleEnterKey(main, enter));
  Pump();
  EXPECT_TRUE(Visible(main, "VolumeInfoTS"));

  ASSERT_TRUE(Click(main, "BackContentsBTN"));
  // A double click on a row, as a user makes it.
  RECT rc{};
  ListView_GetItemRect(list, 0, &rc, LVIR_LABEL);
  LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
  SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(list, WM_LBUTTONUP, 0, at);
  SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  SendMessageW(list, WM_LBUTTONUP, 0, at);
  Pump();
  EXPECT_TRUE(Visible(main, "VolumeInfoTS"));

  // Alt+X is End Session, as the menu item and the Main page's button are.
  HACCEL accel = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINACCEL));
  ACCEL entries[8];
  int n = CopyAcceleratorTableW(accel, entries, 8);
  bool altX = false;
  for (int i = 0; i < n; ++i)
    altX |= entries[i].key == 'X' && (entries[i].fVirt & FALT) && entries[i].cmd == IDM_FILE_EXIT;
  EXPECT_TRUE(altX);
  SendMessageW(main, WM_COMMAND, IDM_FILE_EXIT, 0);
  EXPECT_TRUE(form->ExitRequested);
  Pump();
  EXPECT_EQ(form->Handle(), nullptr);
  EXPECT_TRUE(registry.Open(RegRoot::CurrentUser, std::string(kTestKey) + "\\Window", false));
  EXPECT_TRUE(fs.Exists(std::string(kAppDir) + "VOLUMES.TWB"));
}

TEST_F(WizardRoutesTest, ContentsChecksBelongToTheirVolumeAndChoicesFollowFiles) {
  fs.MakeDirs("D:\\Backup\\From Drive C\\Docs");
  fs.WriteFile("D:\\Backup\\From Drive C\\Docs\\a.txt", "a");
  fs.MakeDirs("D:\\Mail");
  WriteVolumes({Volume("Docs", "D:\\Backup\\", true), Volume("Mail", "D:\\Mail\\", true)});
  HWND main = Start();
  auto open = [&](int row) {
    ASSERT_TRUE(Click(main, "DeleteBTN"));
    SelectRow(row);
    ASSERT_TRUE(Click(main, "NextVolumeBTN"));
    ASSERT_TRUE(Visible(main, "VolumeInfoTS"));
  };
  open(0);
  // Folders without files (the path above the volume folder) offer nothing to act on.
  form->State.ContentsSelection.AddPath("D:\\Backup\\From Drive C");
  ASSERT_TRUE(Click(main, "NextContentsBTN"));
  EXPECT_FALSE(Enabled(main, "DeleteSelectedRB"));
  EXPECT_TRUE(forms::driver::Checked(main, "DeleteAllRB"));
  ASSERT_TRUE(Click(main, "BackDeleteBTN"));
  form->State.ContentsSelection.AddPath("D:\\Backup\\From Drive C\\Docs")->AddFile("a.txt", 1);
  ASSERT_TRUE(Click(main, "NextContentsBTN"));
  EXPECT_TRUE(Enabled(main, "DeleteSelectedRB"));
  EXPECT_TRUE(forms::driver::Checked(main, "DeleteSelectedRB"));
  EXPECT_FALSE(forms::driver::Checked(main, "DeleteAllRB"));

  // Another volume's contents start with nothing checked.
  ASSERT_TRUE(Click(main, "BackDeleteBTN"));
  ASSERT_TRUE(Click(main, "BackContentsBTN"));
  ASSERT_TRUE(Click(main, "BackVolumeBTN"));
  open(1);
  EXPECT_EQ(form->State.ContentsSelection.RootCount(), 0);
  ASSERT_TRUE(Click(main, "NextContentsBTN"));
  EXPECT_FALSE(Enabled(main, "DeleteSelectedRB"));
  EXPECT_TRUE(prompts.Records().empty()) << Texts();
}

TEST_F(WizardRoutesTest, HelpOpensWhatIsThereAndNamesWhatIsMissing) {
  HWND main = Start();
  SendMessageW(main, WM_COMMAND, IDM_HELP_CONTENTS, 0);
  EXPECT_EQ(prompts.Last().text,
            std::string("The help file ") + kAppDir + "TIDEWELL.HLP could not be found.");
  SendMessageW(main, WM_COMMAND, IDM_HELP_MANUAL, 0);
  EXPECT_EQ(prompts.Last().text,
            std::string("The user's manual ") + kAppDir + "Tidewell_manual.doc could not be found.");
  fs.WriteFile(std::string(kAppDir) + "Tidewell_manual.doc", "manual");
  SendMessageW(main, WM_COMMAND, IDM_HELP_MANUAL, 0);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], std::string(kAppDir) + "Tidewell_manual.doc");
  SendMessageW(main, WM_COMMAND, IDM_HELP_HOMEPAGE, 0);
  EXPECT_EQ(opened.size(), 2u);
  // F1 gives the page's help context.
  ASSERT_TRUE(Click(main, "BackupBTN"));
  EXPECT_EQ(form->HelpContext(), 110);
  ASSERT_TRUE(Click(main, "BackAddBTN"));
  EXPECT_EQ(form->HelpContext(), 0);

  // With the manual beside the program, help opens the page of the context: WinHelp files
  // cannot be shown on current Windows. Search opens the manual's contents.
  const std::string manual = std::string(kAppDir) + "manual\\";
  fs.MakeDirs(manual);
  for (const char* page : {"index.html", "backup.html", "options.html"})
    fs.WriteFile(manual + page, "<html></html>");
  const size_t boxes = prompts.Count();
  ASSERT_TRUE(Click(main, "BackupBTN"));
  SendMessageW(main, WM_COMMAND, IDM_HELP_CONTENTS, 0);
  EXPECT_EQ(opened.back(), manual + "backup.html");
  form->ShowHelp(200);
  EXPECT_EQ(opened.back(), manual + "options.html");
  SendMessageW(main, WM_COMMAND, IDM_HELP_SEARCH, 0);
  EXPECT_EQ(opened.back(), manual + "index.html");
  EXPECT_EQ(prompts.Count(), boxes) << Texts();
  // A context whose page is missing falls back to the help file, and says it is missing.
  form->ShowHelp(320);
  EXPECT_EQ(prompts.Count(), boxes + 1);
}

}  // namespace
}  // namespace tw
