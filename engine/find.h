// Find files: the masks, the folders to search, the walk that lists what matches, and the
// texts the result list shows. Portable; the dialog runs one walk per folder on its own thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"
#include "selection/selection.h"

namespace tw::find {

// The text cut at every ";": pieces as they stand (blanks kept), an empty piece between two
// separators kept, nothing after a final ";".
std::vector<std::string> SplitList(std::string_view text);

// Whether the whole name fits the whole mask, case ignored: "*" any run of characters (none
// too), "?" exactly one character (code point). O(name x mask) whatever the mask.
bool MatchesMask(std::string_view name, std::string_view mask);

// The folders the "Search In" pieces name, each with a trailing backslash and its drive letter
// upper-cased, in the order given. Pieces that are blank or not absolute ("Data", "\Data",
// "C:Data", or with "." or ".." components) are left out; "X:" is the drive's root. A folder
// named twice, or lying inside another one searched with its subfolders, is searched once.
std::vector<std::string> SearchFolders(const std::vector<std::string>& pieces,
                                       bool includeSubfolders);

// What a walk looks for. minTime: a file must be written after it (UTC); 0 takes any file.
struct TFindRequest {
  std::vector<std::string> masks;
  bool includeSubfolders = true;
  FileTime minTime = 0;
};
inline constexpr int kMaxDays = 1000;
inline constexpr char kDaysMessage[] = "Please enter a number of days from 0 to 1000.";
// The "Changed in last" text as days (blanks around it ignored, blank = 0); nothing when it is
// not a whole number from 0 to kMaxDays.
std::optional<int> ParseDays(std::string_view text);
// The moment `days` days before now; 0 (no filter) for 0 days.
FileTime MinTimeForDays(FileTime nowUtc, int days);

// Where a walk hands its results, on the walking thread.
class IFindSink {
 public:
  virtual ~IFindSink() = default;
  // A file that matched; folder ends with a backslash.
  virtual void Found(const std::string& folder, const FindData& file) = 0;
  // A folder's listing ended (matched or not): a point to pass results on.
  virtual void FolderDone() {}
};

// Lists start (a folder, backslash added when missing) and, when asked, its subfolders, files
// of a folder before its subfolders, each file once. The masks "", "*" and "*.*" take every
// file, also one without a dot. Links are never entered. A folder that
// cannot be listed is passed over. Stop is read before each entry and each mask.
void SearchWalk(IFileSystem& fs, const std::string& start, const TFindRequest& request,
                const std::atomic<bool>& stop, IFindSink& sink);

// The size column: bytes / 1024 and " KB"; "1 KB" below 1024 bytes, an empty file too.
std::string SizeText(uint64_t bytes);

// Adds a found file (folder as listed, with its backslash) to the selection: the folder's node,
// made when missing, then the file with its size. Nodes found before are reused while rows of
// one folder follow each other. False when the selection refuses the path.
class TFoundFileAdder {
 public:
  explicit TFoundFileAdder(TWLDesktopNode& selection) : selection_(selection) {}
  bool Add(const std::string& folder, const std::string& name, uint64_t size);

 private:
  TWLDesktopNode& selection_;
  std::string lastFolder_;
  TWLNode* lastNode_ = nullptr;
};

}  // namespace tw::find
