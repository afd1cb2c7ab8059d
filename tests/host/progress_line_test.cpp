// The line under the progress bar: its texts, and its figures on real runs of the add with a
// clock the test moves.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "engine/operations.h"
#include "engine/progressline.h"
#include "platform/memory/FakeClock.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/ScriptedOperationUI.h"

namespace tw {
namespace {

constexpr FileTime kSecond = kFileTimeSecond;

TEST(ProgressLine, NumbersAndSizesAreGroupedAndKeepTwoDigitsInTheLargestUnit) {
  EXPECT_EQ(GroupedNumber(0), "0");
  EXPECT_EQ(GroupedNumber(999), "999");
  EXPECT_EQ(GroupedNumber(1000), "1,000");
  EXPECT_EQ(GroupedNumber(20004), "20,004");
  EXPECT_EQ(GroupedNumber(1234567), "1,234,567");
  EXPECT_EQ(GroupedNumber(-1000), "-1,000");
  EXPECT_EQ(GroupedNumber(INT64_MIN), "-9,223,372,036,854,775,808");

  EXPECT_EQ(BytesText(0), "0 bytes");
  EXPECT_EQ(BytesText(10239), "10,239 bytes");
  EXPECT_EQ(BytesText(10240), "10 KB");
  EXPECT_EQ(BytesText(10ULL * 1024 * 1024 - 1), "10,239 KB");
  EXPECT_EQ(BytesText(10ULL * 1024 * 1024), "10 MB");
  EXPECT_EQ(BytesText(212ULL * 1024 * 1024 + 999), "212 MB");
  EXPECT_EQ(BytesText(3482ULL * 1024 * 1024), "3,482 MB");
  EXPECT_EQ(BytesText(12ULL * 1024 * 1024 * 1024), "12 GB");
  EXPECT_EQ(BytesText(UINT64_MAX), "16,777,215 TB");
  // The user's own separators come from the caller.
  auto dots = [](int64_t v) {
    std::string s = GroupedNumber(v);
    for (auto& c : s)
      if (c == ',') c = '.';
    return s;
  };
  EXPECT_EQ(BytesText(3482ULL * 1024 * 1024, dots), "3.482 MB");
}

TEST(ProgressLine, TimeLeftIsRoundedToWhatAUserCanUse) {
  EXPECT_EQ(TimeLeftText(0), "about 5 s left");
  EXPECT_EQ(TimeLeftText(5), "about 5 s left");
  EXPECT_EQ(TimeLeftText(6), "about 10 s left");
  EXPECT_EQ(TimeLeftText(55), "about 55 s left");
  EXPECT_EQ(TimeLeftText(56), "about 1 min left");
  EXPECT_EQ(TimeLeftText(89), "about 1 min left");
  EXPECT_EQ(TimeLeftText(90), "about 2 min left");
  EXPECT_EQ(TimeLeftText(3569), "about 59 min left");
  EXPECT_EQ(TimeLeftText(3570), "about 1 h left");
  EXPECT_EQ(TimeLeftText(6000), "about 1 h 40 min left");
  EXPECT_EQ(TimeLeftText(9 * 3600 + 56 * 60), "about 10 h left");
  EXPECT_EQ(TimeLeftText(3 * 86400), "about 72 h left");

  // Nothing to go on: too early, no file done yet, or all done.
  EXPECT_EQ(SecondsLeft(10, 100, kEstimateAfter - 1), std::nullopt);
  EXPECT_EQ(SecondsLeft(0, 100, 60 * kSecond), std::nullopt);
  EXPECT_EQ(SecondsLeft(100, 100, 60 * kSecond), std::nullopt);
  EXPECT_EQ(SecondsLeft(10, 100, kEstimateAfter), 27u);
  EXPECT_EQ(SecondsLeft(1234, 20004, 15 * kSecond), 228u);
  // One file of two billion after a year: a number, not an overflow.
  EXPECT_EQ(SecondsLeft(1, INT_MAX, 365 * 86400 * kSecond), 1000000000u);
}

TEST(ProgressLine, LineGrowsRateAndEstimateOnlyOnceTheyMeanSomething) {
  TProgressFigures f;
  f.FilesDone = 1234;
  f.FilesToDo = 20004;
  f.Bytes = 212ULL * 1024 * 1024;
  f.Elapsed = kRateAfter - 1;
  EXPECT_EQ(ProgressLineText(f), "1,234 of 20,004 files - 212 MB");
  f.Elapsed = 2 * kSecond;
  EXPECT_EQ(ProgressLineText(f), "1,234 of 20,004 files - 212 MB - 106 MB/s");
  f.Elapsed = 15 * kSecond;
  EXPECT_EQ(ProgressLineText(f), "1,234 of 20,004 files - 212 MB - 14 MB/s - about 4 min left");
  f.FilesDone = 20004;
  EXPECT_EQ(ProgressLineText(f), "20,004 of 20,004 files - 212 MB - 14 MB/s");
  f.FilesDone = 10002;
  f.CountsBytes = false;  // a delete copies nothing
  EXPECT_EQ(ProgressLineText(f), "10,002 of 20,004 files - about 15 s left");
}

// Follows the bar as the operation drives it; the clock moves a fixed time per file.
class TMeteredUI : public ScriptedOperationUI {
 public:
  FakeClock Clock;
  TProgressMeter Meter{Clock};
  int64_t SecondsPerFile = 1;
  std::vector<std::string> Lines;  // the line as each file's step left it

  void CreateProgress() override {
    ScriptedOperationUI::CreateProgress();
    Meter.Start();
  }
  void SetProgressRange(int minimum, int maximum) override {
    ScriptedOperationUI::SetProgressRange(minimum, maximum);
    Meter.SetRange(minimum, maximum);
  }
  void SetProgressPosition(int position) override {
    ScriptedOperationUI::SetProgressPosition(position);
    Meter.SetPosition(position);
  }
  void StepProgress() override {
    ScriptedOperationUI::StepProgress();
    Meter.Step();
  }
  void AddCopiedBytes(uint64_t bytes) override {
    ScriptedOperationUI::AddCopiedBytes(bytes);
    Meter.AddBytes(bytes);
  }
  void ProcessMessages() override {
    ScriptedOperationUI::ProcessMessages();
    Clock.AdvanceSeconds(SecondsPerFile);
    Lines.push_back(Meter.Line());
  }
};

TEST(ProgressLine, AScriptedBackupAndRefreshCountTheirFilesTheBytesCopiedAndTheTimeLeft) {
  MemoryFileSystem fs;
  fs.AddDrive("C:", DriveType::Fixed);
  fs.AddDrive("D:", DriveType::Fixed);
  fs.SetTempFolder("C:\\Temp");
  fs.MakeDirs("C:\\Temp");
  TVolumeRec volume;
  volume.Name = "Docs";
  volume.BackupPath = "D:\\Backup\\";
  TWLDesktopNode sel{fs};
  TWLNode* node = sel.AddPath("C:\\Data");
  ASSERT_NE(node, nullptr);
  const uint64_t kFile = 512 * 1024;
  for (int i = 0; i < 8; ++i) {
    const std::string name = "f" + std::to_string(i) + ".bin";
    fs.WriteFile("C:\\Data\\" + name, std::string(kFile, 'x'));
    node->AddFile(name, static_cast<int64_t>(kFile));
  }
  // One file cannot be read: it was not copied, so it adds no bytes.
  FsFault fault;
  fault.op = FsOp::Copy;
  fault.path = "C:\\Data\\f7.bin";
  fs.AddFault(fault);

  TMeteredUI ui;
  ui.SecondsPerFile = 30;
  TAddOperation add(fs, ui);
  ASSERT_EQ(add.AddSelectionToVolume(volume, sel, CountSelectedFiles(sel)), TAddResult::Finished);
  ASSERT_EQ(ui.Lines.size(), 8u);
  // Messages run after a file's step and before its copy.
  EXPECT_EQ(ui.Lines[0], "1 of 8 files - 0 bytes - 0 bytes/s - about 4 min left");
  EXPECT_EQ(ui.Lines[1], "2 of 8 files - 512 KB - 8,738 bytes/s - about 3 min left");
  EXPECT_EQ(ui.Lines[3], "4 of 8 files - 1,536 KB - 12 KB/s - about 2 min left");
  EXPECT_EQ(ui.Lines[6], "7 of 8 files - 3,072 KB - 14 KB/s - about 30 s left");
  // Done: every file counted, seven copied, nothing left to estimate.
  EXPECT_EQ(ui.Meter.Line(), "8 of 8 files - 3,584 KB - 14 KB/s");
  EXPECT_EQ(ui.CountCalls("AddCopiedBytes"), 7);

  // A refresh walks every file and copies only the one that changed.
  fs.ClearFaults();
  fs.WriteFile("C:\\Data\\f7.bin", std::string(kFile, 'x'));
  fs.WriteFile("C:\\Data\\f2.bin", std::string(100, 'y'), fileattr::Archive,
               MemoryFileSystem::kDefaultTime + 60 * kSecond);
  TMeteredUI again;
  again.SecondsPerFile = 1;
  TAddOperation refresh(fs, again);
  refresh.RefreshMode = true;
  ASSERT_EQ(refresh.AddSelectionToVolume(volume, sel, CountSelectedFiles(sel)),
            TAddResult::Finished);
  EXPECT_EQ(refresh.FilesChanged, 2);
  EXPECT_EQ(again.Lines[3], "4 of 8 files - 100 bytes - 25 bytes/s - about 5 s left");
  EXPECT_EQ(again.Meter.Line(), "8 of 8 files - 512 KB - 64 KB/s");
}

TEST(ProgressLine, MeterKeepsWithinTheBarAndStartsAfreshForEachRun) {
  FakeClock clock;
  TProgressMeter meter(clock);
  meter.Start();
  meter.SetRange(10, 20);
  meter.SetPosition(5);  // below the range: nothing done yet
  EXPECT_EQ(meter.Line(), "0 of 10 files - 0 bytes");
  meter.SetPosition(25);  // a bar stops at its maximum
  EXPECT_EQ(meter.Line(), "10 of 10 files - 0 bytes");
  meter.SetRange(INT_MIN, INT_MAX);
  meter.SetPosition(INT_MAX);
  EXPECT_EQ(meter.Figures().FilesDone, INT_MAX);
  meter.AddBytes(4096);
  meter.CountBytes(false);
  clock.AdvanceSeconds(-60);  // the clock put back: no time has passed
  EXPECT_EQ(meter.Figures().Elapsed, 0u);

  // A question the user leaves open for a minute is no minute of copying; nested pauses
  // (a box over the root prompt) count once.
  meter.Start();
  meter.SetRange(0, 100);
  clock.AdvanceSeconds(10);
  meter.Pause();
  clock.AdvanceSeconds(30);
  meter.Pause();
  clock.AdvanceSeconds(30);
  meter.Resume();
  EXPECT_EQ(meter.Figures().Elapsed, 10 * 10000000ULL) << "still waiting";
  meter.Resume();
  meter.Resume();  // one too many changes nothing
  clock.AdvanceSeconds(5);
  meter.SetPosition(50);
  EXPECT_EQ(meter.Figures().Elapsed, 15 * 10000000ULL);
  EXPECT_EQ(SecondsLeft(50, 100, meter.Figures().Elapsed), 15u);

  meter.Start();
  const TProgressFigures fresh = meter.Figures();
  EXPECT_EQ(fresh.FilesDone, 0);
  EXPECT_EQ(fresh.FilesToDo, 100);
  EXPECT_EQ(fresh.Bytes, 0u);
  EXPECT_TRUE(fresh.CountsBytes);
}

}  // namespace
}  // namespace tw
