#include "platform/memory/FakeClock.h"

namespace tw {
namespace {
// Days from 1 January 1601 (FILETIME's epoch) to 30 December 1899 (the date values' epoch).
constexpr int64_t kDateEpochDays = 109205;

int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;  // days since 1970-01-01
}
}  // namespace

FileTime MakeFileTime(int year, int month, int day, int hour, int minute, int second) {
  const int64_t days1601 = DaysFromCivil(year, month, day) + 134774;  // 1601 -> 1970
  const int64_t secs = days1601 * 86400 + hour * 3600 + minute * 60 + second;
  return static_cast<FileTime>(secs) * kFileTimeSecond;
}

double FakeClock::Now() {
  const int64_t local = static_cast<int64_t>(utc_.load()) +
                        static_cast<int64_t>(bias_.load()) * 60 * static_cast<int64_t>(kFileTimeSecond);
  return static_cast<double>(local) / static_cast<double>(kFileTimeDay) -
         static_cast<double>(kDateEpochDays);
}

void FakeClock::SetLocal(int year, int month, int day, int hour, int minute, int second) {
  const int64_t local = static_cast<int64_t>(MakeFileTime(year, month, day, hour, minute, second));
  utc_.store(static_cast<FileTime>(local - static_cast<int64_t>(bias_.load()) * 60 *
                                               static_cast<int64_t>(kFileTimeSecond)));
}

}  // namespace tw
