// A named mutex of the user's session.
#pragma once
#include <string>

#include "platform/NamedMutex.h"

namespace tw {

class Win32NamedMutex : public INamedMutex {
 public:
  // The mutex is opened or made here; a failure shows at Acquire.
  explicit Win32NamedMutex(const std::string& name);
  ~Win32NamedMutex() override;
  Win32NamedMutex(const Win32NamedMutex&) = delete;
  Win32NamedMutex& operator=(const Win32NamedMutex&) = delete;

  bool Acquire(uint32_t timeoutMs) override;
  void Release() override;

 private:
  void* handle_ = nullptr;
};

}  // namespace tw
