// The selection handlers of a page on real folders under Wine: a checkable tree rooted at a
// scratch folder, linked to a checkable list, with a status bar; ticks made by clicks and by the
// program's own state changes.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/WLSelecting.h"
#include "app/WLSelectionEvents.h"
#include "app/WLViewPair.h"
#include "platform/win32/Win32FileSystem.h"
#include "tests/gui/ShellViewsDemo.h"

namespace tw::test {
namespace {

using shellviews::TNameSpaceEnumerator;
using TPage = TSelectionEvents::TPageKind;

class TfSelectionForm : public forms::TForm {
 public:
  bool Create() {
    if (!CreateForm(L"TidewellSelectionTest", "Tidewell selection", WS_OVERLAPPEDWINDOW, 20, 20,
                    960, 660, nullptr, nullptr, nullptr))
      return false;
    // The views as the program's pages set them up, at the size the clicks expect.
    if (!Views.Create(Handle(), "NSE", "FE", true)) return false;
    MoveWindow(NSE.Handle(), 8, 8, 320, 580, TRUE);
    MoveWindow(FE.Handle(), 336, 8, 600, 580, TRUE);
    StatusBar = AddControl(Handle(), STATUSCLASSNAMEW, "StatusBar", "", WS_VISIBLE, 0, 0, 0, 0);
    int parts[] = {250, -1};
    SendMessageW(StatusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    ShowWindow(Handle(), SW_SHOW);
    UpdateWindow(Handle());
    return true;
  }
  void Root(const std::string& folder) {
    NSE.SetRootFolder(folder);
    NSE.SetRootedAt(shellviews::raFileSystem);
  }
  std::string Panel(int part) const {
    wchar_t text[256] = {};
    SendMessageW(StatusBar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
    return Narrow(text);
  }

  TViewPair Views;
  TNameSpaceEnumerator& NSE = Views.Tree;
  shellviews::TFolderEnumerator& FE = Views.List;
  HWND StatusBar = nullptr;
};

class SelectionEventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TNameSpaceEnumerator::ResetClickTime();
    dir.Dir("Top");
    dir.Dir("Top\\Docs");
    dir.File("Top\\Docs\\a.txt", 100);
    dir.File("Top\\Docs\\b.txt", 200);
    dir.File("Top\\Docs\\c.txt", 300);
    dir.Dir("Top\\Mixed");
    dir.File("Top\\Mixed\\m.txt", 10);
    dir.Dir("Top\\Mixed\\Sub");
    dir.File("Top\\Mixed\\Sub\\s1.txt", 1000);
    dir.File("Top\\Mixed\\Sub\\s2.txt", 2000);
    dir.Dir("Other");
    ASSERT_TRUE(form.Create());
    state.StatusBar = form.StatusBar;
    state.Page = pgAdd;
    stats.Install();
  }
  void Page(TPage kind, const std::string& rootRel = "") {
    events.reset();
    form.Root(rootRel.empty() ? dir.Path() : dir / rootRel);
    events = std::make_unique<TSelectionEvents>(kind, state, form.NSE, form.FE);
    events->Attach();
    form.NSE.Expand(0);
  }
  TWLDesktopNode& Sel() { return events->Selection(); }
  TWLNode* Node(const std::string& rel) { return Sel().FindNode(rel.empty() ? dir.Path() : dir / rel); }
  int At(const std::string& rel) { return form.NSE.FindPath(rel.empty() ? dir.Path() : dir / rel); }
  int Mark(const std::string& rel) { return form.NSE.CheckState(At(rel)); }
  void ShowInList(const std::string& rel) {
    ASSERT_TRUE(form.NSE.SelectPath(dir / rel));
    ASSERT_TRUE(PumpUntil([&] { return shellviews::SamePath(form.FE.Folder(), dir / rel); }));
  }
  int Item(const std::string& name) {
    for (int i = 0; i < form.FE.ItemCount(); ++i)
      if (form.FE.ItemInfo(i).FileName == name) return i;
    return -1;
  }
  void Tick(const std::string& name, int st) { form.FE.SetItemCheckState(Item(name), st); }
  void ClickCheckBox(const std::string& rel) {
    TNameSpaceEnumerator::ResetClickTime();
    POINT pt;
    ASSERT_TRUE(TreeStateIconPoint(form.NSE.Handle(), form.NSE.ItemHandle(At(rel)), pt));
    ClickAt(form.NSE.Handle(), pt);
  }

  ScratchDir dir{"sel"};
  Win32FileSystem fs;
  TWizardState state{fs};
  TfSelectionForm form;
  std::unique_ptr<TSelectionEvents> events;
  TSelectionStatistics stats{state};
};

TEST_F(SelectionEventsTest, FileTicksInTheListCarryUpThroughTheTree) {
  Page(TPage::Add);
  form.NSE.Expand(At("Top"));
  ShowInList("Top\\Docs");
  Tick("a.txt", 2);
  EXPECT_EQ(Mark("Top\\Docs"), 4);
  EXPECT_EQ(Mark("Top"), 4);
  EXPECT_EQ(Mark(""), 4);
  EXPECT_EQ(state.AddFileCount, 1);
  EXPECT_EQ(state.AddByteCount, 100);
  Tick("b.txt", 2);
  Tick("c.txt", 2);
  EXPECT_EQ(Mark("Top\\Docs"), 2);
  ASSERT_TRUE(Node("Top\\Docs"));
  EXPECT_TRUE(Node("Top\\Docs")->AllSelected());
  EXPECT_EQ(Mark("Top"), 4);  // Mixed holds nothing selected

  // Back to one file, then none: the emptied nodes leave and the items go unchecked.
  Tick("b.txt", 3);
  Tick("c.txt", 3);
  EXPECT_EQ(Mark("Top\\Docs"), 4);
  Tick("a.txt", 3);
  EXPECT_EQ(Node("Top\\Docs"), nullptr);
  EXPECT_EQ(Node("Top"), nullptr);
  EXPECT_EQ(Node(""), nullptr);
  EXPECT_EQ(Mark("Top\\Docs"), 3);
  EXPECT_EQ(Mark("Top"), 3);
  EXPECT_EQ(Mark(""), 3);
  EXPECT_EQ(state.AddFileCount, 0);
  EXPECT_EQ(state.AddByteCount, 0);
}

TEST_F(SelectionEventsTest, ClickingAFolderSelectsItWholeAndClickingAgainClearsEverythingBelow) {
  TfWLSelecting busy;
  state.MainWindow = form.Handle();
  Page(TPage::Add);
  form.NSE.Expand(At("Top"));
  // What the user would see while the scan lets messages run.
  bool sawDisabled = false, sawBusy = false;
  Sel().Environment().messageInterval = std::chrono::milliseconds(0);
  Sel().Environment().processMessages = [&] {
    sawDisabled |= !IsWindowEnabled(form.Handle());
    sawBusy |= busy.ShowCount() == 1;
  };

  ClickCheckBox("Top");
  EXPECT_EQ(Mark("Top"), 2);
  EXPECT_EQ(Mark("Top\\Mixed"), 2);
  EXPECT_EQ(Mark(""), 4);  // Other is not selected
  EXPECT_EQ(state.AddFileCount, 6);
  EXPECT_EQ(state.AddByteCount, 3610);
  EXPECT_TRUE(sawDisabled && sawBusy);
  EXPECT_TRUE(IsWindowEnabled(form.Handle()));
  EXPECT_EQ(busy.ShowCount(), 0);
  stats.DrawUpdateTimerTimer();
  EXPECT_EQ(form.Panel(0), "6 Selected File(s)");
  EXPECT_EQ(form.Panel(1), "4 KB");

  // New items below a whole folder take its state without a second scan (which would find
  // the file made since).
  dir.File("Top\\Mixed\\Sub\\new.txt", 5);
  uint64_t listings = Sel().Environment().listings;
  form.NSE.Expand(At("Top\\Mixed"));
  EXPECT_EQ(Mark("Top\\Mixed\\Sub"), 2);
  EXPECT_EQ(Sel().Environment().listings, listings);
  EXPECT_EQ(state.AddFileCount, 6);

  ClickCheckBox("Top");
  EXPECT_EQ(Mark("Top"), 3);
  EXPECT_EQ(Mark("Top\\Docs"), 3);
  EXPECT_EQ(Mark("Top\\Mixed\\Sub"), 3);
  EXPECT_EQ(Node("Top"), nullptr);
  EXPECT_EQ(state.AddFileCount, 0);
  EXPECT_EQ(state.AddByteCount, 0);
  stats.DrawUpdateTimerTimer();
  EXPECT_EQ(form.Panel(0), "0 Selected File(s)");
  EXPECT_EQ(form.Panel(1), "0 KB");
}

TEST_F(SelectionEventsTest, ChecksWaitWhileAnOperationWalksTheSelection) {
  Page(TPage::Add);
  form.NSE.Expand(At("Top"));
  ShowInList("Top\\Docs");
  {
    // As an operation's walk holds it: nothing may free nodes under the walk.
    TWalking walking(Sel().Environment());
    ClickCheckBox("Top");
    Tick("a.txt", 2);
    EXPECT_EQ(Mark("Top"), 3);
    EXPECT_EQ(Node("Top"), nullptr);
    EXPECT_EQ(state.AddFileCount, 0);
  }
  ClickCheckBox("Top");
  EXPECT_EQ(Mark("Top"), 2);
  EXPECT_EQ(state.AddFileCount, 6);
}

TEST_F(SelectionEventsTest, APartlySelectedSubfolderKeepsItsParentPartlyChecked) {
  // Every entry of Mixed, and later of Top, has a selection entry, yet Sub holds only s1: a
  // folder saved whole above it would bring s2 back at the next load.
  Page(TPage::Add);
  form.NSE.Expand(At("Top"));
  form.NSE.Expand(At("Top\\Mixed"));
  ShowInList("Top\\Mixed\\Sub");
  Tick("s1.txt", 2);
  ShowInList("Top\\Mixed");
  Tick("m.txt", 2);  // the list's recount
  EXPECT_EQ(Mark("Top\\Mixed"), 4);
  ASSERT_TRUE(Node("Top\\Mixed"));
  EXPECT_FALSE(Node("Top\\Mixed")->AllSelected());
  form.NSE.SetCheckState(At("Top\\Docs"), 2);  // the tree's carrying up
  EXPECT_EQ(Mark("Top"), 4);
  EXPECT_FALSE(Node("Top")->AllSelected());

  ScratchDir files{"selfile"};
  ASSERT_EQ(Sel().SaveToFile(files / "T.TWS"), winerr::Success);
  TWLDesktopNode loaded(fs);
  ASSERT_EQ(loaded.LoadFromFile(files / "T.TWS"), winerr::Success);
  TWLNode* sub = loaded.FindNode(dir / "Top\\Mixed\\Sub");
  ASSERT_TRUE(sub);
  EXPECT_EQ(sub->IndexOfFile("s2.txt"), -1);
  EXPECT_EQ(loaded.FindNode(dir / "Top\\Docs")->FileCount(), 3);
}

TEST_F(SelectionEventsTest, TheListActsOnTheFolderItShows) {
  Page(TPage::Add);
  form.NSE.Expand(At("Top"));
  ShowInList("Top\\Docs");
  form.NSE.Select(At("Other"));  // the list follows only when the selection has settled
  ASSERT_TRUE(shellviews::SamePath(form.FE.Folder(), dir / "Top\\Docs"));
  Tick("a.txt", 2);
  ASSERT_TRUE(Node("Top\\Docs"));
  EXPECT_EQ(Node("Top\\Docs")->IndexOfFile("a.txt"), 0);
  EXPECT_EQ(Node("Other"), nullptr);
  EXPECT_EQ(Mark("Top\\Docs"), 4);
  events->SelectionChange();
  EXPECT_EQ(form.FE.CheckState(Item("a.txt")), 2);
  EXPECT_EQ(form.FE.CheckState(Item("b.txt")), 3);
  EXPECT_TRUE(PumpUntil([&] { return shellviews::SamePath(form.FE.Folder(), dir / "Other"); }));
  EXPECT_EQ(Node("Other"), nullptr);
}

TEST_F(SelectionEventsTest, VolumeContentsCountForTheirOwnSelectionAndLeaveTheVolumeFilesOut) {
  dir.Dir("Vol");
  dir.File("Vol\\VOLUME.TWV", 50);
  dir.Dir("Vol\\From Drive C");
  dir.File("Vol\\From Drive C\\x.txt", 1000);
  dir.File("Vol\\From Drive C\\x2.txt", 2000);
  dir.Dir("Vol\\From Drive C\\Deep");
  dir.File("Vol\\From Drive C\\Deep\\y.txt", 4000);
  TVolumeRec volume;
  volume.Name = "Vol";
  volume.BackupPath = dir / "Vol\\";
  state.CurrentVolume = &volume;
  state.Page = pgAdd;  // what the page shows does not decide which counters a file changes
  Page(TPage::Contents, "Vol");

  // A folder ticked after one of its files is scanned all the same.
  ShowInList("Vol\\From Drive C");
  Tick("x.txt", 2);
  EXPECT_EQ(Mark("Vol\\From Drive C"), 4);
  form.NSE.SetCheckState(At("Vol\\From Drive C"), 2);
  ASSERT_TRUE(Node("Vol\\From Drive C\\Deep"));
  EXPECT_EQ(Node("Vol\\From Drive C")->FileCount(), 2);
  EXPECT_EQ(Node("Vol\\From Drive C\\Deep")->FileCount(), 1);
  EXPECT_EQ(state.ContentsFileCount, 3);

  events->SetFirstItemState(2);
  EXPECT_EQ(Node("Vol")->FileCount(), 0);
  EXPECT_TRUE(Node("Vol")->AllSelected());
  EXPECT_EQ(state.ContentsFileCount, 3);
  EXPECT_EQ(state.ContentsByteCount, 7000);
  EXPECT_EQ(state.AddFileCount, 0);
  events->SetFirstItemState(3);
  EXPECT_EQ(Node("Vol"), nullptr);
  EXPECT_EQ(state.ContentsFileCount, 0);
  EXPECT_EQ(state.AddFileCount, 0);

  // Counters zeroed before their selection is cleared stay at zero; a size not found adds 0.
  events->SetFirstItemState(2);
  state.ContentsFileCount = 0;
  state.ContentsByteCount = 0;
  Sel().Clear();
  EXPECT_EQ(state.ContentsFileCount, 0);
  EXPECT_EQ(state.ContentsByteCount, 0);
  Sel().AddPath(dir / "Vol")->AddFile("gone.txt", -1);
  EXPECT_EQ(state.ContentsFileCount, 1);
  EXPECT_EQ(state.ContentsByteCount, 0);

  // The automatic refresh's own tree counts for the refresh alone.
  {
    TWLDesktopNode refresh(fs);
    state.AutoRefreshing = true;
    refresh.AddPath(dir / "Vol\\From Drive C")->AddFile("x.txt", -1);
    EXPECT_EQ(state.RefreshFileCount, 1);
    EXPECT_EQ(state.RefreshByteCount, 1000);
    state.AutoRefreshing = false;  // and the tree is freed after, on the Volume Contents page
    state.Page = pgRestore;
  }
  EXPECT_EQ(state.RefreshFileCount, 0);
  EXPECT_EQ(state.ContentsFileCount, 1);
  EXPECT_EQ(state.AddFileCount, 0);
}

// The test run pins LANG to C.UTF-8, which Wine takes as English (United States).
TEST_F(SelectionEventsTest, StatusTextsUseThousandsSeparatorsAndOnlyTwoPanelBars) {
  EXPECT_EQ(SelectedFilesText(0), "0 Selected File(s)");
  EXPECT_EQ(KilobytesText(0), "0 KB");
  EXPECT_EQ(KilobytesText(499), "0 KB");
  EXPECT_EQ(KilobytesText(500), "1 KB");
  EXPECT_EQ(SelectedFilesText(1234567), "1,234,567 Selected File(s)");
  stats.UpdateStatusBar(1234, 1500000);
  EXPECT_EQ(form.Panel(0), "1,234 Selected File(s)");
  EXPECT_EQ(form.Panel(1), "1,500 KB");
  // The Main page's single text is left alone.
  int one[] = {-1};
  SendMessageW(form.StatusBar, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(one));
  SendMessageW(form.StatusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L"Tidewell"));
  stats.UpdateStatusBar(5, 5000);
  EXPECT_EQ(form.Panel(0), "Tidewell");
}

}  // namespace
}  // namespace tw::test
