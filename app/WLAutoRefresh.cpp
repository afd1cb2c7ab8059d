#include "app/WLAutoRefresh.h"

#include "app/WLMain.h"
#include "app/WLTaskbar.h"
#include "platform/Prompts.h"
#include "platform/win32/NoDiskPrompts.h"
#include "platform/win32/Win32NamedMutex.h"

namespace tw {

namespace {
// At the end of the session nobody may be asked anything: a box would stall the sign-out.
class TNoBoxes : public IMessageBoxes {
 public:
  // The answer nobody gave: never agrees, never retries, so no question can loop.
  int Show(HWND, const std::string&, const std::string&, uint32_t flags) override {
    return CautiousAnswer(flags);
  }
};
}  // namespace

TAutoRefresh::TAutoRefresh(TfWLMain& main, IClock* clock)
    : main_(main),
      scheduler_(*main.Env().Fs, clock ? *clock : wallClock_, main.SelectionLock(),
                 main.Env().AppDir) {
  // A command-line refresh of a volume and the window's never write into it at once.
  scheduler_.VolumeLocks = [](const std::string& name) {
    return std::make_unique<Win32NamedMutex>(name);
  };
  scheduler_.VolumeIds = &main.VolumeIds;
}

TCheckEnd TAutoRefresh::Run(TRefreshCheck kind) {
  HWND window = main_.Handle();
  if (!window || !IsWindowEnabled(window)) return TCheckEnd::Busy;
  scheduler_.DisableAutoRefresh = main_.Options.DisableAutoRefresh;
  const bool visible = IsWindowVisible(window) != FALSE;
  const bool hadButton = HasTaskbarButton(window);

  TCheckEnd end;
  {
    // A drive without its disk must not ask the user to insert one: the volume is skipped.
    TNoDiskPrompts noDiskPrompts;
    TNoBoxes noBoxes;
    auto ui = main_.NewOperationUI(kind == TRefreshCheck::SessionEnd ? &noBoxes : nullptr);
    end = scheduler_.RefreshTimerTimer(main_.VolumeList, kind, *ui);
  }

  if (end != TCheckEnd::Ran || scheduler_.LastCheck.empty() || !IsWindow(window)) return end;
  // The taskbar button as it was, then the window as it was.
  SetTaskbarButton(window, hadButton);
  // Shown again in the state it keeps: minimised comes back minimised, with its button.
  ShowWindow(window, visible ? SW_SHOWNA : SW_HIDE);
  return end;
}

}  // namespace tw
