// The selection tree in memory: lookups, events, scans of the disk and the operations' walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/memory/FakeShellFolderInfo.h"
#include "platform/memory/MemoryFileSystem.h"
#include "selection/selection.h"

namespace tw {
namespace {

struct Event {
  char kind;  // '+' added, '-' removed
  std::string path;  // folder \ file
  int index;
  int64_t size;
  bool operator==(const Event&) const = default;
};

// Lists through another file system and lets a test change what a listing gives: the in-memory
// one has no reparse points and always lists in name order.
class EditedFs : public IFileSystem {
 public:
  explicit EditedFs(MemoryFileSystem& inner) : fs_(inner) {}
  WinError ReadAll(const std::string& p, std::string& d) override { return fs_.ReadAll(p, d); }
  WinError WriteAtomic(const std::string& p, const std::string& d) override {
    return fs_.WriteAtomic(p, d);
  }
  WinError Stat(const std::string& p, FindData& i) override { return fs_.Stat(p, i); }
  WinError SetAttrs(const std::string& p, uint32_t a) override { return fs_.SetAttrs(p, a); }
  WinError Move(const std::string& f, const std::string& t, bool r) override {
    return fs_.Move(f, t, r);
  }
  WinError Remove(const std::string& p) override { return fs_.Remove(p); }
  WinError MakeDir(const std::string& p) override { return fs_.MakeDir(p); }
  WinError RemoveDir(const std::string& p) override { return fs_.RemoveDir(p); }
  DriveType DriveKind(const std::string& r) override { return fs_.DriveKind(r); }
  std::string TempFolder() override { return fs_.TempFolder(); }
  WinError List(const std::string& folder, std::vector<FindData>& entries) override {
    if (++lists > 1000) return winerr::AccessDenied;  // a loop followed: end it, the test fails
    WinError e = fs_.List(redirect ? redirect(folder) : folder, entries);
    if (edit) edit(entries);
    return e;
  }
  std::function<std::string(const std::string&)> redirect;
  std::function<void(std::vector<FindData>&)> edit;
  int lists = 0;

 private:
  MemoryFileSystem& fs_;
};

class SelectionTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.AddDrive("D:", DriveType::Fixed);
    fs.AddDrive("\\\\srv\\share", DriveType::Remote);
    OnFileAdded = [this](TWLNode& n, int i) {
      events.push_back({'+', n.Path() + "\\" + n.FileName(i), i, n.FileSize(i)});
    };
    OnFileRemoved = [this](TWLNode& n, int i) {
      events.push_back({'-', n.Path() + "\\" + n.FileName(i), i, n.FileSize(i)});
    };
  }
  void TearDown() override {
    OnFileAdded = nullptr;
    OnFileRemoved = nullptr;
  }

  static std::vector<std::string> Files(const TWLNode& n) {
    std::vector<std::string> names;
    for (int i = 0; i < n.FileCount(); ++i) names.push_back(n.FileName(i));
    return names;
  }
  static std::vector<std::string> Children(const TWLNode& n) {
    std::vector<std::string> names;
    for (int i = 0; i < n.ChildCount(); ++i) names.push_back(n.Child(i)->Name());
    return names;
  }
  int Count(char kind) const {
    int n = 0;
    for (const auto& e : events) n += e.kind == kind;
    return n;
  }

  MemoryFileSystem fs;
  FakeShellFolderInfo shell;
  std::vector<Event> events;
};

TEST_F(SelectionTreeTest, RootsAreFoundExactlyForAddingButWithoutCaseForFinding) {
  TWLDesktopNode tree(fs);
  TWLNode* a = tree.AddPath("C:\\");
  TWLNode* b = tree.AddPath("C:");
  TWLNode* c = tree.AddPath("c:\\");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_EQ(tree.RootCount(), 2);
  EXPECT_EQ(a->Path(), "C:");
  EXPECT_EQ(a->Name(), "C:");
  EXPECT_EQ(c->Path(), "c:");
  EXPECT_EQ(tree.FindNode("C:\\"), a);
  EXPECT_EQ(tree.FindNode("c:"), a);  // the first root of that name, whatever its case

  TWLNode* deep = tree.AddPath("C:\\Windows\\System\\");
  EXPECT_EQ(deep->Path(), "C:\\Windows\\System");
  EXPECT_EQ(deep->Name(), "System");
  EXPECT_EQ(deep->Parent()->Parent(), a);
  EXPECT_EQ(tree.FindNode("c:\\WINDOWS\\system"), deep);
  EXPECT_EQ(tree.AddPath("C:\\windows\\SYSTEM"), deep);  // below the root, case is ignored

  TWLNode* unc = tree.AddPath("\\\\srv\\share\\Docs");
  ASSERT_NE(unc, nullptr);
  EXPECT_EQ(unc->Path(), "\\\\srv\\share\\Docs");
  EXPECT_EQ(tree.Root(2)->Name(), "\\\\srv");
  EXPECT_EQ(tree.FindNode("\\\\SRV\\Share\\docs"), unc);

  // Removing looks the root up exactly as well: "c:" is the second root only.
  tree.RemovePath("c:");
  EXPECT_EQ(tree.RootCount(), 2);
  EXPECT_EQ(tree.FindNode("C:\\Windows\\System"), deep);
  // A path without a node neither creates a root nor changes anything.
  tree.RemovePath("E:\\Nothing");
  tree.RemovePath("C:\\Nothing\\Here");
  EXPECT_EQ(tree.RootCount(), 2);
  EXPECT_THROW(tree.Root(2), EInvalidIndex);
}

TEST_F(SelectionTreeTest, PathsThatLeadOutsideTheirPlaceAreRefused) {
  TWLDesktopNode tree(fs);
  for (const char* bad : {"", "Data", "Data\\x", "C:Data", "C:\\a\\\\b", "C:\\..\\x",
                          "C:\\a\\.\\b", "C:\\a\\..", "\\\\", "\\\\\\x", "1:\\x", "C:\\a/..\\b",
                          "C:\\a\\b\\\\", "C:\\a:b", "\\\\srv\\..\\x"}) {
    EXPECT_EQ(tree.AddPath(bad), nullptr) << bad;
    EXPECT_EQ(tree.FindNode(bad), nullptr) << bad;
    tree.RemovePath(bad);
  }
  EXPECT_EQ(tree.RootCount(), 0);

  TWLNode* n = tree.AddPath("C:\\Data");
  for (const char* bad : {"", ".", "..", "a\\b", "a/b", "a:b", "a*", "a?", "a|b", "a\nb"}) {
    EXPECT_EQ(n->AddFile(bad, 1), -1) << bad;
    EXPECT_EQ(n->AddChild(bad), -1) << bad;
  }
  EXPECT_EQ(n->FileCount(), 0);
  EXPECT_EQ(n->ChildCount(), 0);
  EXPECT_TRUE(events.empty());

  // Legal names that look odd stay as they are.
  for (const char* odd : {" lead", "trail ", "dots...", "a=b;c[d]", "%41", "#x"})
    EXPECT_GE(n->AddFile(odd, 1), 0) << odd;
  EXPECT_EQ(n->FileCount(), 6);
}

TEST_F(SelectionTreeTest, LongPathsAreKeptWhole) {
  TWLDesktopNode tree(fs);
  std::string path = "C:";
  for (int i = 0; i < 40; ++i) path += "\\folder-with-a-long-name-" + std::to_string(i);
  ASSERT_GT(path.size(), 1000u);
  TWLNode* n = tree.AddPath(path);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->Path(), path);
  std::string longName(255, 'x');  // the longest a component can be
  fs.WriteFile(path + "\\" + longName, "12345");
  EXPECT_EQ(n->FileName(n->AddFile(longName, -1)), longName);
  EXPECT_EQ(n->FileSize(0), 5);
  EXPECT_EQ(tree.FindNode(path), n);
}

TEST_F(SelectionTreeTest, FilesStaySortedAndUniqueWithoutRegardToCase) {
  fs.WriteFile("C:\\Data\\b.txt", "12");
  fs.WriteFile("C:\\Data\\Ärger.doc", "1234");
  TWLDesktopNode tree(fs);
  TWLNode* n = tree.AddPath("C:\\Data");

  EXPECT_EQ(n->AddFile("b.txt", -1), 0);
  EXPECT_EQ(n->AddFile("A.txt", 7), 0);
  EXPECT_EQ(n->AddFile("a.TXT", 9), 0);  // the same file: nothing added, nothing reported
  EXPECT_EQ(n->AddFile("ärger.doc", -1), 2);
  EXPECT_EQ(n->AddFile("ÄRGER.DOC", -1), 2);
  EXPECT_EQ(n->AddFile("missing.txt", -1), 2);
  EXPECT_EQ(Files(*n), (std::vector<std::string>{"A.txt", "b.txt", "missing.txt", "ärger.doc"}));
  EXPECT_EQ(n->FileSize(0), 7);
  EXPECT_EQ(n->FileSize(1), 2);   // looked up on disk
  EXPECT_EQ(n->FileSize(2), -1);  // not there
  EXPECT_EQ(n->FileSize(3), 4);   // found under another case
  EXPECT_EQ(events, (std::vector<Event>{{'+', "C:\\Data\\b.txt", 0, 2},
                                        {'+', "C:\\Data\\A.txt", 0, 7},
                                        {'+', "C:\\Data\\ärger.doc", 2, 4},
                                        {'+', "C:\\Data\\missing.txt", 2, -1}}));
  EXPECT_EQ(n->IndexOfFile("B.TXT"), 1);
  EXPECT_EQ(n->IndexOfFile("c.txt"), -1);

  // Removing an absent name changes nothing, not even the whole-folder mark.
  n->SetAllSelected(true);
  events.clear();
  n->RemoveFile("c.txt");
  EXPECT_TRUE(n->AllSelected());
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(n->FileCount(), 4);
  // Removing a present one reports it while it is still readable, then clears the mark.
  n->RemoveFile("MISSING.TXT");
  EXPECT_FALSE(n->AllSelected());
  EXPECT_EQ(events, (std::vector<Event>{{'-', "C:\\Data\\missing.txt", 2, -1}}));
  EXPECT_EQ(Files(*n), (std::vector<std::string>{"A.txt", "b.txt", "ärger.doc"}));

  // Children keep creation order and are found without case.
  EXPECT_EQ(n->AddChild("Zeta"), 0);
  EXPECT_EQ(n->AddChild("alpha"), 1);
  EXPECT_EQ(n->AddChild("ZETA"), 0);
  EXPECT_EQ(n->AddChild("Mid"), 2);
  n->RemoveChild("ALPHA");
  EXPECT_EQ(Children(*n), (std::vector<std::string>{"Zeta", "Mid"}));
  EXPECT_EQ(n->IndexOfChild("mid"), 1);  // indexes follow a removal
  EXPECT_EQ(n->AddChild("mid"), 1);
  EXPECT_EQ(n->IndexOfChild("alpha"), -1);
}

TEST_F(SelectionTreeTest, IndexErrorsCarryTheirMessages) {
  TWLDesktopNode tree(fs);
  TWLNode* n = tree.AddPath("C:\\Data");
  n->AddFile("a", 1);
  n->AddFile("b", 1);
  auto message = [](auto&& call) {
    try {
      call();
    } catch (const EInvalidIndex& e) {
      return std::string(e.what());
    }
    return std::string("no exception");
  };
  EXPECT_EQ(message([&] { n->FileName(2); }), "Invalid Index 2 2");
  EXPECT_EQ(message([&] { n->FileSize(-1); }), "Invalid Index -1 2");
  EXPECT_EQ(message([&] { n->Child(0); }), "Invalid Index");
  n->AddChild("x");
  EXPECT_EQ(message([&] { n->Child(1); }), "Invalid Index");
  EXPECT_EQ(message([&] { n->Child(-1); }), "Invalid Index");
}

TEST_F(SelectionTreeTest, FreeingReportsEveryFileParentsFirst) {
  TWLDesktopNode tree(fs);
  tree.AddPath("C:")->AddFile("root.txt", 1);
  TWLNode* data = tree.AddPath("C:\\Data");
  data->AddFile("b", 2);
  data->AddFile("a", 3);
  tree.AddPath("C:\\Data\\Sub")->AddFile("s", 4);
  tree.AddPath("C:\\Other")->AddFile("o", 5);
  tree.AddPath("D:\\Keep")->AddFile("k", 6);
  events.clear();

  // Removing a folder clears the whole-folder mark on the way down, not beside it.
  tree.FindNode("C:")->SetAllSelected(true);
  data->SetAllSelected(true);
  tree.FindNode("C:\\Other")->SetAllSelected(true);
  tree.RemovePath("C:\\Data\\Sub");
  EXPECT_FALSE(tree.FindNode("C:")->AllSelected());
  EXPECT_FALSE(data->AllSelected());
  EXPECT_TRUE(tree.FindNode("C:\\Other")->AllSelected());
  EXPECT_EQ(events, (std::vector<Event>{{'-', "C:\\Data\\Sub\\s", 0, 4}}));

  tree.AddPath("C:\\Data\\Sub")->AddFile("s", 4);
  events.clear();
  tree.RemovePath("C:");
  EXPECT_EQ(events, (std::vector<Event>{{'-', "C:\\root.txt", 0, 1},
                                        {'-', "C:\\Data\\a", 0, 3},
                                        {'-', "C:\\Data\\b", 1, 2},
                                        {'-', "C:\\Data\\Sub\\s", 0, 4},
                                        {'-', "C:\\Other\\o", 0, 5}}));
  EXPECT_EQ(tree.RootCount(), 1);
  EXPECT_EQ(tree.FindNode("C:\\Data"), nullptr);

  TWLNode* keep = tree.FindNode("D:\\Keep");
  keep->SetAllSelected(true);
  events.clear();
  keep->ClearFiles();
  EXPECT_FALSE(keep->AllSelected());
  EXPECT_EQ(events.size(), 1u);
  EXPECT_EQ(keep->FileCount(), 0);
}

TEST_F(SelectionTreeTest, SelectAllTakesEverythingOnDiskAndKeepsWhatWasThere) {
  fs.WriteFile("C:\\Data\\a.txt", "aaa");
  fs.WriteFile("C:\\Data\\hidden.sys", "h", fileattr::Hidden | fileattr::System);
  fs.WriteFile("C:\\Data\\Sub\\s.txt", "ss");
  fs.WriteFile("C:\\Data\\Sub\\Deeper\\d.txt", "d");
  fs.MakeDirs("C:\\Data\\Empty");
  fs.WriteFile("C:\\Data\\Virtual\\v.txt", "v");
  fs.WriteFile("C:\\Data\\z.txt", "zz");
  shell.MarkVirtual("C:\\Data\\Virtual");
  TWLDesktopNode tree(fs, &shell);
  TWLNode* data = tree.AddPath("C:\\Data");
  data->AddFile("A.TXT", 99);  // already selected: stays as it is
  data->AddFile("gone.txt", -1);
  events.clear();

  EXPECT_TRUE(data->SelectAll());
  EXPECT_TRUE(data->AllSelected());
  EXPECT_EQ(Files(*data),
            (std::vector<std::string>{"A.TXT", "gone.txt", "hidden.sys", "z.txt"}));
  EXPECT_EQ(data->FileSize(0), 99);
  EXPECT_EQ(data->FileSize(3), 2);
  EXPECT_EQ(Children(*data), (std::vector<std::string>{"Empty", "Sub"}));
  TWLNode* sub = data->FindChild("sub");
  EXPECT_TRUE(sub->AllSelected());
  EXPECT_TRUE(data->FindChild("Empty")->AllSelected());
  EXPECT_EQ(data->FindChild("Empty")->FileCount(), 0);
  EXPECT_TRUE(sub->FindChild("Deeper")->AllSelected());
  EXPECT_EQ(Files(*sub->FindChild("Deeper")), std::vector<std::string>{"d.txt"});
  EXPECT_EQ(Count('+'), 4);  // hidden.sys, z.txt, s.txt, d.txt: nothing twice
  EXPECT_EQ(Count('-'), 0);

  // Counting agrees with what a scan selects: the virtual folder is neither.
  EXPECT_EQ(tree.CountFolderEntries("C:\\Data"), 5);
  EXPECT_EQ(tree.CountFolderEntries("C:\\Data\\Sub\\"), sub->FileCount() + sub->ChildCount());
  EXPECT_EQ(tree.CountFolderEntries("C:\\Data\\Empty"), 0);
  EXPECT_EQ(tree.CountFolderEntries("C:\\Missing"), 0);

  // A folder that cannot be searched ends selected with nothing added.
  TWLNode* missing = tree.AddPath("C:\\Missing");
  EXPECT_TRUE(missing->SelectAll());
  EXPECT_TRUE(missing->AllSelected());
  EXPECT_EQ(missing->FileCount() + missing->ChildCount(), 0);
  fs.AddFault({FsOp::List, "C:\\Data\\Sub", PathMatch::Prefix, winerr::AccessDenied, 0,
               FsFault::kAlways});
  TWLNode* denied = tree.AddPath("C:\\Data\\Sub\\Deeper");
  denied->SetAllSelected(false);
  EXPECT_TRUE(denied->SelectAll());
  EXPECT_TRUE(denied->AllSelected());
  EXPECT_EQ(tree.CountFolderEntries("C:\\Data\\Sub"), 0);
  EXPECT_EQ(Count('+'), 4);
}

TEST_F(SelectionTreeTest, ScansDoNotEnterJunctionsOrLinks) {
  // C:\Loop\Back leads back to C:\Loop; following it would never end.
  fs.WriteFile("C:\\Loop\\f.txt", "f");
  fs.WriteFile("C:\\Loop\\Back\\placeholder", "");
  fs.WriteFile("C:\\Loop\\Real\\r.txt", "r");
  fs.WriteFile("C:\\Loop\\Cloud\\c.txt", "c");
  // Folders named "Back" are junctions to the folder they are in; "Cloud" is a reparse point
  // of another kind (a cloud placeholder), which is an ordinary folder to the user.
  EditedFs jfs(fs);
  jfs.redirect = [](std::string target) {
    for (size_t at; (at = target.find("\\Back\\")) != std::string::npos;)
      target = target.substr(0, at) + target.substr(at + 5);
    return target;
  };
  jfs.edit = [](std::vector<FindData>& entries) {
    for (auto& d : entries)
      if (d.IsDirectory() && (d.name == "Back" || d.name == "Cloud")) {
        d.attributes |= fileattr::ReparsePoint;
        d.reparseTag = d.name == "Back" ? FindData::kReparseTagMountPoint : 0x9000001Au;
      }
  };
  std::vector<FindData> through;
  ASSERT_EQ(jfs.List("C:\\Loop\\Back\\", through), winerr::Success);
  ASSERT_EQ(through.size(), 4u);  // the junction shows its target's entries

  TWLDesktopNode tree(jfs);
  TWLNode* loop = tree.AddPath("C:\\Loop");
  EXPECT_TRUE(loop->SelectAll());
  EXPECT_LT(jfs.lists, 5);
  EXPECT_EQ(Children(*loop), (std::vector<std::string>{"Cloud", "Real"}));
  EXPECT_EQ(Files(*loop), std::vector<std::string>{"f.txt"});
  EXPECT_EQ(tree.CountFolderEntries("C:\\Loop"), loop->FileCount() + loop->ChildCount());

  // Checked on its own, a junction is scanned, but nothing below it is entered again.
  TWLNode* back = tree.AddPath("C:\\Loop\\Back");
  jfs.lists = 0;
  EXPECT_TRUE(back->SelectAll());
  EXPECT_LT(jfs.lists, 5);
  EXPECT_EQ(Children(*back), (std::vector<std::string>{"Cloud", "Real"}));
}

TEST_F(SelectionTreeTest, ListingsInAnyOrderGiveTheSameSortedSelection) {
  // Wine on a Linux disk, FAT and network shares list in no particular order, and a disk that
  // tells case apart can list two names that differ only in case.
  for (const char* n : {"delta", "Alpha", "charlie", "echo", "bravo", "Ärger", "zulu"})
    fs.WriteFile(std::string("C:\\Data\\") + n, n);
  EditedFs mixed(fs);
  mixed.edit = [](std::vector<FindData>& entries) {
    std::reverse(entries.begin(), entries.end());
    FindData twin = entries[2];
    twin.name = "CHARLIE";
    twin.size = 1;
    entries.push_back(twin);
  };
  TWLDesktopNode tree(mixed);
  TWLNode* data = tree.AddPath("C:\\Data");
  data->AddFile("Charlie", 99);  // already there: kept with its size
  data->AddFile("Beta", 5);      // not on disk: kept
  events.clear();
  ASSERT_TRUE(data->SelectAll());
  EXPECT_EQ(Files(*data), (std::vector<std::string>{"Alpha", "Beta", "bravo", "Charlie", "delta",
                                                    "echo", "zulu", "Ärger"}));
  EXPECT_EQ(data->FileSize(3), 99);
  // Each report names the index at which the file now stands.
  ASSERT_EQ(Count('+'), 6);
  for (const Event& e : events)
    EXPECT_EQ("C:\\Data\\" + data->FileName(e.index), e.path);
  for (int i = 0; i < data->FileCount(); ++i) EXPECT_EQ(data->IndexOfFile(data->FileName(i)), i);
}

TEST_F(SelectionTreeTest, ScansLetMessagesRunAndStopWhenTheTreeChangesMeanwhile) {
  for (int i = 0; i < 10; ++i) fs.WriteFile("C:\\Data\\f" + std::to_string(i), "x");
  fs.WriteFile("C:\\Data\\Sub\\s", "x");
  TWLDesktopNode tree(fs);
  tree.Environment().messageInterval = std::chrono::milliseconds(0);
  int calls = 0;
  tree.Environment().processMessages = [&] { ++calls; };
  EXPECT_TRUE(tree.AddPath("C:\\Data")->SelectAll());
  EXPECT_EQ(calls, 12);  // once for every entry

  // With an interval, a fast scan lets messages run rarely.
  tree.Clear();
  calls = 0;
  tree.Environment().messageInterval = std::chrono::milliseconds(10000);
  EXPECT_TRUE(tree.AddPath("C:\\Data")->SelectAll());
  EXPECT_LE(calls, 1);

  // The user unchecks the folder while it is being scanned: the scan ends without touching it.
  tree.Clear();
  tree.Environment().messageInterval = std::chrono::milliseconds(0);
  tree.Environment().processMessages = [&] {
    if (++calls == 3) tree.RemovePath("C:\\Data");
  };
  calls = 0;
  EXPECT_FALSE(tree.AddPath("C:\\Data")->SelectAll());
  EXPECT_EQ(tree.FindNode("C:\\Data"), nullptr);
  EXPECT_EQ(Count('+'), Count('-'));
}

TEST_F(SelectionTreeTest, WalkVisitsRootsInOrderFilesBeforeSubfolders) {
  TWLDesktopNode tree(fs);
  tree.AddPath("D:\\Z")->AddFile("z1", 1);
  tree.AddPath("C:\\B")->AddFile("b1", 1);
  tree.AddPath("D:\\A")->AddFile("a1", 1);
  tree.AddPath("D:")->AddFile("y", 1);
  tree.AddPath("D:")->AddFile("x", 1);
  tree.AddPath("D:\\Z\\Inner")->AddFile("i1", 1);
  tree.FindNode("D:\\Z")->AddFile("z0", 1);

  std::vector<std::string> seen;
  auto folder = [&](const TWLNode& n) { return seen.push_back("[" + n.Path() + "]"), true; };
  auto file = [&](const TWLNode& n, int i) {
    seen.push_back(n.FileName(i));
    return n.FileName(i) != "i1";
  };
  EXPECT_FALSE(WalkSelection(tree, folder, file));  // stopped at i1
  EXPECT_EQ(seen, (std::vector<std::string>{"[D:]", "x", "y", "[D:\\Z]", "z0", "z1",
                                            "[D:\\Z\\Inner]", "i1"}));
  seen.clear();
  EXPECT_TRUE(WalkSelection(tree, folder, nullptr));
  EXPECT_EQ(seen, (std::vector<std::string>{"[D:]", "[D:\\Z]", "[D:\\Z\\Inner]", "[D:\\A]",
                                            "[C:]", "[C:\\B]"}));
}

}  // namespace
}  // namespace tw
