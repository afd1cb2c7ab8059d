#include "platform/win32/Win32Clock.h"

#include <windows.h>

namespace tw {
namespace {
constexpr uint64_t kDay = 864000000000ULL;  // FILETIME units
constexpr uint64_t kDateEpochDays = 109205;  // 1 January 1601 -> 30 December 1899
}  // namespace

double Win32Clock::Now() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  FILETIME ft;
  if (!SystemTimeToFileTime(&st, &ft)) return 0.0;
  uint64_t t = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  // Whole days and the fraction apart, so the time of day keeps its precision.
  return static_cast<double>(t / kDay) - static_cast<double>(kDateEpochDays) +
         static_cast<double>(t % kDay) / static_cast<double>(kDay);
}

FileTime Win32Clock::NowUtc() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

}  // namespace tw
