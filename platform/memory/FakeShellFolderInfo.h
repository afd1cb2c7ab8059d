// Shell answers for tests: every folder is a file-system folder except those marked virtual.
#pragma once
#include <set>
#include <string>

#include "platform/ProfileFile.h"
#include "platform/ShellFolderInfo.h"

namespace tw {

class FakeShellFolderInfo : public IShellFolderInfo {
 public:
  void MarkVirtual(const std::string& path) { virtual_.insert(TProfileFile::FoldName(path)); }
  bool IsFileSystemFolder(const std::string& path) override {
    ++queries;
    return virtual_.count(TProfileFile::FoldName(path)) == 0;
  }
  int queries = 0;

 private:
  std::set<std::string> virtual_;
};

}  // namespace tw
