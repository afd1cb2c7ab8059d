#include "app/TicNotifyIcon.h"

#include <atomic>

#include "platform/win32/Utf.h"

namespace tw {
namespace {
// Icon identifiers within an owner window: one per component of the program.
std::atomic<UINT> g_nextId{0};
// What the tray keeps of a tip: 63 characters and the terminator.
constexpr size_t kTipChars = 63;
}  // namespace

// Both numbers are asked once: the owner's every message is compared with them.
UINT TicNotifyIcon::NotifyMessage() {
  static const UINT message = RegisterWindowMessageW(L"Quillmoor.TicNotifyIconMsg");
  return message;
}

UINT TicNotifyIcon::TaskbarCreatedMessage() {
  static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
  return message;
}

TicNotifyIcon::TicNotifyIcon(forms::TForm* owner) {
  if (!owner || !owner->Handle()) throw EicNotifyIconError("Owner must be a TForm");
  ownerHandle_ = owner->Handle();
  if (!hook_.Attach(ownerHandle_, [this](UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
        return OwnerMessage(msg, wp, lp, result);
      }))
    throw EicNotifyIconError("Failed to subclass owner's WndProc");
  // The owner's own timers have small numbers; this one cannot meet them.
  timerId_ = reinterpret_cast<UINT_PTR>(this);
  doubleClickTime_ = GetDoubleClickTime();
  defaultIcon_ = LoadIconW(nullptr, IDI_WINLOGO);  // shared: never destroyed
  NotifyMessage();
  // An elevated program would not hear the shell's restart through the message filter.
  ChangeWindowMessageFilterEx(ownerHandle_, TaskbarCreatedMessage(), MSGFLT_ALLOW, nullptr);
  id_ = g_nextId++;
}

TicNotifyIcon::~TicNotifyIcon() {
  SetIconVisible(false);
  if (timerRunning_ && IsWindow(ownerHandle_)) KillTimer(ownerHandle_, timerId_);
  hook_.Detach();
  if (icon_) DestroyIcon(icon_);
}

void TicNotifyIcon::SetIcon(HICON icon) {
  HICON copy = icon ? CopyIcon(icon) : nullptr;
  if (icon_) DestroyIcon(icon_);
  icon_ = copy;
  // Two handles of one picture cannot be told apart cheaply: every setting is shown.
  if (iconVisible_) Tray(NIM_MODIFY, NIF_ICON);
}

void TicNotifyIcon::SetHint(const std::string& hint) {
  if (hint == hint_) return;
  hint_ = hint;
  if (iconVisible_) Tray(NIM_MODIFY, NIF_TIP);
}

void TicNotifyIcon::SetIconVisible(bool visible) {
  if (visible == iconVisible_) return;
  iconVisible_ = visible;
  Tray(visible ? NIM_ADD : NIM_DELETE, kAllFlags);
}

void TicNotifyIcon::SetHideTask(bool hide) {
  if (hide == hideTask_) return;
  hideTask_ = hide;
  if (IsWindow(ownerHandle_)) ShowWindow(ownerHandle_, hide ? SW_HIDE : SW_SHOWNORMAL);
}

// The shell's refusal changes nothing here: the properties stay as set, and a restarted shell
// gets the icon again from TaskbarCreated.
void TicNotifyIcon::ShowBalloon(const std::string& title, const std::string& text) {
  if (iconVisible_) Tray(NIM_MODIFY, NIF_INFO, &title, &text);
}

void TicNotifyIcon::Tray(DWORD operation, UINT flags, const std::string* infoTitle,
                         const std::string* info) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = ownerHandle_;
  data.uID = id_;
  data.uFlags = flags;
  data.uCallbackMessage = NotifyMessage();
  data.hIcon = icon_ ? icon_ : defaultIcon_;
  std::wstring tip = Utf16Prefix(Widen(hint_), kTipChars);
  tip.copy(data.szTip, tip.size());  // the record is zeroed: the tip ends there
  if (infoTitle && info) {
    const std::wstring t = Utf16Prefix(Widen(*infoTitle), ARRAYSIZE(data.szInfoTitle) - 1);
    const std::wstring i = Utf16Prefix(Widen(*info), ARRAYSIZE(data.szInfo) - 1);
    t.copy(data.szInfoTitle, t.size());
    i.copy(data.szInfo, i.size());
    data.dwInfoFlags = NIIF_WARNING;
  }
  TrayCall(operation, &data);
}

bool TicNotifyIcon::OwnerMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (msg == NotifyMessage() && wp == id_) {
    TrayMouse(static_cast<UINT>(lp));
    result = 0;
    return true;
  }
  if (msg == WM_TIMER && wp == timerId_) {
    TimerTick();
    result = 0;
    return true;
  }
  // A restarted shell has an empty tray; the owner sees the message too.
  if (msg == TaskbarCreatedMessage() && iconVisible_) Tray(NIM_ADD, kAllFlags);
  return false;
}

void TicNotifyIcon::TrayMouse(UINT mouseMsg) {
  switch (mouseMsg) {
    case WM_LBUTTONDOWN:
      // A single click is known only when no second one follows within the double-click time.
      timerRunning_ = SetTimer(ownerHandle_, timerId_, doubleClickTime_, nullptr) != 0;
      break;
    case WM_LBUTTONDBLCLK:
      // The pending single click belongs to this double click; a flag instead of the stop would
      // outlive a timer that had already run and swallow the next single click.
      if (timerRunning_) KillTimer(ownerHandle_, timerId_);
      timerRunning_ = false;
      if (OnDblClick) OnDblClick();
      break;
    case NIN_BALLOONUSERCLICK:
      if (OnBalloonClick) OnBalloonClick();
      break;
    case WM_RBUTTONDOWN: {
      // The menu closes on a click elsewhere only when its owner is the foreground window, and
      // the posted message lets the closing finish at once.
      SetForegroundWindow(ownerHandle_);
      POINT pt{};
      GetCursorPos(&pt);
      if (popupMenu_) {
        TrackPopupMenu(popupMenu_, TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0, ownerHandle_,
                       nullptr);
        PostMessageW(ownerHandle_, WM_NULL, 0, 0);
      }
      break;
    }
    default:
      break;
  }
}

void TicNotifyIcon::TimerTick() {
  KillTimer(ownerHandle_, timerId_);
  timerRunning_ = false;
  if (OnClick) OnClick();
}

}  // namespace tw
