// The file system as the engine sees it. Paths are Windows paths in UTF-8 ("C:\Data\a.txt",
// "\\server\share\x"); every call returns a Windows error code (0 = success).
#pragma once
#include <cstdint>
#include <string>
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
  bool IsDirectory() const { return (attributes & fileattr::Directory) != 0; }
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
  virtual WinError List(const std::string& folder, std::vector<FindData>& entries) = 0;

  // Root is "C:\" or "\\server\share\".
  virtual DriveType DriveKind(const std::string& root) = 0;
  // The temporary folder, with a trailing backslash.
  virtual std::string TempFolder() = 0;
};

}  // namespace tw
