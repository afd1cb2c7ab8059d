// The options dialog's rules that need no window: which schedule controls a volume's settings
// allow, and how a refresh time of day goes to and from the time picker.
#pragma once

namespace tw {

// The schedule controls that can be used for a volume's automatic refresh and frequency.
struct TScheduleControls {
  bool Automatic = false;  // the finish-message box, and the frequency with its label
  bool Time = false;       // the time picker and its label
  bool Days = false;       // the day list and its label
};
TScheduleControls ScheduleControlsEnabled(bool autoRefresh, int frequency);

// What the picker shows while it holds no time: just after midnight, so that checking its box
// without changing the time still gives a time (0 would mean any time of day).
inline constexpr double kNoRefreshTimeShown = 0.00001;

struct TClockTime {
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};
// The time of day a RefreshTime shows, to the millisecond (kNoRefreshTimeShown is 00:00:00.864).
// Only the fraction of a day counts; a value that is no number shows midnight.
TClockTime ClockOfRefreshTime(double refreshTime);
// The RefreshTime of a time of day set in the picker: its fraction of a day, never 0 (which
// means no time), so a checked midnight stays a time.
double RefreshTimeOfClock(const TClockTime& time);

}  // namespace tw
