// The shell's word on whether a folder on disk is a file-system object.
#pragma once
#include "platform/ShellFolderInfo.h"

namespace tw {

class Win32ShellFolderInfo : public IShellFolderInfo {
 public:
  bool IsFileSystemFolder(const std::string& path) override;
};

}  // namespace tw
