// What the shell says about a folder on disk. A listed directory is normally a file-system
// object, but the shell can present some (for example folders with a namespace extension) as
// virtual items that cannot be checked or copied like a folder.
#pragma once
#include <string>

namespace tw {

class IShellFolderInfo {
 public:
  virtual ~IShellFolderInfo() = default;
  // True when the shell reports the folder at path (no trailing backslash) as a file-system
  // object (SFGAO_FILESYSTEM).
  virtual bool IsFileSystemFolder(const std::string& path) = 0;
};

}  // namespace tw
