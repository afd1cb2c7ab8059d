// Responsiveness with big folders, and the demonstration form. The two big-folder cases are
// benchmarks, run by hand (they take about a minute each, mostly Wine creating the entries):
//   tw_gui_tests.exe --gtest_also_run_disabled_tests --gtest_filter='*LargeFolder*'
// They print their times and check only that every item arrived.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "tests/gui/ShellViewsDemo.h"

namespace tw::test {
namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

constexpr int kCount = 10000;

TEST(ShellViewsLargeFolderTest, DISABLED_ExpandingTenThousandSubfolders) {
  ScratchDir dir("large-tree");
  dir.Dir("folders");
  char name[32];
  for (int i = 0; i < kCount; ++i) {
    snprintf(name, sizeof(name), "folders\\d%05d", i);
    dir.Dir(name);
  }
  TfShellViewsDemo form;
  ASSERT_TRUE(form.Create());
  auto& tree = form.DemoNSE;
  tree.SetRootFolder(dir.Path());
  tree.SetRootedAt(shellviews::raFileSystem);
  int afterChecks = 0;
  tree.OnAfterCheck = [&](shellviews::TNameSpaceEnumerator*, int, int) { ++afterChecks; };
  tree.Expand(0);
  int folders = tree.FindPath(dir / "folders");
  ASSERT_GE(folders, 0);
  tree.SetCheckState(folders, 2);

  auto start = std::chrono::steady_clock::now();
  tree.Expand(folders);
  UpdateWindow(tree.Handle());
  double expand = Seconds(start);
  ASSERT_EQ(tree.ChildIndexes(folders).size(), static_cast<size_t>(kCount));
  EXPECT_EQ(tree.CheckState(tree.ChildIndexes(folders).back()), 2);
  EXPECT_GE(afterChecks, 2 * kCount);

  start = std::chrono::steady_clock::now();
  tree.Select(tree.ChildIndexes(folders).back());
  int last = tree.SelectedIndex();
  std::string path = tree.SelectedPath();
  double select = Seconds(start);
  EXPECT_EQ(tree.ItemInfo(last).Caption, "d09999");

  start = std::chrono::steady_clock::now();
  tree.Refresh();
  double refresh = Seconds(start);
  EXPECT_EQ(tree.ChildIndexes(folders).size(), static_cast<size_t>(kCount));

  printf("[ timing ] tree: expand %d subfolders %.2f s, select the last %.3f s, refresh %.2f s\n",
         kCount, expand, select, refresh);
}

TEST(ShellViewsLargeFolderTest, DISABLED_ListingTenThousandFiles) {
  ScratchDir dir("large-list");
  char name[32];
  for (int i = 0; i < kCount; ++i) {
    snprintf(name, sizeof(name), "f%05d.txt", i);
    dir.File(name, static_cast<size_t>(i % 3000));
  }
  TfShellViewsDemo form;
  ASSERT_TRUE(form.Create());
  auto& list = form.DemoFE;

  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(list.SetFolder(dir.Path()));
  UpdateWindow(list.Handle());
  double fill = Seconds(start);
  ASSERT_EQ(list.ItemCount(), kCount);
  EXPECT_EQ(ListText(list.Handle(), kCount - 1, 0).substr(0, 6), "f09999");

  start = std::chrono::steady_clock::now();
  list.SetSortColumn(shellviews::cnSize);
  UpdateWindow(list.Handle());
  double sort = Seconds(start);
  EXPECT_EQ(list.ItemInfo(0).Size, 2999);

  start = std::chrono::steady_clock::now();
  list.Reread();
  UpdateWindow(list.Handle());
  double reread = Seconds(start);

  printf("[ timing ] list: show %d files %.2f s, sort by size %.2f s, re-read %.2f s\n", kCount,
         fill, sort, reread);
}

// The form a reader can look at: a tree linked to a list, both with check boxes. Set
// TW_DEMO_HOLD_MS to keep it on screen (for a screenshot).
TEST(ShellViewsDemoTest, TreeShowsTheSelectedFolderInTheCheckableList) {
  ScratchDir dir("demo");
  dir.Dir("Documents");
  dir.Dir("Documents\\Letters");
  dir.Dir("Documents\\Taxes");
  dir.Dir("Photos");
  dir.Dir("Photos\\2023");
  dir.Dir("Music");
  dir.File("Documents\\report.txt", 12000);
  dir.File("Documents\\budget.csv", 1500);
  dir.File("Documents\\notes.txt", 300);
  dir.File("Documents\\empty.log", 0);
  TfShellViewsDemo form;
  ASSERT_TRUE(form.Create());
  auto& tree = form.DemoNSE;
  auto& list = form.DemoFE;
  tree.SetRootedAt(shellviews::raMyComputer);
  tree.Expand(0);
  ASSERT_TRUE(tree.SelectPath(dir / "Documents"));
  tree.SetCheckState(tree.FindPath(dir / "Photos"), 2);
  tree.Expand(tree.FindPath(dir / "Photos"));
  tree.SetCheckState(tree.FindPath(dir / "Documents"), 4);
  tree.Expand(tree.FindPath(dir / "Documents"));
  int changes = 0;
  tree.OnSelectionChange = [&](shellviews::TNameSpaceEnumerator*) { ++changes; };
  ASSERT_TRUE(PumpUntil([&] { return changes == 1; }));
  EXPECT_EQ(list.Folder(), dir / "Documents");
  ASSERT_EQ(list.ItemCount(), 6);
  EXPECT_EQ(list.ItemInfo(0).Caption, "Letters");
  for (int i = 0; i < list.ItemCount(); ++i)
    if (list.ItemInfo(i).FileName == "report.txt" || list.ItemInfo(i).FileName == "Letters")
      list.SetItemCheckState(i, 2);
  EXPECT_TRUE(forms::driver::Visible(form.Handle(), "DemoNSE"));
  EXPECT_TRUE(forms::driver::Visible(form.Handle(), "DemoFE"));
  if (const char* hold = getenv("TW_DEMO_HOLD_MS")) PumpFor(atoi(hold));
}

}  // namespace
}  // namespace tw::test
