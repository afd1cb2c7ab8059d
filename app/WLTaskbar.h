// The program's taskbar button. The main window is the program's only top-level window of its
// own kind (no separate application window), so its button is its own: a tool window has none.
#pragma once
#include <windows.h>

namespace tw {

// Gives the window its taskbar button (show) or takes it away. The taskbar notices a style
// change only through a hide and a show; a hidden window keeps hidden and just gets the style,
// so the button follows when it is shown again. No change, no hide and show.
void SetTaskbarButton(HWND window, bool show);
// The window has a taskbar button (it is not a tool window).
bool HasTaskbarButton(HWND window);

}  // namespace tw
