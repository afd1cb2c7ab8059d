// Find files: masks, the folders searched, the walk and the texts of the result list.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "engine/find.h"
#include "platform/memory/MemoryFileSystem.h"

namespace tw {
namespace {

using find::SplitList;
using Strings = std::vector<std::string>;

constexpr FileTime kDay = 864000000000ULL;
constexpr FileTime kNow = MemoryFileSystem::kDefaultTime + 400 * kDay;

struct Collect : find::IFindSink {
  Strings found;
  std::function<void()> onFound;
  void Found(const std::string& folder, const FindData& file) override {
    found.push_back(folder + file.name);
    if (onFound) onFound();
  }
};

// Lists folder "C:\Tree\loop\" as "C:\Tree\" (a directory symbolic link to its parent, as Wine
// lists one: a directory with the reparse attribute), and ends a walk that follows it.
class LoopFileSystem : public MemoryFileSystem {
 public:
  int lists = 0;
  WinError ListEach(const std::string& folder, const ListCallback& each) override {
    if (++lists > 100) return winerr::AccessDenied;
    std::string target = folder;
    for (size_t at; (at = target.find("\\loop\\")) != std::string::npos;) target.replace(at, 6, "\\");
    return MemoryFileSystem::ListEach(target, [&](const FindData& d) {
      FindData copy = d;
      if (d.name == "loop") {
        copy.attributes |= fileattr::ReparsePoint;
        copy.reparseTag = FindData::kReparseTagSymlink;
      }
      return each(copy);
    });
  }
};

class FindTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.AddDrive("D:", DriveType::Fixed);
  }
  Strings Walk(const std::string& start, Strings masks, bool subfolders = true,
               FileTime minTime = 0) {
    Collect sink;
    std::atomic<bool> stop{false};
    find::SearchWalk(fs, start, {std::move(masks), subfolders, minTime}, stop, sink);
    return sink.found;
  }
  LoopFileSystem fs;
};

TEST(FindTextTest, SplitsAtSemicolonsKeepingPiecesAsTheyStand) {
  EXPECT_EQ(SplitList("*.txt;*.doc"), (Strings{"*.txt", "*.doc"}));
  EXPECT_EQ(SplitList(" *.txt ; a"), (Strings{" *.txt ", " a"}));
  EXPECT_EQ(SplitList("a;;b;"), (Strings{"a", "", "b"}));
  EXPECT_EQ(SplitList(";"), (Strings{""}));
  EXPECT_EQ(SplitList(""), Strings{});
}

TEST(FindTextTest, MasksMatchWholeNamesCaseFoldedOneCodePointPerQuestionMark) {
  EXPECT_TRUE(find::MatchesMask("Report.TXT", "*.txt"));
  EXPECT_FALSE(find::MatchesMask("Report.txt.bak", "*.txt"));
  EXPECT_TRUE(find::MatchesMask("abc", "a?c"));
  EXPECT_FALSE(find::MatchesMask("ac", "a?c"));
  EXPECT_FALSE(find::MatchesMask("abbc", "a?c"));
  EXPECT_TRUE(find::MatchesMask("abc", "a*b*c*"));
  EXPECT_TRUE(find::MatchesMask("", "*"));
  EXPECT_FALSE(find::MatchesMask("a", ""));
  // Non-ASCII: one "?" for a letter of two or three bytes; case folded beyond ASCII.
  EXPECT_TRUE(find::MatchesMask("Ärger.txt", "?rger.txt"));
  EXPECT_TRUE(find::MatchesMask("ärger.TXT", "ÄRGER.txt"));
  EXPECT_TRUE(find::MatchesMask("\xE2\x82\xAC.txt", "?.txt"));  // the euro sign
  EXPECT_FALSE(find::MatchesMask("\xE2\x82\xAC.txt", "???.txt"));
  EXPECT_TRUE(find::MatchesMask("Привет", "п?ивет"));
  // A byte that is not UTF-8 is one character of its own.
  EXPECT_TRUE(find::MatchesMask("a\xFF" "b", "a?b"));
  // Many stars against a long name that nearly fits: must end at once, not backtrack for ages.
  const std::string name(250, 'a');
  EXPECT_FALSE(find::MatchesMask(name, "*a*a*a*a*a*a*a*a*b"));
  EXPECT_TRUE(find::MatchesMask(name + "b", "*a*a*a*a*a*a*a*a*b"));
}

TEST(FindTextTest, SizeTextInWholeKilobytesUpToManyGigabytes) {
  EXPECT_EQ(find::SizeText(0), "1 KB");
  EXPECT_EQ(find::SizeText(1023), "1 KB");
  EXPECT_EQ(find::SizeText(2047), "1 KB");
  EXPECT_EQ(find::SizeText(2048), "2 KB");
  EXPECT_EQ(find::SizeText(5ULL << 30), "5242880 KB");
}

TEST(FindTextTest, DaysAreWholeNumbersFromZeroToAThousand) {
  EXPECT_EQ(find::ParseDays("0"), 0);
  EXPECT_EQ(find::ParseDays(" 1000 "), 1000);
  EXPECT_EQ(find::ParseDays(""), 0);
  for (const char* bad : {"1001", "-1", "1.5", "abc", "99999999999999999999"})
    EXPECT_FALSE(find::ParseDays(bad).has_value()) << bad;
  EXPECT_EQ(find::MinTimeForDays(kNow, 0), 0u);
  EXPECT_EQ(find::MinTimeForDays(kNow, 1), kNow - kDay);
  EXPECT_GT(find::MinTimeForDays(5, 1000), 0u);  // a clock near its start still filters
}

TEST(FindTextTest, SearchFoldersSkipsBlankAndRelativePiecesAndNamesEachFolderOnce) {
  auto folders = [](Strings pieces, bool sub = true) { return find::SearchFolders(pieces, sub); };
  // "C:\;;D:\" must not search the current drive's root for the empty piece.
  EXPECT_EQ(folders(SplitList("C:\\;;D:\\")), (Strings{"C:\\", "D:\\"}));
  EXPECT_EQ(folders({"c:\\data", " d: ", "Data", "\\Data", "c:data", "C:\\a\\..\\b", "", "  "}),
            (Strings{"C:\\data\\", "D:\\"}));
  EXPECT_EQ(folders({"\\\\srv\\share\\x", "\\\\", "c:/Users/"}),
            (Strings{"\\\\srv\\share\\x\\", "C:\\Users\\"}));
  // Named twice (case ignored), or inside another searched with its subfolders: once.
  EXPECT_EQ(folders({"C:\\Data", "c:\\DATA\\", "C:\\Data\\Sub", "D:\\x"}),
            (Strings{"C:\\Data\\", "D:\\x\\"}));
  EXPECT_EQ(folders({"C:\\Data\\Sub", "D:\\x", "C:\\Data"}), (Strings{"D:\\x\\", "C:\\Data\\"}));
  EXPECT_EQ(folders({"C:\\Data", "C:\\DataMore"}), (Strings{"C:\\Data\\", "C:\\DataMore\\"}));
  // Without subfolders both are searched.
  EXPECT_EQ(folders({"C:\\Data", "C:\\Data\\Sub", "c:\\data"}, false),
            (Strings{"C:\\Data\\", "C:\\Data\\Sub\\"}));
}

TEST_F(FindTest, ListEachHandsEntriesOverUntilTheCallerStopsAndFailsAsListDoes) {
  for (const char* n : {"a", "b", "c"}) fs.WriteFile(std::string("C:\\L\\") + n, "");
  Strings seen;
  EXPECT_EQ(fs.MemoryFileSystem::ListEach("C:\\L", [&](const FindData& d) {
    seen.push_back(d.name);
    return seen.size() < 2;
  }), winerr::Success);
  EXPECT_EQ(seen, (Strings{"a", "b"}));
  fs.AddFault({FsOp::List, "C:\\L", PathMatch::Exact, winerr::AccessDenied});
  seen.clear();
  EXPECT_EQ(fs.MemoryFileSystem::ListEach("C:\\L", [&](const FindData& d) {
    seen.push_back(d.name);
    return true;
  }), winerr::AccessDenied);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(fs.MemoryFileSystem::ListEach("C:\\None", [](const FindData&) { return true; }),
            winerr::PathNotFound);
}

TEST_F(FindTest, WalkListsEachMatchingFileOnceFolderFilesFirstAndPassesOverBadFolders) {
  fs.WriteFile("C:\\Tree\\a.txt", "");
  fs.WriteFile("C:\\Tree\\b.doc", "");
  fs.WriteFile("C:\\Tree\\Sub\\c.TXT", "");
  fs.WriteFile("C:\\Tree\\Sub\\Deep\\d.txt", "");
  fs.WriteFile("C:\\Tree\\Bad\\e.txt", "");
  fs.WriteFile("C:\\Tree\\Good\\f.txt", "");
  fs.WriteFile("C:\\Tree\\Hidden.txt", "", fileattr::Hidden | fileattr::System);
  fs.MakeDirs("C:\\Tree\\folder.txt");  // a folder never matches
  fs.AddFault({FsOp::List, "C:\\Tree\\Bad\\", PathMatch::Exact, winerr::AccessDenied, 0,
               FsFault::kAlways});
  // A file fitting two masks comes once; an unreadable folder leaves its neighbours alone.
  EXPECT_EQ(Walk("C:\\Tree", {"*.txt", "?.TXT", "a*"}),
            (Strings{"C:\\Tree\\a.txt", "C:\\Tree\\Hidden.txt", "C:\\Tree\\Good\\f.txt",
                     "C:\\Tree\\Sub\\c.TXT", "C:\\Tree\\Sub\\Deep\\d.txt"}));
  EXPECT_EQ(Walk("C:\\Tree\\", {"*.doc"}, false), (Strings{"C:\\Tree\\b.doc"}));
  EXPECT_EQ(Walk("C:\\Tree\\Bad", {"*"}), Strings{});
  // "", "*" and "*.*" take every file, also one without a dot.
  fs.WriteFile("C:\\Plain\\README", "");
  EXPECT_EQ(Walk("C:\\Plain", {"*.txt", "*.*"}), Strings{"C:\\Plain\\README"});
  EXPECT_EQ(Walk("C:\\Plain", {""}), Strings{"C:\\Plain\\README"});
  EXPECT_EQ(Walk("C:\\Plain", {"*.txt"}), Strings{});
  EXPECT_EQ(Walk("C:\\Nowhere", {"*"}), Strings{});
}

TEST_F(FindTest, WalkNeverEntersALinkSoALoopEnds) {
  fs.WriteFile("C:\\Tree\\a.txt", "");
  fs.MakeDirs("C:\\Tree\\loop");
  EXPECT_EQ(Walk("C:\\Tree", {"*.*"}), (Strings{"C:\\Tree\\a.txt"}));
  EXPECT_LT(fs.lists, 5);
}

TEST_F(FindTest, ChangedInLastDaysKeepsFilesWrittenSinceThen) {
  fs.WriteFile("C:\\T\\old.txt", "", fileattr::Archive, kNow - kDay - 1);
  fs.WriteFile("C:\\T\\new.txt", "", fileattr::Archive, kNow - kDay + 1);
  fs.WriteFile("C:\\T\\zero.txt", "", fileattr::Archive, 0);
  EXPECT_EQ(Walk("C:\\T", {"*"}, true, find::MinTimeForDays(kNow, 0)),
            (Strings{"C:\\T\\new.txt", "C:\\T\\old.txt", "C:\\T\\zero.txt"}));
  EXPECT_EQ(Walk("C:\\T", {"*"}, true, find::MinTimeForDays(kNow, 1)), (Strings{"C:\\T\\new.txt"}));
}

TEST_F(FindTest, StopEndsTheWalkAtTheNextEntry) {
  for (int i = 0; i < 50; ++i) fs.WriteFile("C:\\S\\f" + std::to_string(100 + i), "");
  for (int i = 0; i < 5; ++i) fs.WriteFile("C:\\S\\Sub" + std::to_string(i) + "\\x", "");
  Collect sink;
  std::atomic<bool> stop{false};
  sink.onFound = [&] { stop = true; };
  find::SearchWalk(fs, "C:\\S", {{"*"}, true, 0}, stop, sink);
  EXPECT_EQ(sink.found, Strings{"C:\\S\\f100"});
  EXPECT_EQ(fs.lists, 1);
}

TEST_F(FindTest, AddPutsRowsIntoTheFoldersNodesUnderTheRootAlreadyThere) {
  TWLDesktopNode selection(fs);
  selection.AddPath("C:\\Data");
  find::TFoundFileAdder adder(selection);
  // The folder as searched: the drive letter upper-cased, so the root C: is found.
  const std::string folder = find::SearchFolders({"c:\\data"}, true).at(0);
  EXPECT_TRUE(adder.Add(folder, "b.txt", 5ULL << 30));
  EXPECT_TRUE(adder.Add(folder, "a.txt", 0));
  EXPECT_TRUE(adder.Add("C:\\Data\\New\\", "c.txt", 7));
  EXPECT_TRUE(adder.Add("D:\\", "r.txt", 3));
  EXPECT_FALSE(adder.Add("C:\\Data\\", "bad|name", 1));
  ASSERT_EQ(selection.RootCount(), 2);
  TWLNode* data = selection.FindNode("C:\\Data");
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(data->FileCount(), 2);
  EXPECT_EQ(data->FileName(0), "a.txt");
  EXPECT_EQ(data->FileSize(1), int64_t(5) << 30);
  ASSERT_NE(selection.FindNode("C:\\Data\\New"), nullptr);
  EXPECT_EQ(selection.FindNode("C:\\Data\\New")->FileSize(0), 7);
  ASSERT_NE(selection.FindNode("D:"), nullptr);
  EXPECT_EQ(selection.FindNode("D:")->FileName(0), "r.txt");
}

}  // namespace
}  // namespace tw
