// The main window's life in the notification area: the tray icon and its menu, hiding the
// window into the tray, bringing it back, and the End Session command of the tray.
#pragma once
#include <windows.h>

#include <memory>

#include "app/TicNotifyIcon.h"

namespace tw {

class TfWLMain;

class TWLTray {
 public:
  // The main window must exist; fileMenu is its "&File" menu, where "&Hide" comes and goes.
  TWLTray(TfWLMain& main, HMENU fileMenu);
  ~TWLTray();
  TWLTray(const TWLTray&) = delete;
  TWLTray& operator=(const TWLTray&) = delete;

  // The icon and "&Hide" follow RunAsTrayIcon.
  void ApplyTrayState(bool runAsTrayIcon);
  bool FileHideMIVisible() const { return fileHideShown_; }

  // Minimising in tray mode hides into the tray instead (a hidden window stays hidden);
  // false: minimise as usual.
  bool FormMinimize();
  void FileHideMIClick();
  void ActivateTidewellMIClick();
  void NotifyIconDblClick();
  void EndSessionMIClick();
  // WM_INITMENUPOPUP: while the main window is disabled (an operation, a check or a modal
  // dialog runs) the tray menu offers only "&Activate Tidewell"; its other commands would nest
  // a second run in the running one's message loop.
  bool InitMenuPopup(HMENU menu);

  std::unique_ptr<TicNotifyIcon> NotifyIcon;
  HMENU TrayIconPM = nullptr;

 private:
  void FillMenu(bool full);

  TfWLMain& main_;
  HMENU fileMenu_;
  bool fileHideShown_ = false;
};

}  // namespace tw
