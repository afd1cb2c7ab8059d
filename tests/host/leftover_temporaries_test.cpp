// Temporary files a killed process left behind: the operations that write into a folder remove
// those of processes that have ended, leave those of running ones alone, and no operation takes
// one for a user file (restored, counted, logged, deleted as a copy).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/operations.h"
#include "engine/refresh.h"
#include "engine/restore.h"
#include "platform/memory/FakeClock.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/ScriptedOperationUI.h"

namespace tw {
namespace {

const std::string kLog = "C:\\Temp\\TW-LOG.TMP";
constexpr FileTime kT = MemoryFileSystem::kDefaultTime - 3600 * kFileTimeSecond;
constexpr uint32_t kEnded = 0x77, kRunning = 0x99, kReused = 0x98;

std::vector<std::string> LogLines(MemoryFileSystem& fs) {
  std::vector<std::string> lines;
  auto text = fs.Contents(kLog);
  if (!text) return {"<no log>"};
  for (size_t pos = 0; pos < text->size();) {
    size_t end = text->find("\r\n", pos);
    if (end == std::string::npos) return {"<unterminated>"};
    lines.push_back(text->substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

// A world with the drives, the volume and the processes the temporaries belong to: kEnded has
// gone, kRunning runs since before its files were made, kReused's pid now belongs to a process
// started after its file was made, and this process started after its own old file.
struct World {
  World() {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.AddDrive("D:", DriveType::Fixed);
    fs.SetTempFolder("C:\\Temp");
    fs.MakeDirs("C:\\Temp");
    volume.Name = "Docs";
    volume.BackupPath = "D:\\Backup\\";
    volume.SeparateFolders = true;
    fs.SetProcess(kRunning, kT - 10 * kFileTimeSecond);
    fs.SetProcess(kReused, kT + 5 * kFileTimeSecond);
    fs.SetProcess(MemoryFileSystem::kOwnPid, kT + 5 * kFileTimeSecond);
  }
  // One leftover of each kind in folder; returns the one that must stay.
  std::string Leftovers(const std::string& folder) {
    fs.WriteFile(folder + "\\~tw77-3.tmp", "torn", fileattr::Archive, kT);
    fs.WriteFile(folder + "\\~tw1d0c-0.tmp", "pid of ours, older than this run", fileattr::Hidden,
                 kT);
    fs.WriteFile(folder + "\\~tw98-a.tmp", "pid reused since", fileattr::ReadOnly, kT);
    fs.WriteFile(folder + "\\~tw99-1.tmp", "still being written", fileattr::Archive, kT);
    return folder + "\\~tw99-1.tmp";
  }
  MemoryFileSystem fs;
  ScriptedOperationUI ui;
  TVolumeRec volume;
};

TEST(LeftoverTemporaries, NamesOfOursAreRecognisedAndNothingElse) {
  EXPECT_EQ(TemporaryName(0x1d0c, 0), "~tw1d0c-0.tmp");
  EXPECT_EQ(TemporaryNameOwner(TemporaryName(0xffffffffu, 0xfedcba9876543210ull)), 0xffffffffu);
  EXPECT_EQ(TemporaryNameOwner("~tw98-a.tmp"), 0x98u);
  for (const char* other : {"~tw-1.tmp", "~tw1-.tmp", "~tw1.tmp", "~twg-1.tmp", "~tw01-1.tmp",
                            "~tw1-01.tmp", "~tw123456789-1.tmp", "~TW1-1.TMP", "~tw1-1.tmp.txt",
                            "x~tw1-1.tmp", "~tw1-1-2.tmp", "~twA-1.tmp", "~tw1-1.tm", ""}) {
    EXPECT_FALSE(IsOurTemporaryName(other)) << other;
  }
  EXPECT_TRUE(IsStaleTemporary(std::nullopt, kT));
  EXPECT_TRUE(IsStaleTemporary(kT + 1, kT));
  EXPECT_FALSE(IsStaleTemporary(kT, kT));
}

TEST(LeftoverTemporaries, AddRemovesThoseOfEndedProcessesWhereItWritesAndCopiesNone) {
  World w;
  w.fs.WriteFile("C:\\Data\\a.txt", "a", fileattr::Archive, kT);
  // In an original folder, where a backup never writes: it stays, and is not backed up.
  w.fs.WriteFile("C:\\Data\\~tw77-4.tmp", "left by a killed restore", fileattr::Archive, kT);
  const std::string kept = w.Leftovers("D:\\Backup\\From Drive C\\Data");
  // Left by a run killed while it wrote the placeholder.
  w.fs.WriteFile("D:\\Backup\\~tw77-1.tmp", "[Tidewell", fileattr::Archive, kT);
  TWLDesktopNode sel(w.fs);
  TWLNode* data = sel.AddPath("C:\\Data");
  ASSERT_TRUE(data && data->SelectAll());
  EXPECT_EQ(CountSelectedFiles(sel), 1);

  TAddOperation op(w.fs, w.ui);
  EXPECT_EQ(op.AddSelectionToVolume(w.volume, sel, CountSelectedFiles(sel)), TAddResult::Finished);

  EXPECT_EQ(w.fs.TemporaryFiles(), (std::vector<std::string>{"C:\\Data\\~tw77-4.tmp", kept}));
  EXPECT_EQ(w.fs.Contents("D:\\Backup\\From Drive C\\Data\\a.txt"), "a");
  EXPECT_EQ(w.ui.shownFiles, std::vector<std::string>{"C:\\Data\\a.txt"});
  EXPECT_EQ(LogLines(w.fs), std::vector<std::string>{});
}

TEST(LeftoverTemporaries, RefreshRemovesThemWhereNothingChangedAndNeverCountsThem) {
  World w;
  for (const char* folder : {"C:\\Data", "D:\\Backup\\From Drive C\\Data"})
    w.fs.WriteFile(std::string(folder) + "\\a.txt", "a", fileattr::Archive, kT);
  const std::string kept = w.Leftovers("D:\\Backup\\From Drive C\\Data");
  TWLDesktopNode sel(w.fs);
  TWLNode* data = sel.AddPath("C:\\Data");
  ASSERT_TRUE(data && data->SelectAll());

  TAddOperation op(w.fs, w.ui);
  op.RefreshMode = true;
  EXPECT_EQ(op.AddSelectionToVolume(w.volume, sel, CountSelectedFiles(sel)), TAddResult::Finished);

  EXPECT_EQ(w.fs.TemporaryFiles(), std::vector<std::string>{kept});
  EXPECT_EQ(op.FilesChecked, 1);
  EXPECT_EQ(op.FilesChanged, 0);
  EXPECT_EQ(w.ui.shownFiles, std::vector<std::string>{"C:\\Data\\a.txt"});
  EXPECT_EQ(LogLines(w.fs), std::vector<std::string>{});
}

// Restore, delete and the contents refresh of a whole volume whose folders hold leftovers, one
// operation at a time on a fresh copy of the same volume.
TEST(LeftoverTemporaries, WholeVolumeRestoreDeleteAndContentsRefreshPassOverThem) {
  enum Op { Restore, Delete, ContentsRefresh };
  for (Op which : {Restore, Delete, ContentsRefresh}) {
    SCOPED_TRACE(which);
    World w;
    w.fs.WriteFile("D:\\Backup\\VOLUME.TWV", "[Tidewell Volume]\r\nVolume File=#\r\n");
    w.fs.WriteFile("D:\\Backup\\From Drive C\\Data\\a.txt", "copy", fileattr::Archive, kT);
    const std::string keptInVolume = w.Leftovers("D:\\Backup\\From Drive C\\Data");
    // A folder whose only other entries are leftovers of ended processes.
    w.fs.WriteFile("D:\\Backup\\From Drive C\\Done\\b.txt", "copy", fileattr::Archive, kT);
    w.fs.WriteFile("D:\\Backup\\From Drive C\\Done\\~tw77-5.tmp", "torn", fileattr::Archive, kT);
    // The original folders: a restore writes here too.
    w.fs.WriteFile("C:\\Data\\a.txt", "copy", fileattr::Archive, kT);
    w.fs.WriteFile("C:\\Done\\b.txt", "copy", fileattr::Archive, kT);
    const std::string keptInOriginals = w.Leftovers("C:\\Data");
    TWLDesktopNode contents(w.fs);
    ASSERT_TRUE(SelectWholeVolume(contents, w.volume));
    // The two copies: neither the leftovers nor the placeholder are in the selection.
    EXPECT_EQ(CountSelectedFiles(contents), 2);

    switch (which) {
      case Restore: {
        TRestoreOperation op(w.fs, w.ui);
        EXPECT_EQ(op.RestoreSelection(w.volume, contents, {}), TRestoreResult::Finished);
        EXPECT_EQ(op.FilesRestored, 2);
        EXPECT_EQ(w.ui.shownFiles,
                  (std::vector<std::string>{"C:\\Data\\a.txt", "C:\\Done\\b.txt"}));
        // Nothing of the volume's leftovers came along; those of ended processes in the
        // original folder it wrote into are gone, the running one's stays.
        EXPECT_FALSE(w.fs.Exists("C:\\Data\\~tw77-3.tmp"));
        EXPECT_FALSE(w.fs.Exists("C:\\Data\\~tw98-a.tmp"));
        EXPECT_FALSE(w.fs.Exists("C:\\Data\\~tw1d0c-0.tmp"));
        EXPECT_EQ(w.fs.Contents(keptInOriginals), "still being written");
        break;
      }
      case Delete: {
        TDeleteOperation op(w.fs, w.ui);
        op.DeleteSelectionFromVolume(w.volume, contents, CountSelectedFiles(contents), true);
        EXPECT_EQ(op.FilesDeleted, 2);
        // A folder that held only leftovers of ended processes besides its copy went; one
        // that a running process still writes into stays with that file. The originals'
        // folders are none of the delete's business.
        EXPECT_FALSE(w.fs.Exists("D:\\Backup\\From Drive C\\Done"));
        EXPECT_EQ(w.fs.TemporaryFiles(),
                  (std::vector<std::string>{"C:\\Data\\~tw1d0c-0.tmp", "C:\\Data\\~tw77-3.tmp",
                                            "C:\\Data\\~tw98-a.tmp", keptInOriginals,
                                            keptInVolume}));
        EXPECT_EQ(w.fs.Contents(keptInVolume), "still being written");
        break;
      }
      case ContentsRefresh: {
        TContentsRefreshOperation op(w.fs, w.ui);
        EXPECT_EQ(op.RefreshVolumeContents(w.volume, contents, CountSelectedFiles(contents)),
                  TRefreshResult::Finished);
        EXPECT_EQ(op.FilesChecked, 2);
        EXPECT_EQ(op.FilesChanged, 0);
        EXPECT_FALSE(op.RefreshErrors);
        // Listed with the copies, though nothing was copied there.
        EXPECT_FALSE(w.fs.Exists("D:\\Backup\\From Drive C\\Data\\~tw77-3.tmp"));
        EXPECT_FALSE(w.fs.Exists("D:\\Backup\\From Drive C\\Done\\~tw77-5.tmp"));
        EXPECT_TRUE(w.fs.Exists(keptInVolume));
        break;
      }
    }
    if (which != Delete) {
      EXPECT_EQ(LogLines(w.fs), std::vector<std::string>{});
    }
    ASSERT_EQ(w.ui.messages.size(), 1u);
    EXPECT_EQ(w.ui.messages[0].flags & mb::IconInformation, mb::IconInformation)
        << w.ui.messages[0].text;
  }
}

}  // namespace
}  // namespace tw
