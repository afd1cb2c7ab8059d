#include "app/WLOverdue.h"

#include "app/WLMain.h"
#include "app/TicNotifyIcon.h"
#include "platform/win32/NoDiskPrompts.h"

namespace tw {

namespace {
constexpr size_t kTipChars = 63;  // what the tray icon shows of its tip
}

TOverdueWatch::TOverdueWatch(TfWLMain& main, IClock* clock)
    : main_(main),
      clock_(clock ? *clock : wallClock_),
      store_(*main.Env().Registry, main.Env().ProductKey) {}

void TOverdueWatch::NoteRun(const std::string& volumeName, bool errors) {
  store_.NoteRun(volumeName, clock_.Now(), errors);
  RefreshTip();
}

void TOverdueWatch::RefreshTip() {
  TicNotifyIcon* icon = main_.TrayIcon();
  if (!icon) return;
  icon->SetHint(RefreshHealthTip("Tidewell", main_.VolumeList,
                                 [this](const TVolumeRec& v) { return HealthOf(v); }, kTipChars));
}

void TOverdueWatch::NoteCheck(const std::vector<TAutoRefreshOutcome>& outcomes) {
  const double now = clock_.Now();
  for (const TAutoRefreshOutcome& o : outcomes) {
    // A skipped volume did not run: its path is what the warning names.
    if (o.End == TAutoRefreshEnd::Refreshed) store_.NoteRun(o.Name, now, o.Errors);
    if (o.End == TAutoRefreshEnd::NoLog) store_.NoteRun(o.Name, now, true);
  }
}

TRefreshHealth TOverdueWatch::HealthOf(const TVolumeRec& volume) {
  return store_.Read(volume.Name);
}

bool TOverdueWatch::PathAvailable(const std::string& path) {
  // A drive without its disk must not ask for one.
  TNoDiskPrompts noDiskPrompts;
  FindData info;
  return main_.Fs().Stat(path, info) == winerr::Success && info.IsDirectory();
}

void TOverdueWatch::Update() {
  TicNotifyIcon* icon = main_.TrayIcon();
  if (!icon) return;
  RefreshTip();
  auto health = [this](const TVolumeRec& v) { return HealthOf(v); };
  const double now = clock_.Now();

  const auto today = DateDay(now);
  if (!today || (lookedDay_ && *lookedDay_ == *today)) return;
  lookedDay_ = today;
  // Switched off, automatic refresh refreshes nothing: there is nothing to fall behind.
  if (main_.Options.DisableAutoRefresh || !icon->IconVisible()) return;
  const auto overdue = OverdueVolumes(main_.VolumeList, store_.ReadWarnDays(), now, health,
                                      [this](const std::string& p) { return PathAvailable(p); });
  if (overdue.empty()) return;
  balloonVolume_ = overdue.front().Volume->Name;
  lastBalloon_ = OverdueBalloonText(overdue);
  ++balloons_;
  icon->ShowBalloon("Tidewell", lastBalloon_);
}

void TOverdueWatch::BalloonClick() { main_.OpenVolumeFromTray(balloonVolume_); }

}  // namespace tw
