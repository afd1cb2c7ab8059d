// The shell's Startup folder, where a shortcut makes Windows start a program at log-on.
#pragma once
#include <optional>
#include <string>

namespace tw {

// What a shell link holds here: the program, its arguments and the description shown.
struct TShellLink {
  std::string Target;
  std::string Arguments;
  std::string Description;
};

class IStartupShortcuts {
 public:
  virtual ~IStartupShortcuts() = default;
  // The current user's Startup folder; none when the shell cannot tell.
  virtual std::optional<std::string> StartupFolder() = 0;
  // A file (of any kind) exists under that full path.
  virtual bool FileExists(const std::string& path) = 0;
  // Writes a shell link file; false when it could not be made.
  virtual bool CreateLink(const std::string& path, const TShellLink& link) = 0;
  // Deletes the file; a file that is not there counts as deleted.
  virtual bool DeleteShortcut(const std::string& path) = 0;
};

}  // namespace tw
