// Selection files on real files: every legal name, long paths, and a folder rescanned on load.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/win32/Utf.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32ShellFolderInfo.h"
#include "selection/selection.h"
#include "tests/win/RealFiles.h"

namespace tw {
namespace {

class SelectionRealFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs_.TempFolder() + "TwSel" + std::to_string(GetCurrentProcessId());
    ASSERT_EQ(fs_.MakeDir(root_), winerr::Success);
  }
  void TearDown() override { test::RemoveTree(fs_, root_); }

  void File(const std::string& path, const std::string& data = "x") {
    ASSERT_EQ(fs_.WriteAtomic(path, data), winerr::Success) << path;
  }
  void Dir(const std::string& path) { ASSERT_EQ(fs_.MakeDir(path), winerr::Success) << path; }

  static std::set<std::string> Files(const TWLDesktopNode& tree) {
    std::set<std::string> out;
    WalkSelection(
        tree, [](const TWLNode&) { return true; },
        [&](const TWLNode& node, int index) {
          out.insert(node.Path() + "\\" + node.FileName(index));
          return true;
        });
    return out;
  }

  Win32FileSystem fs_;
  Win32ShellFolderInfo shell_;
  std::string root_;
};

TEST_F(SelectionRealFilesTest, EveryLegalNameAndLongPathsRoundTrip) {
  const std::string hostile[] = {"a=b.txt", ";lead.txt", "[sec].txt", "end]", " blank front",
                                 "blank back ", "Ärger über 100%.txt", "日本語.doc", "dots...x",
                                 "plain.txt"};
  std::string whole = root_ + "\\Whole [all]=";
  Dir(whole);
  std::string picked = root_ + "\\Picked ;x";
  Dir(picked);
  for (const auto& name : hostile) {
    File(whole + "\\" + name);
    File(picked + "\\" + name);
  }
  // A folder chain well past 260 characters.
  std::string deep = root_;
  for (int i = 0; i < 8; ++i) {
    deep += "\\" + std::string(40, static_cast<char>('a' + i));
    Dir(deep);
  }
  File(deep + "\\deep file.txt");
  ASSERT_GT(deep.size(), 300u);

  TWLDesktopNode tree(fs_, &shell_);
  ASSERT_NE(tree.AddPath(whole), nullptr);
  ASSERT_TRUE(tree.AddPath(whole)->SelectAll());
  for (const auto& name : {"a=b.txt", " blank front", "blank back ", "日本語.doc", "plain.txt"})
    ASSERT_GE(tree.AddPath(picked)->AddFile(name, -1), 0) << name;
  ASSERT_GE(tree.AddPath(deep)->AddFile("deep file.txt", -1), 0);
  std::set<std::string> expected = Files(tree);
  ASSERT_EQ(expected.size(), std::size(hostile) + 5 + 1);

  std::string selection = root_ + "\\Work.TWS";
  ASSERT_EQ(tree.SaveToFile(selection), winerr::Success);
  TWLDesktopNode back(fs_, &shell_);
  ASSERT_EQ(back.LoadFromFile(selection), winerr::Success);
  EXPECT_EQ(Files(back), expected);
  EXPECT_TRUE(back.FindNode(whole)->AllSelected());

  // A folder selected as a whole is rescanned: a file added since comes back, a removed one not.
  File(whole + "\\new since.txt");
  ASSERT_EQ(fs_.Remove(whole + "\\plain.txt"), winerr::Success);
  TWLDesktopNode again(fs_, &shell_);
  ASSERT_EQ(again.LoadFromFile(selection), winerr::Success);
  std::set<std::string> now = Files(again);
  EXPECT_TRUE(now.count(whole + "\\new since.txt"));
  EXPECT_FALSE(now.count(whole + "\\plain.txt"));
  EXPECT_TRUE(now.count(picked + "\\plain.txt"));  // picked files stay, even when deleted later
}

TEST_F(SelectionRealFilesTest, ShellCountsDiskFoldersAsFileSystemFolders) {
  EXPECT_TRUE(shell_.IsFileSystemFolder(root_));
  EXPECT_TRUE(shell_.IsFileSystemFolder("C:"));
}

}  // namespace
}  // namespace tw
