// What the fuzz targets share: a failed property aborts with a message, so libFuzzer keeps the
// input; what a profile file shows a reader; and what a selection is.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "platform/ProfileFile.h"
#include "selection/selection.h"

namespace tw::fuzz {

[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

inline void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

// Every section with its entries, in order, as a reader sees them.
inline std::string Visible(const TProfileFile& ini) {
  std::string out;
  for (const std::string& s : ini.SectionNames()) {
    out += "[" + s + "]\n";
    for (const TProfileEntry& e : ini.ReadSection(s)) out += e.Key + "=" + e.Value + "\n";
  }
  return out;
}

// The selection as its file must give it back: folders selected whole (by folded path; their
// contents are the disk's, so whatever lies below them is left out) and, outside them, each
// folder's files (folded) with sizes. Roots are merged without regard to case and never whole,
// as in the file. Paths on the drive `scratch` (where the saves go) are left out.
struct Selection {
  std::set<std::string> whole;
  std::map<std::string, std::map<std::string, int64_t>> files;
  bool operator==(const Selection&) const = default;
};

inline bool InsideWhole(const std::set<std::string>& whole, const std::string& folded) {
  for (size_t at = folded.find('\\');; at = folded.find('\\', at + 1)) {
    if (whole.count(folded.substr(0, at))) return true;
    if (at == std::string::npos) return false;
  }
}

inline Selection Take(const TWLDesktopNode& tree, const std::string& scratch) {
  Selection c;
  const std::string skip = FoldSelectionName(scratch);
  auto scratchPath = [&](const std::string& folded) { return folded.rfind(skip, 0) == 0; };
  WalkSelection(
      tree,
      [&](const TWLNode& n) {
        if (n.Parent() && n.AllSelected()) {
          std::string folded = FoldSelectionName(n.Path());
          if (!scratchPath(folded)) c.whole.insert(std::move(folded));
        }
        return true;
      },
      nullptr);
  // A folder selected whole below another one is the disk's too: the outer one is saved alone,
  // and a folder of that name that is not on the disk is not there when it loads back.
  for (auto it = c.whole.begin(); it != c.whole.end();) {
    const size_t last = it->rfind('\\');
    if (last != std::string::npos && InsideWhole(c.whole, it->substr(0, last)))
      it = c.whole.erase(it);
    else
      ++it;
  }
  WalkSelection(tree, nullptr, [&](const TWLNode& n, int i) {
    const std::string folder = FoldSelectionName(n.Path());
    if (!scratchPath(folder) && !InsideWhole(c.whole, folder))
      c.files[folder].emplace(FoldSelectionName(n.FileName(i)), n.FileSize(i));
    return true;
  });
  return c;
}

}  // namespace tw::fuzz
