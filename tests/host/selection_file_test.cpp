// The selection file: its exact bytes, loading against the disk as it is now, hostile names and
// entries that must not be followed.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/memory/MemoryFileSystem.h"
#include "selection/selection.h"

namespace tw {
namespace {

const std::string kFile = "C:\\Prog\\Work.TWS";

// What a tree holds that its file must give back: per folder, its whole-folder mark (drive
// roots never carry one in the file) and its files with sizes.
using Snapshot = std::map<std::string, std::pair<bool, std::vector<std::pair<std::string, int64_t>>>>;

Snapshot Take(const TWLDesktopNode& tree) {
  Snapshot s;
  WalkSelection(
      tree,
      [&](const TWLNode& n) {
        if (n.FileCount() > 0 || (n.AllSelected() && n.Path().size() > 2))
          s[n.Path()].first = n.AllSelected() && n.Path().size() > 2;
        return true;
      },
      [&](const TWLNode& n, int i) {
        s[n.Path()].second.emplace_back(n.FileName(i), n.FileSize(i));
        return true;
      });
  return s;
}

class SelectionFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.AddDrive("\\\\srv\\share", DriveType::Remote);
    fs.MakeDirs("C:\\Prog");
  }
  void TearDown() override {
    OnFileAdded = nullptr;
    OnFileRemoved = nullptr;
  }
  std::string Saved() { return fs.Contents(kFile).value_or("<none>"); }

  MemoryFileSystem fs;
};

TEST_F(SelectionFileTest, WholeFoldersAreOneMarkerAndComeBackAsTheDiskIsNow) {
  fs.WriteFile("C:\\a.txt", "1");
  fs.WriteFile("C:\\b.txt", "22");
  fs.WriteFile("C:\\Data\\x.txt", "333");
  fs.WriteFile("C:\\Data\\Sub\\y.txt", "4444");
  TWLDesktopNode tree(fs);
  tree.AddPath("C:")->AddFile("b.txt", -1);
  tree.AddPath("C:\\")->AddFile("a.txt", -1);
  ASSERT_TRUE(tree.AddPath("C:\\Data")->SelectAll());
  fs.WriteFile(kFile, "[Old]\r\nstale=#\r\n");

  ASSERT_EQ(tree.SaveToFile(kFile), winerr::Success);
  EXPECT_EQ(Saved(), "[C:\\]\r\na.txt=#\r\nb.txt=#\r\n[C:\\Data]\r\n**ALL**=#\r\n");

  // Meanwhile on disk: one selected file is deleted, the whole folder gains a file.
  fs.Remove("C:\\b.txt");
  fs.WriteFile("C:\\Data\\Sub\\new.txt", "55555");
  int removed = 0, added = 0;
  OnFileRemoved = [&](TWLNode&, int) { ++removed; };
  OnFileAdded = [&](TWLNode&, int) { ++added; };
  ASSERT_EQ(tree.LoadFromFile(kFile), winerr::Success);
  EXPECT_EQ(removed, 4);  // the old contents left first
  EXPECT_EQ(added, 5);
  EXPECT_EQ(Take(tree), (Snapshot{
                            {"C:", {false, {{"a.txt", 1}, {"b.txt", -1}}}},
                            {"C:\\Data", {true, {{"x.txt", 3}}}},
                            {"C:\\Data\\Sub", {true, {{"new.txt", 5}, {"y.txt", 4}}}},
                        }));

  // A missing file gives an empty tree; one that cannot be read says so.
  EXPECT_EQ(tree.LoadFromFile("C:\\Prog\\None.TWS"), winerr::Success);
  EXPECT_EQ(tree.RootCount(), 0);
  fs.AddFault({FsOp::ReadAll, kFile});
  EXPECT_EQ(tree.LoadFromFile(kFile), winerr::AccessDenied);
  EXPECT_EQ(tree.RootCount(), 0);
}

TEST_F(SelectionFileTest, FailedSaveKeepsTheOldFile) {
  fs.WriteFile(kFile, "[C:\\]\r\nkeep.txt=#\r\n");
  TWLDesktopNode tree(fs);
  tree.AddPath("C:")->AddFile("new.txt", 1);
  fs.AddFault({FsOp::Write, kFile, PathMatch::Exact, winerr::DiskFull, 0, 1, 10});
  EXPECT_EQ(tree.SaveToFile(kFile), winerr::DiskFull);
  EXPECT_EQ(Saved(), "[C:\\]\r\nkeep.txt=#\r\n");
  EXPECT_EQ(tree.SaveToFile(kFile), winerr::Success);
  EXPECT_EQ(Saved(), "[C:\\]\r\nnew.txt=#\r\n");
}

TEST_F(SelectionFileTest, EntriesThatLeadOutsideTheirPlaceAreIgnored) {
  fs.WriteFile("C:\\Data\\ok.txt", "12");
  fs.WriteFile("C:\\Windows\\win.ini", "x");
  fs.WriteFile("C:\\Whole\\w.txt", "w");
  fs.WriteFile(kFile,
               "[C:\\Data\\..\\Windows]\r\n**ALL**=#\r\n"
               "[Data]\r\nrel.txt=#\r\n"
               "[C:Data]\r\nrel2.txt=#\r\n"
               "[C:\\Data\\\\x]\r\ne.txt=#\r\n"
               "[\\\\]\r\nnoserver=#\r\n"
               "[*C:\\%ZZ]\r\nbadescape=#\r\n"
               "[C:\\Data\\]\r\n"  // the form the context menu writes for single files
               "ok.txt=#\r\n..\\..\\Windows\\win.ini=#\r\n..=#\r\nsub\\x.txt=#\r\n/x=#\r\n"
               "*%4=#\r\n*..=#\r\nC:x=#\r\n"
               "[C:\\Whole]\r\n**all**=#\r\n");
  TWLDesktopNode tree(fs);
  ASSERT_EQ(tree.LoadFromFile(kFile), winerr::Success);
  EXPECT_EQ(Take(tree), (Snapshot{
                            {"C:\\Data", {false, {{"ok.txt", 2}}}},
                            {"C:\\Whole", {true, {{"w.txt", 1}}}},
                        }));
  EXPECT_EQ(tree.FindNode("C:\\Windows"), nullptr);
}

TEST_F(SelectionFileTest, FilesOfAnOlderWriterWithEqualsSignsStillLoad) {
  // A writer without the escape put "a=b.txt" as a plain key; the reader splits it at the first
  // '=', but the line still ends in "=#".
  fs.WriteFile("C:\\D\\a=b.txt", "123");
  fs.WriteFile(kFile, "[C:\\D]\r\na=b.txt=#\r\nnot-ours=1\r\n");
  TWLDesktopNode tree(fs);
  ASSERT_EQ(tree.LoadFromFile(kFile), winerr::Success);
  EXPECT_EQ(Take(tree), (Snapshot{{"C:\\D", {false, {{"a=b.txt", 3}}}}}));
}

TEST_F(SelectionFileTest, RootsDifferingOnlyInCaseShareTheirSectionsWithoutLoss) {
  fs.WriteFile("C:\\Data\\one", "1");
  fs.WriteFile("C:\\Data\\two", "22");
  TWLDesktopNode tree(fs);
  tree.AddPath("C:\\Data")->AddFile("one", -1);
  tree.AddPath("c:\\Data")->AddFile("two", -1);
  ASSERT_EQ(tree.RootCount(), 2);
  ASSERT_EQ(tree.SaveToFile(kFile), winerr::Success);
  TWLDesktopNode back(fs);
  ASSERT_EQ(back.LoadFromFile(kFile), winerr::Success);
  EXPECT_EQ(Take(back), (Snapshot{{"C:\\Data", {false, {{"one", 1}, {"two", 2}}}}}));
}

TEST_F(SelectionFileTest, LargeFoldersTakeTheirSizesFromOneListing) {
  TWLDesktopNode tree(fs);
  TWLNode* n = tree.AddPath("C:\\Many");
  for (int i = 0; i < 40; ++i) {
    std::string name = "file" + std::to_string(i);
    if (i % 4) fs.WriteFile("C:\\Many\\" + name, std::string(i, 'x'));
    n->AddFile(name, i % 4 ? i : -1);
  }
  ASSERT_EQ(tree.SaveToFile(kFile), winerr::Success);
  Snapshot before = Take(tree);
  fs.ClearCalls();
  ASSERT_EQ(tree.LoadFromFile(kFile), winerr::Success);
  EXPECT_EQ(Take(tree), before);
  EXPECT_EQ(fs.CallCount(FsOp::Stat), 0);
  EXPECT_EQ(fs.CallCount(FsOp::List), 1);
}

// Names a line cannot carry as they are, and names that merely look unusual.
const std::vector<std::string> kPieces = {
    "plain", "a=b", ";semi", "[br]", "x]", " lead", "trail ", "Ärger", "日本語", "%41", "#hash",
    "100%", "dots.", "=", "[", "]", ";", "Привет", "a=#", "ALL", "  ", "%", "x y", "ñ"};

std::string RandomName(std::mt19937& rng, int serial) {
  std::uniform_int_distribution<size_t> piece(0, kPieces.size() - 1);
  std::string name = kPieces[piece(rng)];
  if (rng() % 2) name += std::to_string(serial);
  if (rng() % 3 == 0) name = kPieces[piece(rng)] + name;
  return name;
}

void Grow(MemoryFileSystem& fs, std::mt19937& rng, const std::string& folder, int depth,
          int& serial, std::vector<std::string>& folders) {
  folders.push_back(folder);
  int files = static_cast<int>(rng() % 6);
  for (int i = 0; i < files; ++i)
    fs.WriteFile(folder + "\\" + RandomName(rng, serial++), std::string(rng() % 50, 'd'));
  if (depth == 0) return;
  int subs = static_cast<int>(rng() % 4);
  for (int i = 0; i < subs; ++i) {
    std::string name = std::to_string(serial++) + "d";
    name += RandomName(rng, serial++);
    fs.MakeDirs(folder + "\\" + name);
    Grow(fs, rng, folder + "\\" + name, depth - 1, serial, folders);
  }
}

TEST_F(SelectionFileTest, GeneratedTreesWithHostileNamesRoundTrip) {
  for (unsigned seed = 1; seed <= 25; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    MemoryFileSystem disk;
    disk.AddDrive("C:", DriveType::Fixed);
    disk.AddDrive("\\\\srv\\share", DriveType::Remote);
    disk.AddDrive("P:", DriveType::Fixed);  // the file must not lie in a folder it selects
    const std::string file = "P:\\Work.TWS";
    std::mt19937 rng(seed);
    int serial = 0;
    std::vector<std::string> folders;
    Grow(disk, rng, "C:", 3, serial, folders);
    Grow(disk, rng, "\\\\srv\\share", 2, serial, folders);

    TWLDesktopNode tree(disk);
    for (const std::string& folder : folders) {
      unsigned pick = rng() % 10;
      TWLNode* known = tree.FindNode(folder);
      if (known && known->AllSelected()) continue;  // extra names would not survive a rescan
      if (pick < 2) {
        ASSERT_TRUE(tree.AddPath(folder)->SelectAll());
      } else if (pick < 6) {
        std::vector<FindData> entries;
        ASSERT_EQ(disk.List(folder + "\\", entries), winerr::Success) << folder;
        for (const FindData& e : entries)
          if (!e.IsDirectory() && rng() % 2) tree.AddPath(folder)->AddFile(e.name, -1);
        if (pick == 5) tree.AddPath(folder)->AddFile(RandomName(rng, serial++) + "-gone", -1);
      }
    }
    ASSERT_EQ(tree.SaveToFile(file), winerr::Success);

    // Every line is a section, the marker, a plain name or an escaped one.
    std::string bytes = *disk.Contents(file);
    for (size_t at = 0; at < bytes.size();) {
      size_t end = bytes.find("\r\n", at);
      ASSERT_NE(end, std::string::npos);
      std::string line = bytes.substr(at, end - at);
      at = end + 2;
      if (line.front() == '[') continue;
      ASSERT_GE(line.size(), 3u);
      ASSERT_EQ(line.substr(line.size() - 2), "=#") << line;
      std::string key = line.substr(0, line.size() - 2), name;
      if (key == "**ALL**") continue;
      ASSERT_TRUE(DecodeSelectionText(key, name)) << line;
      EXPECT_TRUE(IsValidSelectionName(name)) << line;
      EXPECT_EQ(key.front() == '*', key != name) << line;
      EXPECT_EQ(key.find_first_of("=;[]"), std::string::npos) << line;
      EXPECT_NE(key.back(), ' ') << line;
    }

    TWLDesktopNode back(disk);
    ASSERT_EQ(back.LoadFromFile(file), winerr::Success);
    EXPECT_EQ(Take(back), Take(tree));
  }
}

TEST_F(SelectionFileTest, PlainNamesStayPlainAndHostileOnesAreEscaped) {
  EXPECT_EQ(EncodeSelectionText("notes.txt"), "notes.txt");
  EXPECT_EQ(EncodeSelectionText("Ärger 100%.txt"), "Ärger 100%.txt");
  EXPECT_EQ(EncodeSelectionText("C:\\Data\\sub"), "C:\\Data\\sub");
  EXPECT_EQ(EncodeSelectionText("a=b.txt"), "*a%3Db.txt");
  EXPECT_EQ(EncodeSelectionText(" x%y "), "*%20x%25y%20");
  EXPECT_EQ(EncodeSelectionText("C:\\a]b"), "*C:\\a%5Db");
  std::string out;
  EXPECT_TRUE(DecodeSelectionText("*%3b%5B", out));
  EXPECT_EQ(out, ";[");
  for (const char* bad : {"*%", "*%4", "*%G0", "*ab%"}) EXPECT_FALSE(DecodeSelectionText(bad, out)) << bad;
}

}  // namespace
}  // namespace tw
