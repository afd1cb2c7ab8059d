#include "engine/startup.h"

#include "engine/layout.h"
#include "engine/scheduler.h"

namespace tw {

bool IsWinStart(const std::vector<std::string>& args) {
  return !args.empty() && UpperCaseName(args[0]) == kWinStartArgument;
}

bool CloseEndsProgram(bool exitRequested, bool runAsTrayIcon, const TVolumeList& volumes,
                      bool disableAutoRefresh) {
  return exitRequested || !runAsTrayIcon || !HasTimedRefreshes(volumes, disableAutoRefresh);
}

TShortcutEnd UpdateStartupShortcut(IStartupShortcuts& shell, bool launchOnStartup,
                                   const std::string& programPath) {
  try {
    const auto folder = shell.StartupFolder();
    if (!folder || folder->empty()) return TShortcutEnd::Failed;
    const std::string path = AddBackslash(*folder) + kStartupLinkName;
    if (!launchOnStartup)
      return shell.DeleteShortcut(path) ? TShortcutEnd::Deleted : TShortcutEnd::Failed;
    if (shell.FileExists(path)) return TShortcutEnd::Kept;
    return shell.CreateLink(path, {programPath, kWinStartArgument, "Tidewell"})
               ? TShortcutEnd::Created
               : TShortcutEnd::Failed;
  } catch (...) {
    return TShortcutEnd::Failed;
  }
}

}  // namespace tw
