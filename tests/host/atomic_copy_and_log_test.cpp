// The file-system calls the copying operations rely on (the atomic copy, folder creation with
// parents, the log file) and the log's own texts and end report.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/oplog.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/ScriptedOperationUI.h"

namespace tw {
namespace {

constexpr FileTime kOldTime = 130000000000000000ULL;

class AtomicCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.AddDrive("D:", DriveType::Fixed, 10000);
    fs.WriteFile("C:\\src.txt", std::string(4000, 'N'), fileattr::Hidden | fileattr::ReadOnly,
                 kOldTime);
    fs.WriteFile("D:\\B\\dst.txt", std::string(3000, 'O'));
  }
  void ExpectPreviousCopyIntact() {
    EXPECT_EQ(fs.Contents("D:\\B\\dst.txt"), std::string(3000, 'O'));
    EXPECT_EQ(fs.TimeOf("D:\\B\\dst.txt"), MemoryFileSystem::kDefaultTime);
    EXPECT_TRUE(fs.TemporaryFiles().empty());
  }
  MemoryFileSystem fs;
};

TEST_F(AtomicCopyTest, ReplacesTheTargetWithDataAttributesAndTimeOfTheSource) {
  uint32_t copied = 0;
  EXPECT_EQ(fs.CopyFileAtomic("C:\\src.txt", "d:\\b\\DST.TXT", &copied), winerr::Success);
  EXPECT_EQ(copied, fileattr::Hidden | fileattr::ReadOnly);
  EXPECT_EQ(fs.Contents("D:\\B\\dst.txt"), std::string(4000, 'N'));
  EXPECT_EQ(fs.Attributes("D:\\B\\dst.txt"), fileattr::Hidden | fileattr::ReadOnly);
  // Until its data is known to be on the disk the copy must not pass for current.
  EXPECT_NE(fs.TimeOf("D:\\B\\dst.txt"), kOldTime);
  EXPECT_EQ(fs.SettleCopies(), winerr::Success);
  EXPECT_EQ(fs.TimeOf("D:\\B\\dst.txt"), kOldTime);
  EXPECT_EQ(fs.ListAll().back(), "D:\\B\\dst.txt");  // the existing name keeps its spelling
  EXPECT_EQ(fs.FreeSpace("D:"), 10000u - 4000u);
  EXPECT_TRUE(fs.TemporaryFiles().empty());
  // A read-only copy cannot be replaced until its bit is cleared, as on Windows.
  EXPECT_EQ(fs.CopyFileAtomic("C:\\src.txt", "D:\\B\\dst.txt"), winerr::AccessDenied);
}

TEST_F(AtomicCopyTest, EveryFailureLeavesThePreviousCopyAndNoTemporaryFile) {
  // Cut off after part of the data was written.
  FsFault cut;
  cut.op = FsOp::Write;
  cut.path = "D:\\B\\dst.txt";
  cut.error = winerr::Crc;
  cut.partialBytes = 1500;
  fs.AddFault(cut);
  EXPECT_EQ(fs.CopyFileAtomic("C:\\src.txt", "D:\\B\\dst.txt"), winerr::Crc);
  ExpectPreviousCopyIntact();
  EXPECT_EQ(fs.FreeSpace("D:"), 10000u - 3000u);

  // No room for the new data next to the old.
  fs.WriteFile("C:\\huge.txt", std::string(8000, 'H'));
  EXPECT_EQ(fs.CopyFileAtomic("C:\\huge.txt", "D:\\B\\dst.txt"), winerr::DiskFull);
  ExpectPreviousCopyIntact();

  // The source in use by another program; the error comes through unchanged.
  for (WinError code : {32u, 33u, 15u, 19u, 21u, 65u, 71u, 39u}) {
    FsFault held;
    held.op = FsOp::Copy;
    held.path = "C:\\src.txt";
    held.error = code;
    fs.AddFault(held);
    EXPECT_EQ(fs.CopyFileAtomic("C:\\src.txt", "D:\\B\\dst.txt"), code);
    ExpectPreviousCopyIntact();
  }

  // A target another process keeps open: retried a few times, then given up.
  FsFault locked;
  locked.op = FsOp::Replace;
  locked.path = "D:\\B\\dst.txt";
  locked.error = winerr::SharingViolation;
  locked.times = FsFault::kAlways;
  int id = fs.AddFault(locked);
  EXPECT_EQ(fs.CopyFileAtomic("C:\\src.txt", "D:\\B\\dst.txt"), winerr::SharingViolation);
  EXPECT_EQ(fs.FaultHits(id), MemoryFileSystem::kReplaceTries);
  ExpectPreviousCopyIntact();
  fs.ClearFaults();

  // Missing source, missing destination folder, folder in the way.
  EXPECT_EQ(fs.CopyFileAtomic("C:\\nothing.txt", "D:\\B\\dst.txt"), winerr::FileNotFound);
  EXPECT_EQ(fs.CopyFileAtomic("C:\\src.txt", "D:\\Gone\\dst.txt"), winerr::PathNotFound);
  EXPECT_EQ(fs.CopyFileAtomic("C:\\src.txt", "Q:\\dst.txt"), winerr::PathNotFound);
  fs.MakeDirs("D:\\B\\folder");
  EXPECT_EQ(fs.CopyFileAtomic("C:\\src.txt", "D:\\B\\folder"), winerr::AccessDenied);
  ExpectPreviousCopyIntact();
}

TEST_F(AtomicCopyTest, BrieflyHeldTargetIsReplacedAfterARetry) {
  FsFault brief;
  brief.op = FsOp::Replace;
  brief.path = "D:\\B\\dst.txt";
  brief.error = winerr::AccessDenied;
  brief.times = 2;
  fs.AddFault(brief);
  EXPECT_EQ(fs.CopyFileAtomic("C:\\src.txt", "D:\\B\\dst.txt"), winerr::Success);
  EXPECT_EQ(fs.Contents("D:\\B\\dst.txt"), std::string(4000, 'N'));
  EXPECT_TRUE(fs.TemporaryFiles().empty());
}

TEST_F(AtomicCopyTest, MakeDirPathCreatesMissingParentsAndReportsWhatIsInTheWay) {
  EXPECT_EQ(fs.MakeDirPath("D:\\B\\x\\y\\z\\"), winerr::Success);
  EXPECT_TRUE(fs.IsDir("D:\\B\\x\\y\\z"));
  EXPECT_EQ(fs.MakeDirPath("D:\\B\\x\\y\\z"), winerr::Success);  // already there
  EXPECT_EQ(fs.MakeDirPath("D:\\"), winerr::Success);
  EXPECT_EQ(fs.MakeDirPath("D:\\B\\dst.txt\\sub"), winerr::AlreadyExists);
  EXPECT_EQ(fs.MakeDirPath("D:\\B\\dst.txt"), winerr::AlreadyExists);
  EXPECT_EQ(fs.MakeDirPath("Q:\\a\\b"), winerr::PathNotFound);
  fs.AddDrive("\\\\srv\\share", DriveType::Remote);
  EXPECT_EQ(fs.MakeDirPath("\\\\srv\\share\\a\\b"), winerr::Success);
  EXPECT_TRUE(fs.IsDir("\\\\srv\\share\\a\\b"));
  FsFault denied;
  denied.op = FsOp::MakeDir;
  denied.path = "D:\\B\\n";
  denied.error = winerr::AccessDenied;
  fs.AddFault(denied);
  EXPECT_EQ(fs.MakeDirPath("D:\\B\\n\\m"), winerr::AccessDenied);

  EXPECT_EQ(DriveRootOf("C:\\Data\\x"), "C:\\");
  EXPECT_EQ(DriveRootOf("c:"), "c:\\");
  EXPECT_EQ(DriveRootOf("\\\\srv\\share\\x"), "\\\\srv\\share\\");
  EXPECT_EQ(DriveRootOf("\\\\srv"), "");  // a server alone is no drive
  EXPECT_EQ(DriveRootOf("relative\\x"), "");
}

// A file system whose temporary folder is unknown.
class NoTempFs : public MemoryFileSystem {
 public:
  std::string TempFolder() override { return {}; }
};

TEST(OperationLog, CreatesAnEmptyFileAndWritesCrLfLinesThatOthersCanRead) {
  MemoryFileSystem fs;
  fs.AddDrive("C:", DriveType::Fixed);
  fs.SetTempFolder("C:\\Temp");
  fs.MakeDirs("C:\\Temp");
  EXPECT_EQ(LogFilePath(fs), "C:\\Temp\\TW-LOG.TMP");
  NoTempFs none;
  EXPECT_EQ(LogFilePath(none), "TW-LOG.TMP");

  fs.WriteFile("C:\\Temp\\TW-LOG.TMP", "old operation\r\n");
  TOperationLog log(fs);
  ASSERT_EQ(log.Create(LogFilePath(fs)), winerr::Success);
  EXPECT_EQ(fs.Contents("C:\\Temp\\TW-LOG.TMP"), "");
  log.Line("first");
  log.Line(logline::InUse("C:\\a b\\x.txt"));
  EXPECT_EQ(fs.Contents("C:\\Temp\\TW-LOG.TMP"),
            "first\r\nWarning: File C:\\a b\\x.txt is in use by another application and cannot "
            "be copied\r\n");
  EXPECT_EQ(fs.OpenWriters(), 1);
  log.Close();
  EXPECT_EQ(fs.OpenWriters(), 0);
  log.Line("after close");  // dropped, harmless
  EXPECT_EQ(log.LinesWritten(), 2);

  // A full temporary drive: the line is lost, the error kept, nothing thrown.
  MemoryFileSystem small;
  small.AddDrive("C:", DriveType::Fixed, 10);
  small.SetTempFolder("C:\\");
  TOperationLog tight(small);
  ASSERT_EQ(tight.Create(LogFilePath(small)), winerr::Success);
  tight.Line("this line does not fit");
  EXPECT_EQ(tight.FirstWriteError(), winerr::DiskFull);
  tight.Line("x");
  EXPECT_EQ(tight.FirstWriteError(), winerr::DiskFull);

  TOperationLog missing(fs);
  EXPECT_EQ(missing.Create("C:\\No\\TW-LOG.TMP"), winerr::PathNotFound);
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_EQ(CannotCreateFileText("C:\\No\\TW-LOG.TMP"), "Cannot create file C:\\No\\TW-LOG.TMP");
}

TEST(OperationLog, LineAndReportTextsAreTheSystemsOwnMisspellingsIncluded) {
  EXPECT_EQ(logline::CouldntFindFile("a.txt", "C:\\D"),
            "Warning: Couldnt find file a.txt at its original location of C:\\D.");
  EXPECT_EQ(logline::RetryFailed("C:\\a", "R:\\a"), "Error occured in backing up file C:\\a to R:\\a");
  EXPECT_EQ(logline::ErrorWriting("R:\\a"), "Error writing file R:\\a");
  EXPECT_EQ(logline::AccessDenied("R:\\a"), "Error: File R:\\a: Access Denied.");
  EXPECT_EQ(logline::OtherError(1392, "C:\\a"), "Error 1392 on File C:\\a");
  EXPECT_EQ(logline::UnableToCreateDirectory("C:\\x\\"), "Unable to create directory with path C:\\x\\");
  EXPECT_EQ(logline::CouldntRestore("V:\\a", "C:\\a"), "Couldnt restore file V:\\a to C:\\a");
  EXPECT_EQ(logline::ContentsCouldntFind("a", "C:\\D"),
            "Couldnt find file a at its original location of C:\\D.");
  EXPECT_EQ(logline::ContentsRefreshError("a"), "An error occured while refreshing file a.");
  EXPECT_EQ(AddFinishedText("My Vol", 3, 12),
            "Tidewell has finished refreshing the volume \"My Vol\". 3 of 12 files have changed.");
  EXPECT_EQ(ContentsRefreshFinishedText(1234567, 2345678),
            "Tidewell has finished refreshing the volume. 1234567 of 2345678 files have changed.");
  EXPECT_EQ(AutoRefreshFinishedText("V", 0, 5),
            "Tidewell has finished refreshing the volume: V. 0 of 5 files have changed.");
}

TEST(OperationLog, EndReportShowsOneBoxOrNoneAfterAQuietCancel) {
  struct Case {
    bool errors, cancelled;
    int answer;
    std::vector<std::string> texts;
    size_t opened;
  };
  const std::vector<Case> cases = {
      {false, false, 0, {"done"}, 0},
      {false, true, 0, {}, 0},
      {true, false, mb::IdYes, {"errors?"}, 1},
      {true, true, mb::IdNo, {"errors?"}, 0},
  };
  for (const Case& c : cases) {
    ScriptedOperationUI ui;
    if (c.answer) ui.Answer(c.answer);
    ReportEndOfOperation(ui, c.errors, c.cancelled, "done", "errors?", "C:\\T\\TW-LOG.TMP");
    std::vector<std::string> texts;
    for (const auto& m : ui.messages) {
      texts.push_back(m.text);
      EXPECT_EQ(m.caption, "Tidewell");
      EXPECT_EQ(m.owner, MessageOwner::MainWindow);
      EXPECT_EQ(m.flags, c.errors ? mb::YesNo | mb::IconQuestion : mb::Ok | mb::IconInformation);
    }
    EXPECT_EQ(texts, c.texts);
    EXPECT_EQ(ui.openedLogs.size(), c.opened);
  }
}

}  // namespace
}  // namespace tw
