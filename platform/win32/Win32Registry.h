// The real registry (64-bit view, as the program is 64-bit). Keys open for writing where
// allowed and fall back to reading, so a standard user can still read HKLM; writes through
// such a key then fail with AccessDenied, as the in-memory registry's read-only root does.
#pragma once
#include "platform/Registry.h"

namespace tw {

class Win32Registry : public IRegistry {
 public:
  std::unique_ptr<IRegKey> Open(RegRoot root, const std::string& path, bool create,
                                WinError* error = nullptr) override;
  WinError DeleteTree(RegRoot root, const std::string& path) override;
};

}  // namespace tw
