// Overdue volumes: which, why, in what order, and what the tray says about them.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "engine/overdue.h"
#include "platform/memory/MemoryRegistry.h"

namespace tw {
namespace {

const std::string kProduct = "\\Software\\Corvane\\Tidewell";
// 2026-12-08 12:00 as days since 30 December 1899.
const double kNow = 46364.5;

std::unique_ptr<TVolumeRec> Volume(const std::string& name, bool autoRefresh, double lastRefresh) {
  auto rec = std::make_unique<TVolumeRec>();
  rec->Name = name;
  rec->BackupPath = "E:\\" + name + "\\";
  rec->AutoRefresh = autoRefresh;
  rec->LastRefresh = lastRefresh;
  return rec;
}

TEST(RefreshHealth, DatesRoundTripAndNonsenseIsNoDate) {
  EXPECT_EQ(DateTimeText(kNow), "2026-12-08 12:00:00");
  EXPECT_EQ(DateTimeText(2.0), "1900-01-01 00:00:00");
  EXPECT_EQ(DateTimeText(46364.9999999), "2026-12-08 23:59:59") << "never the next day";
  for (double v : {kNow, kNow + 0.25 + 1.0 / 86400, 36526.0 /* 2000-01-01 */, 60.0, 61.0}) {
    auto back = ParseDateTimeText(DateTimeText(v));
    ASSERT_TRUE(back) << v;
    EXPECT_NEAR(*back, v, 0.6 / 86400) << DateTimeText(v);
  }
  EXPECT_EQ(DateTimeText(60.0).substr(0, 10), "1900-02-28");
  EXPECT_EQ(DateTimeText(61.0).substr(0, 10), "1900-03-01");
  for (const char* bad : {"", "2026-02-30 10:00:00", "2026-13-01 00:00:00", "2026-12-08 24:00:00",
                          "2026-12-08 10:00", "2026-12-08 10:00:00x", "yesterday"})
    EXPECT_FALSE(ParseDateTimeText(bad)) << bad;
  EXPECT_EQ(DateTimeText(std::nan("")), "");
  EXPECT_EQ(DateTimeText(1e300), "");
}

TEST(RefreshHealth, StoreKeepsEachRunRenamesForgetsAndBoundsTheDays) {
  MemoryRegistry reg;
  TRefreshHealthStore store(reg, kProduct);
  EXPECT_EQ(store.Read("Docs").LastGood, 0);
  EXPECT_EQ(store.ReadWarnDays(), kDefaultOverdueDays);

  store.NoteRun("Docs", kNow - 3, false);
  store.NoteRun("Docs", kNow, true);  // a run with errors keeps the last good one
  TRefreshHealth h = store.Read("Docs");
  EXPECT_NEAR(h.LastGood, kNow - 3, 1e-5);
  EXPECT_TRUE(h.LastErrors);
  auto stored = reg.Value(RegRoot::CurrentUser, kProduct + "\\RefreshHealth\\Docs", "LastGoodRefresh");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->text, "2026-12-05 12:00:00");

  store.Rename("Docs", "Papers");
  EXPECT_EQ(store.Read("Docs").LastGood, 0);
  EXPECT_NEAR(store.Read("Papers").LastGood, kNow - 3, 1e-5);
  EXPECT_TRUE(store.Read("Papers").LastErrors);
  store.Forget("Papers");
  EXPECT_EQ(store.Read("Papers").LastGood, 0);
  EXPECT_FALSE(store.Read("Papers").LastErrors);

  // A damaged value is no date; a name that is no key name never reaches the registry.
  RegValue junk;
  junk.type = RegType::String;
  junk.text = "not a date";
  reg.Set(RegRoot::CurrentUser, kProduct + "\\RefreshHealth\\Odd", "LastGoodRefresh", junk);
  EXPECT_EQ(store.Read("Odd").LastGood, 0);
  store.NoteRun("..\\Options", kNow, false);
  EXPECT_FALSE(reg.Value(RegRoot::CurrentUser, kProduct + "\\Options", "LastGoodRefresh"));

  // A volume from before records were kept counts from its stamp once; the stamps of later
  // attempts (failed ones too) do not move its last good refresh.
  TVolumeList volumes;
  volumes.push_back(Volume("Legacy", true, kNow - 5));
  volumes.push_back(Volume("Unscheduled", false, kNow - 5));
  volumes.push_back(Volume("Kept", true, kNow - 1));
  store.NoteRun("Kept", kNow - 4, false);
  store.AdoptStamps(volumes);
  EXPECT_NEAR(store.Read("Legacy").LastGood, kNow - 5, 1e-5);
  EXPECT_FALSE(store.Read("Unscheduled").Known);
  EXPECT_NEAR(store.Read("Kept").LastGood, kNow - 4, 1e-5) << "a record is never replaced";
  volumes[0]->LastRefresh = kNow;
  store.AdoptStamps(volumes);
  EXPECT_NEAR(store.Read("Legacy").LastGood, kNow - 5, 1e-5);

  EXPECT_TRUE(store.WriteWarnDays(0));
  EXPECT_EQ(store.ReadWarnDays(), 0);
  EXPECT_TRUE(store.WriteWarnDays(30));
  EXPECT_EQ(store.ReadWarnDays(), 30);
  EXPECT_FALSE(store.WriteWarnDays(-1));
  EXPECT_FALSE(store.WriteWarnDays(kMaxOverdueDays + 1));
  RegValue huge;
  huge.type = RegType::Dword;
  huge.dword = 0xFFFFFFFF;
  reg.Set(RegRoot::CurrentUser, kProduct + "\\Options", "OverdueWarnDays", huge);
  EXPECT_EQ(store.ReadWarnDays(), kDefaultOverdueDays);
}

TEST(RefreshHealth, OverdueVolumesWithTheirReasonsMostOverdueFirst) {
  TVolumeList volumes;
  volumes.push_back(Volume("Fresh", true, 0));        // good 2 days ago
  volumes.push_back(Volume("Old", true, 0));          // good 10 days ago
  volumes.push_back(Volume("Manual", false, 0));      // no automatic refresh: never warned
  volumes.push_back(Volume("Gone", true, 0));         // good 20 days ago, path missing
  volumes.push_back(Volume("Failing", true, 0));      // good 9 days ago, errors since
  volumes.push_back(Volume("Never", true, 0));        // no refresh at all
  volumes.push_back(Volume("Legacy", true, kNow - 8));  // no record: its stamp counts
  volumes.push_back(Volume("Edge", true, 0));         // exactly 7 days: not yet
  volumes.push_back(Volume("Ahead", true, 0));        // good "in 30 days": the clock was ahead
  std::map<std::string, TRefreshHealth> health{
      {"Fresh", {kNow - 2, false, true}},   {"Old", {kNow - 10, false, true}},
      {"Manual", {kNow - 99, false, true}}, {"Gone", {kNow - 20, false, true}},
      {"Failing", {kNow - 9, true, true}},  {"Edge", {kNow - 7, false, true}},
      {"Ahead", {kNow + 30, false, true}}};
  auto of = [&](const TVolumeRec& v) { return health.count(v.Name) ? health[v.Name] : TRefreshHealth{}; };
  auto reachable = [](const std::string& path) { return path != "E:\\Gone\\"; };

  auto overdue = OverdueVolumes(volumes, 7, kNow, of, reachable);
  std::vector<std::string> names;
  for (auto& o : overdue) names.push_back(o.Volume->Name);
  EXPECT_EQ(names,
            (std::vector<std::string>{"Never", "Gone", "Old", "Failing", "Legacy", "Ahead"}));
  EXPECT_EQ(overdue[0].Reason, TOverdueReason::NeverRefreshed);
  EXPECT_EQ(overdue[1].Reason, TOverdueReason::PathUnavailable);
  EXPECT_EQ(overdue[1].Days, 20);
  EXPECT_EQ(overdue[2].Reason, TOverdueReason::NotRefreshed);
  EXPECT_EQ(overdue[3].Reason, TOverdueReason::ErrorsInLastRun);
  EXPECT_EQ(overdue[4].Days, 8);
  EXPECT_EQ(overdue[5].Reason, TOverdueReason::NotRefreshed);
  EXPECT_EQ(overdue[5].Days, 0);

  EXPECT_TRUE(OverdueVolumes(volumes, 0, kNow, of, reachable).empty()) << "0 days: off";
  EXPECT_TRUE(OverdueVolumes(volumes, 7, std::nan(""), of, reachable).empty());
  EXPECT_EQ(OverdueVolumes(volumes, 30, kNow, of, reachable).size(), 2u) << "Never and Ahead";

  EXPECT_EQ(OverdueBalloonText(overdue),
            "The volume \"Never\" has never been refreshed. 5 more volumes are behind.");
  EXPECT_EQ(OverdueBalloonText({overdue[1]}),
            "The volume \"Gone\" has not been refreshed for 20 days: its backup path E:\\Gone\\ "
            "is not available.");
  EXPECT_EQ(OverdueBalloonText({overdue[3], overdue[2]}),
            "The volume \"Failing\" has not been refreshed without errors for 9 days: its last "
            "refresh had errors. One more volume is behind.");
  EXPECT_EQ(OverdueBalloonText({overdue[2]}), "The volume \"Old\" has not been refreshed for 10 days.");
  EXPECT_EQ(OverdueBalloonText({}), "");
}

TEST(RefreshHealth, TipListsTheLongestAgoFirstWithinItsLength) {
  TVolumeList volumes;
  volumes.push_back(Volume("Docs", true, 0));
  volumes.push_back(Volume("Photos", true, 0));
  volumes.push_back(Volume("Mail", false, 0));
  std::map<std::string, TRefreshHealth> health{{"Docs", {kNow - 1, false, true}},
                                               {"Photos", {kNow - 5, false, true}}};
  auto of = [&](const TVolumeRec& v) { return health.count(v.Name) ? health[v.Name] : TRefreshHealth{}; };
  EXPECT_EQ(RefreshHealthTip("Tidewell", volumes, of, 63),
            "Tidewell\nMail never\nPhotos 2026-12-03\nDocs 2026-12-07");
  // Lines that do not fit are left out whole, never cut.
  EXPECT_EQ(RefreshHealthTip("Tidewell", volumes, of, 40), "Tidewell\nMail never\nPhotos 2026-12-03");
  EXPECT_EQ(RefreshHealthTip("Tidewell", volumes, of, 8), "Tidewell");
}

}  // namespace
}  // namespace tw
