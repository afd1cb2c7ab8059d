// The tray icon: one icon with a tool tip in the notification area, its clicks as events and a
// pop-up menu on the right button. It has no window of its own: it hooks its owner form's
// window, which receives the tray's notifications.
#pragma once
#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "app/forms/Forms.h"
#include "shellviews/ShellCommon.h"

namespace tw {

class EicNotifyIconError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TicNotifyIcon {
 public:
  // Throws EicNotifyIconError when owner has no window ("Owner must be a TForm") or its window
  // cannot be hooked ("Failed to subclass owner's WndProc"); nothing is left behind then.
  explicit TicNotifyIcon(forms::TForm* owner);
  ~TicNotifyIcon();
  TicNotifyIcon(const TicNotifyIcon&) = delete;
  TicNotifyIcon& operator=(const TicNotifyIcon&) = delete;

  // A copy of icon is kept; nullptr empties it and the standard Windows-logo icon shows.
  void SetIcon(HICON icon);
  HICON Icon() const { return icon_; }
  void SetHint(const std::string& hint);
  const std::string& Hint() const { return hint_; }
  void SetIconVisible(bool visible);
  bool IconVisible() const { return iconVisible_; }
  // The program has no separate application window: its taskbar button is the owner's own,
  // so hiding the task hides the owner, and showing it shows the owner normally.
  void SetHideTask(bool hide);
  bool HideTask() const { return hideTask_; }
  // Not owned; opened on a right-button press, its commands going to the owner window.
  void SetPopupMenu(HMENU menu) { popupMenu_ = menu; }
  HMENU PopupMenu() const { return popupMenu_; }

  // A warning balloon from the icon; nothing while the icon is not shown.
  void ShowBalloon(const std::string& title, const std::string& text);

  std::function<void()> OnClick;
  std::function<void()> OnDblClick;
  std::function<void()> OnBalloonClick;

  UINT ID() const { return id_; }
  HWND OwnerHandle() const { return ownerHandle_; }
  // The callback message of every tray icon of the program.
  static UINT NotifyMessage();
  static UINT TaskbarCreatedMessage();

  // The shell's tray function; tests put a recorder in front of it.
  std::function<BOOL(DWORD, NOTIFYICONDATAW*)> TrayCall = Shell_NotifyIconW;

 private:
  static constexpr UINT kAllFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  void Tray(DWORD operation, UINT flags, const std::string* infoTitle = nullptr,
            const std::string* info = nullptr);
  bool OwnerMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
  void TrayMouse(UINT mouseMsg);
  void TimerTick();

  HICON defaultIcon_ = nullptr;
  HICON icon_ = nullptr;
  bool hideTask_ = false;
  std::string hint_;
  bool iconVisible_ = false;
  UINT id_ = 0;
  HWND ownerHandle_ = nullptr;
  HMENU popupMenu_ = nullptr;
  shellviews::WindowHook hook_;
  UINT_PTR timerId_ = 0;
  bool timerRunning_ = false;
  UINT doubleClickTime_ = 0;
};

}  // namespace tw
