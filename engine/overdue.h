// Volumes whose backups have fallen behind: the last refresh that finished without errors is
// older than the number of days the user allows. The tray warns about them and its tip lists
// every volume with the date of its last good refresh.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/volumes.h"
#include "platform/Registry.h"

namespace tw {

inline constexpr int kDefaultOverdueDays = 7;
inline constexpr char kOverdueDaysValue[] = "OverdueWarnDays";  // beside the general options
inline constexpr char kRefreshHealthSubkey[] = "\\RefreshHealth";
inline constexpr char kLastGoodRefreshValue[] = "LastGoodRefresh";
inline constexpr char kLastRunErrorsValue[] = "LastRunErrors";
inline constexpr int kMaxOverdueDays = 999;

// What is known of a volume's refreshes beyond VOLUMES.TWB (whose format stays as it is).
struct TRefreshHealth {
  double LastGood = 0;      // local time of the last refresh without errors; 0: none known
  bool LastErrors = false;  // the last refresh that ran had errors
  bool Known = false;       // the volume has a record
};

enum class TOverdueReason { NotRefreshed, NeverRefreshed, PathUnavailable, ErrorsInLastRun };

struct TOverdue {
  const TVolumeRec* Volume = nullptr;
  TOverdueReason Reason = TOverdueReason::NotRefreshed;
  int Days = 0;  // whole days since the last good refresh; 0 when there was none
};

// Per volume in the registry (current user), written as each run ends, so a killed program
// keeps what it learnt.
class TRefreshHealthStore {
 public:
  TRefreshHealthStore(IRegistry& registry, std::string productKey);

  TRefreshHealth Read(const std::string& volumeName);
  // A refresh or backup of the volume ended (not cancelled): with errors or without.
  void NoteRun(const std::string& volumeName, double now, bool errors);
  void Rename(const std::string& oldName, const std::string& newName);
  void Forget(const std::string& volumeName);
  // A volume from before records were kept gets one from its automatic refresh stamp, once,
  // before any check stamps it again: later stamps mark attempts, not refreshes that worked.
  void AdoptStamps(const TVolumeList& volumes);

  // The warning's number of days (0: off); the default when unset or out of range.
  int ReadWarnDays();
  bool WriteWarnDays(int days);

 private:
  std::string VolumeKey(const std::string& volumeName) const;
  IRegistry& registry_;
  std::string productKey_;
};

// "2026-12-08 05:49:26" from a local date and time; empty for a value that is no date.
std::string DateTimeText(double value);
std::optional<double> ParseDateTimeText(const std::string& text);

// The volumes with automatic refresh whose last good refresh is more than `days` days old (or
// that never had one), the most overdue first. A volume without a record counts from its
// automatic refresh stamp. pathAvailable tells whether a backup path can be reached now.
std::vector<TOverdue> OverdueVolumes(
    const TVolumeList& volumes, int days, double now,
    const std::function<TRefreshHealth(const TVolumeRec&)>& health,
    const std::function<bool(const std::string&)>& pathAvailable);

// The balloon's text for the most overdue volume, naming how many more there are.
std::string OverdueBalloonText(const std::vector<TOverdue>& overdue);

// The tray tip: the title, then each volume with the date of its last good refresh, the
// longest ago first, as many as fit in maxChars.
std::string RefreshHealthTip(const std::string& title, const TVolumeList& volumes,
                             const std::function<TRefreshHealth(const TVolumeRec&)>& health,
                             size_t maxChars);

}  // namespace tw
