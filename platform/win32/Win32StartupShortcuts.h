// The user's real Startup folder and shell links made through the shell's link object.
#pragma once
#include "platform/StartupShortcuts.h"

namespace tw {

class Win32StartupShortcuts : public IStartupShortcuts {
 public:
  std::optional<std::string> StartupFolder() override;
  bool FileExists(const std::string& path) override;
  bool CreateLink(const std::string& path, const TShellLink& link) override;
  bool DeleteShortcut(const std::string& path) override;
};

}  // namespace tw
