// A clock that tests set by hand. Local time is UTC plus a fixed bias (0 unless set).
#pragma once
#include <atomic>
#include <cstdint>

#include "platform/Clock.h"

namespace tw {

// FILETIME of a UTC calendar date and time (no range checks beyond the Gregorian calendar).
FileTime MakeFileTime(int year, int month, int day, int hour = 0, int minute = 0,
                      int second = 0);

constexpr FileTime kFileTimeSecond = 10000000ULL;
constexpr FileTime kFileTimeDay = 86400ULL * kFileTimeSecond;

class FakeClock : public IClock {
 public:
  explicit FakeClock(FileTime utc = MakeFileTime(2024, 1, 1)) : utc_(utc) {}

  double Now() override;
  FileTime NowUtc() override { return utc_.load(); }

  void SetUtc(FileTime utc) { utc_.store(utc); }
  // Sets the clock so that Now() gives this local date and time.
  void SetLocal(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
  void AdvanceSeconds(int64_t seconds) { utc_ += static_cast<FileTime>(seconds) * kFileTimeSecond; }
  // Minutes to add to UTC for local time (60 for Central European winter time).
  void SetBiasMinutes(int minutes) { bias_.store(minutes); }

 private:
  std::atomic<FileTime> utc_;
  std::atomic<int> bias_{0};
};

}  // namespace tw
