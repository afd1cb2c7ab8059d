// The start-up shortcut: "Tidewell.lnk" in the user's Startup folder starts the program at
// log-on with "/WINSTART" while LaunchOnStartup is set.
#pragma once
#include <string>

#include "platform/StartupShortcuts.h"

namespace tw {

inline constexpr char kStartupLinkName[] = "Tidewell.lnk";
inline constexpr char kWinStartArgument[] = "/WINSTART";

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
