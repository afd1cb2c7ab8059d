// A lock shared between processes and known by name (on Windows a named mutex). Tidewell and the
// Explorer extension hold "TidewellSelectionFiles" only while they read or replace a selection
// file, so that neither replaces the file with a copy that misses the other's entries.
#pragma once
#include <cstdint>

namespace tw {

inline constexpr char kSelectionFilesMutex[] = "TidewellSelectionFiles";

class INamedMutex {
 public:
  virtual ~INamedMutex() = default;
  // True once this thread holds it, also when a process ended while holding it (the file it
  // guarded is whole: replacements are atomic). False after timeoutMs, or when the mutex cannot
  // be made or waited on. Held recursively: each true needs one Release.
  virtual bool Acquire(uint32_t timeoutMs) = 0;
  virtual void Release() = 0;
};

// Holds a named mutex for one scope.
class TNamedMutexLock {
 public:
  TNamedMutexLock(INamedMutex& mutex, uint32_t timeoutMs)
      : mutex_(mutex), held_(mutex.Acquire(timeoutMs)) {}
  ~TNamedMutexLock() {
    if (held_) mutex_.Release();
  }
  TNamedMutexLock(const TNamedMutexLock&) = delete;
  TNamedMutexLock& operator=(const TNamedMutexLock&) = delete;
  bool Held() const { return held_; }

 private:
  INamedMutex& mutex_;
  bool held_;
};

}  // namespace tw
