// Both refreshes against the in-memory file system: the change test (local DOS time, low 32
// bits of the size), what is copied and counted, what the log and the user are told, and that
// each folder is listed once instead of each file being looked up.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/operations.h"
#include "platform/memory/FakeClock.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/MemoryNamedMutex.h"
#include "platform/memory/ScriptedOperationUI.h"

namespace tw {
namespace {

const std::string kLog = "C:\\Temp\\TW-LOG.TMP";
const FileTime kT0 = MakeFileTime(2023, 6, 1, 12, 0, 0);  // an even second

// Files as large as the fake cannot hold: the listed size of a file grows by 4 GiB steps.
class BigFileSystem : public MemoryFileSystem {
 public:
  std::map<std::string, uint64_t> extra;  // full path -> bytes added to its listed size
  WinError List(const std::string& folder, std::vector<FindData>& entries) override {
    WinError e = MemoryFileSystem::List(folder, entries);
    for (FindData& d : entries) {
      auto it = extra.find(AddBackslash(folder) + d.name);
      if (it != extra.end()) d.size += it->second;
    }
    return e;
  }
};

std::vector<std::string> Lines(MemoryFileSystem& fs) {
  std::vector<std::string> lines;
  auto text = fs.Contents(kLog);
  if (!text) return {"<no log>"};
  size_t pos = 0;
  while (pos < text->size()) {
    size_t end = text->find("\r\n", pos);
    if (end == std::string::npos) return {"<unterminated>"};
    lines.push_back(text->substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

std::vector<std::string> Texts(const ScriptedOperationUI& ui) {
  std::vector<std::string> t;
  for (const auto& m : ui.messages) t.push_back(m.text);
  return t;
}

struct Volume {
  Volume() {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.AddDrive("D:", DriveType::Fixed);
    fs.SetTempFolder("C:\\Temp");
    fs.MakeDirs("C:\\Temp");
    volume.Name = "Docs";
    volume.BackupPath = "D:\\Backup\\";
    volume.SeparateFolders = true;
  }
  // An original and its copy as an earlier backup left them.
  void Pair(const std::string& folder, const std::string& name, const std::string& data,
            FileTime time = kT0) {
    fs.WriteFile(folder + "\\" + name, data, fileattr::Archive, time);
    fs.WriteFile(MapToVolume(folder, volume) + name, data, fileattr::Archive, time);
  }
  BigFileSystem fs;
  MemoryNamedMutex lock;
  ScriptedOperationUI ui;
  TVolumeRec volume;
};

TEST(ChangeTest, PacksLocalTimeIntoDosDateAndTimeRoundingOddSecondsDown) {
  EXPECT_EQ(PackDosDateTime(MakeFileTime(1980, 1, 1)), (((0u << 9) | (1 << 5) | 1) << 16));
  EXPECT_EQ(PackDosDateTime(MakeFileTime(2024, 2, 29, 13, 45, 31) + 9999999),
            (((44u << 9) | (2 << 5) | 29) << 16) | (13 << 11) | (45 << 5) | 15);
  EXPECT_EQ(PackDosDateTime(MakeFileTime(2107, 12, 31, 23, 59, 59)),
            (((127u << 9) | (12 << 5) | 31) << 16) | (23 << 11) | (59 << 5) | 29);
  EXPECT_EQ(PackDosDateTime(MakeFileTime(1979, 12, 31, 23, 59, 59)), std::nullopt);
  EXPECT_EQ(PackDosDateTime(MakeFileTime(2108, 1, 1)), std::nullopt);
  EXPECT_EQ(PackDosDateTime(0), std::nullopt);

  // The fake converts with the bias it is given, whatever the date.
  MemoryFileSystem fs;
  const FileTime late = MakeFileTime(1979, 12, 31, 23, 30);
  EXPECT_EQ(fs.LocalDosDateTime(late), std::nullopt);
  fs.SetLocalBiasMinutes(60);
  EXPECT_EQ(fs.LocalDosDateTime(late), PackDosDateTime(MakeFileTime(1980, 1, 1, 0, 30)));
  fs.SetLocalBiasMinutes(-24 * 60);
  EXPECT_EQ(fs.LocalDosDateTime(MakeFileTime(1601, 1, 1)), std::nullopt);

  FindData a, b;
  a.size = b.size = 7;
  a.lastWrite = kT0;
  b.lastWrite = kT0 + 19999999;  // same 2-second step
  EXPECT_FALSE(FileHasChanged(fs, a, &b));
  b.lastWrite = kT0 + 20000000;
  EXPECT_TRUE(FileHasChanged(fs, a, &b));
  b.lastWrite = kT0;
  b.size = 7 + (3ULL << 32);  // only the low 32 bits take part
  EXPECT_FALSE(FileHasChanged(fs, a, &b));
  b.size = 8;
  EXPECT_TRUE(FileHasChanged(fs, a, &b));
  EXPECT_TRUE(FileHasChanged(fs, a, nullptr));
  // A FAT disk rounds the time it is given up to its next 2-second step: for an original
  // between steps, a copy one step later has not changed; two steps later it has.
  a.lastWrite = kT0 + 10000000 + 1234;
  b.size = 7;
  b.lastWrite = kT0 + 20000000;
  EXPECT_FALSE(FileHasChanged(fs, a, &b));
  b.lastWrite = kT0 + 40000000;
  EXPECT_TRUE(FileHasChanged(fs, a, &b));
  b.lastWrite = kT0 - 1;
  EXPECT_TRUE(FileHasChanged(fs, a, &b));
  // Times the DOS format cannot hold are still compared, in the same steps.
  a.lastWrite = MakeFileTime(1970, 1, 1, 0, 0, 4);
  b.size = 7;
  b.lastWrite = a.lastWrite + 10000000;
  EXPECT_FALSE(FileHasChanged(fs, a, &b));
  b.lastWrite = a.lastWrite + 60 * 10000000ULL;
  EXPECT_TRUE(FileHasChanged(fs, a, &b));
  a.lastWrite += 5000000;  // between steps, rounded up by a FAT disk
  b.lastWrite = a.lastWrite - 5000000 + 20000000;
  EXPECT_FALSE(FileHasChanged(fs, a, &b));
}

TEST(SelectionRefresh, CopiesOnlyChangedOrMissingCopiesAndCountsFilesFoundAtTheirOriginalPlace) {
  Volume v;
  v.Pair("C:\\Data", "same.txt", "unchanged");
  v.Pair("C:\\Data", "touched.txt", "same bytes");
  v.fs.SetTime("C:\\Data\\touched.txt", kT0 + 4 * kFileTimeSecond);
  v.Pair("C:\\Data", "step.txt", "same step");
  v.fs.SetTime("C:\\Data\\step.txt", kT0 + 1 * kFileTimeSecond + 9999999);
  v.Pair("C:\\Data", "grown.txt", "four gigabytes more");
  v.fs.extra["C:\\Data\\grown.txt"] = 1ULL << 32;
  v.Pair("C:\\Data", "resized.txt", "old");
  v.fs.WriteFile("C:\\Data\\resized.txt", "new and longer", fileattr::Archive, kT0);
  v.Pair("C:\\Data", "gone.txt", "deleted at its original place");
  v.fs.Remove("C:\\Data\\gone.txt");
  v.fs.WriteFile("C:\\Data\\Sub\\new.txt", "never backed up", fileattr::Archive, kT0);
  v.fs.WriteFile(kLog, "an earlier operation\r\n");

  TWLDesktopNode sel(v.fs);
  TWLNode* data = sel.AddPath("C:\\Data");
  for (const char* n : {"same.txt", "touched.txt", "step.txt", "grown.txt", "resized.txt",
                        "gone.txt"})
    data->AddFile(n, -1);
  sel.AddPath("C:\\Data\\Sub")->AddFile("new.txt", -1);
  v.fs.ClearCalls();

  TAddOperation op(v.fs, v.ui);
  op.RefreshMode = IsRefreshMode(4, false);
  EXPECT_EQ(op.AddSelectionToVolume(v.volume, sel, 7), TAddResult::Finished);

  EXPECT_EQ(op.FilesChecked, 6);
  EXPECT_EQ(op.FilesChanged, 3);
  EXPECT_FALSE(op.AddErrors);
  // A deleted original is only a warning: the completion message, not the error question.
  EXPECT_EQ(Texts(v.ui), std::vector<std::string>{"Tidewell has finished refreshing the volume "
                                                  "\"Docs\". 3 of 6 files have changed."});
  EXPECT_EQ(Lines(v.fs), std::vector<std::string>{
                             "Warning: Couldnt find file gone.txt at its original location of "
                             "C:\\Data."});
  const std::string copies = "D:\\Backup\\From Drive C\\Data\\";
  EXPECT_EQ(v.fs.CallCount(FsOp::Copy), 3);
  EXPECT_EQ(v.fs.TimeOf(copies + "touched.txt"), kT0 + 4 * kFileTimeSecond);
  EXPECT_EQ(v.fs.Contents(copies + "resized.txt"), "new and longer");
  EXPECT_EQ(v.fs.Contents(copies + "Sub\\new.txt"), "never backed up");
  EXPECT_EQ(v.fs.TimeOf(copies + "step.txt"), kT0);  // left alone
  EXPECT_EQ(v.fs.Contents(copies + "gone.txt"), "deleted at its original place");
  EXPECT_EQ(v.ui.position, 7);
  EXPECT_TRUE(v.ui.AtRest());

  // One listing per side and folder; no file is looked up on its own, apart from the copies
  // just made (their read-only bit).
  EXPECT_EQ(v.fs.CallCount(FsOp::List), 4);
  EXPECT_EQ(v.fs.CallCount(FsOp::Stat, "C:\\Data\\same.txt"), 0);
  EXPECT_EQ(v.fs.CallCount(FsOp::Stat, copies + "same.txt"), 0);

  // At once again: nothing left to copy, and the count is of the originals found.
  ScriptedOperationUI again;
  TAddOperation op2(v.fs, again);
  op2.RefreshMode = true;
  v.fs.ClearCalls();
  EXPECT_EQ(op2.AddSelectionToVolume(v.volume, sel, 7), TAddResult::Finished);
  EXPECT_EQ(Texts(again), std::vector<std::string>{"Tidewell has finished refreshing the volume "
                                                   "\"Docs\". 0 of 6 files have changed."});
  EXPECT_EQ(v.fs.CallCount(FsOp::Copy), 0);

  // Outside refresh mode everything is copied and nothing counted.
  ScriptedOperationUI plainUi;
  TAddOperation plain(v.fs, plainUi);
  plain.RefreshMode = IsRefreshMode(1, false);
  v.fs.ClearCalls();
  plain.AddSelectionToVolume(v.volume, sel, 7);
  EXPECT_EQ(plain.FilesChecked, 0);
  EXPECT_EQ(v.fs.CallCount(FsOp::Copy), 7);
}

TEST(SelectionRefresh, LocalTimeBiasAppliesToBothSidesAndCaseOfNamesDoesNotMatter) {
  Volume v;
  v.fs.SetLocalBiasMinutes(120);
  v.Pair("C:\\Data", "Report.TXT", "x");
  // The selection spells the name otherwise than the disk; the copy differs in case as well.
  v.fs.Remove("D:\\Backup\\From Drive C\\Data\\Report.TXT");
  v.fs.WriteFile("D:\\Backup\\From Drive C\\Data\\REPORT.txt", "x", fileattr::Archive, kT0);
  TWLDesktopNode sel(v.fs);
  sel.AddPath("C:\\Data")->AddFile("report.txt", -1);
  TAddOperation op(v.fs, v.ui);
  op.RefreshMode = IsRefreshMode(0, true);
  op.AddSelectionToVolume(v.volume, sel, 1);
  EXPECT_EQ(op.FilesChecked, 1);
  EXPECT_EQ(op.FilesChanged, 0);
}

TEST(SelectionRefresh, FromTheSavedSelectionFileWhichIsWrittenBackOnlyWhenReadWhole) {
  Volume v;
  v.Pair("C:\\Data", "a.txt", "a");
  v.Pair("C:\\Data", "b.txt", "b");
  const std::string file = VolumeSelectionFile("C:\\Prog\\", v.volume);
  EXPECT_EQ(file, "C:\\Prog\\Docs.TWS");
  v.fs.WriteFile(file, "[C:\\Data]\r\n**ALL**=#\r\n");
  v.fs.WriteFile("C:\\Data\\added later.txt", "new", fileattr::Archive, kT0);

  TWLDesktopNode sel(v.fs);
  TSelectionRefresh r = RefreshFromSelectionFile(v.fs, v.ui, v.lock, v.volume, sel, file);
  EXPECT_EQ(r.Result, TAddResult::Finished);
  EXPECT_EQ(r.LoadError, winerr::Success);
  EXPECT_EQ(r.SaveError, winerr::Success);
  EXPECT_EQ(Texts(v.ui), std::vector<std::string>{"Tidewell has finished refreshing the volume "
                                                  "\"Docs\". 1 of 3 files have changed."});
  EXPECT_EQ(v.fs.Contents("D:\\Backup\\From Drive C\\Data\\added later.txt"), "new");
  EXPECT_EQ(v.ui.rangeMax, 3);
  EXPECT_NE(v.fs.Contents(file)->find("**ALL**=#"), std::string::npos);

  // A file that cannot be read is not replaced by the little that was read of it.
  FsFault f;
  f.op = FsOp::ReadAll;
  f.path = file;
  f.error = winerr::SharingViolation;
  v.fs.AddFault(f);
  v.fs.WriteFile(file, "[C:\\Data]\r\na.txt=#\r\n");
  ScriptedOperationUI ui2;
  r = RefreshFromSelectionFile(v.fs, ui2, v.lock, v.volume, sel, file);
  EXPECT_EQ(r.LoadError, winerr::SharingViolation);
  EXPECT_EQ(v.fs.Contents(file), "[C:\\Data]\r\na.txt=#\r\n");
  // Nothing of it was refreshed: the run ends with the error question, not as a success.
  EXPECT_EQ(Texts(ui2), std::vector<std::string>{kAddErrorQuestion});
  EXPECT_EQ(Lines(v.fs), std::vector<std::string>{
                             "Error 32: Couldnt read the selection file " + file +
                             ", so only what could be read was refreshed."});
}

TEST(SelectionRefresh, TheSelectionsOwnScanListsTheOriginalsButAnEarlierScanIsNotTrusted) {
  Volume v;
  v.Pair("C:\\Data", "a.txt", "a");
  v.Pair("C:\\Data", "b.txt", "b");
  v.Pair("C:\\Data", "c.txt", "c");
  v.Pair("C:\\Data\\Sub", "s.txt", "s");
  v.fs.WriteFile("C:\\Data\\b.txt", "b changed", fileattr::Archive, kT0);
  v.fs.WriteFile("C:\\Data\\c.txt", "c changed", fileattr::Archive, kT0);
  v.fs.WriteFile("C:\\Data\\Sub\\s.txt", "s changed", fileattr::Archive, kT0);
  const std::string file = VolumeSelectionFile("C:\\Prog\\", v.volume);
  v.fs.WriteFile(file, "[C:\\Data]\r\n**ALL**=#\r\n[C:\\Data\\Sub]\r\n**ALL**=#\r\n");
  // c.txt goes between the scan and its copy, and s.txt with its folder: warnings, as for an
  // original the walk misses, not the backup path's error.
  v.ui.onProcessMessages = [&] {
    if (!v.ui.shownFiles.empty() && v.ui.shownFiles.back() == "C:\\Data\\c.txt") {
      v.fs.Remove("C:\\Data\\c.txt");
      v.fs.Remove("C:\\Data\\Sub\\s.txt");
      v.fs.RemoveDir("C:\\Data\\Sub");
    }
  };
  TWLDesktopNode sel(v.fs);
  v.fs.ClearCalls();

  TSelectionRefresh r = RefreshFromSelectionFile(v.fs, v.ui, v.lock, v.volume, sel, file);

  EXPECT_EQ(r.Result, TAddResult::Finished);
  EXPECT_EQ(v.fs.CallCount(FsOp::List, "C:\\Data\\"), 1);
  EXPECT_EQ(Texts(v.ui), std::vector<std::string>{"Tidewell has finished refreshing the volume "
                                                  "\"Docs\". 1 of 2 files have changed."});
  EXPECT_EQ(Lines(v.fs), (std::vector<std::string>{
                             "Warning: Couldnt find file c.txt at its original location of "
                             "C:\\Data.",
                             "Warning: Couldnt find file s.txt at its original location of "
                             "C:\\Data\\Sub."}));
  const std::string copies = "D:\\Backup\\From Drive C\\Data\\";
  EXPECT_EQ(v.fs.Contents(copies + "b.txt"), "b changed");

  // The same selection later: what its scan found then may have changed since.
  v.fs.WriteFile("C:\\Data\\a.txt", "a changed later", fileattr::Archive, kT0);
  ScriptedOperationUI later;
  TAddOperation op(v.fs, later);
  op.RefreshMode = true;
  op.FreshListingsAfter = sel.Environment().listings;
  EXPECT_EQ(op.AddSelectionToVolume(v.volume, sel, 3), TAddResult::Finished);
  EXPECT_EQ(op.FilesChanged, 1);
  EXPECT_EQ(v.fs.Contents(copies + "a.txt"), "a changed later");
}

// ---- Refresh of the volume contents ----

struct ContentsRun : Volume {
  ContentsRun() {
    fs.AddDrive("\\\\server\\share", DriveType::Remote);
    fs.WriteFile("D:\\Backup\\VOLUME.TWV", "[Tidewell Volume]\r\nVolume File=#\r\n");
  }
  TRefreshResult Run() {
    EXPECT_TRUE(SelectWholeVolume(sel, volume));
    return op.RefreshVolumeContents(volume, sel, CountSelectedFiles(sel));
  }
  TWLDesktopNode sel{fs};
  TContentsRefreshOperation op{fs, ui};
};

TEST(ContentsRefresh, MapsCopiesBackPerDriveAndNetworkAndPassesOverThePlaceholder) {
  ContentsRun r;
  r.Pair("C:\\Data", "same.txt", "s");
  r.Pair("C:\\Data", "changed.txt", "old");
  r.fs.WriteFile("C:\\Data\\changed.txt", "new!", fileattr::Archive | fileattr::ReadOnly, kT0);
  r.Pair("\\\\server\\share\\dir", "n.txt", "old");
  r.fs.WriteFile("\\\\server\\share\\dir\\n.txt", "from the share", fileattr::Archive,
                 kT0 + 10 * kFileTimeSecond);
  r.fs.WriteFile("D:\\Backup\\Loose\\x.txt", "no drive folder above it");
  r.fs.WriteFile("D:\\Backup\\From Network\\stray.txt", "in the bare network folder");

  EXPECT_EQ(r.Run(), TRefreshResult::Finished);

  EXPECT_EQ(r.fs.Contents("D:\\Backup\\From Drive C\\Data\\changed.txt"), "new!");
  EXPECT_EQ(r.fs.Contents("D:\\Backup\\From Network\\server\\share\\dir\\n.txt"),
            "from the share");
  // Read-only would make the next refresh fail.
  EXPECT_EQ(r.fs.Attributes("D:\\Backup\\From Drive C\\Data\\changed.txt"), fileattr::Archive);
  EXPECT_EQ(r.op.FilesChecked, 3);
  EXPECT_EQ(r.op.FilesChanged, 2);
  EXPECT_EQ(r.ui.copiedBytes, std::string("new!from the share").size());
  EXPECT_FALSE(r.op.RefreshErrors);
  EXPECT_EQ(Lines(r.fs), std::vector<std::string>{});
  ASSERT_EQ(r.ui.messages.size(), 1u);
  EXPECT_EQ(r.ui.messages[0].text,
            "Tidewell has finished refreshing the volume. 2 of 3 files have changed.");
  EXPECT_EQ(r.ui.messages[0].flags, mb::Ok | mb::IconInformation);
  EXPECT_EQ(r.ui.shownFiles, (std::vector<std::string>{"C:\\Data\\changed.txt",
                                                       "\\\\server\\share\\dir\\n.txt"}));
  EXPECT_EQ(r.ui.caption, "Refreshing volume...");
  EXPECT_EQ(r.ui.rangeMax, 5);  // the placeholder is no file of the user's
  EXPECT_TRUE(r.ui.AtRest());
  EXPECT_EQ(r.fs.CallCount(FsOp::Stat, "D:\\Backup\\VOLUME.TWV"), 0);
}

TEST(ContentsRefresh, MissingOriginalsAndFailedCopiesAreErrorsThatOfferTheLog) {
  ContentsRun r;
  r.Pair("C:\\Data", "gone.txt", "g");
  r.fs.Remove("C:\\Data\\gone.txt");
  r.Pair("C:\\Data", "locked.txt", "old");
  r.fs.WriteFile("C:\\Data\\locked.txt", "newer", fileattr::Archive, kT0);
  r.fs.WriteFile("D:\\Backup\\From Drive E\\Work\\w.txt", "drive E is not there");
  FsFault f;
  f.op = FsOp::Copy;
  f.path = "C:\\Data\\locked.txt";
  f.error = winerr::SharingViolation;
  r.fs.AddFault(f);
  r.ui.Answer(mb::IdYes);

  EXPECT_EQ(r.Run(), TRefreshResult::Finished);

  EXPECT_TRUE(r.op.RefreshErrors);
  EXPECT_EQ(Lines(r.fs),
            (std::vector<std::string>{
                "Couldnt find file gone.txt at its original location of C:\\Data\\.",
                "An error occured while refreshing file locked.txt.",
                "Couldnt find file w.txt at its original location of E:\\Work\\."}));
  EXPECT_EQ(Texts(r.ui), std::vector<std::string>{kRefreshErrorQuestion});
  EXPECT_EQ(r.ui.messages[0].flags, mb::YesNo | mb::IconQuestion);
  EXPECT_EQ(r.ui.openedLogs, std::vector<std::string>{kLog});
  EXPECT_EQ(r.fs.Contents("D:\\Backup\\From Drive C\\Data\\locked.txt"), "old");
  EXPECT_EQ(r.ui.copiedBytes, 0u) << "a failed copy copied nothing";
}

TEST(ContentsRefresh, ACopyThatCannotReachTheDiskIsAnError) {
  ContentsRun r;
  r.Pair("C:\\Data", "changed.txt", "old");
  r.fs.WriteFile("C:\\Data\\changed.txt", "new!", fileattr::Archive, kT0 + 10 * kFileTimeSecond);
  FsFault lost;
  lost.op = FsOp::Settle;
  lost.path = "D:\\Backup\\From Drive C\\Data\\changed.txt";
  lost.error = 1117;
  r.fs.AddFault(lost);
  size_t unsettledAtMessage = 99;
  r.ui.onMessage = [&](const UiMessage&) { unsettledAtMessage = r.fs.UnsettledCopies(); };
  r.ui.Answer(mb::IdNo);

  EXPECT_EQ(r.Run(), TRefreshResult::Finished);

  EXPECT_TRUE(r.op.RefreshErrors);
  EXPECT_EQ(Lines(r.fs), std::vector<std::string>{"An error occured while refreshing file changed.txt."});
  EXPECT_EQ(Texts(r.ui), std::vector<std::string>{kRefreshErrorQuestion});
  EXPECT_EQ(unsettledAtMessage, 0u);
}

TEST(ContentsRefresh, CancelStopsOnlyAtChangedFilesAndEndsWithoutMessage) {
  ContentsRun r;
  r.Pair("C:\\A", "a1.txt", "old");
  r.fs.WriteFile("C:\\A\\a1.txt", "newer", fileattr::Archive, kT0);
  r.Pair("C:\\A", "a2.txt", "old");
  r.fs.WriteFile("C:\\A\\a2.txt", "newer", fileattr::Archive, kT0);
  r.Pair("C:\\B", "b1.txt", "unchanged");
  r.Pair("C:\\B", "b2.txt", "old");
  r.fs.WriteFile("C:\\B\\b2.txt", "newer", fileattr::Archive, kT0);
  r.ui.CancelAfterFiles(1);

  EXPECT_EQ(r.Run(), TRefreshResult::Cancelled);

  EXPECT_EQ(r.ui.shownFiles, std::vector<std::string>{"C:\\A\\a1.txt"});
  EXPECT_EQ(r.fs.Contents("D:\\Backup\\From Drive C\\A\\a2.txt"), "old");
  EXPECT_EQ(r.fs.Contents("D:\\Backup\\From Drive C\\B\\b2.txt"), "old");
  // The walk went on past the cancel, comparing: b1 was still found and counted.
  EXPECT_EQ(r.op.FilesChecked, 4);
  EXPECT_EQ(r.op.FilesChanged, 1);
  EXPECT_TRUE(r.ui.messages.empty());
  EXPECT_TRUE(r.ui.AtRest());
}

TEST(ContentsRefresh, ALogThatCannotBeCreatedStopsBeforeTheFirstFile) {
  ContentsRun r;
  r.Pair("C:\\Data", "a.txt", "old");
  r.fs.WriteFile("C:\\Data\\a.txt", "new", fileattr::Archive, kT0);
  FsFault f;
  f.op = FsOp::OpenWrite;
  f.path = kLog;
  r.fs.AddFault(f);
  EXPECT_EQ(r.Run(), TRefreshResult::Stopped);
  EXPECT_EQ(Texts(r.ui), std::vector<std::string>{"Cannot create file " + kLog});
  EXPECT_EQ(r.fs.Contents("D:\\Backup\\From Drive C\\Data\\a.txt"), "old");
  EXPECT_TRUE(r.ui.AtRest());
  EXPECT_TRUE(r.ui.mainVisible);
}

}  // namespace
}  // namespace tw
