// What a refresh compares: one listing per folder, looked up by name in memory, and the change
// test between an original and its copy.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"

namespace tw {

// The files of one folder, listed once. Looking a name up costs a binary search, where asking
// the file system per file would cost a search of its own (very slow under Wine).
class TFolderIndex {
 public:
  // Lists the folder (with or without a trailing backslash; "C:" means the root of C:). A
  // folder that cannot be listed holds nothing, so each of its files counts as not found, as a
  // search for it would; the error is returned for the curious.
  WinError Load(IFileSystem& fs, const std::string& folder);
  // The file of that name, compared as the file system compares names (an entry spelled
  // exactly so wins over one that differs in case only); nullptr for a folder or no entry.
  const FindData* FindFile(std::string_view name) const;
  size_t Size() const { return entries_.size(); }
  // The listing held temporary files of ours, which the index leaves out (never a copy or an
  // original); a killed process may have left them.
  bool HeldTemporaries() const { return temporaries_; }

 private:
  std::vector<FindData> entries_;  // files only, sorted by folded name
  bool temporaries_ = false;
};

// The change test: a file has changed when its original and its copy differ in the last-write
// time converted to local time and packed into a DOS date and time (2-second steps), or in the
// low 32 bits of the size. A missing copy counts as changed, so that it is made. A time the DOS
// format cannot hold (before 1980, after 2107) is compared in the same 2-second steps instead.
bool FileHasChanged(IFileSystem& fs, const FindData& original, const FindData* copy);

}  // namespace tw
