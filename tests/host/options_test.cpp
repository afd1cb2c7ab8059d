// The options dialog's rules without its window: the schedule controls a volume allows, the
// refresh time to and from the picker, the Zip vendor's switch and the context-menu marks.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/options.h"
#include "engine/settings.h"
#include "platform/memory/MemoryRegistry.h"

namespace tw {
namespace {

const std::string kZipKey = "\\Software\\Iomega Corporation\\Extensions";
const std::string kMenuKey = "\\Software\\Corvane\\Tidewell\\ContextMenu";

RegValue Dword(uint32_t v) {
  RegValue r;
  r.type = RegType::Dword;
  r.dword = v;
  return r;
}

TEST(OptionsRules, ScheduleControlsFollowAutomaticRefreshAndFrequency) {
  struct Row {
    bool refresh;
    int frequency;
    bool automatic, time, days;
  } rows[] = {
      {false, 0, false, false, false}, {false, 1, false, false, false},
      {false, 2, false, false, false}, {true, 0, true, false, false},
      {true, 1, true, true, false},    {true, 2, true, true, true},
      {true, 3, true, false, false},   {true, -1, true, false, false},  // as a damaged list holds
  };
  for (const Row& r : rows) {
    TScheduleControls on = ScheduleControlsEnabled(r.refresh, r.frequency);
    EXPECT_EQ(on.Automatic, r.automatic) << r.refresh << " " << r.frequency;
    EXPECT_EQ(on.Time, r.time) << r.refresh << " " << r.frequency;
    EXPECT_EQ(on.Days, r.days) << r.refresh << " " << r.frequency;
  }
}

TEST(OptionsRules, RefreshTimeIsTheTimeOfDayAndACheckedMidnightStaysATime) {
  auto clock = [](double v) {
    TClockTime t = ClockOfRefreshTime(v);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", t.Hour, t.Minute, t.Second,
                  t.Millisecond);
    return std::string(buf);
  };
  EXPECT_EQ(clock(0.5), "12:00:00.000");
  EXPECT_EQ(clock(kNoRefreshTimeShown), "00:00:00.864");  // shown as midnight
  EXPECT_EQ(clock(0.4375), "10:30:00.000");
  EXPECT_EQ(clock(45000.75), "18:00:00.000");  // a date and time: only the time counts
  EXPECT_EQ(clock(-0.25), "18:00:00.000");
  EXPECT_EQ(clock(0.9999999999), "00:00:00.000");  // rounds into the next day, not to 24:00
  EXPECT_EQ(clock(std::nan("")), "00:00:00.000");
  EXPECT_EQ(clock(std::numeric_limits<double>::infinity()), "00:00:00.000");

  EXPECT_DOUBLE_EQ(RefreshTimeOfClock({10, 30, 0, 0}), 0.4375);
  EXPECT_DOUBLE_EQ(RefreshTimeOfClock({23, 59, 59, 0}), 86399.0 / 86400);
  // A picker checked at midnight: a time, not "any time of day".
  EXPECT_DOUBLE_EQ(RefreshTimeOfClock({0, 0, 0, 0}), kNoRefreshTimeShown);
  EXPECT_DOUBLE_EQ(RefreshTimeOfClock(ClockOfRefreshTime(kNoRefreshTimeShown)),
                   kNoRefreshTimeShown);
  for (double v : {0.1, 1.0 / 3, 0.999})
    EXPECT_NEAR(RefreshTimeOfClock(ClockOfRefreshTime(v)), v, 0.6 / 86400000) << v;
}

TEST(OptionsRules, ZipShutdownEjectReadsOnlyOneAsOnAndReportsAFailedWrite) {
  MemoryRegistry reg;
  TZipShutdownEject zip(reg);
  EXPECT_FALSE(zip.Read());  // no vendor software: off, and the key is made
  EXPECT_TRUE(reg.KeyExists(RegRoot::LocalMachine, kZipKey));
  EXPECT_TRUE(zip.Write(true));
  auto v = reg.Value(RegRoot::LocalMachine, kZipKey, "ZipShutdownEject");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, RegType::Dword);
  EXPECT_EQ(v->dword, 1u);
  EXPECT_TRUE(TZipShutdownEject(reg).Read());
  EXPECT_TRUE(zip.Write(false));
  EXPECT_EQ(reg.Value(RegRoot::LocalMachine, kZipKey, "ZipShutdownEject")->dword, 0u);
  EXPECT_FALSE(reg.KeyExists(RegRoot::CurrentUser, kZipKey));

  reg.Set(RegRoot::LocalMachine, kZipKey, "ZipShutdownEject", Dword(2));
  EXPECT_FALSE(TZipShutdownEject(reg).Read());
  RegValue text;
  text.type = RegType::String;
  text.text = "1";
  reg.Set(RegRoot::LocalMachine, kZipKey, "ZipShutdownEject", text);
  EXPECT_FALSE(TZipShutdownEject(reg).Read());

  // A standard user: the value reads, but writing fails and says so.
  reg.Set(RegRoot::LocalMachine, kZipKey, "ZipShutdownEject", Dword(1));
  reg.SetReadOnly(RegRoot::LocalMachine, true);
  TZipShutdownEject limited(reg);
  EXPECT_TRUE(limited.Read());
  EXPECT_FALSE(limited.Write(false));
  EXPECT_EQ(reg.Value(RegRoot::LocalMachine, kZipKey, "ZipShutdownEject")->dword, 1u);

  // No key and no right to make one: off, and a write fails rather than going elsewhere.
  MemoryRegistry bare;
  bare.SetReadOnly(RegRoot::LocalMachine, true);
  TZipShutdownEject none(bare);
  EXPECT_FALSE(none.Read());
  EXPECT_FALSE(none.Write(true));
  EXPECT_FALSE(bare.KeyExists(RegRoot::LocalMachine, kZipKey));

  // A key out of reach when read is tried again when written.
  MemoryRegistry later;
  RegFault fault;
  fault.op = RegOp::Open;
  fault.root = RegRoot::LocalMachine;
  fault.key = kZipKey;
  later.AddFault(fault);
  TZipShutdownEject retried(later);
  EXPECT_FALSE(retried.Read());
  EXPECT_TRUE(retried.Write(true));
  EXPECT_EQ(later.Value(RegRoot::LocalMachine, kZipKey, "ZipShutdownEject")->dword, 1u);
  EXPECT_EQ(FailedToSetDataText("ZipShutdownEject"), "Failed to set data for 'ZipShutdownEject'");
}

TEST(OptionsRules, AContextMenuMarkIsOneEmptyValuePerVolume) {
  MemoryRegistry reg;
  TSettingsStore settings(reg);
  EXPECT_TRUE(settings.AddContextMenuMark("Docs"));
  // A mark that is there is not written again (here a write would fail).
  RegFault refuse;
  refuse.op = RegOp::Write;
  refuse.key = kMenuKey;
  int refused = reg.AddFault(refuse);
  EXPECT_TRUE(settings.AddContextMenuMark("Docs"));
  EXPECT_TRUE(settings.AddContextMenuMark("DOCS"));  // value names ignore case
  EXPECT_EQ(reg.FaultHits(refused), 0);
  reg.ClearFaults();
  EXPECT_TRUE(settings.AddContextMenuMark("Photos"));
  auto key = reg.Open(RegRoot::CurrentUser, kMenuKey, false);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->ValueNames().size(), 2u);
  auto v = reg.Value(RegRoot::CurrentUser, kMenuKey, "Docs");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, RegType::String);
  EXPECT_EQ(v->text, "");

  // A key that cannot be opened: nothing happens and nothing is reported.
  MemoryRegistry closed;
  RegFault fault;
  fault.op = RegOp::Open;
  fault.key = kMenuKey;
  fault.times = RegFault::kAlways;
  closed.AddFault(fault);
  EXPECT_TRUE(TSettingsStore(closed).AddContextMenuMark("Docs"));
  EXPECT_FALSE(closed.KeyExists(RegRoot::CurrentUser, kMenuKey));

  // The key opens but the value cannot be written: reported.
  MemoryRegistry failing;
  RegFault write;
  write.op = RegOp::Write;
  write.key = kMenuKey;
  failing.AddFault(write);
  EXPECT_FALSE(TSettingsStore(failing).AddContextMenuMark("Docs"));
  EXPECT_FALSE(failing.Value(RegRoot::CurrentUser, kMenuKey, "Docs"));
}

}  // namespace
}  // namespace tw
