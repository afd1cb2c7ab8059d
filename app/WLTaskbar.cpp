#include "app/WLTaskbar.h"

namespace tw {

void SetTaskbarButton(HWND window, bool show) {
  if (!window || !IsWindow(window)) return;
  const LONG_PTR ex = GetWindowLongPtrW(window, GWL_EXSTYLE);
  const LONG_PTR wanted = show ? (ex & ~WS_EX_TOOLWINDOW) : ((ex | WS_EX_TOOLWINDOW) & ~WS_EX_APPWINDOW);
  if (wanted == ex) return;
  const bool shown = IsWindowVisible(window) != FALSE;
  if (shown) ShowWindow(window, SW_HIDE);
  SetWindowLongPtrW(window, GWL_EXSTYLE, wanted);
  // Not activated: the window keeps its place and a minimised one stays minimised.
  if (shown) ShowWindow(window, SW_SHOWNA);
}

bool HasTaskbarButton(HWND window) {
  return (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) == 0;
}

}  // namespace tw
