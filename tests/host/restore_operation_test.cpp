// The restore operation and the Restore page's input checks against the in-memory file system:
// where each copy goes back to, what is never restored, what the user is told and what the log
// says.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/restore.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/ScriptedOperationUI.h"

namespace tw {
namespace {

constexpr FileTime kOldTime = 130000000000000000ULL;
const std::string kLog = "C:\\Temp\\TW-LOG.TMP";
const std::string kVol = "D:\\Backup\\";

struct RestoreRun {
  RestoreRun() {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.AddDrive("D:", DriveType::Fixed);
    fs.AddDrive("E:", DriveType::Fixed);
    fs.AddDrive("\\\\server\\share", DriveType::Remote);
    fs.SetTempFolder("C:\\Temp");
    fs.MakeDirs("C:\\Temp");
    volume.Name = "Docs";
    volume.BackupPath = kVol;
    volume.SeparateFolders = true;
    fs.WriteFile(kVol + "VOLUME.TWV", "[Tidewell Volume]\r\nVolume File=#\r\n");
  }

  // A copy in the volume (path below the volume folder), checked in the contents selection.
  void Copy(const std::string& rel, uint32_t attrs = fileattr::Archive) {
    const std::string path = kVol + rel;
    fs.WriteFile(path, "copy of " + rel, attrs, kOldTime);
    const size_t bs = path.rfind('\\');
    TWLNode* node = sel.AddPath(path.substr(0, bs));
    ASSERT_NE(node, nullptr) << path;
    node->AddFile(path.substr(bs + 1), 1);
  }

  TRestoreResult Run(std::optional<std::string> chosen = std::nullopt) {
    TRestoreOptions options;
    options.ChosenLocation = std::move(chosen);
    return op.RestoreSelection(volume, sel, std::move(options));
  }

  std::vector<std::string> LogLines() {
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

  std::vector<std::string> Texts() {
    std::vector<std::string> t;
    for (const auto& m : ui.messages) t.push_back(m.text);
    return t;
  }

  // Every VOLUME.TWV on any drive.
  std::vector<std::string> Placeholders() {
    std::vector<std::string> found;
    for (const auto& p : fs.ListAll()) {
      if (p.size() >= 10 && p.substr(p.size() - 10) == "VOLUME.TWV") found.push_back(p);
    }
    return found;
  }

  MemoryFileSystem fs;
  TWLDesktopNode sel{fs};
  ScriptedOperationUI ui;
  TRestoreOperation op{fs, ui};
  TVolumeRec volume;
};

TEST(RestoreOperation, OriginalLocationFromDriveAndNetworkFolders) {
  RestoreRun r;
  r.Copy("VOLUME.TWV");  // checked along with the volume folder: never restored
  r.Copy("From Drive C\\boot.ini");
  r.Copy("From Drive C\\Windows\\win.ini", fileattr::Hidden | fileattr::Archive);
  r.Copy("From Drive C\\Windows\\System\\new.dll");
  r.Copy("From Network\\server\\share\\docs\\n.txt");
  r.fs.WriteFile("C:\\Windows\\win.ini", "the user's current file");
  r.fs.WriteFile(kLog, "an earlier operation's line\r\n");

  EXPECT_EQ(r.Run(), TRestoreResult::Finished);

  EXPECT_EQ(r.fs.Contents("C:\\boot.ini"), "copy of From Drive C\\boot.ini");
  EXPECT_EQ(r.fs.Contents("C:\\Windows\\win.ini"), "copy of From Drive C\\Windows\\win.ini");
  EXPECT_EQ(r.fs.Attributes("C:\\Windows\\win.ini"), fileattr::Hidden | fileattr::Archive);
  EXPECT_EQ(r.fs.TimeOf("C:\\Windows\\win.ini"), kOldTime);
  EXPECT_EQ(r.fs.Contents("C:\\Windows\\System\\new.dll"),
            "copy of From Drive C\\Windows\\System\\new.dll");
  EXPECT_EQ(r.fs.Contents("\\\\server\\share\\docs\\n.txt"),
            "copy of From Network\\server\\share\\docs\\n.txt");
  EXPECT_EQ(r.Placeholders(), std::vector<std::string>{"D:\\Backup\\VOLUME.TWV"});
  EXPECT_TRUE(r.fs.TemporaryFiles().empty());
  EXPECT_EQ(r.op.FilesRestored, 4);
  uint64_t restoredBytes = 0;
  for (const char* f : {"C:\\boot.ini", "C:\\Windows\\win.ini", "C:\\Windows\\System\\new.dll",
                        "\\\\server\\share\\docs\\n.txt"})
    restoredBytes += r.fs.Contents(f).value_or("").size();
  EXPECT_EQ(r.ui.copiedBytes, restoredBytes);

  EXPECT_EQ(r.ui.shownFiles,
            (std::vector<std::string>{"C:\\boot.ini", "C:\\Windows\\win.ini",
                                      "C:\\Windows\\System\\new.dll",
                                      "\\\\server\\share\\docs\\n.txt"}));
  EXPECT_EQ(r.ui.caption, "Restoring Files...");
  EXPECT_EQ(r.ui.volumeText, "Docs");
  EXPECT_EQ(r.ui.pathText, kVol);
  EXPECT_EQ(r.ui.rangeMax, 5);  // every checked file, the placeholder included
  EXPECT_EQ(r.LogLines(), std::vector<std::string>{});
  ASSERT_EQ(r.ui.messages.size(), 1u);
  EXPECT_EQ(r.ui.messages[0].text, "Tidewell has finished restoring the files.");
  EXPECT_EQ(r.ui.messages[0].caption, "Tidewell");
  EXPECT_EQ(r.ui.messages[0].flags, mb::Ok | mb::IconInformation);
  EXPECT_EQ(r.ui.CountCalls("AskRootPath"), 0);
  EXPECT_TRUE(r.ui.AtRest());
  EXPECT_FALSE(r.ui.mainVisible);  // the caller shows its page and the window
  EXPECT_EQ(r.ui.calls.front(), "StopRefreshTimer");
  EXPECT_EQ(r.ui.calls.back(), "StartRefreshTimer");
}

TEST(RestoreOperation, RestoreToChosenFolderDropsTheDriveFolderAndKeepsThePathBelowIt) {
  RestoreRun r;
  r.Copy("From Drive C\\top.txt");
  r.Copy("From Drive C\\Windows\\System\\a.dll");

  TRestoreLocationCheck check = CheckRestoreLocation(r.ui, r.sel, kVol, "E:\\Old");
  ASSERT_EQ(check.Result, TRestoreInput::Ok);
  EXPECT_EQ(check.Location, "E:\\Old\\");
  EXPECT_TRUE(r.ui.messages.empty());

  EXPECT_EQ(r.Run(check.Location), TRestoreResult::Finished);
  EXPECT_EQ(r.fs.Contents("E:\\Old\\top.txt"), "copy of From Drive C\\top.txt");
  EXPECT_EQ(r.fs.Contents("E:\\Old\\Windows\\System\\a.dll"),
            "copy of From Drive C\\Windows\\System\\a.dll");
  EXPECT_FALSE(r.fs.Exists("E:\\Old\\From Drive C"));
  EXPECT_FALSE(r.fs.Exists("C:\\top.txt"));
  EXPECT_EQ(r.Texts(), std::vector<std::string>{kRestoreFinished});
}

TEST(RestoreOperation, InputChecksRefuseMultipleSourcesEmptyAndRelativeLocations) {
  {
    RestoreRun r;
    r.Copy("From Drive C\\a.txt");
    r.Copy("From Drive D\\b.txt");
    TRestoreLocationCheck check = CheckRestoreLocation(r.ui, r.sel, kVol, "E:\\Old");
    EXPECT_EQ(check.Result, TRestoreInput::MultipleSources);
    ASSERT_EQ(r.ui.messages.size(), 1u);
    EXPECT_EQ(r.ui.messages[0].text,
              "Tidewell cannot restore files from multiple sources to an alternate location.");
    EXPECT_EQ(r.ui.messages[0].caption, "Tidewell");
    EXPECT_EQ(r.ui.messages[0].flags, mb::Ok | mb::IconWarning);
  }
  {
    // Files beside the drive folder (the placeholder) are no second source; nothing checked
    // at all (restore all files) skips the test.
    RestoreRun r;
    r.Copy("VOLUME.TWV");
    r.Copy("From Drive C\\Sub\\a.txt");
    EXPECT_EQ(CheckRestoreLocation(r.ui, r.sel, kVol, "E:\\Old\\").Location, "E:\\Old\\");
    TWLDesktopNode empty{r.fs};
    EXPECT_EQ(CheckRestoreLocation(r.ui, empty, kVol, "\\\\server\\share").Location,
              "\\\\server\\share\\");
    // "Restore all files" looks at the volume on disk: one drive folder is one source.
    EXPECT_EQ(CheckRestoreLocation(r.ui, empty, kVol, "E:\\Old", &r.fs).Result, TRestoreInput::Ok);
    EXPECT_TRUE(r.ui.messages.empty());
  }
  {
    // Two drive folders restored whole into one folder would overwrite each other's files.
    RestoreRun r;
    r.fs.WriteFile(kVol + "From Drive C\\Docs\\a.txt", "c");
    r.fs.WriteFile(kVol + "From Drive D\\Docs\\a.txt", "d");
    TWLDesktopNode nothingChecked{r.fs};
    EXPECT_EQ(CheckRestoreLocation(r.ui, nothingChecked, kVol, "E:\\Old", &r.fs).Result,
              TRestoreInput::MultipleSources);
    ASSERT_EQ(r.ui.messages.size(), 1u);
    EXPECT_EQ(r.ui.messages[0].text,
              "Tidewell cannot restore files from multiple sources to an alternate location.");
  }
  struct Row {
    std::string text;
    TRestoreInput result;
    std::string message;
  };
  const std::vector<Row> rows = {
      {"", TRestoreInput::NoLocation, kSpecifyLocationText},
      {"  \t ", TRestoreInput::NoLocation, kSpecifyLocationText},
      {"Old", TRestoreInput::BadLocation, LocationNotAbsoluteText("Old")},
      {" E:\\Old", TRestoreInput::BadLocation, LocationNotAbsoluteText(" E:\\Old")},
      {"E:\\Old ", TRestoreInput::BadLocation, LocationNotAbsoluteText("E:\\Old ")},
      {"E:Old", TRestoreInput::BadLocation, LocationNotAbsoluteText("E:Old")},
      {"E:\\Old\\..\\..\\Windows", TRestoreInput::BadLocation,
       LocationNotAbsoluteText("E:\\Old\\..\\..\\Windows")},
      {"\\Old", TRestoreInput::BadLocation, LocationNotAbsoluteText("\\Old")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("location '" + row.text + "'");
    RestoreRun r;
    r.Copy("From Drive C\\a.txt");
    EXPECT_EQ(CheckRestoreLocation(r.ui, r.sel, kVol, row.text).Result, row.result);
    ASSERT_EQ(r.ui.messages.size(), 1u);
    EXPECT_EQ(r.ui.messages[0].text, row.message);
    EXPECT_EQ(r.ui.messages[0].caption, "Error");
    EXPECT_EQ(r.ui.messages[0].flags, mb::Ok | mb::IconError);
  }
}

TEST(RestoreOperation, FailedCopiesAndFoldersAreLoggedWhileTheRestGoesBack) {
  RestoreRun r;
  r.Copy("From Drive C\\Data\\a.txt");
  r.Copy("From Drive C\\Data\\b.txt");
  r.Copy("From Drive C\\Data\\c.txt");
  r.Copy("From Drive Q\\Lost\\q.txt");  // no drive Q: its folder cannot be made
  r.Copy("From Drive C\\Later\\z.txt");
  r.fs.WriteFile("C:\\Data\\b.txt", "read-only original", fileattr::ReadOnly | fileattr::Archive);
  r.ui.Answer(mb::IdYes);

  EXPECT_EQ(r.Run(), TRestoreResult::Finished);

  EXPECT_EQ(r.fs.Contents("C:\\Data\\a.txt"), "copy of From Drive C\\Data\\a.txt");
  EXPECT_EQ(r.fs.Contents("C:\\Data\\b.txt"), "read-only original");
  EXPECT_EQ(r.fs.Contents("C:\\Data\\c.txt"), "copy of From Drive C\\Data\\c.txt");
  EXPECT_EQ(r.fs.Contents("C:\\Later\\z.txt"), "copy of From Drive C\\Later\\z.txt");
  EXPECT_TRUE(r.fs.TemporaryFiles().empty());
  EXPECT_EQ(r.LogLines(),
            (std::vector<std::string>{
                "Couldnt restore file D:\\Backup\\From Drive C\\Data\\b.txt to C:\\Data\\b.txt",
                "Unable to create directory with path Q:\\"}));
  ASSERT_EQ(r.ui.messages.size(), 1u);
  EXPECT_EQ(r.ui.messages[0].text,
            "Errors have occured while restoring files. Would you like to view the log file ?");
  EXPECT_EQ(r.ui.messages[0].flags, mb::YesNo | mb::IconQuestion);
  EXPECT_EQ(r.ui.openedLogs, std::vector<std::string>{kLog});
  EXPECT_TRUE(r.op.RestoreErrors);
  EXPECT_TRUE(r.ui.AtRest());
}

TEST(RestoreOperation, ARestoredFileThatCannotReachTheDiskIsAnError) {
  RestoreRun r;
  r.Copy("From Drive C\\Data\\a.txt");
  r.Copy("From Drive C\\Data\\b.txt");
  FsFault lost;
  lost.op = FsOp::Settle;
  lost.path = "C:\\Data\\a.txt";
  lost.error = 1117;
  r.fs.AddFault(lost);
  size_t unsettledAtMessage = 99;
  r.ui.onMessage = [&](const UiMessage&) { unsettledAtMessage = r.fs.UnsettledCopies(); };
  r.ui.Answer(mb::IdNo);

  EXPECT_EQ(r.Run(), TRestoreResult::Finished);

  EXPECT_EQ(r.LogLines(), std::vector<std::string>{"Error 1117 on File C:\\Data\\a.txt"});
  EXPECT_TRUE(r.op.RestoreErrors);
  EXPECT_EQ(unsettledAtMessage, 0u);
  EXPECT_EQ(r.fs.TimeOf("C:\\Data\\b.txt"), kOldTime);
}

TEST(RestoreOperation, CancelEndsTheWalkAndOnlyErrorsBeforeItAreReported) {
  for (bool withError : {false, true}) {
    SCOPED_TRACE(withError ? "an error before the cancel" : "no error");
    RestoreRun r;
    r.Copy("From Drive C\\Data\\a.txt");
    r.Copy("From Drive C\\Data\\b.txt");
    r.Copy("From Drive C\\Data\\c.txt");
    r.Copy("From Drive C\\Other\\o.txt");
    if (withError) r.fs.WriteFile("C:\\Data\\a.txt", "kept", fileattr::ReadOnly);
    r.ui.CancelAfterFiles(2);
    r.ui.Answer(mb::IdNo);

    EXPECT_EQ(r.Run(), TRestoreResult::Cancelled);

    EXPECT_EQ(r.fs.Contents("C:\\Data\\b.txt"), "copy of From Drive C\\Data\\b.txt");
    EXPECT_FALSE(r.fs.Exists("C:\\Data\\c.txt"));
    EXPECT_FALSE(r.fs.Exists("C:\\Other"));  // the walk ends, no empty folders after it
    if (withError) {
      EXPECT_EQ(r.Texts(), std::vector<std::string>{kRestoreErrorQuestion});
      EXPECT_EQ(r.LogLines().size(), 1u);
    } else {
      EXPECT_EQ(r.Texts(), std::vector<std::string>{});
    }
    EXPECT_TRUE(r.ui.openedLogs.empty());
    EXPECT_TRUE(r.ui.AtRest());
  }
}

TEST(RestoreOperation, RestoreAllSelectsTheWholeVolumeOnceTheTimerIsOff) {
  RestoreRun r;
  r.fs.WriteFile(kVol + "From Drive C\\Data\\a.txt", "a");
  r.fs.WriteFile(kVol + "From Drive C\\Data\\Sub\\s.txt", "s");
  bool timerOffWhenSelecting = false;
  TRestoreOptions options;
  options.SelectWholeVolume = [&] {
    timerOffWhenSelecting = !r.ui.timerRunning;
    ASSERT_TRUE(r.sel.AddPath("D:\\Backup")->SelectAll());
  };

  EXPECT_EQ(r.op.RestoreSelection(r.volume, r.sel, std::move(options)),
            TRestoreResult::Finished);

  EXPECT_TRUE(timerOffWhenSelecting);
  EXPECT_EQ(r.ui.rangeMax, 3);
  EXPECT_EQ(r.fs.Contents("C:\\Data\\a.txt"), "a");
  EXPECT_EQ(r.fs.Contents("C:\\Data\\Sub\\s.txt"), "s");
  EXPECT_EQ(r.Placeholders(), std::vector<std::string>{"D:\\Backup\\VOLUME.TWV"});
}

TEST(RestoreOperation, LogThatCannotBeCreatedStopsBeforeTheFirstFile) {
  RestoreRun r;
  r.Copy("From Drive C\\a.txt");
  FsFault f;
  f.op = FsOp::OpenWrite;
  f.path = kLog;
  r.fs.AddFault(f);

  EXPECT_EQ(r.Run(), TRestoreResult::Stopped);

  EXPECT_FALSE(r.fs.Exists("C:\\a.txt"));
  EXPECT_EQ(r.Texts(), std::vector<std::string>{"Cannot create file " + kLog});
  EXPECT_TRUE(r.ui.AtRest());
  EXPECT_TRUE(r.ui.mainVisible);
}

}  // namespace
}  // namespace tw
