// The add operation against the in-memory file system: what gets copied where, what the user
// is told, what the log says, and that the window always comes back to rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/operations.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/ScriptedOperationUI.h"
#include "tests/host/SmallStack.h"

namespace tw {
namespace {

constexpr FileTime kOldTime = 130000000000000000ULL;
const std::string kLog = "C:\\Temp\\TW-LOG.TMP";

struct AddRun {
  explicit AddRun(DriveType backupDrive = DriveType::Fixed,
                  std::optional<uint64_t> capacity = std::nullopt) {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.AddDrive("D:", backupDrive, capacity);
    fs.SetTempFolder("C:\\Temp");
    fs.MakeDirs("C:\\Temp");
    volume.Name = "Docs";
    volume.BackupPath = "D:\\Backup\\";
  }

  // Creates the files on disk and selects them.
  void Select(const std::string& folder, const std::vector<std::string>& names,
              size_t size = 10) {
    TWLNode* node = sel.AddPath(folder);
    ASSERT_NE(node, nullptr) << folder;
    for (const auto& n : names) {
      std::string data = folder + "\\" + n + ":";
      data.resize(std::max(size, data.size()), '.');
      fs.WriteFile(folder + "\\" + n, data);
      node->AddFile(n, static_cast<int64_t>(data.size()));
      ++count;
    }
  }

  TAddResult Run() { return op.AddSelectionToVolume(volume, sel, count); }

  std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    auto text = fs.Contents(kLog);
    if (!text) return {"<no log>"};
    size_t pos = 0;
    while (pos < text->size()) {
      size_t end = text->find("\r\n", pos);
      if (end == std::string::npos) {
        lines.push_back("<unterminated>" + text->substr(pos));
        break;
      }
      lines.push_back(text->substr(pos, end - pos));
      pos = end + 2;
    }
    return lines;
  }

  std::vector<std::string> Texts() {
    std::vector<std::string> t;
    for (const auto& m : ui.messages) t.push_back(m.text);
    return t;
  }

  MemoryFileSystem fs;
  TWLDesktopNode sel{fs};
  ScriptedOperationUI ui;
  TAddOperation op{fs, ui};
  TVolumeRec volume;
  int count = 0;
};

TEST(AddOperation, CopiesEverySelectionInWalkOrderAndEndsWithTheCompletionMessage) {
  AddRun r;
  r.Select("C:", {"boot.ini"});
  r.Select("C:\\Data", {"b.txt", "a.txt"});
  r.Select("C:\\Data\\Sub", {"s.txt"});
  r.sel.AddPath("C:\\Empty\\Deep");  // a node with no files, only a subfolder
  r.Select("C:\\Empty\\Deep", {"e.txt"});
  r.fs.WriteFile("C:\\Data\\a.txt", "hidden, read-only and old",
                 fileattr::Hidden | fileattr::ReadOnly | fileattr::Archive, kOldTime);
  r.fs.WriteFile("D:\\Backup\\Data\\b.txt", "stale copy");
  r.fs.WriteFile(kLog, "lines of an earlier operation\r\n");
  bool logClosedAtMessage = false;
  r.ui.onMessage = [&](const UiMessage&) { logClosedAtMessage = r.fs.OpenWriters() == 0; };

  EXPECT_EQ(r.Run(), TAddResult::Finished);

  EXPECT_EQ(r.ui.shownFiles,
            (std::vector<std::string>{"C:\\boot.ini", "C:\\Data\\a.txt", "C:\\Data\\b.txt",
                                      "C:\\Data\\Sub\\s.txt", "C:\\Empty\\Deep\\e.txt"}));
  EXPECT_EQ(r.fs.Contents("D:\\Backup\\boot.ini"), "C:\\boot.ini:");
  EXPECT_EQ(r.fs.Contents("D:\\Backup\\Data\\b.txt"), "C:\\Data\\b.txt:");
  EXPECT_EQ(r.fs.Contents("D:\\Backup\\Data\\Sub\\s.txt"), "C:\\Data\\Sub\\s.txt:");
  EXPECT_EQ(r.fs.Contents("D:\\Backup\\Empty\\Deep\\e.txt"), "C:\\Empty\\Deep\\e.txt:");
  // Attributes and time come along, except read-only, so that the next add can replace it.
  EXPECT_EQ(r.fs.Contents("D:\\Backup\\Data\\a.txt"), "hidden, read-only and old");
  EXPECT_EQ(r.fs.Attributes("D:\\Backup\\Data\\a.txt"), fileattr::Hidden | fileattr::Archive);
  EXPECT_EQ(r.fs.TimeOf("D:\\Backup\\Data\\a.txt"), kOldTime);
  EXPECT_TRUE(r.fs.TemporaryFiles().empty());

  // The placeholder names the volume and the root of each first-level folder.
  auto ini = r.fs.Contents("D:\\Backup\\VOLUME.TWV");
  ASSERT_TRUE(ini);
  EXPECT_NE(ini->find("[Tidewell Volume]"), std::string::npos);
  EXPECT_NE(ini->find("Volume File=#"), std::string::npos);
  EXPECT_NE(ini->find("Data=C:"), std::string::npos);
  EXPECT_NE(ini->find("Empty=C:"), std::string::npos);

  EXPECT_EQ(r.LogLines(), std::vector<std::string>{});  // emptied, nothing to report
  ASSERT_EQ(r.ui.messages.size(), 1u);
  const UiMessage& m = r.ui.messages[0];
  EXPECT_EQ(m.text, "Tidewell has finished refreshing the volume \"Docs\". 0 of 0 files have changed.");
  EXPECT_EQ(m.caption, "Tidewell");
  EXPECT_EQ(m.flags, mb::Ok | mb::IconInformation);
  EXPECT_EQ(m.owner, MessageOwner::MainWindow);
  EXPECT_TRUE(logClosedAtMessage);

  EXPECT_EQ(r.ui.caption, "Refreshing volume ...");
  EXPECT_EQ(r.ui.volumeText, "Docs");
  EXPECT_EQ(r.ui.pathText, "D:\\Backup\\");
  EXPECT_EQ(r.ui.rangeMax, 5);
  EXPECT_EQ(r.ui.position, 5);
  EXPECT_EQ(r.ui.calls.front(), "StopRefreshTimer");
  EXPECT_EQ(r.ui.calls.back(), "StartRefreshTimer");
  EXPECT_TRUE(r.ui.AtRest());
  EXPECT_FALSE(r.ui.mainVisible);  // the caller shows it after saving the selection
  EXPECT_EQ(r.ui.CountCalls("RefreshContentsViews"), 1);
  EXPECT_FALSE(r.op.AddErrors);
}

TEST(AddOperation, NamesWithDelAreSelectedWholeAndBackedUp) {
  // Windows allows 0x7F in names; a folder selected whole must not skip them.
  AddRun r;
  r.fs.WriteFile("C:\\Docs\\a\x7F.txt", "del file");
  r.fs.WriteFile("C:\\Docs\\d\x7Fir\\inner.txt", "inside");
  r.fs.WriteFile("C:\\Docs\\d\x7Fir\\deeper\\x.txt", "deeper");
  TWLNode* docs = r.sel.AddPath("C:\\Docs");
  ASSERT_NE(docs, nullptr);
  ASSERT_TRUE(docs->SelectAll());
  EXPECT_EQ(CountFolderEntries(r.sel.Environment(), "C:\\Docs"), 2);
  ASSERT_EQ(CountSelectedFiles(r.sel), 3);

  EXPECT_EQ(r.op.AddSelectionToVolume(r.volume, r.sel, 3), TAddResult::Finished);
  EXPECT_EQ(r.fs.Contents("D:\\Backup\\Docs\\a\x7F.txt"), "del file");
  EXPECT_EQ(r.fs.Contents("D:\\Backup\\Docs\\d\x7Fir\\inner.txt"), "inside");
  EXPECT_EQ(r.fs.Contents("D:\\Backup\\Docs\\d\x7Fir\\deeper\\x.txt"), "deeper");
  EXPECT_FALSE(r.op.AddErrors);

  // The file selected by name survives the selection file too.
  TWLDesktopNode picked(r.fs);
  picked.AddPath("C:\\Docs")->AddFile("a\x7F.txt", 8);
  ASSERT_EQ(picked.SaveToFile("C:\\Temp\\Docs.TWS"), winerr::Success);
  TWLDesktopNode loaded(r.fs);
  ASSERT_EQ(loaded.LoadFromFile("C:\\Temp\\Docs.TWS"), winerr::Success);
  ASSERT_NE(loaded.FindNode("C:\\Docs"), nullptr);
  EXPECT_EQ(loaded.FindNode("C:\\Docs")->IndexOfFile("a\x7F.txt"), 0);
}

TEST(AddOperation, EmptySelectionStillWritesThePlaceholderAndReportsZeroOfZero) {
  AddRun r;
  EXPECT_EQ(r.Run(), TAddResult::Finished);
  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\VOLUME.TWV"));
  EXPECT_EQ(r.Texts(), std::vector<std::string>{
                           "Tidewell has finished refreshing the volume \"Docs\". 0 of 0 files "
                           "have changed."});
  EXPECT_TRUE(r.ui.AtRest());
}

TEST(AddOperation, EveryCopyFailureCodeGetsItsMessageLineFlagAndContinuation) {
  const std::string notValid = "It seems that the backup path D:\\Backup\\Data\\ is not valid.";
  const std::string notAllowed = "You are not allowed to write D:\\Backup\\Data\\b.txt";
  const std::string noConnections =
      "No more connections can be made to this remote computer at this time, because there are "
      "already as many connections as the computer can accept.";
  const std::string finished =
      "Tidewell has finished refreshing the volume \"Docs\". 0 of 0 files have changed.";
  struct Row {
    WinError code;
    std::string message;  // empty: none during the walk
    std::vector<std::string> log;
    bool error;
    bool leavesFolder;
  };
  const std::vector<Row> rows = {
      {32, "", {"Warning: File C:\\Data\\b.txt is in use by another application and cannot be copied"}, false, false},
      {33, "", {"Warning: File C:\\Data\\b.txt is in use by another application and cannot be copied"}, false, false},
      {5, "", {"Error: File D:\\Backup\\Data\\b.txt: Access Denied."}, true, false},
      {3, notValid, {"Error writing file D:\\Backup\\Data\\b.txt"}, true, true},
      {15, notAllowed, {"Error writing file D:\\Backup\\Data\\b.txt"}, true, true},
      {19, notAllowed, {"Error writing file D:\\Backup\\Data\\b.txt"}, true, true},
      {21, notAllowed, {"Error writing file D:\\Backup\\Data\\b.txt"}, true, true},
      {65, notAllowed, {"Error writing file D:\\Backup\\Data\\b.txt"}, true, true},
      // The rest of the folder goes uncopied: an error of the run, not a quiet success.
      {71, noConnections, {"Error 71 on File C:\\Data\\b.txt"}, true, true},
      {23, "", {"Error 23 on File C:\\Data\\b.txt"}, true, false},
      {1392, "", {"Error 1392 on File C:\\Data\\b.txt"}, true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("error " + std::to_string(row.code));
    AddRun r;
    r.Select("C:\\Data", {"a.txt", "b.txt", "c.txt"});
    r.Select("C:\\Data\\Sub", {"s.txt"});
    r.Select("C:\\Next", {"n.txt"});
    FsFault f;
    f.op = FsOp::Copy;
    f.path = "C:\\Data\\b.txt";
    f.error = row.code;
    r.fs.AddFault(f);
    r.ui.Answer(mb::IdOk);

    EXPECT_EQ(r.Run(), TAddResult::Finished);

    std::vector<std::string> expectedTexts;
    if (!row.message.empty()) expectedTexts.push_back(row.message);
    expectedTexts.push_back(row.error ? kAddErrorQuestion : finished);
    EXPECT_EQ(r.Texts(), expectedTexts);
    if (!row.message.empty()) {
      EXPECT_EQ(r.ui.messages[0].flags, mb::Ok);
      EXPECT_EQ(r.ui.messages[0].caption, "Tidewell");
    }
    if (row.error) {
      EXPECT_EQ(r.ui.messages.back().flags, mb::YesNo | mb::IconQuestion);
    }
    EXPECT_EQ(r.LogLines(), row.log);
    EXPECT_EQ(r.op.AddErrors, row.error);
    EXPECT_FALSE(r.fs.Exists("D:\\Backup\\Data\\b.txt"));
    EXPECT_TRUE(r.fs.Exists("D:\\Backup\\Data\\a.txt"));
    EXPECT_TRUE(r.fs.Exists("D:\\Backup\\Next\\n.txt"));  // the next sibling is always walked
    EXPECT_EQ(r.fs.Exists("D:\\Backup\\Data\\c.txt"), !row.leavesFolder);
    EXPECT_EQ(r.fs.Exists("D:\\Backup\\Data\\Sub"), !row.leavesFolder);
    std::vector<std::string> shown = {"C:\\Data\\a.txt", "C:\\Data\\b.txt"};
    if (!row.leavesFolder) shown.insert(shown.end(), {"C:\\Data\\c.txt", "C:\\Data\\Sub\\s.txt"});
    shown.push_back("C:\\Next\\n.txt");
    EXPECT_EQ(r.ui.shownFiles, shown);
    EXPECT_TRUE(r.ui.AtRest());
    EXPECT_TRUE(r.fs.TemporaryFiles().empty());
  }
}

TEST(AddOperation, ReadOnlyCopyFromAnotherToolIsReportedThenReplacedByTheNextAdd) {
  AddRun r;
  r.Select("C:\\Data", {"a.txt"});
  r.fs.WriteFile("D:\\Backup\\Data\\a.txt", "made by another tool",
                 fileattr::ReadOnly | fileattr::Archive);
  r.ui.Answer(mb::IdNo);
  r.Run();
  EXPECT_EQ(r.LogLines(),
            std::vector<std::string>{"Error: File D:\\Backup\\Data\\a.txt: Access Denied."});
  EXPECT_EQ(r.Texts(), std::vector<std::string>{kAddErrorQuestion});
  EXPECT_TRUE(r.ui.openedLogs.empty());
  EXPECT_EQ(r.fs.Contents("D:\\Backup\\Data\\a.txt"), "made by another tool");
  EXPECT_EQ(r.fs.Attributes("D:\\Backup\\Data\\a.txt"), fileattr::Archive);

  // The second operation empties the log and, with the bit gone, replaces the copy.
  r.ui.messages.clear();
  EXPECT_EQ(r.Run(), TAddResult::Finished);
  EXPECT_EQ(r.fs.Contents("D:\\Backup\\Data\\a.txt"), "C:\\Data\\a.txt:");
  EXPECT_EQ(r.LogLines(), std::vector<std::string>{});
  EXPECT_FALSE(r.op.AddErrors);
  EXPECT_EQ(r.ui.messages.back().flags, mb::Ok | mb::IconInformation);
}

TEST(AddOperation, InterruptedCopyLeavesThePreviousCopyByteIdenticalAndNoTemporaryFile) {
  AddRun r;
  r.Select("C:\\Data", {"a.txt", "b.txt"}, 4096);
  const std::string previous(3000, 'P');
  r.fs.WriteFile("D:\\Backup\\Data\\a.txt", previous, fileattr::Archive, kOldTime);
  FsFault cut;
  cut.op = FsOp::Write;
  cut.path = "D:\\Backup\\Data\\a.txt";
  cut.error = winerr::Crc;
  cut.partialBytes = 1000;
  const int id = r.fs.AddFault(cut);

  r.Run();

  EXPECT_EQ(r.fs.FaultHits(id), 1);
  EXPECT_EQ(r.fs.Contents("D:\\Backup\\Data\\a.txt"), previous);
  EXPECT_EQ(r.fs.TimeOf("D:\\Backup\\Data\\a.txt"), kOldTime);
  EXPECT_TRUE(r.fs.TemporaryFiles().empty());
  EXPECT_EQ(r.LogLines(), std::vector<std::string>{"Error 23 on File C:\\Data\\a.txt"});
  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\Data\\b.txt"));
}

TEST(AddOperation, FullFixedDiskIsReportedOncePerFolderThatStillHasFiles) {
  AddRun r(DriveType::Fixed, 2000);
  r.Select("C:\\Data", {"a.txt"}, 100);
  r.sel.AddPath("C:\\Data")->AddFile("big.txt", 5000);
  r.fs.WriteFile("C:\\Data\\big.txt", std::string(5000, 'B'));
  ++r.count;
  r.Select("C:\\Data", {"c.txt"}, 100);
  r.Select("C:\\Data\\Sub", {"s.txt"}, 100);
  r.Select("C:\\Next", {"n.txt"}, 5000);
  r.Select("C:\\Last", {"l.txt"}, 100);
  r.ui.Answer(mb::IdOk);
  r.ui.Answer(mb::IdOk);

  EXPECT_EQ(r.Run(), TAddResult::Finished);

  const std::string full = "Cannot copy any more files as this disk is full.";
  EXPECT_EQ(r.Texts(), (std::vector<std::string>{full, full, kAddErrorQuestion}));
  EXPECT_EQ(r.ui.messages[0].flags, mb::Ok | mb::IconError);
  EXPECT_EQ(r.ui.messages[0].owner, MessageOwner::Progress);
  EXPECT_EQ(r.LogLines(),
            (std::vector<std::string>{"Error: Cannot copy any more files as this disk is full.",
                                      "Error: Cannot copy any more files as this disk is full."}));
  EXPECT_TRUE(r.op.AddErrors);
  EXPECT_EQ(r.ui.shownFiles,
            (std::vector<std::string>{"C:\\Data\\a.txt", "C:\\Data\\big.txt", "C:\\Next\\n.txt",
                                      "C:\\Last\\l.txt"}));
  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\Last\\l.txt"));  // still fits after the big ones
  EXPECT_FALSE(r.fs.Exists("D:\\Backup\\Data\\Sub"));
  EXPECT_TRUE(r.fs.TemporaryFiles().empty());
  EXPECT_TRUE(r.ui.AtRest());
}

struct RemovableRun : AddRun {
  RemovableRun() : AddRun(DriveType::Removable, 2000) {
    Select("C:\\Data", {"a.txt"}, 100);
    Select("C:\\Data", {"big.txt"}, 3000);
    Select("C:\\Data", {"c.txt"}, 100);
    Select("C:\\Data\\Sub", {"s.txt"}, 100);
    Select("C:\\Next", {"n.txt"}, 100);
  }
  // The user takes the full disk out and puts in an empty one before answering.
  void SwapDiskOnNextQuestion(uint64_t capacity) {
    ui.onMessage = [this, capacity](const UiMessage& m) {
      if (m.text != kDiskFullInsert) return;
      fs.RemoveDrive("D:");
      fs.AddDrive("D:", DriveType::Removable, capacity);
    };
  }
};

TEST(AddOperation, FullRemovableDiskAcceptedNewDiskGetsTheFolderAndEveryLaterFile) {
  RemovableRun r;
  r.SwapDiskOnNextQuestion(1u << 20);
  r.ui.Answer(mb::IdOk);

  EXPECT_EQ(r.Run(), TAddResult::Finished);

  ASSERT_FALSE(r.ui.messages.empty());
  const UiMessage& ask = r.ui.messages[0];
  EXPECT_EQ(ask.text, "Cannot copy any more files as this disk is full. Please insert another disk.");
  EXPECT_EQ(ask.flags, mb::OkCancel | mb::IconError | mb::SetForeground);
  EXPECT_EQ(ask.owner, MessageOwner::Progress);
  // The new disk holds the file that did not fit and everything after it; the copy made on
  // the first disk is not repeated.
  EXPECT_EQ(r.fs.Contents("D:\\Backup\\Data\\big.txt")->size(), 3000u);
  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\Data\\c.txt"));
  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\Data\\Sub\\s.txt"));
  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\Next\\n.txt"));
  EXPECT_FALSE(r.fs.Exists("D:\\Backup\\Data\\a.txt"));
  EXPECT_EQ(r.LogLines(), std::vector<std::string>{});
  EXPECT_FALSE(r.op.AddErrors);
  EXPECT_EQ(r.Texts().back(),
            "Tidewell has finished refreshing the volume \"Docs\". 0 of 0 files have changed.");
  // The animation pauses while the user changes disks.
  auto stop = std::find(r.ui.calls.begin(), r.ui.calls.end(), "StopAnimation");
  auto ask2 = std::find(r.ui.calls.begin(), r.ui.calls.end(), "Message " + ask.text);
  auto start = std::find(r.ui.calls.begin(), r.ui.calls.end(), "StartAnimation");
  EXPECT_TRUE(stop < ask2 && ask2 < start && start != r.ui.calls.end());
}

TEST(AddOperation, RefreshAfterADiskChangeComparesTheRestOfTheFolderWithTheNewDisk) {
  RemovableRun r;
  // The full disk holds current copies of a.txt and c.txt; big.txt has none yet.
  for (const char* name : {"a.txt", "c.txt"}) {
    const std::string original = std::string("C:\\Data\\") + name;
    const std::string copy = std::string("D:\\Backup\\Data\\") + name;
    r.fs.WriteFile(copy, *r.fs.Contents(original));
    FindData info;
    ASSERT_EQ(r.fs.Stat(original, info), winerr::Success);
    r.fs.SetTime(copy, info.lastWrite);
  }
  r.SwapDiskOnNextQuestion(1u << 20);
  r.ui.Answer(mb::IdOk);
  r.op.RefreshMode = true;

  EXPECT_EQ(r.Run(), TAddResult::Finished);

  // c.txt's copy is on the disk taken out: the new one must get it.
  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\Data\\big.txt"));
  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\Data\\c.txt"));
  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\Data\\Sub\\s.txt"));
  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\Next\\n.txt"));
  EXPECT_FALSE(r.fs.Exists("D:\\Backup\\Data\\a.txt"));
  EXPECT_EQ(r.op.FilesChecked, 5);
  EXPECT_EQ(r.op.FilesChanged, 4);
  EXPECT_EQ(r.LogLines(), std::vector<std::string>{});
}

TEST(AddOperation, FailedRetryOnNewDiskIsLoggedAndEarlierErrorsStayRecorded) {
  RemovableRun r;
  FsFault held;
  held.op = FsOp::Copy;
  held.path = "C:\\Data\\a.txt";
  held.error = winerr::AccessDenied;
  r.fs.AddFault(held);
  // The first new disk is too small as well; the second one takes the file.
  int questions = 0;
  r.ui.onMessage = [&](const UiMessage& m) {
    if (m.text != kDiskFullInsert) return;
    r.fs.RemoveDrive("D:");
    r.fs.AddDrive("D:", DriveType::Removable, ++questions == 1 ? 1000 : 1u << 20);
  };
  r.ui.Answer(mb::IdOk);
  r.ui.Answer(mb::IdOk);
  r.ui.Answer(mb::IdYes);

  EXPECT_EQ(r.Run(), TAddResult::Finished);

  EXPECT_EQ(questions, 2);
  EXPECT_EQ(r.LogLines(),
            (std::vector<std::string>{
                "Error: File D:\\Backup\\Data\\a.txt: Access Denied.",
                "Error occured in backing up file C:\\Data\\big.txt to D:\\Backup\\Data\\big.txt"}));
  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\Data\\big.txt"));
  // The successful copy after the disk change does not clear the errors.
  EXPECT_TRUE(r.op.AddErrors);
  EXPECT_EQ(r.Texts().back(), kAddErrorQuestion);
  EXPECT_EQ(r.ui.openedLogs, std::vector<std::string>{kLog});
}

TEST(AddOperation, CopiesAreOnTheDiskBeforeAnyQuestionOrReport) {
  // The user may take the disk out at any question, and after the report.
  RemovableRun r;
  std::vector<size_t> unsettledAtMessage;
  r.ui.onMessage = [&](const UiMessage& m) {
    unsettledAtMessage.push_back(r.fs.UnsettledCopies());
    if (m.text != kDiskFullInsert) return;
    r.fs.RemoveDrive("D:");
    r.fs.AddDrive("D:", DriveType::Removable, 1u << 20);
  };
  r.ui.Answer(mb::IdOk);

  EXPECT_EQ(r.Run(), TAddResult::Finished);

  EXPECT_EQ(unsettledAtMessage, (std::vector<size_t>{0, 0}));
  EXPECT_EQ(r.fs.TimeOf("D:\\Backup\\Next\\n.txt"), r.fs.TimeOf("C:\\Next\\n.txt"));
}

TEST(AddOperation, ACopyThatCannotReachTheDiskIsAnErrorAndTheNextRefreshCopiesItAgain) {
  AddRun r;
  r.Select("C:\\Data", {"a.txt", "b.txt"});
  FsFault lost;
  lost.op = FsOp::Settle;
  lost.path = "D:\\Backup\\Data\\b.txt";
  lost.error = 1117;  // an I/O device error
  r.fs.AddFault(lost);
  r.ui.Answer(mb::IdNo);

  EXPECT_EQ(r.Run(), TAddResult::Finished);

  EXPECT_TRUE(r.op.AddErrors);
  EXPECT_EQ(r.LogLines(), std::vector<std::string>{"Error 1117 on File D:\\Backup\\Data\\b.txt"});
  EXPECT_EQ(r.Texts(), std::vector<std::string>{kAddErrorQuestion});
  // The copy stays, but it never passes for a current one.
  TAddOperation refresh(r.fs, r.ui);
  refresh.RefreshMode = true;
  EXPECT_EQ(refresh.AddSelectionToVolume(r.volume, r.sel, r.count), TAddResult::Finished);
  EXPECT_EQ(refresh.FilesChecked, 2);
  EXPECT_EQ(refresh.FilesChanged, 1);
  EXPECT_EQ(r.fs.TimeOf("D:\\Backup\\Data\\b.txt"), r.fs.TimeOf("C:\\Data\\b.txt"));
}

TEST(AddOperation, RefusingANewDiskEndsTheWholeWalk) {
  RemovableRun r;
  r.Select("C:\\Data\\Sub\\Deeper", {"d.txt"});
  r.ui.Answer(mb::IdCancel);
  r.ui.Answer(mb::IdNo);

  EXPECT_EQ(r.Run(), TAddResult::Cancelled);

  EXPECT_EQ(r.LogLines(),
            std::vector<std::string>{"Error: Disk full. User terminated process"});
  EXPECT_TRUE(r.op.AddErrors);
  EXPECT_TRUE(r.op.AddAborted);
  EXPECT_EQ(r.ui.shownFiles,
            (std::vector<std::string>{"C:\\Data\\a.txt", "C:\\Data\\big.txt"}));
  EXPECT_FALSE(r.fs.Exists("D:\\Backup\\Data\\c.txt"));
  EXPECT_FALSE(r.fs.Exists("D:\\Backup\\Data\\Sub"));
  EXPECT_FALSE(r.fs.Exists("D:\\Backup\\Next"));
  EXPECT_EQ(r.Texts(), (std::vector<std::string>{kDiskFullInsert, kAddErrorQuestion}));
  EXPECT_TRUE(r.ui.AtRest());
  EXPECT_TRUE(r.fs.TemporaryFiles().empty());
}

TEST(AddOperation, CancelStopsBeforeTheNextFileAndEndsSilentlyWithoutErrors) {
  AddRun r;
  r.Select("C:\\Data", {"a.txt", "b.txt", "c.txt"});
  r.Select("C:\\Next", {"n.txt"});
  r.ui.CancelAfterFiles(2);

  EXPECT_EQ(r.Run(), TAddResult::Cancelled);

  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\Data\\a.txt"));
  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\Data\\b.txt"));  // copies made so far stay
  EXPECT_FALSE(r.fs.Exists("D:\\Backup\\Data\\c.txt"));
  EXPECT_FALSE(r.fs.Exists("D:\\Backup\\Next"));
  EXPECT_TRUE(r.ui.messages.empty());
  EXPECT_TRUE(r.ui.AtRest());

  // With an error recorded before the cancel, the log is still offered.
  AddRun e;
  e.Select("C:\\Data", {"a.txt", "b.txt", "c.txt"});
  FsFault f;
  f.op = FsOp::Copy;
  f.path = "C:\\Data\\a.txt";
  f.error = 23;
  e.fs.AddFault(f);
  e.ui.CancelAfterFiles(1);
  EXPECT_EQ(e.Run(), TAddResult::Cancelled);
  EXPECT_EQ(e.Texts(), std::vector<std::string>{kAddErrorQuestion});
}

TEST(AddOperation, LogThatCannotBeCreatedStopsBeforeTheFirstFileAndRestoresTheWindow) {
  for (bool missingFolder : {false, true}) {
    SCOPED_TRACE(missingFolder ? "temporary folder missing" : "log refused");
    AddRun r;
    r.Select("C:\\Data", {"a.txt"});
    std::string log = kLog;
    if (missingFolder) {
      r.fs.SetTempFolder("C:\\Gone");
      log = "C:\\Gone\\TW-LOG.TMP";
    } else {
      FsFault f;
      f.op = FsOp::OpenWrite;
      f.path = kLog;
      f.error = winerr::AccessDenied;
      r.fs.AddFault(f);
    }

    EXPECT_EQ(r.Run(), TAddResult::Stopped);

    ASSERT_EQ(r.ui.messages.size(), 1u);
    EXPECT_EQ(r.ui.messages[0].text, "Cannot create file " + log);
    EXPECT_EQ(r.ui.messages[0].flags, mb::Ok | mb::IconError);
    EXPECT_EQ(r.ui.messages[0].owner, MessageOwner::MainWindow);
    EXPECT_TRUE(r.ui.shownFiles.empty());
    EXPECT_FALSE(r.fs.Exists("D:\\Backup\\Data"));
    EXPECT_TRUE(r.ui.AtRest());
    EXPECT_TRUE(r.ui.mainVisible);
    EXPECT_EQ(r.ui.calls.back(), "StartRefreshTimer");
  }
}

TEST(AddOperation, LogLinesThatCannotBeWrittenNeverStopTheOperation) {
  AddRun r;
  r.Select("C:\\Data", {"a.txt", "b.txt", "c.txt"});
  FsFault lines;
  lines.op = FsOp::Append;
  lines.match = PathMatch::Any;
  lines.error = winerr::DiskFull;
  lines.times = FsFault::kAlways;
  r.fs.AddFault(lines);
  FsFault bad;
  bad.op = FsOp::Copy;
  bad.path = "C:\\Data\\a.txt";
  bad.error = 23;
  r.fs.AddFault(bad);

  EXPECT_EQ(r.Run(), TAddResult::Finished);

  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\Data\\c.txt"));
  EXPECT_EQ(r.op.Log().FirstWriteError(), winerr::DiskFull);
  EXPECT_EQ(r.Texts(), std::vector<std::string>{kAddErrorQuestion});
  EXPECT_TRUE(r.ui.AtRest());
}

TEST(AddOperation, PlaceholderThatCannotBeWrittenStopsWithItsNameAndRestoresTheWindow) {
  AddRun r;
  r.Select("C:\\Data", {"a.txt"});
  FsFault f;
  f.op = FsOp::WriteAtomic;
  f.path = "D:\\Backup\\VOLUME.TWV";
  f.error = winerr::WriteProtect;
  r.fs.AddFault(f);

  EXPECT_EQ(r.Run(), TAddResult::Stopped);

  EXPECT_EQ(r.Texts(), std::vector<std::string>{"Unable to write to D:\\Backup\\VOLUME.TWV"});
  EXPECT_EQ(r.ui.messages[0].flags, mb::Ok | mb::IconError);
  EXPECT_FALSE(r.fs.Exists("D:\\Backup\\Data"));
  EXPECT_TRUE(r.ui.AtRest());
  EXPECT_TRUE(r.ui.mainVisible);

  // Failing at a later root's entries: the first root's copies stay, the log is closed.
  AddRun s;
  s.Select("C:\\Data", {"a.txt"});
  s.fs.AddDrive("E:", DriveType::Fixed);
  s.Select("E:\\More", {"m.txt"});
  FsFault later = f;
  later.skip = 2;  // the volume entry and the first root's entries go through
  s.fs.AddFault(later);
  EXPECT_EQ(s.Run(), TAddResult::Stopped);
  EXPECT_TRUE(s.fs.Exists("D:\\Backup\\Data\\a.txt"));
  EXPECT_FALSE(s.fs.Exists("D:\\Backup\\More"));
  EXPECT_EQ(s.fs.OpenWriters(), 0);
  EXPECT_TRUE(s.ui.AtRest());
}

TEST(AddOperation, ErrorQuestionOpensTheLogOnYesOnly) {
  for (int answer : {mb::IdYes, mb::IdNo}) {
    AddRun r;
    r.Select("C:\\Data", {"a.txt"});
    FsFault f;
    f.op = FsOp::Copy;
    f.path = "C:\\Data\\a.txt";
    f.error = 23;
    r.fs.AddFault(f);
    r.ui.Answer(answer);
    r.Run();
    EXPECT_EQ(r.ui.messages.back().owner, MessageOwner::MainWindow);
    EXPECT_EQ(r.ui.openedLogs.size(), answer == mb::IdYes ? 1u : 0u);
    if (answer == mb::IdYes) {
      EXPECT_EQ(r.ui.openedLogs[0], kLog);
    }
  }
}

TEST(AddOperation, SeparateFolderVolumesAndNetworkRootsMapBelowTheirDriveFolders) {
  AddRun r;
  r.volume.SeparateFolders = true;
  r.fs.AddDrive("\\\\srv\\share", DriveType::Remote);
  r.Select("C:\\Data", {"a.txt"});
  r.Select("\\\\srv\\share\\Docs", {"n.txt"});
  EXPECT_EQ(r.Run(), TAddResult::Finished);
  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\From Drive C\\Data\\a.txt"));
  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\From Network\\srv\\share\\Docs\\n.txt"));
  EXPECT_EQ(r.LogLines(), std::vector<std::string>{});
}

}  // namespace

TEST(AddOperation, NothingLeftUndoneEndsWithTheCompletionMessage) {
  const std::string finished =
      "Tidewell has finished refreshing the volume \"Docs\". 0 of 0 files have changed.";
  {
    SCOPED_TRACE("a folder of originals that cannot be read in a refresh");
    AddRun r;
    r.Select("C:\\Data", {"a.txt", "b.txt"});
    FsFault locked;
    locked.op = FsOp::List;
    locked.path = "C:\\Data";
    locked.match = PathMatch::Prefix;
    locked.error = winerr::AccessDenied;
    locked.times = FsFault::kAlways;
    r.fs.AddFault(locked);
    r.op.RefreshMode = true;
    EXPECT_EQ(r.Run(), TAddResult::Finished);
    EXPECT_TRUE(r.op.AddErrors);
    EXPECT_EQ(r.LogLines(), std::vector<std::string>{
                                "Error 5: Couldnt read the folder C:\\Data, so none of its "
                                "files were copied."});
    EXPECT_EQ(r.Texts(), std::vector<std::string>{kAddErrorQuestion});
  }
  {
    SCOPED_TRACE("a folder selected whole that its scan could not read");
    AddRun r;
    r.fs.MakeDirs("C:\\Data\\Secret");
    r.fs.WriteFile("C:\\Data\\Secret\\s.txt", "secret");
    FsFault locked;
    locked.op = FsOp::List;
    locked.path = "C:\\Data\\Secret";
    locked.match = PathMatch::Prefix;
    locked.error = winerr::AccessDenied;
    r.fs.AddFault(locked);
    ASSERT_TRUE(r.sel.AddPath("C:\\Data\\Secret")->SelectAll());
    EXPECT_EQ(r.Run(), TAddResult::Finished);
    EXPECT_TRUE(r.op.AddErrors);
    EXPECT_EQ(r.Texts(), std::vector<std::string>{kAddErrorQuestion});
  }
  {
    SCOPED_TRACE("a selected folder deleted before a plain add");
    AddRun r;
    r.Select("C:\\Data\\Gone", {"a.txt"});
    r.Select("C:\\Data", {"b.txt"});
    r.fs.Remove("C:\\Data\\Gone\\a.txt");
    r.fs.RemoveDir("C:\\Data\\Gone");
    EXPECT_EQ(r.Run(), TAddResult::Finished);
    // The original is gone; the volume is not to blame.
    EXPECT_EQ(r.LogLines(), std::vector<std::string>{
                                "Warning: Couldnt find file a.txt at its original location of "
                                "C:\\Data\\Gone."});
    EXPECT_EQ(r.Texts(), std::vector<std::string>{finished});
    EXPECT_TRUE(r.fs.Exists("D:\\Backup\\Data\\b.txt"));
  }
  {
    SCOPED_TRACE("Cancel pressed during the last file");
    AddRun r;
    r.Select("C:\\Data", {"a.txt", "b.txt"});
    r.ui.CancelAfterFiles(2);
    EXPECT_EQ(r.Run(), TAddResult::Cancelled);
    EXPECT_EQ(r.Texts(), std::vector<std::string>{});
  }
}

TEST(AddOperation, VolumeFoldersBelowTheSelectionAreNeverCopiedIntoTheVolume) {
  AddRun r;
  r.volume.BackupPath = "C:\\Users\\Me\\Backup\\";
  r.fs.WriteFile("C:\\Users\\Me\\notes.txt", "notes");
  r.fs.WriteFile("C:\\Users\\Me\\Other\\VOLUME.TWV", "[Tidewell Volume]\r\n");
  r.fs.WriteFile("C:\\Users\\Me\\Other\\x.txt", "another volume's copy");
  // The other volume is listed, so scans pass over it; the walk passes over its own volume
  // even when nobody said so.
  r.sel.Environment().ExcludeFolders({"c:\\users\\me\\other\\"});
  for (int run = 0; run < 3; ++run) {
    SCOPED_TRACE(run);
    r.sel.Clear();
    ASSERT_TRUE(r.sel.AddPath("C:\\Users\\Me")->SelectAll());
    EXPECT_EQ(r.sel.FindNode("C:\\Users\\Me\\Other"), nullptr);
    r.op.RefreshMode = run > 0;
    r.count = CountSelectedFiles(r.sel);
    EXPECT_EQ(r.Run(), TAddResult::Finished);
  }
  EXPECT_TRUE(r.fs.Exists("C:\\Users\\Me\\Backup\\Users\\Me\\notes.txt"));
  EXPECT_FALSE(r.fs.Exists("C:\\Users\\Me\\Backup\\Users\\Me\\Backup"));
  EXPECT_FALSE(r.fs.Exists("C:\\Users\\Me\\Backup\\Users\\Me\\Other"));
  // Named explicitly in a selection file, the own volume is still passed over.
  r.sel.Clear();
  r.sel.AddPath("C:\\Users\\Me\\Backup\\Users\\Me")->AddFile("notes.txt", -1);
  r.count = 1;
  EXPECT_EQ(r.Run(), TAddResult::Finished);
  EXPECT_FALSE(r.fs.Exists("C:\\Users\\Me\\Backup\\Users\\Me\\Backup"));
}

TEST(AddOperation, TreesDeeperThanTheStackCouldRecurseAreWalked) {
  AddRun r;
  std::string folder = "C:\\D";
  for (int i = 0; i < 1000; ++i) folder += "\\d";
  r.Select(folder, {"deep.txt"});
  TAddResult result = TAddResult::Stopped;
  ASSERT_TRUE(testing::RunOnSmallStack(256 * 1024, [&] { result = r.Run(); }));
  EXPECT_EQ(result, TAddResult::Finished);
  EXPECT_TRUE(r.fs.Exists("D:\\Backup" + folder.substr(2) + "\\deep.txt"));
}

TEST(AddOperation, NodesFreedByAWindowMessageStopTheWalkAsAnError) {
  AddRun r;
  r.Select("C:\\Data", {"a.txt", "b.txt", "c.txt"});
  r.Select("C:\\Data\\Sub", {"s.txt"});
  int shown = 0;
  r.ui.onProcessMessages = [&] {
    if (++shown == 1) r.sel.RemovePath("C:\\Data\\Sub");
  };
  EXPECT_EQ(r.Run(), TAddResult::Finished);
  EXPECT_TRUE(r.op.AddErrors);
  EXPECT_EQ(r.LogLines(), std::vector<std::string>{logline::kSelectionChanged});
  EXPECT_EQ(r.Texts(), std::vector<std::string>{kAddErrorQuestion});
  EXPECT_TRUE(r.ui.AtRest());
}

TEST(AddOperation, TheFolderInHandFreedByAWindowMessageIsNotTouchedAgain) {
  AddRun r;
  r.Select("C:\\Data", {"a.txt", "b.txt", "c.txt"});
  r.ui.onProcessMessages = [&] { r.sel.RemovePath("C:\\Data"); };
  EXPECT_EQ(r.Run(), TAddResult::Finished);
  EXPECT_TRUE(r.op.AddErrors);
  EXPECT_EQ(r.ui.shownFiles, std::vector<std::string>{"C:\\Data\\a.txt"});
  EXPECT_EQ(r.LogLines(), std::vector<std::string>{logline::kSelectionChanged});
}

TEST(AddOperation, AFileNamedLikeThePlaceholderNeverReplacesIt) {
  AddRun r;
  r.volume.SeparateFolders = false;
  r.Select("C:", {"volume.twv", "boot.ini"});
  EXPECT_EQ(r.Run(), TAddResult::Finished);
  EXPECT_TRUE(r.fs.Exists("D:\\Backup\\boot.ini"));
  const std::string placeholder = *r.fs.Contents("D:\\Backup\\VOLUME.TWV");
  EXPECT_NE(placeholder.find("[Tidewell Volume]"), std::string::npos) << placeholder;
  EXPECT_EQ(r.LogLines(), std::vector<std::string>{
                              "Error: File C:\\volume.twv cannot be copied: its copy would "
                              "replace the volume's own VOLUME.TWV."});
  EXPECT_EQ(r.Texts(), std::vector<std::string>{kAddErrorQuestion});
}

}  // namespace tw
