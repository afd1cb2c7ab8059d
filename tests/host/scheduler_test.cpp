// The automatic refresh: the due test at given local times, damaged schedule values, and the
// check run over a volume list with the in-memory file system, a hand-set clock and a scripted
// window.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "engine/scheduler.h"
#include "platform/memory/FakeClock.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/MemoryNamedMutex.h"
#include "platform/memory/ScriptedOperationUI.h"
#include "platform/memory/ScriptedPrompts.h"

namespace tw {
namespace {

const std::string kAppDir = "C:\\Prog\\";
const std::string kLog = "C:\\Temp\\TW-LOG.TMP";
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

double Local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  FakeClock c;
  c.SetLocal(y, mo, d, h, mi, s);
  return c.Now();
}
double Hours(double h) { return h / 24.0; }

TVolumeRec Schedule(int frequency, double time = 0, int weekDay = 0, double last = 0) {
  TVolumeRec v;
  v.Name = "Docs";
  v.BackupPath = "D:\\Backup\\";
  v.AutoRefresh = true;
  v.Frequency = frequency;
  v.WeekDay = weekDay;
  v.RefreshTime = time;
  v.LastRefresh = last;
  return v;
}

std::vector<std::string> Texts(const ScriptedOperationUI& ui) {
  std::vector<std::string> t;
  for (const auto& m : ui.messages) t.push_back(m.text);
  return t;
}

TEST(RefreshDue, DailyWeeklyAndStartUpVolumesAtTheirTimes) {
  using K = TRefreshCheck;
  // 5 March 2024 is a Tuesday (3); day 0 was a Saturday.
  EXPECT_EQ(DayOfWeek(*DateDay(Local(2024, 3, 5, 23))), 3);
  EXPECT_EQ(DayOfWeek(*DateDay(Local(2024, 3, 10))), 1);
  EXPECT_EQ(DayOfWeek(0), 7);
  EXPECT_EQ(DayOfWeek(-1), 6);

  // No time set: the first tick of the day.
  EXPECT_TRUE(IsRefreshDue(Schedule(1, 0, 0, Local(2024, 3, 4, 23)), Local(2024, 3, 5, 0, 0, 30),
                           K::Tick));
  EXPECT_FALSE(IsRefreshDue(Schedule(1, 0, 0, Local(2024, 3, 5, 0, 0, 30)),
                            Local(2024, 3, 5, 0, 1), K::Tick));
  // The same day of another month is another day.
  EXPECT_TRUE(IsRefreshDue(Schedule(1, Hours(12), 0, Local(2024, 2, 5, 13)),
                           Local(2024, 3, 5, 13), K::Tick));
  // Asleep over its time: the first check after waking.
  const TVolumeRec daily = Schedule(1, Hours(12), 0, Local(2024, 3, 4, 12));
  EXPECT_FALSE(IsRefreshDue(daily, Local(2024, 3, 5, 11, 59, 59), K::Tick));
  EXPECT_TRUE(IsRefreshDue(daily, Local(2024, 3, 5, 15), K::Tick));
  EXPECT_TRUE(IsRefreshDue(daily, Local(2024, 3, 5, 15), K::SessionEnd));

  // Weekly on Tuesdays at 12:00: not before, at once after, then nothing more that day, and
  // nothing the day after when the whole Tuesday was missed.
  TVolumeRec weekly = Schedule(2, Hours(12), 3, Local(2024, 2, 27, 12));
  EXPECT_FALSE(IsRefreshDue(weekly, Local(2024, 3, 5, 11, 59), K::Tick));
  EXPECT_TRUE(IsRefreshDue(weekly, Local(2024, 3, 5, 12), K::Tick));
  weekly.LastRefresh = Local(2024, 3, 5, 12, 0, 30);
  EXPECT_FALSE(IsRefreshDue(weekly, Local(2024, 3, 5, 18), K::Tick));
  weekly.LastRefresh = Local(2024, 2, 27, 12);
  EXPECT_FALSE(IsRefreshDue(weekly, Local(2024, 3, 6, 13), K::Tick));
  EXPECT_FALSE(IsRefreshDue(weekly, Local(2024, 3, 6, 13), K::StartUp));
  // The clock set back a week after a refresh: that day has not been refreshed.
  weekly.LastRefresh = Local(2024, 3, 12, 12, 1);
  EXPECT_TRUE(IsRefreshDue(weekly, Local(2024, 3, 5, 12, 1), K::Tick));

  // At start-up only, once a day.
  TVolumeRec startUp = Schedule(0, Hours(12), 0, Local(2024, 3, 4, 9));
  EXPECT_TRUE(IsRefreshDue(startUp, Local(2024, 3, 5, 8), K::StartUp));
  EXPECT_FALSE(IsRefreshDue(startUp, Local(2024, 3, 5, 13), K::Tick));
  EXPECT_FALSE(IsRefreshDue(startUp, Local(2024, 3, 5, 13), K::SessionEnd));
  startUp.LastRefresh = Local(2024, 3, 5, 8);
  EXPECT_FALSE(IsRefreshDue(startUp, Local(2024, 3, 5, 17), K::StartUp));

  startUp.AutoRefresh = false;
  startUp.LastRefresh = 0;
  EXPECT_FALSE(IsRefreshDue(startUp, Local(2024, 3, 5, 8), K::StartUp));
}

TEST(RefreshDue, DamagedScheduleValuesAreNeverDueAndABadLastRefreshIsNotToday) {
  const double now = Local(2024, 3, 5, 23, 59);
  const TRefreshCheck kinds[] = {TRefreshCheck::StartUp, TRefreshCheck::Tick,
                                 TRefreshCheck::SessionEnd};
  std::vector<TVolumeRec> bad = {
      Schedule(-1), Schedule(3), Schedule(std::numeric_limits<int32_t>::min()),
      Schedule(2, 0, 0), Schedule(2, 0, 8), Schedule(2, 0, -4),
      Schedule(1, -0.01), Schedule(1, 1.0), Schedule(2, kNaN, 3), Schedule(1, kInf),
      Schedule(1, -kInf)};
  for (const TVolumeRec& v : bad) {
    EXPECT_FALSE(HasValidSchedule(v)) << v.Frequency << " " << v.WeekDay << " " << v.RefreshTime;
    for (TRefreshCheck k : kinds) EXPECT_FALSE(IsRefreshDue(v, now, k));
  }
  // A weekday means nothing to a daily volume.
  EXPECT_TRUE(IsRefreshDue(Schedule(1, 0, 0), now, TRefreshCheck::Tick));

  for (double last : {kNaN, kInf, -kInf, 1e300, -1e300, 3e6, -7e5, 5e-324}) {
    EXPECT_FALSE(RefreshedToday(last, now)) << last;
    EXPECT_TRUE(IsRefreshDue(Schedule(1, 0, 0, last), now, TRefreshCheck::Tick)) << last;
  }
  EXPECT_FALSE(DateDay(kNaN));
  EXPECT_FALSE(DateDay(2958466.0));
  EXPECT_EQ(*DateDay(-693593.5), -693593);
  // A clock that reads no date refreshes nothing.
  EXPECT_FALSE(IsRefreshDue(Schedule(1), kNaN, TRefreshCheck::Tick));

  // A check over such volumes leaves them as read, and the list file written afterwards holds
  // the same bytes.
  MemoryFileSystem fs;
  fs.AddDrive("C:", DriveType::Fixed);
  fs.AddDrive("D:", DriveType::Fixed);
  fs.MakeDirs("C:\\Prog");
  ScriptedPrompts prompts;
  TVolumeStore store(fs, prompts, kAppDir);
  for (TVolumeRec v : bad) {
    v.Name += std::to_string(store.VolumeList.size());
    v.LastRefresh = Local(2024, 3, 1);
    store.VolumeList.push_back(std::make_unique<TVolumeRec>(v));
  }
  ASSERT_TRUE(store.Save());
  const auto before = fs.Contents(kAppDir + kVolumesFileName);
  store.Load("");
  ASSERT_EQ(store.VolumeList.size(), bad.size());
  FakeClock clock;
  clock.SetLocal(2024, 3, 5, 23, 59);
  MemoryNamedMutex lock;
  TRefreshScheduler scheduler(fs, clock, lock, kAppDir);
  ScriptedOperationUI ui;
  for (TRefreshCheck k : kinds) scheduler.RefreshTimerTimer(store.VolumeList, k, ui);
  EXPECT_TRUE(scheduler.LastCheck.empty());
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(fs.Contents(kAppDir + kVolumesFileName), before);
}

// A program folder, a volume disk and originals.
struct Machine {
  Machine() {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.AddDrive("D:", DriveType::Fixed);
    fs.SetTempFolder("C:\\Temp");
    fs.MakeDirs("C:\\Temp");
    fs.MakeDirs("C:\\Prog");
    clock.SetLocal(2024, 3, 5, 12, 0);
  }
  // A daily volume, last refreshed yesterday, whose saved selection holds the files.
  TVolumeRec& Add(const std::string& name, double time, const std::vector<std::string>& files) {
    auto v = std::make_unique<TVolumeRec>(Schedule(1, time, 0, Local(2024, 3, 4, 12)));
    v->Name = name;
    v->BackupPath = "D:\\" + name + "\\";
    v->SeparateFolders = true;
    std::string tws = "[C:\\" + name + "]\r\n";
    for (const auto& f : files) {
      fs.WriteFile("C:\\" + name + "\\" + f, "new " + f);
      tws += f + "=#\r\n";
    }
    if (!files.empty()) fs.WriteFile(kAppDir + name + ".TWS", tws);
    volumes.push_back(std::move(v));
    return *volumes.back();
  }
  TCheckEnd Check(TRefreshCheck kind = TRefreshCheck::Tick) {
    return scheduler.RefreshTimerTimer(volumes, kind, ui);
  }
  MemoryFileSystem fs;
  FakeClock clock;
  TVolumeList volumes;
  ScriptedOperationUI ui;
  MemoryNamedMutex lock;
  TRefreshScheduler scheduler{fs, clock, lock, kAppDir};
};

TEST(RefreshCheck, DueVolumesInListOrderEachWithItsOwnDialogAndReportCancelEndsOnlyOne) {
  Machine m;
  m.Add("Docs", 0, {"a.txt", "b.txt"});
  TVolumeRec& music = m.Add("Music", Hours(11), {"m.mp3", "gone.mp3"});
  m.fs.Remove("C:\\Music\\gone.mp3");
  m.Add("Later", Hours(13), {"l.txt"});
  const auto tws = m.fs.Contents(kAppDir + "Docs.TWS");
  m.ui.onProcessMessages = [&] {
    if (m.ui.shownFiles.back() == "C:\\Docs\\a.txt") m.ui.PressCancel();
  };
  m.fs.ClearCalls();

  EXPECT_EQ(m.Check(), TCheckEnd::Ran);
  ASSERT_EQ(m.scheduler.LastCheck.size(), 2u);
  EXPECT_EQ(m.scheduler.LastCheck[0].End, TAutoRefreshEnd::Cancelled);
  EXPECT_EQ(m.scheduler.LastCheck[1].End, TAutoRefreshEnd::Refreshed);
  EXPECT_EQ(m.volumes[0]->LastRefresh, m.clock.Now());
  EXPECT_EQ(music.LastRefresh, m.clock.Now());
  EXPECT_EQ(m.volumes[2]->LastRefresh, Local(2024, 3, 4, 12));
  // The cancelled volume copied the file in hand and stopped; the next one went on, and only
  // its own report shows.
  EXPECT_TRUE(m.fs.Exists("D:\\Docs\\From Drive C\\Docs\\a.txt"));
  EXPECT_FALSE(m.fs.Exists("D:\\Docs\\From Drive C\\Docs\\b.txt"));
  EXPECT_EQ(m.fs.Contents("D:\\Music\\From Drive C\\Music\\m.mp3"), "new m.mp3");
  EXPECT_EQ(Texts(m.ui), std::vector<std::string>{"Tidewell has finished refreshing the volume: "
                                                  "Music. 1 of 1 files have changed."});
  EXPECT_EQ(m.ui.CountCalls("CreateProgress"), 2);
  EXPECT_EQ(m.ui.CountCalls("SetCaption Refreshing volume Docs"), 1);
  EXPECT_EQ(m.ui.CountCalls("SetCaption Refreshing volume Music"), 1);
  EXPECT_EQ(m.fs.Contents(kLog),
            "Warning: Couldnt find file gone.mp3 at its original location of C:\\Music.\r\n");
  // The timer is off for the whole check and on again after it; the window is given back.
  EXPECT_EQ(m.ui.calls.front(), "StopRefreshTimer");
  EXPECT_EQ(m.ui.calls.back(), "StartRefreshTimer");
  EXPECT_TRUE(m.ui.AtRest());
  // The saved selections are only read.
  EXPECT_EQ(m.fs.Contents(kAppDir + "Docs.TWS"), tws);
  EXPECT_EQ(m.fs.CallCount(FsOp::WriteAtomic, kAppDir + "Docs.TWS"), 0);
  EXPECT_EQ(m.fs.CallCount(FsOp::WriteAtomic, kAppDir + "Music.TWS"), 0);
  EXPECT_EQ(m.fs.UnsettledCopies(), 0u);
}

TEST(RefreshCheck, UnavailableFolderIsSkippedSilentlyAndAnIdleTickTouchesNoFile) {
  Machine m;
  TVolumeRec& away = m.Add("Away", 0, {"x.txt"});
  away.BackupPath = "E:\\Backup\\";  // a disk not inserted
  TVolumeRec& fresh = m.Add("Fresh", 0, {});
  EXPECT_EQ(m.Check(), TCheckEnd::Ran);
  EXPECT_EQ(away.LastRefresh, m.clock.Now());
  EXPECT_EQ(m.scheduler.LastCheck[0].End, TAutoRefreshEnd::Unavailable);
  // A volume without a saved selection refreshes nothing and says so.
  EXPECT_EQ(fresh.LastRefresh, m.clock.Now());
  EXPECT_EQ(Texts(m.ui), std::vector<std::string>{"Tidewell has finished refreshing the volume: "
                                                  "Fresh. 0 of 0 files have changed."});
  EXPECT_EQ(m.ui.CountCalls("CreateProgress"), 1);

  // Later that day the disk is back: not tried again, and a tick with nothing due opens,
  // lists and looks up nothing.
  m.fs.AddDrive("E:", DriveType::Removable);
  m.clock.AdvanceSeconds(3600);
  m.fs.ClearCalls();
  ScriptedOperationUI idle;
  EXPECT_EQ(m.scheduler.RefreshTimerTimer(m.volumes, TRefreshCheck::Tick, idle), TCheckEnd::Ran);
  EXPECT_TRUE(m.scheduler.LastCheck.empty());
  EXPECT_EQ(m.fs.CallCount(FsOp::Any), 0);
  EXPECT_EQ(idle.calls, (std::vector<std::string>{"StopRefreshTimer", "StartRefreshTimer"}));
}

TEST(RefreshCheck, NoFinishMessageSilencesOnlyTheSuccess) {
  Machine m;
  TVolumeRec& quiet = m.Add("Quiet", 0, {"q.txt"});
  quiet.NoFinishMessage = true;
  m.Check();
  EXPECT_TRUE(m.ui.messages.empty());
  EXPECT_EQ(m.fs.Contents("D:\\Quiet\\From Drive C\\Quiet\\q.txt"), "new q.txt");

  // The next day a copy fails: the error question is asked all the same.
  m.clock.SetLocal(2024, 3, 6, 9);
  m.fs.WriteFile("C:\\Quiet\\q.txt", "changed");
  FsFault f;
  f.op = FsOp::Copy;
  f.path = "C:\\Quiet\\q.txt";
  f.error = winerr::AccessDenied;
  m.fs.AddFault(f);
  m.ui.Answer(mb::IdYes);
  m.Check();
  EXPECT_EQ(Texts(m.ui), std::vector<std::string>{kRefreshErrorQuestion});
  EXPECT_EQ(m.ui.openedLogs, std::vector<std::string>{kLog});
  EXPECT_TRUE(m.scheduler.LastCheck[0].Errors);
}

TEST(RefreshCheck, DaylightSavingJumpOrRepeatGivesOneRefresh) {
  Machine m;
  TVolumeRec& v = m.Add("Night", Hours(2.5), {});
  v.LastRefresh = Local(2024, 3, 30, 3);
  // Spring: local time jumps from 02:00 to 03:00, over the volume's time.
  m.clock.SetBiasMinutes(60);
  m.clock.SetLocal(2024, 3, 31, 1, 59, 50);
  int refreshes = 0;
  for (int tick = 0; tick < 4; ++tick) {
    if (tick == 1) m.clock.SetBiasMinutes(120);
    m.Check();
    refreshes += static_cast<int>(m.scheduler.LastCheck.size());
    m.clock.AdvanceSeconds(30);
  }
  EXPECT_EQ(refreshes, 1);
  // Autumn: 02:00 to 03:00 runs twice; the second 02:30 finds the day refreshed.
  m.clock.SetBiasMinutes(120);
  m.clock.SetLocal(2024, 10, 27, 2, 29, 50);
  refreshes = 0;
  for (int tick = 0; tick < 240; ++tick) {
    if (tick == 120) m.clock.SetBiasMinutes(60);
    m.Check();
    refreshes += static_cast<int>(m.scheduler.LastCheck.size());
    m.clock.AdvanceSeconds(30);
  }
  EXPECT_EQ(refreshes, 1);
}

TEST(RefreshCheck, TicksAndSessionEndDuringAWalkDoNotNestAndTheLaterVolumeRunsOnce) {
  Machine m;
  m.clock.SetLocal(2024, 3, 5, 11, 59, 50);
  m.Add("First", 0, {"a.txt", "b.txt"});
  TVolumeRec& noon = m.Add("Noon", Hours(12), {"n.txt"});
  std::vector<TCheckEnd> nested;
  m.ui.onProcessMessages = [&] {
    // The walk runs past 12:00; the timer's message and the session's end arrive meanwhile.
    m.clock.AdvanceSeconds(20);
    nested.push_back(m.Check(TRefreshCheck::Tick));
    nested.push_back(m.Check(TRefreshCheck::SessionEnd));
  };
  EXPECT_EQ(m.Check(), TCheckEnd::Ran);
  ASSERT_EQ(nested.size(), 6u);  // two files of First, one of Noon
  for (TCheckEnd e : nested) EXPECT_EQ(e, TCheckEnd::Busy);
  ASSERT_EQ(m.scheduler.LastCheck.size(), 2u);
  EXPECT_EQ(m.scheduler.LastCheck[1].Name, "Noon");
  EXPECT_EQ(m.ui.CountCalls("StopRefreshTimer"), 1);
  EXPECT_EQ(m.ui.CountCalls("StartRefreshTimer"), 1);
  const double stamped = noon.LastRefresh;
  m.ui.onProcessMessages = nullptr;
  m.clock.AdvanceSeconds(30);
  m.Check();
  EXPECT_TRUE(m.scheduler.LastCheck.empty());
  EXPECT_EQ(noon.LastRefresh, stamped);
}

TEST(RefreshCheck, DisableAutoRefreshSwitchesEveryCheckAndTheTimedRefreshesOff) {
  Machine m;
  TVolumeRec& daily = m.Add("Daily", 0, {"d.txt"});
  TVolumeList none;
  EXPECT_FALSE(HasTimedRefreshes(none, false));
  EXPECT_TRUE(HasTimedRefreshes(m.volumes, false));
  EXPECT_FALSE(HasTimedRefreshes(m.volumes, true));
  daily.Frequency = 0;
  EXPECT_FALSE(HasTimedRefreshes(m.volumes, false));
  daily.Frequency = 2;
  daily.WeekDay = 9;
  EXPECT_FALSE(HasTimedRefreshes(m.volumes, false));
  daily.WeekDay = 3;
  EXPECT_TRUE(HasTimedRefreshes(m.volumes, false));
  daily.AutoRefresh = false;
  EXPECT_FALSE(HasTimedRefreshes(m.volumes, false));

  daily.AutoRefresh = true;
  daily.Frequency = 0;
  const double last = daily.LastRefresh;
  m.scheduler.DisableAutoRefresh = true;
  m.fs.ClearCalls();
  for (TRefreshCheck k : {TRefreshCheck::StartUp, TRefreshCheck::Tick, TRefreshCheck::SessionEnd})
    EXPECT_EQ(m.Check(k), TCheckEnd::Disabled);
  EXPECT_TRUE(m.ui.calls.empty());
  EXPECT_EQ(daily.LastRefresh, last);
  EXPECT_EQ(m.fs.CallCount(FsOp::Any), 0);
}

}  // namespace
}  // namespace tw
