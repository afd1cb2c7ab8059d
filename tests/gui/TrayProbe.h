// Whether the shell's tray holds an icon: it answers a modify without flags only for one it holds.
#pragma once
#include <windows.h>

#include <shellapi.h>

namespace tw::testing {

inline bool InTray(HWND owner, UINT id) {
  NOTIFYICONDATAW probe{};
  probe.cbSize = sizeof(probe);
  probe.hWnd = owner;
  probe.uID = id;
  return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
}

}  // namespace tw::testing
