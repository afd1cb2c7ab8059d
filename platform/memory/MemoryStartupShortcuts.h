// A Startup folder in memory for tests: its links by full path, and failures on demand.
#pragma once
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/StartupShortcuts.h"

namespace tw {

class MemoryStartupShortcuts : public IStartupShortcuts {
 public:
  std::optional<std::string> StartupFolder() override {
    if (FailFolder) return std::nullopt;
    return Folder;
  }
  bool FileExists(const std::string& path) override { return Links.count(path) != 0; }
  bool CreateLink(const std::string& path, const TShellLink& link) override {
    ++Creates;
    if (ThrowOnCreate) throw std::runtime_error("shell link failed");
    if (FailCreate) return false;
    Links[path] = link;
    return true;
  }
  bool DeleteShortcut(const std::string& path) override {
    ++Deletes;
    if (FailDelete) return false;
    Links.erase(path);
    return true;
  }

  std::string Folder = "C:\\Users\\user\\Start Menu\\Programs\\Startup";
  std::map<std::string, TShellLink> Links;
  bool FailFolder = false, FailCreate = false, FailDelete = false, ThrowOnCreate = false;
  int Creates = 0, Deletes = 0;
};

}  // namespace tw
