#include "engine/progressline.h"

#include <algorithm>
#include <climits>
#include <iterator>

namespace tw {

namespace {
constexpr FileTime kSecond = 10000000ULL;
// Beyond this an estimate means nothing and would overflow the arithmetic.
constexpr double kLongestEstimate = 1e9;
}  // namespace

std::string GroupedNumber(int64_t value) {
  // Through the unsigned magnitude: the most negative value has no positive counterpart.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string digits = std::to_string(magnitude);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return value < 0 ? "-" + out : out;
}

std::string BytesText(uint64_t bytes, const TNumberText& number) {
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
  if (bytes < 10 * 1024ULL) return number(static_cast<int64_t>(bytes)) + " bytes";
  uint64_t value = bytes / 1024;
  size_t unit = 0;
  while (value >= 10 * 1024ULL && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  return number(static_cast<int64_t>(value)) + " " + kUnits[unit];
}

std::optional<uint64_t> SecondsLeft(int done, int toDo, FileTime elapsed) {
  if (elapsed < kEstimateAfter || done <= 0 || done >= toDo) return std::nullopt;
  const double seconds = static_cast<double>(elapsed) / static_cast<double>(kSecond) *
                         static_cast<double>(toDo - done) / static_cast<double>(done);
  return static_cast<uint64_t>(std::min(seconds + 0.5, kLongestEstimate));
}

std::string TimeLeftText(uint64_t seconds, const TNumberText& number) {
  auto n = [&](uint64_t v) { return number(static_cast<int64_t>(v)); };
  if (seconds <= 55) {
    // Rounded up: "about 0 s" would read as done.
    return "about " + n(std::max<uint64_t>(5, (seconds + 4) / 5 * 5)) + " s left";
  }
  const uint64_t minutes = std::max<uint64_t>(1, (seconds + 30) / 60);
  if (minutes < 60) return "about " + n(minutes) + " min left";
  if (minutes < 10 * 60) {
    const uint64_t tens = (minutes + 5) / 10;  // to 10 minutes
    const uint64_t h = tens / 6, m = tens % 6 * 10;
    return "about " + n(h) + " h" + (m ? " " + n(m) + " min" : std::string()) + " left";
  }
  return "about " + n((minutes + 30) / 60) + " h left";
}

std::string ProgressLineText(const TProgressFigures& f, const TNumberText& number) {
  std::string line = number(f.FilesDone) + " of " + number(f.FilesToDo) + " files";
  if (f.CountsBytes) {
    line += " - " + BytesText(f.Bytes, number);
    if (f.Elapsed >= kRateAfter) {
      const double rate = static_cast<double>(f.Bytes) * static_cast<double>(kSecond) /
                          static_cast<double>(f.Elapsed);
      line += " - " + BytesText(static_cast<uint64_t>(rate), number) + "/s";
    }
  }
  if (auto left = SecondsLeft(f.FilesDone, f.FilesToDo, f.Elapsed))
    line += " - " + TimeLeftText(*left, number);
  return line;
}

void TProgressMeter::Start() {
  start_ = clock_.NowUtc();
  paused_ = 0;
  pauses_ = 0;
  minimum_ = 0;
  maximum_ = 100;
  position_ = 0;
  bytes_ = 0;
  countsBytes_ = true;
}

void TProgressMeter::SetRange(int minimum, int maximum) {
  minimum_ = minimum;
  maximum_ = std::max(minimum, maximum);
}

TProgressFigures TProgressMeter::Figures() {
  TProgressFigures f;
  // In 64 bits: a range of the whole int span must not overflow.
  const int64_t toDo = static_cast<int64_t>(maximum_) - minimum_;
  const int64_t done = std::clamp<int64_t>(static_cast<int64_t>(position_) - minimum_, 0, toDo);
  f.FilesToDo = static_cast<int>(std::min<int64_t>(toDo, INT_MAX));
  f.FilesDone = static_cast<int>(std::min<int64_t>(done, INT_MAX));
  f.Bytes = bytes_;
  f.CountsBytes = countsBytes_;
  const FileTime now = clock_.NowUtc();
  // A clock put back during the run gives no negative time.
  FileTime elapsed = now > start_ ? now - start_ : 0;
  FileTime paused = paused_;
  if (pauses_ > 0 && now > pausedAt_) paused += now - pausedAt_;
  f.Elapsed = elapsed > paused ? elapsed - paused : 0;
  return f;
}

void TProgressMeter::Pause() {
  if (pauses_++ == 0) pausedAt_ = clock_.NowUtc();
}

void TProgressMeter::Resume() {
  if (pauses_ == 0 || --pauses_ > 0) return;
  const FileTime now = clock_.NowUtc();
  if (now > pausedAt_) paused_ += now - pausedAt_;
}

std::string TProgressMeter::Line(const TNumberText& number) {
  return ProgressLineText(Figures(), number);
}

}  // namespace tw
