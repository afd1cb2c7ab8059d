// A named mutex of the user's, seen from every session: a refresh the Task Scheduler runs while
// nobody is logged on (session 0) shares its locks with the window and Explorer's extension.
#pragma once
#include <string>

#include "platform/NamedMutex.h"

namespace tw {

// The object's name for a lock's name: "Global\\<name>-<the user's SID>", so that two users'
// locks of the same name stay apart.
std::wstring NamedMutexObjectName(const std::string& name);

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
