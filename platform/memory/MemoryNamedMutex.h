// A named mutex for tests: another process's hold and its work while we wait are scripted.
#pragma once
#include <cstdint>
#include <functional>

#include "platform/NamedMutex.h"

namespace tw {

class MemoryNamedMutex : public INamedMutex {
 public:
  // Another process holds the mutex: every Acquire waits out its time and fails.
  bool HeldElsewhere = false;
  // Runs at each Acquire before it is granted: what another process did while we waited.
  std::function<void()> BeforeAcquire;

  bool Acquire(uint32_t timeoutMs) override {
    LastTimeoutMs = timeoutMs;
    if (BeforeAcquire) BeforeAcquire();
    if (HeldElsewhere) {
      ++TimedOut;
      return false;
    }
    ++depth_;
    ++Acquired;
    return true;
  }
  void Release() override {
    if (depth_ > 0) --depth_;
    else ++UnbalancedReleases;
  }

  int Depth() const { return depth_; }
  uint32_t LastTimeoutMs = 0;
  int Acquired = 0;
  int TimedOut = 0;
  int UnbalancedReleases = 0;

 private:
  int depth_ = 0;
};

}  // namespace tw
