// The checkable namespace tree on real folders under Wine: check states, the user's clicks,
// expansion, the walk hooks, refresh and the link to the folder list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/gui/ShellViewsDemo.h"

namespace tw::test {
namespace {

using shellviews::TNameSpaceEnumerator;

struct CheckEvent {
  std::string kind;  // "before" or "after"
  std::string path;
  int from, to;
};

class NameSpaceTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TNameSpaceEnumerator::ResetClickTime();
    dir.Dir("Alpha");
    dir.Dir("Alpha\\One");
    dir.Dir("Alpha\\Two");
    dir.Dir("beta");
    dir.Dir("beta\\Inner");
    dir.Dir("Gamma");
    ASSERT_TRUE(form.Create());
    tree().SetRootFolder(dir.Path());
    tree().SetRootedAt(shellviews::raFileSystem);
  }
  void TearDown() override { forms::driver::Pump(); }

  TNameSpaceEnumerator& tree() { return form.DemoNSE; }
  int At(const std::string& rel) { return tree().FindPath(dir / rel); }
  void Record() {
    tree().OnBeforeCheck = [this](TNameSpaceEnumerator* t, int i, int cur, int nw, bool&) {
      events.push_back({"before", t->ItemInfo(i).Path, cur, nw});
    };
    tree().OnAfterCheck = [this](TNameSpaceEnumerator* t, int i, int st) {
      events.push_back({"after", t->ItemInfo(i).Path, -1, st});
    };
  }
  bool ClickCheckBox(TNameSpaceEnumerator& t, int index) {
    POINT pt;
    if (!TreeStateIconPoint(t.Handle(), t.ItemHandle(index), pt)) return false;
    ClickAt(t.Handle(), pt);
    return true;
  }

  ScratchDir dir{"tree"};
  TfShellViewsDemo form;
  std::vector<CheckEvent> events;
};

TEST_F(NameSpaceTreeTest, MyComputerHasNoCheckBoxAndIgnoresClicks) {
  tree().SetRootedAt(shellviews::raMyComputer);
  Record();
  ASSERT_EQ(tree().ItemCount(), 1);
  EXPECT_EQ(tree().ItemInfo(0).Path, "");
  EXPECT_EQ(tree().CheckState(0), 0);

  tree().SetCheckState(0, 2);
  EXPECT_EQ(tree().CheckState(0), 0);
  RECT rc{};
  TreeView_GetItemRect(tree().Handle(), tree().ItemHandle(0), &rc, TRUE);
  // Where a check box would be drawn: just left of the icon and the label.
  for (int x = rc.left - 14; x < rc.left; x += 3)
    ClickAt(tree().Handle(), {x, (rc.top + rc.bottom) / 2});
  EXPECT_EQ(tree().CheckState(0), 0);
  EXPECT_TRUE(events.empty());

  // Drives below it get check boxes, unchecked as created: My Computer passes nothing down.
  tree().Expand(0);
  int c = tree().FindPath("C:\\");
  ASSERT_GE(c, 1);
  EXPECT_EQ(tree().ParentIndex(c), 0);
  EXPECT_EQ(tree().CheckState(c), 1);
}

TEST_F(NameSpaceTreeTest, ExpandingPassesCheckedAndUncheckedDownButNotPartlyChecked) {
  dir.Dir(".hidden");  // hidden under Wine; folders are listed hidden or not
  std::vector<std::string> expandEvents;
  tree().OnExpand = [&](TNameSpaceEnumerator* t, int i) {
    expandEvents.push_back("expand " + t->ItemInfo(i).Caption + " " +
                           std::to_string(t->ChildIndexes(i).size()));
  };
  tree().OnExpanded = [&](TNameSpaceEnumerator* t, int i) {
    expandEvents.push_back("expanded " + t->ItemInfo(i).Caption + " " +
                           std::to_string(t->ChildIndexes(i).size()));
  };
  EXPECT_EQ(tree().CheckState(0), 3);  // a file-system root starts unchecked
  EXPECT_EQ(tree().ItemInfo(0).Path, dir.Path());
  Record();
  tree().Expand(0);
  ASSERT_EQ(tree().ChildIndexes(0).size(), 4u);
  EXPECT_GE(At(".hidden"), 0);
  std::vector<std::string> order;
  for (int i : tree().ChildIndexes(0)) order.push_back(tree().ItemInfo(i).Caption);
  EXPECT_EQ(order, (std::vector<std::string>{".hidden", "Alpha", "beta", "Gamma"}));
  ASSERT_EQ(expandEvents.size(), 2u);
  EXPECT_EQ(expandEvents[1].substr(0, 9), "expanded ");

  // Each new child: created unchecked (3), set to 1, then to the parent's 3.
  std::vector<CheckEvent> alpha;
  for (auto& e : events)
    if (e.path == dir / "Alpha") alpha.push_back(e);
  ASSERT_EQ(alpha.size(), 4u);
  EXPECT_EQ(alpha[0].kind + std::to_string(alpha[0].from) + std::to_string(alpha[0].to), "before31");
  EXPECT_EQ(alpha[1].kind + std::to_string(alpha[1].to), "after1");
  EXPECT_EQ(alpha[2].kind + std::to_string(alpha[2].from) + std::to_string(alpha[2].to), "before13");
  EXPECT_EQ(alpha[3].kind + std::to_string(alpha[3].to), "after3");
  EXPECT_EQ(tree().CheckState(At("Gamma")), 3);

  tree().SetCheckState(At("Alpha"), 2);
  tree().Expand(At("Alpha"));
  EXPECT_EQ(tree().CheckState(At("Alpha\\One")), 2);
  EXPECT_EQ(tree().CheckState(At("Alpha\\Two")), 2);

  tree().SetCheckState(At("beta"), 4);
  tree().Expand(At("beta"));
  EXPECT_EQ(tree().CheckState(At("beta\\Inner")), 1);

  // Flat order: the root, then each folder followed by its loaded children.
  EXPECT_EQ(At("Alpha\\One"), At("Alpha") + 1);
  EXPECT_EQ(At("beta"), At("Alpha\\Two") + 1);
  EXPECT_EQ(tree().ParentIndex(At("beta\\Inner")), At("beta"));

  // A folder without subfolders still reports its expansion as over.
  expandEvents.clear();
  tree().Expand(At("Gamma"));
  EXPECT_EQ(expandEvents, (std::vector<std::string>{"expand Gamma 0", "expanded Gamma 0"}));
}

TEST_F(NameSpaceTreeTest, ClicksCloserThanASecondToggleOnce) {
  TNameSpaceEnumerator other;
  ASSERT_TRUE(other.Create(form.Handle(), 8, 400, 300, 180));
  other.SetCheckBoxes(true);
  other.SetRootFolder(dir.Path());
  other.SetRootedAt(shellviews::raFileSystem);
  tree().Expand(0);
  other.Expand(0);
  int alpha = At("Alpha"), beta = At("beta");

  ASSERT_TRUE(ClickCheckBox(tree(), alpha));
  EXPECT_EQ(tree().CheckState(alpha), 2);
  ASSERT_TRUE(ClickCheckBox(tree(), alpha));  // the second click of a double-click
  EXPECT_EQ(tree().CheckState(alpha), 2);
  // Any tree's click counts: the other tree ignores one right after it.
  int otherBeta = other.FindPath(dir / "beta");
  ASSERT_TRUE(ClickCheckBox(other, otherBeta));
  EXPECT_EQ(other.CheckState(otherBeta), 3);

  Sleep(1100);
  ASSERT_TRUE(ClickCheckBox(tree(), alpha));
  EXPECT_EQ(tree().CheckState(alpha), 3);
  Sleep(1100);
  ASSERT_TRUE(ClickCheckBox(tree(), beta));  // partly or unchecked becomes checked
  EXPECT_EQ(tree().CheckState(beta), 2);

  // After a collapse the next release only clears the collapse mark.
  tree().Expand(alpha);
  beta = At("beta");  // Alpha's children now come before it
  Sleep(1100);
  tree().Collapse(alpha);
  ASSERT_TRUE(ClickCheckBox(tree(), beta));
  EXPECT_EQ(tree().CheckState(beta), 2);
  Sleep(1100);
  ASSERT_TRUE(ClickCheckBox(tree(), beta));
  EXPECT_EQ(tree().CheckState(beta), 3);
}

TEST_F(NameSpaceTreeTest, RefusedChangeRaisesNoAfterCheck) {
  tree().Expand(0);
  int alpha = At("Alpha");
  int after = 0;
  tree().OnAfterCheck = [&](TNameSpaceEnumerator*, int, int) { ++after; };
  tree().OnBeforeCheck = [](TNameSpaceEnumerator*, int, int cur, int nw, bool& allow) {
    allow = false;
  };
  tree().SetCheckState(alpha, 2);
  tree().SetCheckStateWithChildren(0, 2);
  ASSERT_TRUE(ClickCheckBox(tree(), alpha));
  EXPECT_EQ(tree().CheckState(alpha), 3);
  EXPECT_EQ(tree().CheckState(0), 3);
  EXPECT_EQ(after, 0);

  // Allowed again, the same change goes through with exactly one AfterCheck.
  tree().OnBeforeCheck = nullptr;
  tree().SetCheckState(alpha, 2);
  EXPECT_EQ(tree().CheckState(alpha), 2);
  EXPECT_EQ(after, 1);
  tree().SetCheckState(alpha, 2);  // no change, no event
  tree().SetCheckState(alpha, 9);  // not a state
  tree().SetCheckState(999, 2);    // not an item
  EXPECT_EQ(after, 1);
  EXPECT_EQ(tree().CheckState(999), 0);
  EXPECT_EQ(tree().ItemInfo(-1).Path, "");
}

TEST_F(NameSpaceTreeTest, WalkHooksCanWalkTheWholeSubtreeAndUpToTheRoot) {
  tree().Expand(0);
  tree().Expand(At("Alpha"));
  tree().Expand(At("beta"));

  tree().SetCheckStateWithChildren(0, 2);
  EXPECT_EQ(tree().CheckState(0), 2);
  EXPECT_EQ(tree().CheckState(At("Alpha")), 2);
  EXPECT_EQ(tree().CheckState(At("Alpha\\One")), 3);  // direct children only

  // A callback that sets the hook again and walks on reaches every loaded descendant.
  std::vector<std::string> visited;
  std::function<void(TNameSpaceEnumerator*, int, int)> walk = [&](TNameSpaceEnumerator* t, int i,
                                                                  int st) {
    visited.push_back(t->ItemInfo(i).Caption + ":" + std::to_string(st));
    t->ChildWalkCallback = walk;
    t->WalkChildren(i, st);
  };
  tree().ChildWalkCallback = walk;
  tree().WalkChildren(0, 4);
  EXPECT_EQ(visited, (std::vector<std::string>{"Alpha:4", "One:4", "Two:4", "beta:4", "Inner:4",
                                               "Gamma:4"}));

  // Clearing the hook stops the walk.
  visited.clear();
  tree().ChildWalkCallback = [&](TNameSpaceEnumerator* t, int i, int) {
    visited.push_back(t->ItemInfo(i).Caption);
    t->ChildWalkCallback = nullptr;
  };
  tree().WalkChildren(0, 2);
  EXPECT_EQ(visited, (std::vector<std::string>{"Alpha"}));

  std::vector<int> parents;
  std::function<void(TNameSpaceEnumerator*, int, int)> up = [&](TNameSpaceEnumerator* t, int i,
                                                               int st) {
    parents.push_back(i);
    t->ParentCallback = up;
    t->NotifyParent(i, st);
  };
  tree().ParentCallback = up;
  tree().NotifyParent(At("beta\\Inner"), 4);
  EXPECT_EQ(parents, (std::vector<int>{At("beta"), 0}));
  tree().ParentCallback = nullptr;
  tree().NotifyParent(At("beta\\Inner"), 4);
  EXPECT_EQ(parents.size(), 2u);
}

TEST_F(NameSpaceTreeTest, RefreshAddsNewFoldersAndDropsVanishedOnes) {
  tree().Expand(0);
  tree().SetCheckState(0, 2);
  int refreshes = 0;
  tree().OnRefresh = [&](TNameSpaceEnumerator*) { ++refreshes; };
  dir.Dir("Delta");
  ScratchDir::Remove(Widen(dir / "Gamma"));
  tree().Refresh();
  EXPECT_EQ(refreshes, 1);
  EXPECT_LT(At("Gamma"), 0);
  ASSERT_GE(At("Delta"), 0);
  EXPECT_EQ(tree().CheckState(At("Delta")), 2);  // new items take the parent's state
  std::vector<std::string> order;
  for (int i : tree().ChildIndexes(0)) order.push_back(tree().ItemInfo(i).Caption);
  EXPECT_EQ(order, (std::vector<std::string>{"Alpha", "beta", "Delta"}));

  SendMessageW(tree().Handle(), WM_KEYDOWN, VK_F5, 0);
  EXPECT_EQ(refreshes, 2);
}

TEST_F(NameSpaceTreeTest, UnparsableRootFolderRootsTheTreeAtMyComputer) {
  tree().SetRootFolder("Q:\\no such folder\\at all");
  EXPECT_EQ(tree().RootedAt(), shellviews::raMyComputer);
  ASSERT_EQ(tree().ItemCount(), 1);
  EXPECT_EQ(tree().ItemInfo(0).Path, "");
  EXPECT_EQ(tree().CheckState(0), 0);
}

TEST_F(NameSpaceTreeTest, SettledSelectionShowsTheFolderInTheListAndTheTreeFollowsTheList) {
  int changes = 0, listRefreshes = 0;
  tree().OnSelectionChange = [&](TNameSpaceEnumerator*) { ++changes; };
  form.DemoFE.OnRefresh = [&](shellviews::TFolderEnumerator*) { ++listRefreshes; };
  tree().Expand(0);
  tree().Select(At("Alpha"));
  tree().Select(At("beta"));  // moves within half a second make one update
  ASSERT_TRUE(PumpUntil([&] { return changes > 0; }));
  PumpFor(700);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(form.DemoFE.Folder(), dir / "beta");
  ASSERT_EQ(form.DemoFE.ItemCount(), 1);
  EXPECT_EQ(form.DemoFE.ItemInfo(0).Caption, "Inner");

  // Opening a subfolder in the list: the tree selects it, the list does not read it twice.
  form.DemoFE.Open(0);
  EXPECT_EQ(form.DemoFE.Folder(), dir / "beta\\Inner");
  ASSERT_TRUE(PumpUntil([&] { return changes == 2; }));
  EXPECT_EQ(tree().SelectedPath(), dir / "beta\\Inner");
  EXPECT_EQ(listRefreshes, 0);

  SendMessageW(form.DemoFE.Handle(), WM_KEYDOWN, VK_BACK, 0);
  EXPECT_EQ(form.DemoFE.Folder(), dir / "beta");
  ASSERT_TRUE(PumpUntil([&] { return changes == 3; }));
  EXPECT_EQ(tree().SelectedPath(), dir / "beta");
  EXPECT_EQ(listRefreshes, 0);
}

TEST_F(NameSpaceTreeTest, RefreshRereadsEveryExpandedFolderAfterRemovalsAboveIt) {
  dir.Dir("Aardvark");
  dir.Dir("Aardvark\\Leaf");
  dir.Dir("Alpha\\One\\Deep");
  tree().Expand(0);
  tree().Expand(At("Aardvark"));
  tree().Expand(At("Alpha"));
  tree().Expand(At("Alpha\\One"));
  tree().Expand(At("beta"));
  ASSERT_TRUE(tree().IsExpanded(At("Alpha\\One")));

  // Removals early in the tree shift every later item's index.
  ScratchDir::Remove(Widen(dir / "Aardvark"));
  ScratchDir::Remove(Widen(dir / "Alpha\\Two"));
  dir.Dir("Alpha\\Three");
  dir.Dir("Alpha\\One\\Deeper");
  dir.Dir("beta\\Later");
  tree().Refresh();
  EXPECT_LT(At("Aardvark"), 0);
  EXPECT_LT(At("Alpha\\Two"), 0);
  EXPECT_GE(At("Alpha\\Three"), 0);
  EXPECT_GE(At("Alpha\\One\\Deeper"), 0);
  EXPECT_GE(At("beta\\Later"), 0);
  EXPECT_EQ(tree().ParentIndex(At("beta\\Later")), At("beta"));
}

TEST_F(NameSpaceTreeTest, ReRootingSelectsTheNewRootAndTheLinkedListShowsIt) {
  int changes = 0;
  tree().OnSelectionChange = [&](TNameSpaceEnumerator*) { ++changes; };
  tree().Expand(0);
  tree().Select(At("Alpha"));
  ASSERT_TRUE(PumpUntil([&] { return changes == 1; }));
  EXPECT_EQ(form.DemoFE.Folder(), dir / "Alpha");

  tree().SetRootFolder(dir / "beta");
  ASSERT_TRUE(PumpUntil([&] { return changes == 2; }));
  EXPECT_EQ(tree().SelectedIndex(), 0);
  EXPECT_EQ(tree().SelectedPath(), dir / "beta");
  EXPECT_EQ(form.DemoFE.Folder(), dir / "beta");
  ASSERT_EQ(form.DemoFE.ItemCount(), 1);
  EXPECT_EQ(form.DemoFE.ItemInfo(0).Caption, "Inner");
  PumpFor(700);
  EXPECT_EQ(changes, 2);  // one event per re-rooting

  tree().SetRootedAt(shellviews::raMyComputer);
  ASSERT_TRUE(PumpUntil([&] { return changes == 3; }));
  EXPECT_EQ(tree().SelectedIndex(), 0);
  EXPECT_EQ(form.DemoFE.Folder(), "");  // a virtual folder has no path
  bool drive = false;
  for (int i = 0; i < form.DemoFE.ItemCount(); ++i)
    drive = drive || form.DemoFE.ItemInfo(i).Path == "C:\\";
  EXPECT_TRUE(drive);
}

TEST_F(NameSpaceTreeTest, ItemsWithoutPathNeverKeepACheckBox) {
  // As the program does: only items with a file-system path may change state.
  tree().OnBeforeCheck = [](TNameSpaceEnumerator* t, int i, int, int, bool& allow) {
    allow = !t->ItemInfo(i).Path.empty();
  };
  tree().SetRootedAt(shellviews::raDesktop);
  tree().Expand(0);
  bool virtualSeen = false;
  for (int i : tree().ChildIndexes(0)) {
    if (!tree().ItemInfo(i).Path.empty()) continue;
    virtualSeen = true;
    EXPECT_EQ(tree().CheckState(i), 0) << tree().ItemInfo(i).Caption;
    EXPECT_EQ(TreeView_GetItemState(tree().Handle(), tree().ItemHandle(i), TVIS_STATEIMAGEMASK),
              0u);
  }
  ASSERT_TRUE(virtualSeen);  // My Computer at least

  // Below a checked folder, new children with paths still take the parent's state.
  tree().SetRootedAt(shellviews::raMyComputer);
  tree().Expand(0);
  int c = tree().FindPath("C:\\");
  ASSERT_GE(c, 0);
  tree().SetCheckState(c, 2);
  tree().Expand(c);
  for (int i : tree().ChildIndexes(c)) {
    auto info = tree().ItemInfo(i);
    EXPECT_EQ(tree().CheckState(i), info.Path.empty() ? 0 : 2) << info.Caption;
  }
  tree().SetCheckStateWithChildren(0, 2);
  EXPECT_EQ(tree().CheckState(0), 0);
}

}  // namespace
}  // namespace tw::test
