// The tray's watch over backups that fell behind: it notes how each refresh ended, keeps the
// tip's list of last good refreshes, warns with a balloon at start-up and once a day, and a
// click on the balloon opens the volume.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/overdue.h"
#include "engine/scheduler.h"
#include "platform/win32/Win32Clock.h"

namespace tw {

class TfWLMain;

class TOverdueWatch {
 public:
  // clock: null for the wall clock.
  TOverdueWatch(TfWLMain& main, IClock* clock);

  TRefreshHealthStore& Store() { return store_; }
  // A backup or refresh of the volume ended (cancelled runs are not noted).
  void NoteRun(const std::string& volumeName, bool errors);
  void NoteCheck(const std::vector<TAutoRefreshOutcome>& outcomes);
  // The tip now; the balloon when a day has begun since the last look.
  void Update();
  void BalloonClick();
  // The volume the last balloon named.
  const std::string& BalloonVolume() const { return balloonVolume_; }
  const std::string& LastBalloon() const { return lastBalloon_; }
  int Balloons() const { return balloons_; }

 private:
  TRefreshHealth HealthOf(const TVolumeRec& volume);
  void RefreshTip();
  bool PathAvailable(const std::string& path);

  TfWLMain& main_;
  Win32Clock wallClock_;
  IClock& clock_;
  TRefreshHealthStore store_;
  std::optional<int64_t> lookedDay_;
  std::string balloonVolume_;
  std::string lastBalloon_;
  int balloons_ = 0;
};

}  // namespace tw
