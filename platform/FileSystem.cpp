#include "platform/FileSystem.h"

namespace tw {

WinError IFileSystem::CopyFileAtomic(const std::string&, const std::string&, uint32_t*) {
  return winerr::NotSupported;
}

FileTime ProvisionalLastWrite(FileTime original) {
  constexpr FileTime kTenSeconds = 100000000;
  return original > kTenSeconds ? original - kTenSeconds : original + kTenSeconds;
}

WinError IFileSystem::SettleCopies(std::string* failedCopy) {
  if (failedCopy) failedCopy->clear();
  return winerr::Success;
}

WinError IFileSystem::SetLastWriteTime(const std::string&, FileTime) {
  return winerr::NotSupported;
}

WinError IFileSystem::DiskFree(const std::string&, uint64_t&) { return winerr::NotSupported; }

WinError IFileSystem::OpenForWriting(const std::string&, std::unique_ptr<IFileWriter>&) {
  return winerr::NotSupported;
}

WinError IFileSystem::MakeDirPath(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && (p.back() == '\\' || p.back() == '/')) p.pop_back();
  const std::string root = DriveRootOf(p);
  if (!root.empty() && p.size() + 1 <= root.size()) {
    // The drive itself: nothing to create, but say whether it is there.
    FindData info;
    WinError e = Stat(root, info);
    return e == winerr::FileNotFound ? static_cast<WinError>(winerr::PathNotFound) : e;
  }
  // The usual case is a folder that exists or whose parent exists: one or two calls.
  WinError e = MakeDir(p);
  if (e == winerr::PathNotFound) {
    size_t slash = p.find_last_of("\\/");
    if (slash == std::string::npos || slash == 0) return e;
    if (WinError pe = MakeDirPath(p.substr(0, slash))) return pe;
    e = MakeDir(p);
  }
  if (e == winerr::AlreadyExists) {
    FindData info;
    if (Stat(p, info) == winerr::Success && info.IsDirectory()) return winerr::Success;
  }
  return e;
}

std::optional<uint32_t> IFileSystem::LocalDosDateTime(FileTime utc) {
  return PackDosDateTime(utc);
}

std::optional<uint32_t> PackDosDateTime(FileTime local) {
  constexpr uint64_t kTicksPerSecond = 10000000ULL;
  const uint64_t seconds = local / kTicksPerSecond;
  const int64_t days = static_cast<int64_t>(seconds / 86400);
  const uint32_t secondOfDay = static_cast<uint32_t>(seconds % 86400);
  // Civil date from days since 1 March 0000 (FILETIME day 0 is 1 January 1601).
  const int64_t z = days - 134774 + 719468;  // 134774 days from 1601 to 1970
  const int64_t era = z / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  if (year < 1980 || year > 2107) return std::nullopt;
  const uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
  const uint32_t time = ((secondOfDay / 3600) << 11) | (((secondOfDay / 60) % 60) << 5) |
                        ((secondOfDay % 60) / 2);
  return (date << 16) | time;
}

std::string DriveRootOf(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':' &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')))
    return std::string(path.substr(0, 2)) + "\\";
  auto sep = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 3 && sep(path[0]) && sep(path[1])) {
    size_t server = path.find_first_of("\\/", 2);
    if (server == std::string_view::npos || server == 2) return {};
    size_t share = path.find_first_of("\\/", server + 1);
    if (share == std::string_view::npos) share = path.size();
    if (share == server + 1) return {};
    return std::string(path.substr(0, share)) + "\\";
  }
  return {};
}

}  // namespace tw
