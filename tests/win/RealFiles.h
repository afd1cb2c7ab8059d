// Helpers for the tests that work on real files under the temporary folder.
#pragma once
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace tw::test {

// Removes a folder and everything below it, read-only and hidden entries too.
inline void RemoveTree(IFileSystem& fs, const std::string& folder) {
  std::vector<FindData> entries;
  if (fs.List(folder, entries) == winerr::Success) {
    for (const auto& e : entries) {
      const std::string path = folder + "\\" + e.name;
      fs.SetAttrs(path, fileattr::Normal);
      if (e.IsDirectory())
        RemoveTree(fs, path);
      else
        fs.Remove(path);
    }
  }
  fs.SetAttrs(folder, fileattr::Normal);
  fs.RemoveDir(folder);
}

}  // namespace tw::test
