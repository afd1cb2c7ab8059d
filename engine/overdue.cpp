#include "engine/overdue.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/scheduler.h"
#include "engine/settings.h"
#include "platform/Utf8.h"

namespace tw {
namespace {

constexpr int64_t kUnixEpochDay = 25569;  // 1970-01-01 counted from 1899-12-30

struct TCivil {
  int64_t year;
  unsigned month, day;
};

// Proleptic Gregorian calendar from a day count (days since 1970-01-01) and back.
TCivil CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

std::string DateText(double value) {
  const auto day = DateDay(value);
  if (!day) return {};
  const TCivil c = CivilFromDays(*day - kUnixEpochDay);
  char text[32];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02u", static_cast<long long>(c.year), c.month,
                c.day);
  return text;
}

}  // namespace

// ---- The store ----

TRefreshHealthStore::TRefreshHealthStore(IRegistry& registry, std::string productKey)
    : registry_(registry), productKey_(std::move(productKey)) {}

std::string TRefreshHealthStore::VolumeKey(const std::string& volumeName) const {
  return productKey_ + kRefreshHealthSubkey + "\\" + volumeName;
}

TRefreshHealth TRefreshHealthStore::Read(const std::string& volumeName) {
  TRefreshHealth health;
  // A name that cannot be a key name has no record (and gets none).
  if (volumeName.empty() || volumeName.find('\\') != std::string::npos) return health;
  auto key = registry_.Open(RegRoot::CurrentUser, VolumeKey(volumeName), false);
  if (!key) return health;
  health.Known = true;
  std::string text;
  if (key->ReadString(kLastGoodRefreshValue, text) == winerr::Success) {
    if (auto when = ParseDateTimeText(text)) health.LastGood = *when;
  }
  uint32_t errors = 0;
  if (key->ReadDword(kLastRunErrorsValue, errors) == winerr::Success) health.LastErrors = errors;
  return health;
}

void TRefreshHealthStore::NoteRun(const std::string& volumeName, double now, bool errors) {
  if (volumeName.empty() || volumeName.find('\\') != std::string::npos) return;
  auto key = registry_.Open(RegRoot::CurrentUser, VolumeKey(volumeName), true);
  if (!key) return;
  const std::string when = DateTimeText(now);
  if (!errors && !when.empty()) key->WriteString(kLastGoodRefreshValue, when);
  key->WriteDword(kLastRunErrorsValue, errors ? 1 : 0);
}

void TRefreshHealthStore::Rename(const std::string& oldName, const std::string& newName) {
  if (oldName == newName) return;
  const TRefreshHealth old = Read(oldName);
  Forget(oldName);
  Forget(newName);
  if (old.LastGood == 0 && !old.LastErrors) return;
  if (newName.empty() || newName.find('\\') != std::string::npos) return;
  auto key = registry_.Open(RegRoot::CurrentUser, VolumeKey(newName), true);
  if (!key) return;
  if (old.LastGood != 0) key->WriteString(kLastGoodRefreshValue, DateTimeText(old.LastGood));
  key->WriteDword(kLastRunErrorsValue, old.LastErrors ? 1 : 0);
}

void TRefreshHealthStore::AdoptStamps(const TVolumeList& volumes) {
  for (const auto& rec : volumes) {
    if (rec && rec->AutoRefresh && DateDay(rec->LastRefresh) && !Read(rec->Name).Known)
      NoteRun(rec->Name, rec->LastRefresh, false);
  }
}

void TRefreshHealthStore::Forget(const std::string& volumeName) {
  if (volumeName.empty() || volumeName.find('\\') != std::string::npos) return;
  registry_.DeleteTree(RegRoot::CurrentUser, VolumeKey(volumeName));
}

int TRefreshHealthStore::ReadWarnDays() {
  auto key = registry_.Open(RegRoot::CurrentUser, productKey_ + WLRegStrings::OptionsSubkey,
                            false);
  uint32_t days = 0;
  if (!key || key->ReadDword(kOverdueDaysValue, days) != winerr::Success ||
      days > static_cast<uint32_t>(kMaxOverdueDays))
    return kDefaultOverdueDays;
  return static_cast<int>(days);
}

bool TRefreshHealthStore::WriteWarnDays(int days) {
  if (days < 0 || days > kMaxOverdueDays) return false;
  auto key = registry_.Open(RegRoot::CurrentUser, productKey_ + WLRegStrings::OptionsSubkey,
                            true);
  return key && key->WriteDword(kOverdueDaysValue, static_cast<uint32_t>(days)) == winerr::Success;
}

// ---- Dates ----

std::string DateTimeText(double value) {
  const std::string date = DateText(value);
  if (date.empty()) return {};
  const int64_t seconds =
      std::min<int64_t>(86399, std::llround((value - std::floor(value)) * 86400.0));
  char text[48];
  std::snprintf(text, sizeof text, "%s %02d:%02d:%02d", date.c_str(),
                static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                static_cast<int>(seconds % 60));
  return text;
}

std::optional<double> ParseDateTimeText(const std::string& text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) !=
      6)
    return std::nullopt;
  if (mo < 1 || mo > 12 || d < 1 || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 || s < 0)
    return std::nullopt;
  const int64_t day = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
  // 31 February and the like: the day must come back as written.
  const TCivil back = CivilFromDays(day);
  if (back.month != static_cast<unsigned>(mo) || back.day != static_cast<unsigned>(d))
    return std::nullopt;
  const double value =
      static_cast<double>(day + kUnixEpochDay) + (h * 3600 + mi * 60 + s) / 86400.0;
  if (!DateDay(value)) return std::nullopt;
  return value;
}

// ---- Overdue ----

std::vector<TOverdue> OverdueVolumes(
    const TVolumeList& volumes, int days, double now,
    const std::function<TRefreshHealth(const TVolumeRec&)>& health,
    const std::function<bool(const std::string&)>& pathAvailable) {
  std::vector<TOverdue> overdue;
  const auto today = DateDay(now);
  if (days <= 0 || !today) return overdue;
  struct TRanked {
    TOverdue entry;
    double since;  // the last good refresh; 0 for none, which ranks first
  };
  std::vector<TRanked> ranked;
  for (const auto& rec : volumes) {
    if (!rec->AutoRefresh) continue;
    const TRefreshHealth h = health(*rec);
    // No record (a volume from before these were kept): its automatic refresh stamp counts.
    double last = h.LastGood;
    if (!h.Known && last == 0 && DateDay(rec->LastRefresh)) last = rec->LastRefresh;
    const auto lastDay = DateDay(last);
    const bool never = last == 0 || !lastDay;
    const int64_t age = never ? 0 : *today - *lastDay;
    // A last good refresh after today (the clock was once set ahead) proves nothing.
    if (!never && age >= 0 && age <= days) continue;
    TOverdue entry;
    entry.Volume = rec.get();
    entry.Days = never || age < 0 ? 0 : static_cast<int>(std::min<int64_t>(age, 1 << 30));
    if (!pathAvailable(rec->BackupPath))
      entry.Reason = TOverdueReason::PathUnavailable;
    else if (h.LastErrors)
      entry.Reason = TOverdueReason::ErrorsInLastRun;
    else if (never)
      entry.Reason = TOverdueReason::NeverRefreshed;
    else
      entry.Reason = TOverdueReason::NotRefreshed;
    ranked.push_back({entry, never ? 0.0 : last});
  }
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const TRanked& a, const TRanked& b) { return a.since < b.since; });
  for (auto& r : ranked) overdue.push_back(r.entry);
  return overdue;
}

std::string OverdueBalloonText(const std::vector<TOverdue>& overdue) {
  if (overdue.empty()) return {};
  const TOverdue& first = overdue.front();
  const std::string& name = first.Volume->Name;
  std::string since = first.Days > 0 ? " for " + std::to_string(first.Days) + " days" : "";
  std::string text;
  switch (first.Reason) {
    case TOverdueReason::PathUnavailable:
      text = "The volume \"" + name + "\" has not been refreshed" +
             (first.Days > 0 ? since : std::string()) + ": its backup path " +
             first.Volume->BackupPath + " is not available.";
      break;
    case TOverdueReason::ErrorsInLastRun:
      text = "The volume \"" + name + "\" has not been refreshed without errors" + since +
             ": its last refresh had errors.";
      break;
    case TOverdueReason::NeverRefreshed:
      text = "The volume \"" + name + "\" has never been refreshed.";
      break;
    case TOverdueReason::NotRefreshed:
      text = "The volume \"" + name + "\" has not been refreshed" + since + ".";
      break;
  }
  if (overdue.size() == 2) text += " One more volume is behind.";
  if (overdue.size() > 2)
    text += " " + std::to_string(overdue.size() - 1) + " more volumes are behind.";
  return text;
}

std::string RefreshHealthTip(const std::string& title, const TVolumeList& volumes,
                             const std::function<TRefreshHealth(const TVolumeRec&)>& health,
                             size_t maxChars) {
  struct TLine {
    double last;
    std::string text;
  };
  std::vector<TLine> lines;
  for (const auto& rec : volumes) {
    const TRefreshHealth h = health(*rec);
    double last = h.LastGood;
    if (!h.Known && last == 0 && DateDay(rec->LastRefresh)) last = rec->LastRefresh;
    const std::string date = last == 0 ? std::string() : DateText(last);
    lines.push_back(
        {date.empty() ? 0.0 : last, rec->Name + " " + (date.empty() ? "never" : date)});
  }
  std::stable_sort(lines.begin(), lines.end(),
                   [](const TLine& a, const TLine& b) { return a.last < b.last; });
  std::string tip = title;
  for (const TLine& line : lines) {
    if (utf8::Utf16Length(tip) + 1 + utf8::Utf16Length(line.text) > maxChars) break;
    tip += "\n" + line.text;
  }
  return tip;
}

}  // namespace tw
