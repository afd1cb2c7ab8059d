// Wall-clock time, so that schedules and time stamps can be tested with a fixed clock.
#pragma once
#include "platform/FileSystem.h"

namespace tw {

class IClock {
 public:
  virtual ~IClock() = default;
  // Local date and time as days since 30 December 1899, time of day as the fraction.
  virtual double Now() = 0;
  // Current UTC time as a FILETIME value.
  virtual FileTime NowUtc() = 0;
};

}  // namespace tw
