#include "engine/options.h"

#include <cmath>

namespace tw {

namespace {
constexpr long long kMsPerDay = 86400000;
}

TScheduleControls ScheduleControlsEnabled(bool autoRefresh, int frequency) {
  TScheduleControls on;
  on.Automatic = autoRefresh;
  on.Time = autoRefresh && (frequency == 1 || frequency == 2);
  on.Days = autoRefresh && frequency == 2;
  return on;
}

TClockTime ClockOfRefreshTime(double refreshTime) {
  TClockTime t;
  if (!std::isfinite(refreshTime)) return t;
  double fraction = refreshTime - std::floor(refreshTime);
  long long ms = std::llround(fraction * kMsPerDay) % kMsPerDay;
  t.Hour = static_cast<int>(ms / 3600000);
  t.Minute = static_cast<int>(ms / 60000 % 60);
  t.Second = static_cast<int>(ms / 1000 % 60);
  t.Millisecond = static_cast<int>(ms % 1000);
  return t;
}

double RefreshTimeOfClock(const TClockTime& time) {
  long long ms = ((time.Hour * 60LL + time.Minute) * 60 + time.Second) * 1000 + time.Millisecond;
  ms %= kMsPerDay;
  if (ms <= 0) return kNoRefreshTimeShown;
  return static_cast<double>(ms) / kMsPerDay;
}

}  // namespace tw
