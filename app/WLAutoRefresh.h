// The main window's side of the automatic refresh: runs the engine's check with the window's
// operation UI and gives the window back as it found it (hidden in the tray, minimised with its
// taskbar button, or shown).
#pragma once
#include <windows.h>

#include "engine/scheduler.h"
#include "platform/win32/Win32Clock.h"

namespace tw {

class TfWLMain;

class TAutoRefresh {
 public:
  // clock: null for the wall clock.
  TAutoRefresh(TfWLMain& main, IClock* clock);

  // Busy without looking at any volume while the main window is disabled: an operation, a
  // modal dialog or another check is running, and the next tick tries again.
  TCheckEnd Run(TRefreshCheck kind);
  const TRefreshScheduler& Scheduler() const { return scheduler_; }

 private:
  TfWLMain& main_;
  Win32Clock wallClock_;
  TRefreshScheduler scheduler_;
};

}  // namespace tw
