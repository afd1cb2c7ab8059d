// Loading a selection file of 100,000 entries written in name order, in reverse order and
// shuffled, in one run; prints each time and its ratio to the sorted file (target: reverse
// within 1.5x of sorted). The files lie in the in-memory file system, so the figures are the
// loader's own cost.
//
//   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTW_SANITIZE=OFF
//   cmake --build build/bench --target bench_selection_load && build/bench/bin/bench_selection_load
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/memory/MemoryFileSystem.h"
#include "selection/selection.h"

using namespace tw;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kEntries = 100000;

std::string FileOf(const std::vector<std::string>& names) {
  std::string text = "[C:\\Data]\r\n";
  for (const std::string& n : names) text += n + "=#\r\n";
  return text;
}

// Best of three loads, in seconds; checks that every entry came back.
double TimeLoad(MemoryFileSystem& fs, const std::string& file) {
  double best = 1e9;
  for (int round = 0; round < 3; ++round) {
    TWLDesktopNode tree(fs);
    auto start = Clock::now();
    if (tree.LoadFromFile(file) != winerr::Success) std::abort();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    TWLNode* data = tree.FindNode("C:\\Data");
    if (!data || data->FileCount() != kEntries) {
      std::fprintf(stderr, "%s: %d entries back\n", file.c_str(), data ? data->FileCount() : -1);
      std::exit(1);
    }
  }
  return best;
}

}  // namespace

int main() {
  MemoryFileSystem fs;
  fs.AddDrive("C:", DriveType::Fixed);
  fs.MakeDirs("C:\\Prog");
  std::vector<std::string> names;
  for (int i = 0; i < kEntries; ++i) {
    // Mixed case and a non-ASCII letter now and then, as real folders have.
    std::string n = (i % 3 ? "file-" : "File-") + std::to_string(i) + (i % 7 ? ".txt" : "\xC3\xA9.doc");
    fs.WriteFile("C:\\Data\\" + n, std::string(static_cast<size_t>(i % 17), 'x'));
    names.push_back(std::move(n));
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return CompareSelectionNames(a, b) < 0;
  });
  std::vector<std::string> reversed(names.rbegin(), names.rend()), shuffled = names;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(12));
  fs.WriteFile("C:\\Prog\\Sorted.TWS", FileOf(names));
  fs.WriteFile("C:\\Prog\\Reversed.TWS", FileOf(reversed));
  fs.WriteFile("C:\\Prog\\Shuffled.TWS", FileOf(shuffled));

  const double sorted = TimeLoad(fs, "C:\\Prog\\Sorted.TWS");
  const double reverse = TimeLoad(fs, "C:\\Prog\\Reversed.TWS");
  const double shuffle = TimeLoad(fs, "C:\\Prog\\Shuffled.TWS");
  std::printf("selection file of %d entries, best of 3 loads:\n", kEntries);
  std::printf("  sorted    %7.1f ms\n", sorted * 1e3);
  std::printf("  reversed  %7.1f ms  %.2fx sorted (target: within 1.5x)\n", reverse * 1e3,
              reverse / sorted);
  std::printf("  shuffled  %7.1f ms  %.2fx sorted\n", shuffle * 1e3, shuffle / sorted);
  return 0;
}
