// A user's first weeks with Tidewell on real files: the main window on the real file system,
// driven by control name, files ticked by clicks on their check boxes.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/WLAddPage.h"
#include "app/WLContentsPage.h"
#include "app/WLMain.h"
#include "app/WLOrphanedRestorePage.h"
#include "app/WLSelecting.h"
#include "app/forms/Forms.h"
#include "platform/memory/ScriptedPrompts.h"
#include "tests/gui/PromptBoxes.h"
#include "tests/gui/RealProgram.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Registry.h"
#include "tests/gui/BackupHarness.h"
#include "tests/gui/ShellViewsDemo.h"
#include "tests/gui/WindowPicture.h"

namespace tw {
namespace {

using forms::driver::Click;
using forms::driver::Enabled;
using forms::driver::Pump;
using forms::driver::Text;
using forms::driver::Visible;
using test::ClickAt;
using test::PumpFor;
using test::PumpUntil;
using testing::FileExists;
using testing::ReadFileText;
using testing::TTempTree;

using testing::TPromptBoxes;

// One program folder: its own window, registry and script.
struct TProgram : testing::TRealProgram {
  explicit TProgram(const std::string& appDir) : TRealProgram(appDir, "TidewellEndToEnd") {
    env.OpenLog = [this](const std::string& path) { logs.push_back(path); };
  }
  std::vector<std::string> logs;
};

void Picture(HWND hwnd, const std::string& name) {
  testing::SaveRunPicture(hwnd, "wizard-" + name + ".bmp");
}

// Ticks the tree item of the path with a click on its check box.
void TickInTree(shellviews::TNameSpaceEnumerator& tree, const std::string& path) {
  ASSERT_TRUE(tree.SelectPath(path)) << path;
  int index = tree.FindPath(path);
  ASSERT_GE(index, 0) << path;
  TreeView_EnsureVisible(tree.Handle(), tree.ItemHandle(index));
  POINT pt{};
  ASSERT_TRUE(test::TreeStateIconPoint(tree.Handle(), tree.ItemHandle(index), pt)) << path;
  shellviews::TNameSpaceEnumerator::ResetClickTime();
  ClickAt(tree.Handle(), pt);
}

// Shows the folder in the tree, waits for the list to follow, and ticks the file there.
void TickInList(shellviews::TNameSpaceEnumerator& tree, shellviews::TFolderEnumerator& list,
                const std::string& folder, const std::string& file) {
  ASSERT_TRUE(tree.SelectPath(folder)) << folder;
  ASSERT_TRUE(PumpUntil([&] { return shellviews::SamePath(list.Folder(), folder); }, 5000))
      << folder;
  PumpFor(100);
  int row = -1;
  for (int i = 0; i < list.ItemCount(); ++i)
    if (list.ItemInfo(i).FileName == file) row = i;
  ASSERT_GE(row, 0) << file;
  RECT icon{};
  icon.left = LVIR_ICON;
  SendMessageW(list.Handle(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&icon));
  ClickAt(list.Handle(), {icon.left - 8, (icon.top + icon.bottom) / 2});
}

std::string Last(ScriptedPrompts& prompts) { return prompts.Last().text; }

TEST(WizardEndToEndTest, BackUpRefreshRestoreDeleteAndRestoreAnOrphan) {
  TfWLSelecting selecting;
  TTempTree tree("e2e");
  std::string orig = tree.Dir("orig");
  tree.File("orig\\Docs\\a.txt", "alpha");
  tree.File("orig\\Docs\\b.txt", "bravo");
  tree.File("orig\\Docs\\Sub\\c.txt", "charlie");
  tree.File("orig\\Other\\x.txt", "x-ray");
  tree.File("orig\\Other\\y.txt", "yankee");
  std::string volume = tree.Dir("vol");
  std::string appDir = tree.Dir("prog") + "\\";
  // Old originals: a copy of a file written moments ago may not be trusted as current.
  for (const char* f : {"Docs\\a.txt", "Docs\\b.txt", "Docs\\Sub\\c.txt", "Other\\x.txt",
                        "Other\\y.txt"})
    testing::SetLastWrite(orig + "\\" + f, 133000000000000000ull);

  TProgram program(appDir);
  HWND main = program.Start();
  selecting.SetMainWindow(main);
  auto& form = *program.form;
  auto& prompts = program.prompts;

  // ---- Create Backup: a folder in the tree, a file in another folder's list.
  ASSERT_TRUE(Click(main, "BackupBTN"));
  auto& addTree = form.AddPage().Views().Tree;
  auto& addList = form.AddPage().Views().List;
  TickInTree(addTree, orig + "\\Docs");
  EXPECT_EQ(addTree.CheckState(addTree.FindPath(orig + "\\Docs")), 2);
  EXPECT_EQ(addTree.CheckState(addTree.FindPath(orig)), 4);
  TickInList(addTree, addList, orig + "\\Other", "x.txt");
  EXPECT_EQ(addTree.CheckState(addTree.FindPath(orig + "\\Other")), 4);
  EXPECT_EQ(form.State.AddFileCount, 4);
  form.Statistics.DrawUpdateTimerTimer();
  HWND status = forms::FindControl(main, "StatusBar");
  wchar_t panel[64] = {};
  SendMessageW(status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(panel));
  EXPECT_EQ(Narrow(panel), "4 Selected File(s)");
  Picture(main, "add");

  ASSERT_TRUE(Click(main, "NextAddBTN"));
  EXPECT_EQ(Last(prompts),
            "Please enter the name and the path of the backup volume on the right side of the "
            "window.");
  forms::SetWindowTextUtf8(forms::FindControl(main, "NameSLE"), "Docs");
  forms::SetWindowTextUtf8(forms::FindControl(main, "PathSLE"), volume);
  Pump();
  Picture(main, "volume");
  ASSERT_TRUE(Click(main, "ApplyBTN"));
  ASSERT_EQ(form.VolumeList.size(), 1u);
  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  Pump();
  EXPECT_EQ(Last(prompts), "Tidewell has finished refreshing the volume \"Docs\". 0 of 0 files have changed.");
  std::string copies = volume + "\\From Drive C" + orig.substr(2);
  EXPECT_EQ(ReadFileText(copies + "\\Docs\\a.txt"), "alpha");
  EXPECT_EQ(ReadFileText(copies + "\\Docs\\Sub\\c.txt"), "charlie");
  EXPECT_EQ(ReadFileText(copies + "\\Other\\x.txt"), "x-ray");
  EXPECT_FALSE(FileExists(copies + "\\Other\\y.txt"));
  std::string saved = ReadFileText(appDir + "Docs.TWS");
  EXPECT_NE(saved.find("**ALL**"), std::string::npos) << saved;
  EXPECT_NE(saved.find("x.txt"), std::string::npos) << saved;
  EXPECT_TRUE(Visible(main, "MainTS"));
  EXPECT_EQ(form.State.AddSelection.RootCount(), 0);

  // ---- An original changes; Refresh copies it alone.
  tree.File("orig\\Docs\\a.txt", "alpha, edited");
  testing::SetLastWrite(orig + "\\Docs\\a.txt", 133000100000000000ull);
  ASSERT_TRUE(Click(main, "RefreshBTN"));
  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  EXPECT_TRUE(Visible(main, "AddTS"));
  EXPECT_EQ(form.State.AddFileCount, 4);
  ASSERT_TRUE(Click(main, "NextAddBTN"));
  Pump();
  EXPECT_EQ(Last(prompts), "Tidewell has finished refreshing the volume \"Docs\". 1 of 4 files have changed.");
  EXPECT_EQ(ReadFileText(copies + "\\Docs\\a.txt"), "alpha, edited");

  // ---- Open the volume and restore everything into an empty folder.
  std::string restored = tree.Dir("restored");
  ASSERT_TRUE(Click(main, "OpenVolumeBTN"));
  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  ASSERT_TRUE(Visible(main, "VolumeInfoTS"));
  Picture(main, "contents");
  ASSERT_TRUE(Click(main, "RestoreFilesBTN"));
  SendMessageW(forms::FindControl(main, "RestoreToChosenLocationRB"), BM_CLICK, 0, 0);
  forms::SetWindowTextUtf8(forms::FindControl(main, "RestoreLocationSLE"), restored);
  Picture(main, "restore");
  ASSERT_TRUE(Click(main, "NextRestoreBTN"));
  Pump();
  EXPECT_EQ(Last(prompts), "Tidewell has finished restoring the files.");
  std::string back = restored + orig.substr(2);
  EXPECT_EQ(ReadFileText(back + "\\Docs\\a.txt"), "alpha, edited");
  EXPECT_EQ(ReadFileText(back + "\\Docs\\Sub\\c.txt"), "charlie");
  EXPECT_FALSE(FileExists(restored + "\\VOLUME.TWV"));
  WIN32_FILE_ATTRIBUTE_DATA a{}, b{};
  GetFileAttributesExW(Widen(orig + "\\Docs\\b.txt").c_str(), GetFileExInfoStandard, &a);
  GetFileAttributesExW(Widen(back + "\\Docs\\b.txt").c_str(), GetFileExInfoStandard, &b);
  EXPECT_EQ(CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime), 0);
  EXPECT_TRUE(Visible(main, "VolumeInfoTS"));

  // ---- A lost original comes back to its place.
  DeleteFileW(Widen(orig + "\\Other\\x.txt").c_str());
  ASSERT_TRUE(Click(main, "RestoreFilesBTN"));
  SendMessageW(forms::FindControl(main, "OriginalLocationRB"), BM_CLICK, 0, 0);
  ASSERT_TRUE(Click(main, "NextRestoreBTN"));
  Pump();
  EXPECT_EQ(ReadFileText(orig + "\\Other\\x.txt"), "x-ray");

  // ---- Delete one copy, ticked in the volume's list.
  auto& volTree = form.ContentsPage().Views().Tree;
  auto& volList = form.ContentsPage().Views().List;
  TickInList(volTree, volList, copies + "\\Docs", "b.txt");
  ASSERT_TRUE(Click(main, "DeleteFilesBTN"));
  EXPECT_TRUE(forms::driver::Checked(main, "DeleteSelectedRB"));
  ASSERT_TRUE(Click(main, "NextDeleteBTN"));
  Pump();
  EXPECT_EQ(Last(prompts), "Tidewell has finished deleting the files.");
  EXPECT_FALSE(FileExists(copies + "\\Docs\\b.txt"));
  EXPECT_TRUE(FileExists(copies + "\\Docs\\a.txt"));
  EXPECT_TRUE(FileExists(orig + "\\Docs\\b.txt"));

  // ---- Another program folder without volumes restores the folder as an orphan.
  std::string fromOrphan = tree.Dir("orphan-restored");
  {
    TProgram second(tree.Dir("prog2") + "\\");
    HWND other = second.Start();
    ASSERT_TRUE(Click(other, "RestoreBTN"));
    ASSERT_TRUE(Click(other, "OrphanedRestoreBTN"));
    auto& oTree = second.form->OrphanedRestorePage().Views().Tree;
    ASSERT_TRUE(oTree.SelectPath(volume));
    PumpFor(600);
    Picture(other, "orphaned");
    ASSERT_TRUE(Click(other, "NextOrphanedRestore"));
    EXPECT_TRUE(second.prompts.Records().empty()) << Last(second.prompts);
    ASSERT_TRUE(Visible(other, "VolumeInfoTS"));
    EXPECT_EQ(second.form->WizardMode, 6);
    ASSERT_TRUE(Click(other, "NextContentsBTN"));
    SendMessageW(forms::FindControl(other, "RestoreToChosenLocationRB"), BM_CLICK, 0, 0);
    forms::SetWindowTextUtf8(forms::FindControl(other, "RestoreLocationSLE"), fromOrphan);
    ASSERT_TRUE(Click(other, "NextRestoreBTN"));
    Pump();
    EXPECT_EQ(Last(second.prompts), "Tidewell has finished restoring the files.");
    EXPECT_EQ(ReadFileText(fromOrphan + orig.substr(2) + "\\Docs\\a.txt"), "alpha, edited");
    EXPECT_TRUE(Visible(other, "MainTS"));
    EXPECT_EQ(second.form->CurrentVolume, nullptr);
  }

  // ---- Delete all: the copies go, the volume leaves the list, its folder stays.
  ASSERT_TRUE(Click(main, "BackContentsBTN"));
  ASSERT_TRUE(Click(main, "BackVolumeBTN"));
  ASSERT_TRUE(Click(main, "DeleteBTN"));
  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  ASSERT_TRUE(Click(main, "NextContentsBTN"));
  EXPECT_TRUE(forms::driver::Checked(main, "DeleteAllRB"));
  ASSERT_TRUE(Click(main, "NextDeleteBTN"));
  Pump();
  EXPECT_FALSE(FileExists(copies + "\\Docs\\a.txt"));
  EXPECT_TRUE(FileExists(volume + "\\VOLUME.TWV"));
  EXPECT_TRUE(form.VolumeList.empty());
  EXPECT_TRUE(Visible(main, "MainTS"));
  EXPECT_FALSE(Enabled(main, "OpenVolumeBTN"));
  EXPECT_EQ(program.logs.size(), 0u);

  // End Session writes the settings and the (now empty) volume list.
  ASSERT_TRUE(Click(main, "ExitBTN"));
  Pump();
  EXPECT_EQ(form.Handle(), nullptr);
  EXPECT_TRUE(FileExists(appDir + "VOLUMES.TWB"));
  std::string last;
  auto options = program.registry.Open(RegRoot::CurrentUser, program.Key() + "\\Options", false);
  ASSERT_TRUE(options);
  EXPECT_EQ(options->ReadString("LastVolumeOpened", last), 0u);
  EXPECT_EQ(last, "Docs");
}

}  // namespace
}  // namespace tw
