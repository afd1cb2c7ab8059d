// Profile (INI) files: the format the Windows profile functions read and write, over the
// in-memory file system.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ProfileFile.h"
#include "platform/memory/MemoryFileSystem.h"

namespace tw {
namespace {

using Entries = std::vector<TProfileEntry>;

class ProfileFileTest : public ::testing::Test {
 protected:
  void SetUp() override { fs.AddDrive("C:", DriveType::Fixed); }
  MemoryFileSystem fs;
  const std::string path = "C:\\Prog\\Work.TWS";
};

TEST_F(ProfileFileTest, WritesSectionsAndKeysWithCrLfAndReadsThemBack) {
  fs.MakeDirs("C:\\Prog");
  TProfileFile ini(fs, path);
  ASSERT_EQ(ini.Load(), winerr::Success);  // missing file: empty
  EXPECT_TRUE(ini.SectionNames().empty());
  ASSERT_EQ(ini.WriteString("C:\\Data", "a.txt", "#"), winerr::Success);
  ASSERT_EQ(ini.WriteString("C:\\Data", "b.txt", "#"), winerr::Success);
  ASSERT_EQ(ini.WriteString("C:\\", "boot.ini", "#"), winerr::Success);
  ASSERT_EQ(ini.WriteString("C:\\Data", "Ärger ñ.doc", "#"), winerr::Success);
  EXPECT_TRUE(ini.Modified());
  ASSERT_EQ(ini.Save(), winerr::Success);
  EXPECT_FALSE(ini.Modified());
  EXPECT_EQ(fs.Contents(path),
            "[C:\\Data]\r\na.txt=#\r\nb.txt=#\r\nÄrger ñ.doc=#\r\n[C:\\]\r\nboot.ini=#\r\n");

  TProfileFile again(fs, path);
  ASSERT_EQ(again.Load(), winerr::Success);
  EXPECT_EQ(again.SectionNames(), (std::vector<std::string>{"C:\\Data", "C:\\"}));
  EXPECT_EQ(again.ReadSection("C:\\Data"),
            (Entries{{"a.txt", "#"}, {"b.txt", "#"}, {"Ärger ñ.doc", "#"}}));
  EXPECT_EQ(again.ReadString("C:\\", "boot.ini", "none"), "#");
  EXPECT_EQ(again.ReadString("C:\\", "missing", "none"), "none");
  EXPECT_EQ(again.ReadString("D:\\", "boot.ini", "none"), "none");
  EXPECT_EQ(again.Serialize(), *fs.Contents(path));
}

TEST_F(ProfileFileTest, ReadsTheFileOncePerLoad) {
  fs.WriteFile(path, "[S]\r\nk=v\r\n");
  TProfileFile ini(fs, path);
  fs.ClearCalls();
  ASSERT_EQ(ini.Load(), winerr::Success);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(ini.ReadString("S", "k", ""), "v");
  ini.ReadSection("S");
  ini.SectionNames();
  EXPECT_EQ(fs.CallCount(FsOp::Any), 1);
  EXPECT_EQ(fs.CallCount(FsOp::ReadAll, path), 1);
}

TEST_F(ProfileFileTest, SectionAndKeyNamesIgnoreCaseIncludingNonAsciiLetters) {
  TProfileFile ini(fs, path);
  ini.WriteString("Tidewell Volume", "Data", "C:");
  ini.WriteString("TIDEWELL VOLUME", "DATA", "D:");     // same section, same key
  ini.WriteString("tidewell volume", "Ärger", "E:");
  ini.WriteString("Tidewell Volume", "ÄRGER", "F:");    // Latin-1
  ini.WriteString("Tidewell Volume", "Σοφία", "G:");
  ini.WriteString("Tidewell Volume", "ΣΟΦΊΑ", "H:");    // Greek with accent
  ini.WriteString("Tidewell Volume", "Жук", "I:");
  ini.WriteString("Tidewell Volume", "ЖУК", "J:");      // Cyrillic
  ini.WriteString("Tidewell Volume", "Łódź", "K:");
  ini.WriteString("Tidewell Volume", "ŁÓDŹ", "L:");     // Latin Extended-A
  EXPECT_EQ(ini.SectionNames(), std::vector<std::string>{"Tidewell Volume"});
  EXPECT_EQ(ini.ReadSection("tIDEWELL vOLUME"),
            (Entries{{"Data", "D:"}, {"Ärger", "F:"}, {"Σοφία", "H:"}, {"Жук", "J:"},
                     {"Łódź", "L:"}}));
  EXPECT_TRUE(ini.HasKey("TIDEWELL volume", "data"));
  // Letters that merely look alike stay different keys.
  EXPECT_FALSE(ini.HasKey("Tidewell Volume", "Arger"));
  EXPECT_EQ(TProfileFile::FoldName("straße ÿ ς"), TProfileFile::FoldName("STRAßE Ÿ Σ"));
}

TEST_F(ProfileFileTest, ReplacingAKeyKeepsItsPlaceAndSpellingAndDeletingRemovesOnlyIt) {
  TProfileFile ini(fs, path);
  ini.WriteString("S", "One", "1");
  ini.WriteString("S", "Two", "2");
  ini.WriteString("S", "Three", "3");
  ini.WriteString("T", "x", "y");
  ini.WriteString("s", "TWO", "22");
  EXPECT_EQ(ini.ReadSection("S"), (Entries{{"One", "1"}, {"Two", "22"}, {"Three", "3"}}));

  EXPECT_TRUE(ini.DeleteKey("S", "one"));
  EXPECT_FALSE(ini.DeleteKey("S", "one"));
  EXPECT_FALSE(ini.DeleteKey("Missing", "one"));
  ini.WriteString("S", "One", "back");  // a key written again goes to the end
  EXPECT_EQ(ini.ReadSection("S"), (Entries{{"Two", "22"}, {"Three", "3"}, {"One", "back"}}));

  EXPECT_TRUE(ini.EraseSection("s"));
  EXPECT_FALSE(ini.EraseSection("S"));
  EXPECT_FALSE(ini.HasSection("S"));
  EXPECT_EQ(ini.ReadString("S", "Two", "gone"), "gone");
  EXPECT_EQ(ini.Serialize(), "[T]\r\nx=y\r\n");
  ini.WriteString("S", "new", "#");  // an erased section comes back at the end, empty
  EXPECT_EQ(ini.Serialize(), "[T]\r\nx=y\r\n[S]\r\nnew=#\r\n");
}

TEST_F(ProfileFileTest, ReadsFilesWrittenByWindowsOrByHand) {
  fs.WriteFile(path,
               "\xEF\xBB\xBF; written by hand\n"
               "[ Tidewell Volume ]\n"
               "  Volume File  =  #  \n"
               "\tData\t=\tC:\r\n"
               "; a comment = not a key\n"
               "\n"
               "line without equals\n"
               "Data = D:\n"   // a second Data: the first answers
               "[C:\\a]b]\n"   // the last ']' closes the name
               "x.txt=#");     // no line break at the end
  TProfileFile ini(fs, path);
  ASSERT_EQ(ini.Load(), winerr::Success);
  EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"Tidewell Volume", "C:\\a]b"}));
  EXPECT_EQ(ini.ReadString("Tidewell Volume", "Volume File", ""), "#");
  EXPECT_EQ(ini.ReadString("Tidewell Volume", "data", ""), "C:");
  EXPECT_EQ(ini.ReadSection("Tidewell Volume"),
            (Entries{{"Volume File", "#"}, {"Data", "C:"}, {"Data", "D:"}}));
  EXPECT_EQ(ini.ReadString("C:\\A]B", "X.TXT", ""), "#");
  EXPECT_FALSE(ini.HasKey("Tidewell Volume", "; a comment"));

  // Deleting the first Data lets the second one answer, as the profile functions would.
  EXPECT_TRUE(ini.DeleteKey("Tidewell Volume", "Data"));
  EXPECT_EQ(ini.ReadString("Tidewell Volume", "Data", ""), "D:");

  // Comments, blank lines and lines that are no entries survive a save; entries come out tidy.
  ASSERT_EQ(ini.Save(), winerr::Success);
  EXPECT_EQ(fs.Contents(path),
            "\xEF\xBB\xBF; written by hand\r\n"
            "[Tidewell Volume]\r\n"
            "Volume File=#\r\n"
            "; a comment = not a key\r\n"
            "\r\n"
            "line without equals\r\n"
            "Data=D:\r\n"
            "[C:\\a]b]\r\n"
            "x.txt=#\r\n");
}

TEST_F(ProfileFileTest, ReadsUtf16TextWithByteOrderMark) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : std::u16string(u"[S]\r\nk\u00E9y=v\U0001F600\r\n")) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  fs.WriteFile(path, bytes);
  TProfileFile ini(fs, path);
  ASSERT_EQ(ini.Load(), winerr::Success);
  EXPECT_EQ(ini.ReadString("S", "KÉY", ""), "v\xF0\x9F\x98\x80");
}

// Every section with its entries, as a reader sees them.
std::string Visible(const TProfileFile& ini) {
  std::string out;
  for (const std::string& s : ini.SectionNames()) {
    out += "[" + s + "]";
    for (const TProfileEntry& e : ini.ReadSection(s)) out += " " + e.Key + "=" + e.Value;
    out += "\n";
  }
  return out;
}

std::string Utf16Le(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

TEST_F(ProfileFileTest, LinesEndAtCrLfLfOrCrAloneAndASaveLosesNone) {
  // CR alone (an old editor), mixed with CR LF and LF, and two CRs making an empty line.
  fs.WriteFile(path,
               "[Tidewell Volume]\rVolume File=#\rDocs=C:\\\r\n"
               "[C:\\Data]\na.txt=#\r\rb.txt=#\n\r; note\rc.txt=#\r");
  TProfileFile ini(fs, path);
  ASSERT_EQ(ini.Load(), winerr::Success);
  EXPECT_EQ(Visible(ini),
            "[Tidewell Volume] Volume File=# Docs=C:\\\n"
            "[C:\\Data] a.txt=# b.txt=# c.txt=#\n");
  ASSERT_EQ(ini.WriteString("C:\\Data", "d.txt", "#"), winerr::Success);
  ASSERT_EQ(ini.Save(), winerr::Success);
  EXPECT_EQ(fs.Contents(path),
            "[Tidewell Volume]\r\nVolume File=#\r\nDocs=C:\\\r\n"
            "[C:\\Data]\r\na.txt=#\r\n\r\nb.txt=#\r\n\r\n; note\r\nc.txt=#\r\nd.txt=#\r\n");
}

TEST_F(ProfileFileTest, ASaveKeepsTheEncodingReadAndReadsBackAsItWasWritten) {
  const std::string utf8Mark = "\xEF\xBB\xBF";
  struct Case {
    const char* what;
    std::string bytes;
    std::string mark;  // how the saved file must begin
  };
  const Case cases[] = {
      {"plain UTF-8", "[A]\r\nk=old\r\n", ""},
      {"UTF-8 mark", utf8Mark + "[A]\r\nk=old\r\n", utf8Mark},
      // A damaged mark: what follows the first mark is text, here a line that is no section.
      {"UTF-8 mark then UTF-16 mark", utf8Mark + "\xFF\xFE[A]\r\nk=old\r\n", utf8Mark},
      {"UTF-8 mark twice", utf8Mark + utf8Mark + "[A]\r\nk=old\r\n", utf8Mark},
      {"UTF-16", Utf16Le(u"[A]\r\nk=\u00E9\U0001F600\xD800x\r\n"), "\xFF\xFE"},
      {"UTF-16, odd last byte", Utf16Le(u"[A]\r\nk=old\r\n") + "Z", "\xFF\xFE"},
      {"UTF-16 mark twice", Utf16Le(u"\uFEFF[A]\r\nk=old\r\n"), "\xFF\xFE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs.WriteFile(path, c.bytes);
    TProfileFile ini(fs, path);
    ASSERT_EQ(ini.Load(), winerr::Success);
    const std::string before = Visible(ini);
    ASSERT_EQ(ini.WriteString("A", "k", "new"), winerr::Success);
    ASSERT_EQ(ini.WriteString("B", "n\u00E9w", "#"), winerr::Success);
    const std::string expected = Visible(ini);
    ASSERT_EQ(ini.Save(), winerr::Success);
    const std::string saved = *fs.Contents(path);
    EXPECT_EQ(saved.substr(0, c.mark.size()), c.mark);
    if (c.bytes.size() % 2 && c.mark == "\xFF\xFE") {
      EXPECT_EQ(saved.back(), 'Z');
    }

    TProfileFile again(fs, path);
    ASSERT_EQ(again.Load(), winerr::Success);
    EXPECT_EQ(Visible(again), expected) << "before the save: " << before;
    EXPECT_EQ(again.Serialize(), saved);
  }

  // UTF-16 cannot hold bytes that are not UTF-8: the save refuses rather than write them wrong.
  fs.WriteFile(path, Utf16Le(u"[A]\r\nk=1\r\n"));
  TProfileFile ini(fs, path);
  ASSERT_EQ(ini.Load(), winerr::Success);
  ASSERT_EQ(ini.WriteString("A", "bad\xC3", "#"), winerr::Success);
  EXPECT_EQ(ini.Save(), winerr::NoUnicodeTranslation);
  EXPECT_EQ(fs.Contents(path), Utf16Le(u"[A]\r\nk=1\r\n"));
  EXPECT_TRUE(ini.Modified());
}

TEST_F(ProfileFileTest, RefusesWhatALineCannotHoldAndChangesNothing) {
  TProfileFile ini(fs, path);
  for (std::string key : {"a=b", ";x", "[x", " x", "x ", "", "a\r\nb", "x\t"}) {
    EXPECT_EQ(ini.WriteString("S", key, "#"), winerr::InvalidParameter) << key;
  }
  EXPECT_EQ(ini.WriteString(" S", "k", "#"), winerr::InvalidParameter);
  EXPECT_EQ(ini.WriteString("S\n[T]", "k", "#"), winerr::InvalidParameter);
  EXPECT_EQ(ini.WriteString("S", "k", " v"), winerr::InvalidParameter);
  EXPECT_EQ(ini.WriteString("S", "k", "v\n[T]"), winerr::InvalidParameter);
  EXPECT_EQ(ini.WriteSection("S", {{"ok", "#"}, {"a=b", "#"}}), winerr::InvalidParameter);
  EXPECT_FALSE(ini.HasSection("S"));
  EXPECT_FALSE(ini.Modified());
  // What can be held comes back exactly.
  for (std::string key : {"x]", "a;b", "a[b]", "ünï cödé", "k#"}) {
    ASSERT_EQ(ini.WriteString("[S]", key, "v = w;[x]"), winerr::Success) << key;
  }
  TProfileFile again(fs, path);
  again.Parse(ini.Serialize());
  EXPECT_EQ(again.ReadSection("[S]"), ini.ReadSection("[S]"));
  EXPECT_EQ(again.ReadString("[S]", "a[b]", ""), "v = w;[x]");
}

TEST_F(ProfileFileTest, WriteSectionReplacesTheWholeSectionInOrder) {
  TProfileFile ini(fs, path);
  ini.Parse("[A]\r\n;c\r\nold=1\r\n[B]\r\nk=v\r\n");
  ASSERT_EQ(ini.WriteSection("a", {{"z", "1"}, {"y", "2"}, {"Z", "3"}}), winerr::Success);
  EXPECT_EQ(ini.Serialize(), "[A]\r\nz=1\r\ny=2\r\n[B]\r\nk=v\r\n");
  EXPECT_EQ(ini.EntryCount("A"), 2u);
}

TEST_F(ProfileFileTest, FailedSaveLeavesTheOldFileAndReportsTheError) {
  fs.WriteFile(path, "[S]\r\nk=old\r\n");
  TProfileFile ini(fs, path);
  ASSERT_EQ(ini.Load(), winerr::Success);
  ini.WriteString("S", "k", "new");
  ini.WriteString("S", "more", "#");

  for (auto [op, code] : {std::pair{FsOp::Write, winerr::DiskFull},
                          std::pair{FsOp::Replace, winerr::SharingViolation},
                          std::pair{FsOp::WriteAtomic, winerr::WriteProtect}}) {
    FsFault fault;
    fault.op = op;
    fault.path = path;
    fault.error = code;
    fault.times = FsFault::kAlways;
    fault.partialBytes = 3;
    fs.AddFault(fault);
    EXPECT_EQ(ini.Save(), code);
    fs.ClearFaults();
    EXPECT_EQ(fs.Contents(path), "[S]\r\nk=old\r\n");
    EXPECT_TRUE(ini.Modified());
    EXPECT_EQ(fs.ListAll().size(), 2u) << "no temporary file is left behind";  // C:\Prog, file
  }
  EXPECT_EQ(ini.Save(), winerr::Success);  // the changes were kept for a later try
  EXPECT_EQ(fs.Contents(path), "[S]\r\nk=new\r\nmore=#\r\n");
}

TEST_F(ProfileFileTest, SaveIntoMissingFolderGivesPathNotFound) {
  TProfileFile ini(fs, "C:\\Nowhere\\x.ini");
  ASSERT_EQ(ini.Load(), winerr::Success);
  ini.WriteString("S", "k", "v");
  EXPECT_EQ(ini.Save(), winerr::PathNotFound);
}

TEST_F(ProfileFileTest, UnreadableFileReportsTheErrorAndReadsEmpty) {
  fs.WriteFile(path, "[S]\r\nk=v\r\n");
  FsFault fault;
  fault.op = FsOp::ReadAll;
  fault.path = path;
  fault.error = winerr::SharingViolation;
  fs.AddFault(fault);
  TProfileFile ini(fs, path);
  EXPECT_EQ(ini.Load(), winerr::SharingViolation);
  EXPECT_FALSE(ini.HasSection("S"));
}

TEST_F(ProfileFileTest, LargeSectionsWriteReadAndDeleteCorrectly) {
  constexpr int kKeys = 100000;
  fs.MakeDirs("C:\\Prog");
  TProfileFile ini(fs, path);
  auto name = [](int i) { return "File number " + std::to_string(i) + ".dat"; };
  for (int i = 0; i < kKeys; ++i) ASSERT_EQ(ini.WriteString("C:\\Big", name(i), "#"), 0u);
  for (int i = 0; i < kKeys; i += 2) ini.WriteString("c:\\big", name(i), "x");  // replace
  for (int i = 0; i < kKeys; i += 3) ASSERT_TRUE(ini.DeleteKey("C:\\BIG", name(i)));
  ASSERT_EQ(ini.Save(), winerr::Success);

  TProfileFile again(fs, path);
  ASSERT_EQ(again.Load(), winerr::Success);
  Entries entries = again.ReadSection("C:\\Big");
  std::vector<int> expected;
  for (int i = 0; i < kKeys; ++i) {
    if (i % 3 != 0) expected.push_back(i);
  }
  ASSERT_EQ(entries.size(), expected.size());
  for (size_t k = 0; k < expected.size(); ++k) {
    ASSERT_EQ(entries[k].Key, name(expected[k]));
    ASSERT_EQ(entries[k].Value, expected[k] % 2 == 0 ? "x" : "#");
  }
  for (int i = 0; i < kKeys; ++i) {
    ASSERT_EQ(again.HasKey("C:\\Big", name(i)), i % 3 != 0) << i;
  }
  // Many sections erased and written again stay in order.
  for (int i = 0; i < 2000; ++i) again.WriteString("S" + std::to_string(i), "k", "v");
  for (int i = 0; i < 2000; i += 2) again.EraseSection("s" + std::to_string(i));
  std::vector<std::string> names = again.SectionNames();
  ASSERT_EQ(names.size(), 1001u);
  EXPECT_EQ(names[0], "C:\\Big");
  EXPECT_EQ(names[1], "S1");
  EXPECT_EQ(names[1000], "S1999");
  EXPECT_EQ(again.ReadString("S1999", "k", ""), "v");
}

}  // namespace
}  // namespace tw
