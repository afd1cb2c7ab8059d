// Start-up and the end of a session: the log-on start, which closes end the program, and the
// start-up shortcut ("Tidewell.lnk" in the user's Startup folder starts the program at log-on
// with "/WINSTART" while LaunchOnStartup is set).
#pragma once
#include <string>
#include <vector>

#include "engine/volumes.h"
#include "platform/StartupShortcuts.h"

namespace tw {

inline constexpr char kStartupLinkName[] = "Tidewell.lnk";
inline constexpr char kWinStartArgument[] = "/WINSTART";

// Started by Windows at log-on: the first argument is "/WINSTART" in any case.
bool IsWinStart(const std::vector<std::string>& args);

// Whether a close of the main window ends the program. It does when the user asked for the end
// (End Session, the end of the Windows session), without the tray, or when nothing timed is
// left to refresh; otherwise the window only goes into the tray.
bool CloseEndsProgram(bool exitRequested, bool runAsTrayIcon, const TVolumeList& volumes,
                      bool disableAutoRefresh);

enum class TShortcutEnd {
  Created,   // it was missing and is made now
  Kept,      // it exists and is left as it is (the user may have changed it)
  Deleted,   // switched off: it is gone (or was never there)
  Failed,    // the folder, the link or the delete failed; nothing is said about it
};

// The shortcut follows launchOnStartup. Never throws: a failure here must not stop the other
// steps after the options dialog.
TShortcutEnd UpdateStartupShortcut(IStartupShortcuts& shell, bool launchOnStartup,
                                   const std::string& programPath);

}  // namespace tw
