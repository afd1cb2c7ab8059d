// First backups on real files under Wine, with the real progress dialog and window switching.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/layout.h"
#include "engine/oplog.h"
#include "engine/operations.h"
#include "platform/win32/Utf.h"
#include "tests/gui/BackupHarness.h"

namespace tw {
namespace {

using testing::Attributes;
using testing::FileExists;
using testing::ReadFileText;
using testing::SetLastWrite;
using testing::TBackupHarness;
using testing::TTempTree;

const char kCompletionZero[] =
    "Tidewell has finished refreshing the volume \"Docs\". 0 of 0 files have changed.";

TVolumeRec Volume(const std::string& backupPath, bool separate) {
  TVolumeRec v;
  v.Name = "Docs";
  v.BackupPath = backupPath;
  v.SeparateFolders = separate;
  return v;
}

FILETIME LastWrite(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA d{};
  GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &d);
  return d.ftLastWriteTime;
}

// Files below a folder, as relative paths, sorted.
std::vector<std::string> FilesBelow(const std::string& folder, const std::string& prefix = "") {
  std::vector<std::string> out;
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(Widen(folder + "\\*").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return out;
  do {
    std::string name = Narrow(fd.cFileName);
    if (name == "." || name == "..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      auto sub = FilesBelow(folder + "\\" + name, prefix + name + "\\");
      out.insert(out.end(), sub.begin(), sub.end());
    } else {
      out.push_back(prefix + name);
    }
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  std::sort(out.begin(), out.end());
  return out;
}

void ExpectAtRest(TBackupHarness& h) {
  EXPECT_EQ(fWLProgress, nullptr);
  // The main window has its taskbar button back once it shows again.
  EXPECT_FALSE(GetWindowLongPtrW(h.Main.Handle(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_TRUE(IsWindowEnabled(h.Main.Handle()));
  EXPECT_TRUE(h.RefreshTimerRunning);
  ASSERT_FALSE(h.Events.empty());
  EXPECT_EQ(h.Events.front(), "StopRefreshTimer");
  EXPECT_EQ(h.Events.back(), "StartRefreshTimer");
}

void BackUpSmallTree(bool separate) {
  TTempTree src("src"), vol("vol");
  const std::string root = src.Path();
  src.File("a.txt", "alpha");
  src.File("Sub\\b.txt", "bravo bravo");
  src.File("Sub\\Deeper\\c.txt", std::string(100000, 'c'));
  src.File("Sub\\Deeper\\\xC3\xBC" "ber.txt", "unicode name");  // "über.txt"
  src.Dir("Empty");
  SetLastWrite(root + "a.txt", 132000000000000000ull);  // an old, even time stamp

  TBackupHarness h;
  ASSERT_TRUE(h.Select(root.substr(0, root.size() - 1)));
  ASSERT_EQ(h.SelectedFileCount(), 4);
  const std::string backup = vol.Path() + "Backup\\";  // not there yet: created by the add
  EXPECT_EQ(h.Run(Volume(backup, separate)), TAddResult::Finished);

  // Where the copies go: "From Drive C\<path>" with separate folders, "<path>" without.
  std::string relative = root.substr(3);  // "users\...\tw-src-...\"
  std::string dest = backup + (separate ? "From Drive " + root.substr(0, 1) + "\\" : "") + relative;
  EXPECT_EQ(ReadFileText(dest + "a.txt"), "alpha");
  EXPECT_EQ(ReadFileText(dest + "Sub\\b.txt"), "bravo bravo");
  EXPECT_EQ(ReadFileText(dest + "Sub\\Deeper\\c.txt"), std::string(100000, 'c'));
  EXPECT_EQ(ReadFileText(dest + "Sub\\Deeper\\\xC3\xBC" "ber.txt"), "unicode name");
  FILETIME want = LastWrite(root + "a.txt"), got = LastWrite(dest + "a.txt");
  EXPECT_EQ(CompareFileTime(&want, &got), 0) << "the copy keeps the original's time stamp";
  auto volumeFiles = FilesBelow(backup.substr(0, backup.size() - 1));
  EXPECT_EQ(volumeFiles.size(), 5u) << "four copies and VOLUME.TWV, no temporary files";

  std::string placeholder = ReadFileText(backup + "VOLUME.TWV");
  EXPECT_NE(placeholder.find("[Tidewell Volume]"), std::string::npos) << placeholder;
  EXPECT_NE(placeholder.find("Volume File=#"), std::string::npos) << placeholder;
  // The first-level folder below the root records where it came from.
  std::string firstLevel = relative.substr(0, relative.find('\\'));
  EXPECT_NE(placeholder.find(firstLevel + "=" + root.substr(0, 2)), std::string::npos)
      << placeholder;

  ASSERT_EQ(h.Boxes.Boxes.size(), 1u);
  const auto& box = h.Boxes.Boxes[0];
  EXPECT_EQ(box.text, kCompletionZero);
  EXPECT_EQ(box.caption, "Tidewell");
  EXPECT_EQ(box.flags, mb::Ok | mb::IconInformation);
  EXPECT_EQ(box.ownerName, "fWLMain");
  EXPECT_FALSE(box.progressVisible) << "the dialog is hidden before the report";
  EXPECT_TRUE(h.LogLines().empty());
  EXPECT_TRUE(h.OpenedLogs.empty());

  // While the walk ran: the dialog alone on screen, main window hidden and disabled, no timer.
  ASSERT_EQ(h.Views.size(), 4u);
  for (const auto& v : h.Views) {
    EXPECT_TRUE(v.progressVisible);
    EXPECT_TRUE(v.progressOwnButton) << "nothing on the taskbar while the main window hides";
    EXPECT_FALSE(v.mainVisible);
    EXPECT_FALSE(v.mainEnabled);
    EXPECT_FALSE(v.refreshTimerRunning);
    EXPECT_EQ(v.caption, "Refreshing volume ...");
    EXPECT_EQ(v.volumeLabel, "Docs");
    EXPECT_EQ(v.pathLabel, backup);
  }
  EXPECT_NE(h.Views[0].fileLabel.find("a.txt"), std::string::npos) << h.Views[0].fileLabel;
  ExpectAtRest(h);
  EXPECT_NE(std::find(h.Events.begin(), h.Events.end(), "RefreshContentsViews"), h.Events.end());
}

TEST(FirstBackupTest, SmallTreeWithSeparateFolders) { BackUpSmallTree(true); }
TEST(FirstBackupTest, SmallTreeWithoutSeparateFolders) { BackUpSmallTree(false); }

TEST(FirstBackupTest, ReadOnlySourceIsCopiedAndTheCopyLosesTheReadOnlyBit) {
  TTempTree src("src"), vol("vol");
  std::string file = src.File("locked.txt", "keep me");
  ASSERT_TRUE(SetFileAttributesW(Widen(file).c_str(), FILE_ATTRIBUTE_READONLY));
  TBackupHarness h;
  ASSERT_TRUE(h.Select(file));
  EXPECT_EQ(h.Run(Volume(vol.Path(), true)), TAddResult::Finished);
  std::string copy = MapToVolume(src.Path().substr(0, src.Path().size() - 1), Volume(vol.Path(), true)) +
                     "locked.txt";
  EXPECT_EQ(ReadFileText(copy), "keep me");
  EXPECT_FALSE(Attributes(copy) & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(Attributes(file) & FILE_ATTRIBUTE_READONLY) << "the original is left alone";
  ASSERT_EQ(h.Boxes.Boxes.size(), 1u);
  EXPECT_EQ(h.Boxes.Boxes[0].text, kCompletionZero);
  EXPECT_TRUE(h.LogLines().empty());
}

TEST(FirstBackupTest, ReadOnlyCopyInTheVolumeIsLoggedClearedAndReplacedNextTime) {
  TTempTree src("src"), vol("vol");
  std::string file = src.File("report.txt", "first");
  std::string other = src.File("other.txt", "other");
  const TVolumeRec volume = Volume(vol.Path(), false);
  const std::string copy =
      MapToVolume(src.Path().substr(0, src.Path().size() - 1), volume) + "report.txt";
  {
    TBackupHarness h;
    ASSERT_TRUE(h.Select(file));
    ASSERT_EQ(h.Run(volume), TAddResult::Finished);
    ASSERT_EQ(ReadFileText(copy), "first");
  }
  // Another tool made the copy read-only; the original changed meanwhile.
  ASSERT_TRUE(SetFileAttributesW(Widen(copy).c_str(), FILE_ATTRIBUTE_READONLY));
  src.File("report.txt", "second");
  {
    TBackupHarness h;
    ASSERT_TRUE(h.Select(file));
    ASSERT_TRUE(h.Select(other));
    h.Boxes.Answers = {mb::IdYes};
    EXPECT_EQ(h.Run(volume), TAddResult::Finished);
    EXPECT_TRUE(h.AddErrors);
    EXPECT_EQ(h.LogLines(), std::vector<std::string>{"Error: File " + copy + ": Access Denied."});
    EXPECT_EQ(ReadFileText(copy), "first") << "a refused copy leaves the old one whole";
    EXPECT_FALSE(Attributes(copy) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(FileExists(copy.substr(0, copy.size() - 10) + "other.txt")) << "the walk goes on";
    ASSERT_EQ(h.Boxes.Boxes.size(), 1u);
    EXPECT_EQ(h.Boxes.Boxes[0].text,
              "Errors have occured while backing up files. Would you like to view the log file ?");
    EXPECT_EQ(h.Boxes.Boxes[0].caption, "Tidewell");
    EXPECT_EQ(h.Boxes.Boxes[0].flags, mb::YesNo | mb::IconQuestion);
    EXPECT_EQ(h.Boxes.Boxes[0].ownerName, "fWLMain");
    EXPECT_EQ(h.OpenedLogs, std::vector<std::string>{LogFilePath(h.Fs)});
    ExpectAtRest(h);
  }
  {
    TBackupHarness h;
    ASSERT_TRUE(h.Select(file));
    EXPECT_EQ(h.Run(volume), TAddResult::Finished);
    EXPECT_FALSE(h.AddErrors);
    EXPECT_EQ(ReadFileText(copy), "second");
    EXPECT_TRUE(h.LogLines().empty()) << "the next operation empties the log";
    ASSERT_EQ(h.Boxes.Boxes.size(), 1u);
    EXPECT_EQ(h.Boxes.Boxes[0].text, kCompletionZero);
  }
}

TEST(FirstBackupTest, SourceHeldOpenByAnotherProgramIsOnlyAWarning) {
  TTempTree src("src"), vol("vol");
  std::string busy = src.File("busy.db", "in use");
  std::string free = src.File("free.txt", "free");
  HANDLE held = CreateFileW(Widen(busy).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  TBackupHarness h;
  ASSERT_TRUE(h.Select(src.Path().substr(0, src.Path().size() - 1)));
  const TVolumeRec volume = Volume(vol.Path(), true);
  TAddResult result = h.Run(volume);
  CloseHandle(held);
  EXPECT_EQ(result, TAddResult::Finished);
  EXPECT_FALSE(h.AddErrors);
  EXPECT_EQ(h.LogLines(), std::vector<std::string>{
                              "Warning: File " + busy +
                              " is in use by another application and cannot be copied"});
  std::string dest = MapToVolume(src.Path().substr(0, src.Path().size() - 1), volume);
  EXPECT_FALSE(FileExists(dest + "busy.db"));
  EXPECT_EQ(ReadFileText(dest + "free.txt"), "free");
  ASSERT_EQ(h.Boxes.Boxes.size(), 1u) << "the completion message, no error question";
  EXPECT_EQ(h.Boxes.Boxes[0].text, kCompletionZero);
  EXPECT_EQ(h.Boxes.Boxes[0].flags, mb::Ok | mb::IconInformation);
  EXPECT_TRUE(FilesBelow(vol.Path().substr(0, vol.Path().size() - 1)).size() == 2u)
      << "no temporary file left behind";
}

TEST(FirstBackupTest, EmptySelectionStillMarksTheVolumeAndReportsNothingChanged) {
  TTempTree vol("vol");
  TBackupHarness h;
  ASSERT_EQ(h.SelectedFileCount(), 0);
  EXPECT_EQ(h.Run(Volume(vol.Path() + "New\\", true)), TAddResult::Finished);
  EXPECT_TRUE(FileExists(vol.Path() + "New\\VOLUME.TWV"));
  EXPECT_EQ(FilesBelow(vol.Path() + "New"), std::vector<std::string>{"VOLUME.TWV"});
  ASSERT_EQ(h.Boxes.Boxes.size(), 1u);
  EXPECT_EQ(h.Boxes.Boxes[0].text, kCompletionZero);
  EXPECT_TRUE(h.Views.empty());
  ExpectAtRest(h);
}

TEST(FirstBackupTest, CancelPressedDuringTheWalkStopsAfterTheCurrentFileWithoutAMessage) {
  TTempTree src("src"), vol("vol");
  for (int d = 0; d < 6; ++d)
    for (int f = 0; f < 20; ++f)
      src.File("d" + std::to_string(d) + "\\f" + std::to_string(f) + ".txt", std::string(500, 'x'));
  TBackupHarness h;
  ASSERT_TRUE(h.Select(src.Path().substr(0, src.Path().size() - 1)));
  ASSERT_EQ(h.SelectedFileCount(), 120);
  h.CancelAfterFiles(25);
  const TVolumeRec volume = Volume(vol.Path(), true);
  EXPECT_EQ(h.Run(volume), TAddResult::Cancelled);
  EXPECT_TRUE(h.CancelPressed) << "Cancel could not be clicked by name";
  EXPECT_EQ(h.Views.size(), 25u) << "no file is started after Cancel";
  // The file in hand when Cancel came is finished; nothing after it is copied.
  auto copied = FilesBelow(vol.Path().substr(0, vol.Path().size() - 1));
  EXPECT_EQ(copied.size(), 26u) << "25 copies and VOLUME.TWV";
  EXPECT_TRUE(h.Boxes.Boxes.empty()) << "a cancel without errors ends silently";
  EXPECT_TRUE(h.LogLines().empty());
  ExpectAtRest(h);
}

TEST(FirstBackupTest, BackupPathBlockedByAFileAsksOverTheProgressDialogAndLogs) {
  TTempTree src("src"), vol("vol");
  src.File("a.txt", "a");
  // A file where the per-drive folder has to go: the folder cannot be made.
  std::string drive = "From Drive " + src.Path().substr(0, 1);
  std::string blocker = vol.Path() + drive;
  HANDLE f = CreateFileW(Widen(blocker).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  CloseHandle(f);
  TBackupHarness h;
  ASSERT_TRUE(h.Select(src.Path() + "a.txt"));
  h.Boxes.Answers = {mb::IdOk, mb::IdNo};
  EXPECT_EQ(h.Run(Volume(vol.Path(), true)), TAddResult::Finished);
  EXPECT_TRUE(h.AddErrors);
  ASSERT_EQ(h.Boxes.Boxes.size(), 2u);
  const auto& mid = h.Boxes.Boxes[0];
  EXPECT_EQ(mid.text.rfind("It seems that the backup path " + vol.Path() + drive + "\\", 0), 0u)
      << mid.text;
  EXPECT_EQ(mid.caption, "Tidewell");
  EXPECT_EQ(mid.ownerName, "fWLProgress") << "a question in the walk belongs to the dialog";
  EXPECT_TRUE(mid.progressVisible);
  EXPECT_EQ(h.Boxes.Boxes[1].flags, mb::YesNo | mb::IconQuestion);
  EXPECT_TRUE(h.OpenedLogs.empty()) << "No opens nothing";
  ASSERT_EQ(h.LogLines().size(), 1u);
  EXPECT_EQ(h.LogLines()[0].rfind("Error writing file " + vol.Path() + drive + "\\", 0), 0u);
  ExpectAtRest(h);
}

TEST(FirstBackupTest, RealMessageBoxCarriesTheExactCaptionAndText) {
  TTempTree src("src"), vol("vol");
  src.File("one.txt", "1");
  TBackupHarness h;
  h.RealMessageBoxes = true;
  ASSERT_TRUE(h.Select(src.Path() + "one.txt"));
  EXPECT_EQ(h.Run(Volume(vol.Path(), true)), TAddResult::Finished);
  ASSERT_EQ(h.RealBoxes.size(), 1u);
  EXPECT_EQ(h.RealBoxes[0].caption, "Tidewell");
  EXPECT_EQ(h.RealBoxes[0].text, kCompletionZero);
}

}  // namespace
}  // namespace tw
