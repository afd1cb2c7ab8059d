// The line under the progress dialog's bar: how far a run has come, what it copied, how fast,
// and how long it still needs, e.g. "1,234 of 20,004 files - 212 MB - 38 MB/s - about 2 min
// left". Worked out from the figures the operation gives its bar and a clock.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/Clock.h"

namespace tw {

// How a whole number is written; the window passes the user's thousands separators.
using TNumberText = std::function<std::string(int64_t)>;
// Groups of three digits with commas: "20,004", "-1,000".
std::string GroupedNumber(int64_t value);

// "812 bytes", "9,999 bytes", "12 KB", "212 MB", "3,482 MB", "12 GB": 1 KB is 1024 bytes, the
// largest unit that still leaves two digits, rounded down, no decimals.
std::string BytesText(uint64_t bytes, const TNumberText& number = GroupedNumber);

// Nothing is estimated before this much of a run has passed: the first files say too little.
inline constexpr FileTime kEstimateAfter = 3 * 10000000ULL;
// The rate is shown once this much has passed.
inline constexpr FileTime kRateAfter = 1 * 10000000ULL;

// Seconds still needed, going on at the pace of the files done so far; nothing before
// kEstimateAfter, before the first file or once every file is done.
std::optional<uint64_t> SecondsLeft(int done, int toDo, FileTime elapsed);
// "about 5 s left" (up to a minute, in steps of 5 s rounded up), "about 2 min left" (rounded),
// "about 1 h 40 min left" (to 10 min), "about 12 h left" (from 10 h, to the hour).
std::string TimeLeftText(uint64_t seconds, const TNumberText& number = GroupedNumber);

struct TProgressFigures {
  int FilesDone = 0;
  int FilesToDo = 0;
  uint64_t Bytes = 0;      // copied so far
  bool CountsBytes = true;  // false for a run that copies nothing (a delete)
  FileTime Elapsed = 0;    // since the run began
};

// "<done> of <to do> files", then " - <bytes>" when the run copies, " - <rate>/s" from
// kRateAfter, " - about ... left" while SecondsLeft has an answer.
std::string ProgressLineText(const TProgressFigures& figures,
                             const TNumberText& number = GroupedNumber);

// The figures of one run, kept as the operation drives its bar. Reads the clock only when the
// run starts and when the line is asked for, never per file.
class TProgressMeter {
 public:
  explicit TProgressMeter(IClock& clock) : clock_(clock) {}
  // A new run: range 0..100 as a new bar, nothing done, the clock read.
  void Start();
  void SetRange(int minimum, int maximum);
  void SetPosition(int position) { position_ = position; }
  void Step() { ++position_; }
  void AddBytes(uint64_t bytes) { bytes_ += bytes; }
  void CountBytes(bool counts) { countsBytes_ = counts; }
  // A question waits for the user: that time is no time of the copy, or the rate and the time
  // left would be wrong for the rest of the run. Nested pauses count once.
  void Pause();
  void Resume();
  // The figures now (as a bar shows them: done within 0..to do).
  TProgressFigures Figures();
  std::string Line(const TNumberText& number = GroupedNumber);

 private:
  IClock& clock_;
  FileTime start_ = 0;
  FileTime paused_ = 0;    // time spent in pauses that ended
  FileTime pausedAt_ = 0;  // when the open pause began
  int pauses_ = 0;
  int minimum_ = 0, maximum_ = 100, position_ = 0;
  uint64_t bytes_ = 0;
  bool countsBytes_ = true;
};

}  // namespace tw
