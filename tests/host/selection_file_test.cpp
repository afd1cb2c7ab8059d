// The selection file: its exact bytes, loading against the disk as it is now, hostile names and
// entries that must not be followed.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/memory/MemoryFileSystem.h"
#include "selection/selection.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's count of bytes in use (its header does not come with every compiler).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#define TW_COUNTS_HEAP 1
#endif

namespace tw {
namespace {

const std::string kFile = "C:\\Prog\\Work.TWS";

// What a tree holds that its file must give back: per folder, its whole-folder mark (roots,
// drives and servers, never carry one in the file) and its files with sizes.
using Snapshot = std::map<std::string, std::pair<bool, std::vector<std::pair<std::string, int64_t>>>>;

Snapshot Take(const TWLDesktopNode& tree) {
  Snapshot s;
  WalkSelection(
      tree,
      [&](const TWLNode& n) {
        if (n.FileCount() > 0 || (n.AllSelected() && n.Parent()))
          s[n.Path()].first = n.AllSelected() && n.Parent();
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

TEST_F(SelectionFileTest, EntriesInAnyOrderLoadAsOneSortedBatch) {
  // Inserting names one by one into the sorted list costs O(n^2) for a file out of order; the
  // loader sorts each section once and adds the names in their final order.
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i) names.push_back("f" + std::to_string(1000 + i).append(".txt"));
  fs.WriteFile("C:\\Data\\f1007.txt", "7");
  auto fileOf = [&](const std::vector<std::string>& order, const std::string& more) {
    std::string text = "[C:\\Data]\r\n";
    for (const std::string& n : order) text += n + "=#\r\n";
    return text + more;
  };
  std::vector<std::string> reversed(names.rbegin(), names.rend()), shuffled = names;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
  // The same folder under a second section name, with a name again in other case and new ones.
  const std::string more = "[C:\\Data\\]\r\nF1001.TXT=#\r\nb.txt=#\r\nz.txt=#\r\n";

  TWLDesktopNode sorted(fs);
  fs.WriteFile(kFile, fileOf(names, more));
  ASSERT_EQ(sorted.LoadFromFile(kFile), winerr::Success);
  const Snapshot expected = Take(sorted);
  ASSERT_EQ(expected.at("C:\\Data").second.size(), 302u);
  EXPECT_EQ(expected.at("C:\\Data").second[0].first, "b.txt");
  EXPECT_EQ(expected.at("C:\\Data").second[2].first, "f1001.txt");  // first spelling counts
  EXPECT_EQ(expected.at("C:\\Data").second[8], (std::pair<std::string, int64_t>{"f1007.txt", 1}));

  for (const auto* order : {&reversed, &shuffled}) {
    std::vector<int> added;
    OnFileAdded = [&](TWLNode& node, int index) {
      added.push_back(index);
      // Each name is in place when reported, so a handler sees the list as it will stay.
      EXPECT_LT(index, node.FileCount());
    };
    TWLDesktopNode tree(fs);
    fs.WriteFile(kFile, fileOf(*order, more));
    ASSERT_EQ(tree.LoadFromFile(kFile), winerr::Success);
    EXPECT_EQ(Take(tree), expected);
    // The first section arrives as indexes 0..299; the second merges b.txt and z.txt around it.
    ASSERT_EQ(added.size(), 302u);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(added[i], i) << "file out of order loaded one by one";
    EXPECT_EQ(added[300], 0);
    EXPECT_EQ(added[301], 301);
  }
}

TEST_F(SelectionFileTest, PathsLongerThanWindowsAllowsAreRefusedAndNothingElseIsLost) {
  // 'é' is two bytes but one UTF-16 unit, '😀' four bytes and two units: Windows counts units.
  std::string atLimit = "C:\\";
  while (atLimit.size() < 32000) atLimit += "\xC3\xA9\xF0\x9F\x98\x80\\";  // 4 units a level
  size_t units = 3 + (atLimit.size() - 3) / 7 * 4;
  atLimit.pop_back();
  --units;
  while (units < kMaxSelectionPath) atLimit += 'x', ++units;
  ASSERT_GT(atLimit.size(), kMaxSelectionPath);  // over the limit in bytes, not in units
  const std::string over = atLimit + "y";

  TWLDesktopNode tree(fs);
  TWLNode* full = tree.AddPath(atLimit);
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(full->Path(), atLimit);
  EXPECT_EQ(tree.AddPath(over), nullptr);
  EXPECT_EQ(full->AddFile("f", 1), -1);  // "\\f" would pass the limit
  EXPECT_EQ(full->AddChild("d"), -1);
  EXPECT_EQ(full->Parent()->AddFile("ok", 1), 0);
  EXPECT_FALSE(IsValidSelectionPath(over));

  // On load: a 20,000-level folder, a 32,768-unit one and a file past the limit are left out;
  // everything around them stays.
  std::string deep = "C:";
  for (int i = 0; i < 20000; ++i) deep += "\\a";
  fs.WriteFile("C:\\Data\\keep.txt", "1234");
  const std::string roomFor10 = atLimit.substr(0, atLimit.size() - 10);
  fs.WriteFile(kFile, "[C:\\Data]\r\nkeep.txt=#\r\n[" + deep + "]\r\nlost.txt=#\r\n[" + over +
                          "]\r\nlost.txt=#\r\n[" + roomFor10 +
                          "]\r\nok.txt=#\r\ntoo-long.txt=#\r\n[C:\\]\r\nroot.txt=#\r\n");
  ASSERT_EQ(tree.LoadFromFile(kFile), winerr::Success);
  const Snapshot loaded = Take(tree);  // compared piecewise: printing these paths helps nobody
  EXPECT_EQ(loaded.size(), 3u);
  EXPECT_EQ(loaded.count("C:"), 1u);
  EXPECT_EQ(loaded.at("C:\\Data"), (Snapshot::mapped_type{false, {{"keep.txt", 4}}}));
  EXPECT_TRUE(loaded.count(roomFor10) &&
              loaded.at(roomFor10) == (Snapshot::mapped_type{false, {{"ok.txt", -1}}}));
}

TEST_F(SelectionFileTest, DeepPathsCostMemoryInProportionToTheirDepth) {
  // Each folder used to keep its full path: 16,000 levels took 337 MB.
  auto deepFile = [&](int levels) {
    std::string path = "C:";
    for (int i = 0; i < levels; ++i) path += "\\d";
    fs.WriteFile(kFile, "[C:\\Top]\r\ntop.txt=#\r\n[" + path + "]\r\nbottom.txt=#\r\n");
    return path;
  };
  auto heap = [] {
#ifdef TW_COUNTS_HEAP
    return __sanitizer_get_current_allocated_bytes();
#else
    return size_t{0};
#endif
  };
  const std::string path = deepFile(8000);
  TWLDesktopNode half(fs);
  size_t before = heap();
  ASSERT_EQ(half.LoadFromFile(kFile), winerr::Success);
  const size_t halfCost = heap() - before;

  const std::string deepest = deepFile(16000);
  TWLDesktopNode full(fs);
  before = heap();
  ASSERT_EQ(full.LoadFromFile(kFile), winerr::Success);
  const size_t fullCost = heap() - before;
  TWLNode* bottom = full.FindNode(deepest);
  ASSERT_NE(bottom, nullptr);
  EXPECT_EQ(bottom->Path(), deepest);
  EXPECT_EQ(bottom->FileName(0), "bottom.txt");
  EXPECT_EQ(full.FindNode("C:\\Top")->FileName(0), "top.txt");
  EXPECT_EQ(full.FindNode(path)->ChildCount(), 1);

  // The file saves back as it was read.
  const std::string read = Saved();
  ASSERT_EQ(full.SaveToFile(kFile), winerr::Success);
  EXPECT_EQ(Saved(), read);

  // Twice the depth, about twice the memory, and little of it per level. Memory is counted
  // only under AddressSanitizer (the host tree), not in the Windows tree.
#ifdef TW_COUNTS_HEAP
  EXPECT_LT(fullCost, 3 * halfCost) << halfCost << " then " << fullCost;
  EXPECT_LT(fullCost, 16000u * 1024) << fullCost;
#else
  (void)halfCost, (void)fullCost;
#endif
}

TEST_F(SelectionFileTest, AServerSelectedWholeKeepsWhatIsSelectedBelowIt) {
  fs.WriteFile("\\\\srv\\share\\Docs\\a.txt", "1");
  fs.WriteFile("\\\\srv\\share\\Whole\\w.txt", "22");
  TWLDesktopNode tree(fs);
  TWLNode* server = tree.AddPath("\\\\srv");
  ASSERT_TRUE(server->SelectAll());  // a server cannot be listed: whole, with nothing found
  ASSERT_TRUE(server->AllSelected());
  tree.AddPath("\\\\srv\\share\\Docs")->AddFile("a.txt", -1);
  ASSERT_TRUE(tree.AddPath("\\\\srv\\share\\Whole")->SelectAll());
  ASSERT_EQ(tree.SaveToFile(kFile), winerr::Success);
  EXPECT_EQ(Saved(),
            "[\\\\srv\\share\\Docs]\r\na.txt=#\r\n[\\\\srv\\share\\Whole]\r\n**ALL**=#\r\n");

  TWLDesktopNode back(fs);
  ASSERT_EQ(back.LoadFromFile(kFile), winerr::Success);
  EXPECT_EQ(Take(back), Take(tree));
  EXPECT_EQ(Take(back), (Snapshot{
                            {"\\\\srv\\share\\Docs", {false, {{"a.txt", 1}}}},
                            {"\\\\srv\\share\\Whole", {true, {{"w.txt", 2}}}},
                        }));
}

}  // namespace
}  // namespace tw
