#include "engine/changetest.h"

#include <algorithm>
#include <type_traits>

#include "engine/layout.h"
#include "selection/selection.h"

namespace tw {

WinError TFolderIndex::Load(IFileSystem& fs, const std::string& folder) {
  entries_.clear();
  temporaries_ = false;
  std::vector<FindData> listed;
  // "C:" alone would name the current folder of drive C.
  WinError e = fs.List(AddBackslash(folder), listed);
  if (e) return e;
  entries_.reserve(listed.size());
  for (FindData& d : listed) {
    if (d.IsDirectory()) continue;
    if (IsOurTemporaryName(d.name))
      temporaries_ = true;
    else
      entries_.push_back(std::move(d));
  }
  std::stable_sort(entries_.begin(), entries_.end(), [](const FindData& a, const FindData& b) {
    return CompareSelectionNames(a.name, b.name) < 0;
  });
  return winerr::Success;
}

const FindData* TFolderIndex::FindFile(std::string_view name) const {
  auto [first, last] = std::equal_range(
      entries_.begin(), entries_.end(), name, [](const auto& a, const auto& b) {
        if constexpr (std::is_same_v<std::decay_t<decltype(a)>, FindData>)
          return CompareSelectionNames(a.name, b) < 0;
        else
          return CompareSelectionNames(a, b.name) < 0;
      });
  if (first == last) return nullptr;
  for (auto it = first; it != last; ++it) {
    if (it->name == name) return &*it;
  }
  return &*first;
}

bool FileHasChanged(IFileSystem& fs, const FindData& original, const FindData* copy) {
  if (!copy) return true;
  if (static_cast<uint32_t>(original.size) != static_cast<uint32_t>(copy->size)) return true;
  constexpr FileTime kStep = 2 * 10000000ULL;
  const auto a = fs.LocalDosDateTime(original.lastWrite);
  const auto b = fs.LocalDosDateTime(copy->lastWrite);
  // A FAT disk keeps times in steps of 2 s and rounds a time it is given up, where the DOS
  // form of the original rounds down: for an original between two steps, a copy one step
  // later is the same time, or every copy on a FAT stick would be taken again by each refresh.
  const bool betweenSteps = original.lastWrite % kStep != 0;
  if (a && b)
    return *a != *b && !(betweenSteps && fs.LocalDosDateTime(original.lastWrite + kStep) == b);
  const FileTime o = original.lastWrite / kStep, c = copy->lastWrite / kStep;
  return c != o && !(betweenSteps && c == o + 1);
}

}  // namespace tw
