// The system clock.
#pragma once
#include "platform/Clock.h"

namespace tw {

class Win32Clock : public IClock {
 public:
  double Now() override;
  FileTime NowUtc() override;
};

}  // namespace tw
