#include "app/WLTray.h"

#include "app/WLMain.h"
#include "app/WLProgress.h"
#include "app/WLTaskbar.h"
#include "app/res/resource.h"

namespace tw {

TWLTray::TWLTray(TfWLMain& main, HMENU fileMenu) : main_(main), fileMenu_(fileMenu) {
  NotifyIcon = std::make_unique<TicNotifyIcon>(&main);
  NotifyIcon->SetHint("Tidewell");
  const int size = GetSystemMetrics(SM_CXSMICON);
  if (auto icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr),
                                                MAKEINTRESOURCEW(IDI_TIDEWELL), IMAGE_ICON, size,
                                                size, LR_DEFAULTCOLOR))) {
    NotifyIcon->SetIcon(icon);  // a copy is kept
    DestroyIcon(icon);
  }
  TrayIconPM = CreatePopupMenu();
  FillMenu(true);
  NotifyIcon->SetPopupMenu(TrayIconPM);
  NotifyIcon->OnDblClick = [this] { NotifyIconDblClick(); };

  main.OnCommand(IDM_TRAY_ACTIVATE, [this] { ActivateTidewellMIClick(); });
  main.OnCommand(IDM_TRAY_OPTIONS, [&main] { main.OptionsBTNClick(); });
  main.OnCommand(IDM_TRAY_END_SESSION, [this] { EndSessionMIClick(); });
}

TWLTray::~TWLTray() {
  NotifyIcon.reset();  // out of the tray before its menu goes
  if (TrayIconPM) DestroyMenu(TrayIconPM);
}

void TWLTray::FillMenu(bool full) {
  while (GetMenuItemCount(TrayIconPM) > 0) DeleteMenu(TrayIconPM, 0, MF_BYPOSITION);
  AppendMenuW(TrayIconPM, MF_STRING, IDM_TRAY_ACTIVATE, L"&Activate Tidewell");
  if (full) {
    AppendMenuW(TrayIconPM, MF_STRING, IDM_TRAY_OPTIONS, L"&Options");
    AppendMenuW(TrayIconPM, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(TrayIconPM, MF_STRING, IDM_TRAY_END_SESSION, L"&End Session");
  }
  SetMenuDefaultItem(TrayIconPM, IDM_TRAY_ACTIVATE, FALSE);  // drawn bold
}

bool TWLTray::InitMenuPopup(HMENU menu) {
  if (menu != TrayIconPM) return false;
  FillMenu(IsWindowEnabled(main_.Handle()) != FALSE);
  return true;
}

void TWLTray::ApplyTrayState(bool runAsTrayIcon) {
  NotifyIcon->SetIconVisible(runAsTrayIcon);
  // A menu has no invisible items: "&Hide" is put in before "&End Session" and taken out.
  if (runAsTrayIcon != fileHideShown_ && fileMenu_) {
    if (runAsTrayIcon)
      InsertMenuW(fileMenu_, 0, MF_BYPOSITION | MF_STRING, IDM_FILE_HIDE, L"&Hide");
    else
      DeleteMenu(fileMenu_, IDM_FILE_HIDE, MF_BYCOMMAND);
    fileHideShown_ = runAsTrayIcon;
  }
}

bool TWLTray::FormMinimize() {
  if (!main_.Options.RunAsTrayIcon) return false;
  // A window already in the tray stays there: minimising it would show it on the desktop.
  if (IsWindowVisible(main_.Handle())) FileHideMIClick();
  return true;
}

void TWLTray::FileHideMIClick() {
  SetTaskbarButton(main_.Handle(), false);
  ShowWindow(main_.Handle(), SW_HIDE);
}

void TWLTray::ActivateTidewellMIClick() {
  // The operation's dialog comes forward; the main window stays as the operation left it.
  if (fWLProgress && fWLProgress->Handle()) {
    HWND dialog = fWLProgress->Handle();
    if (IsIconic(dialog)) ShowWindow(dialog, SW_RESTORE);
    SetForegroundWindow(dialog);
    return;
  }
  HWND window = main_.Handle();
  SetTaskbarButton(window, true);
  // Only a minimised window is restored: a maximised one stays maximised.
  if (IsIconic(window)) SendMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0);
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
}

void TWLTray::NotifyIconDblClick() { ActivateTidewellMIClick(); }

void TWLTray::EndSessionMIClick() {
  if (!IsWindowEnabled(main_.Handle())) return;  // a command left over from an open menu
  main_.ExitRequested = true;
  PostMessageW(main_.Handle(), WM_CLOSE, 0, 0);
}

}  // namespace tw
