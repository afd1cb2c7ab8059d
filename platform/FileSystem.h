// The file system as the engine sees it. Paths are Windows paths in UTF-8 ("C:\Data\a.txt",
// "\\server\share\x"); every call returns a Windows error code (0 = success).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/WinCodes.h"

namespace tw {

// FILETIME value: 100 ns intervals since 1 January 1601 UTC.
using FileTime = uint64_t;

struct FindData {
  std::string name;  // entry name only, no folder
  uint32_t attributes = 0;
  uint64_t size = 0;
  FileTime lastWrite = 0;
  // The reparse tag of a listed reparse point (0 when unknown or not a reparse point).
  uint32_t reparseTag = 0;
  bool IsDirectory() const { return (attributes & fileattr::Directory) != 0; }
  // A junction, mount point or symbolic link, or a reparse point of unknown kind: scans do not
  // follow these, so a loop cannot trap them. Other tags (cloud placeholders, deduplicated
  // files) are ordinary folders to the user and are scanned.
  bool IsLink() const {
    if (!(attributes & fileattr::ReparsePoint)) return false;
    return reparseTag == 0 || reparseTag == kReparseTagMountPoint ||
           reparseTag == kReparseTagSymlink;
  }
  static constexpr uint32_t kReparseTagMountPoint = 0xA0000003;
  static constexpr uint32_t kReparseTagSymlink = 0xA000000C;
};

// A file open for writing (the operation log). Closed when destroyed.
class IFileWriter {
 public:
  virtual ~IFileWriter() = default;
  // Appends data at the end; returns the error of a write that did not go through whole.
  virtual WinError Write(std::string_view data) = 0;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  // Whole-file access. WriteAtomic writes a temporary file in the same folder and moves it over
  // the target, so a failure or crash leaves the previous file untouched.
  virtual WinError ReadAll(const std::string& path, std::string& data) = 0;
  virtual WinError WriteAtomic(const std::string& path, const std::string& data) = 0;

  // Entry information of one file or folder. FindData::name is the last component as spelled
  // in path (not looked up on disk, which would cost a folder scan); empty for a root.
  virtual WinError Stat(const std::string& path, FindData& info) = 0;
  virtual WinError SetAttrs(const std::string& path, uint32_t attributes) = 0;
  // Files may move between drives (copied); folders only within one (NotSameDevice otherwise).
  // Without replace an existing target gives AlreadyExists.
  virtual WinError Move(const std::string& from, const std::string& to, bool replace) = 0;
  virtual WinError Remove(const std::string& path) = 0;
  // Creates one folder; the parent must exist. AlreadyExists when it is there.
  virtual WinError MakeDir(const std::string& path) = 0;
  virtual WinError RemoveDir(const std::string& path) = 0;
  // Lists the entries of a folder (without "." and ".."), in the order the file system gives.
  // On failure entries is empty: a listing cut short must not look complete.
  virtual WinError List(const std::string& folder, std::vector<FindData>& entries) = 0;
  // Hands the entries of a folder one at a time as they are listed, so a long listing can be
  // stopped: the callback returns false to stop, which still counts as Success. A failure after
  // some entries were handed over is returned as it is (they stay handed over). The default
  // lists first, for wrappers that only forward List.
  using ListCallback = std::function<bool(const FindData&)>;
  virtual WinError ListEach(const std::string& folder, const ListCallback& each);

  // Root is "C:\" or "\\server\share\".
  virtual DriveType DriveKind(const std::string& root) = 0;
  // The drives that have a letter now ("C:\", "F:\", ...), in letter order. The default knows
  // none, for wrappers that do not need them.
  virtual std::vector<std::string> DriveRoots();
  // The temporary folder, with a trailing backslash.
  virtual std::string TempFolder() = 0;

  // ---- Added for the copying operations. The defaults serve wrappers and fakes that do not
  // need them; both real implementations override all of them.

  // Copies the file `from` over `to` (replacing it) so that a failure or crash at any point
  // leaves the previous `to` as it was and no temporary file behind: the data goes to a
  // temporary file in the destination folder, which then replaces `to` (write-through). The
  // copy gets the source's attributes and last-write time. A target that another process holds
  // open briefly is retried for a fraction of a second. The error is the platform's own, so
  // callers can act on it: 2 or 3 source or target folder missing, 32/33 source or target in
  // use, 5 access denied (also a read-only target), 15/19/21/65 drive unusable, 71 remote host
  // busy, 39/112 disk full.
  // copyAttributes, when given, receives the attributes the copy got; bytesCopied, its size.
  virtual WinError CopyFileAtomic(const std::string& from, const std::string& to,
                                  uint32_t* copyAttributes = nullptr,
                                  uint64_t* bytesCopied = nullptr);
  // A copy may return before its data has reached the disk; until it has, the copy carries a
  // last-write time that differs from its original's, so a crash meanwhile leaves a copy the
  // change test sees as changed. SettleCopies waits until every copy made so far is on the
  // disk with its original's time, and gives the first failure on the way (the copies stay,
  // marked as changed) with that copy's path. Operations call it before they report and before
  // asking for a disk.
  virtual WinError SettleCopies(std::string* failedCopy = nullptr);
  virtual WinError SetLastWriteTime(const std::string& path, FileTime time);
  // Creates the folder and every missing parent; Success when it already exists. A file in
  // the way gives AlreadyExists.
  virtual WinError MakeDirPath(const std::string& path);
  // Free bytes available to the user on the drive of root ("C:\", "\\server\share\").
  virtual WinError DiskFree(const std::string& root, uint64_t& freeBytes);
  // Creates the file, or empties an existing one, for writing; others may read it meanwhile.
  virtual WinError OpenForWriting(const std::string& path, std::unique_ptr<IFileWriter>& file);

  // Removes from folder the temporary files of ours (see TemporaryName) that a process that no
  // longer runs left there, for instance one killed during a copy. Writing into a folder does
  // this by itself the first time in a process, and a folder this process created needs none.
  // An operation whose listing of a folder showed such names calls it where it may not write
  // (a refresh with nothing changed there) or where they keep a folder from going (a delete).
  // Nothing is reported: a file that cannot go is left for a later run.
  virtual void SweepTemporaries(const std::string& folder);

  // A last-write time as a directory search hands it to the refresh's change test: converted
  // to local time with the bias in force now (not the one of the file's date), then packed into
  // a DOS date (high word) and time (low word), odd seconds rounded down. Nothing outside the
  // DOS range (1980 to 2107). The default takes local time to be UTC.
  virtual std::optional<uint32_t> LocalDosDateTime(FileTime utc);
};

// List for an implementation whose primitive is ListEach: collects the entries, none on failure.
WinError ListInto(IFileSystem& fs, const std::string& folder, std::vector<FindData>& entries);

// The temporary files of WriteAtomic and CopyFileAtomic are named "~tw<pid>-<n>.tmp", both
// numbers in lower-case hexadecimal without leading zeros, pid that of the writing process. They
// are never user files: scans and views pass over them.
std::string TemporaryName(uint32_t pid, uint64_t n);
// The pid in a temporary name of ours; nothing for any other name.
std::optional<uint32_t> TemporaryNameOwner(std::string_view name);
inline bool IsOurTemporaryName(std::string_view name) {
  return TemporaryNameOwner(name).has_value();
}
// Whether a temporary file of ours made at `made` was left behind: no process with its pid
// runs (ownerStart empty), or the one that does started later, so the pid was reused.
inline bool IsStaleTemporary(std::optional<FileTime> ownerStart, FileTime made) {
  return !ownerStart || made < *ownerStart;
}

// The last-write time a copy carries until its data is on the disk: five two-second steps away
// from the original's, so the change test never takes the copy for a current one.
FileTime ProvisionalLastWrite(FileTime original);

// The DOS date (high word) and time (low word) of a local FILETIME, as FileTimeToDosDateTime
// packs it; nothing outside 1980 to 2107.
std::optional<uint32_t> PackDosDateTime(FileTime local);

// The drive part of a path with a trailing backslash: "C:\" for "C:\Data\x",
// "\\srv\share\" for "\\srv\share\x"; empty when the path has none.
std::string DriveRootOf(std::string_view path);

}  // namespace tw
