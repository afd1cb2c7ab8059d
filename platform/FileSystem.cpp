#include "platform/FileSystem.h"

namespace tw {

std::vector<std::string> IFileSystem::DriveRoots() { return {}; }

WinError IFileSystem::CopyFileAtomic(const std::string&, const std::string&, uint32_t*,
                                     uint64_t*) {
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

void IFileSystem::SweepTemporaries(const std::string&) {}

WinError IFileSystem::ListEach(const std::string& folder, const ListCallback& each) {
  std::vector<FindData> entries;
  if (WinError e = List(folder, entries)) return e;
  for (const FindData& d : entries)
    if (!each(d)) break;
  return winerr::Success;
}

WinError ListInto(IFileSystem& fs, const std::string& folder, std::vector<FindData>& entries) {
  entries.clear();
  WinError e = fs.ListEach(folder, [&](const FindData& d) {
    entries.push_back(d);
    return true;
  });
  if (e) entries.clear();
  return e;
}

namespace {

// Hexadecimal digits at the start of s, lower case and without leading zeros, at most max.
size_t HexRun(std::string_view s, size_t max) {
  size_t n = 0;
  while (n < s.size() && n <= max &&
         ((s[n] >= '0' && s[n] <= '9') || (s[n] >= 'a' && s[n] <= 'f')))
    ++n;
  if (n == 0 || n > max || (n > 1 && s[0] == '0')) return 0;
  return n;
}

}  // namespace

std::string TemporaryName(uint32_t pid, uint64_t n) {
  static const char kDigits[] = "0123456789abcdef";
  auto hex = [](uint64_t v) {
    std::string out;
    do {
      out.insert(out.begin(), kDigits[v & 15]);
      v >>= 4;
    } while (v);
    return out;
  };
  return "~tw" + hex(pid) + "-" + hex(n) + ".tmp";
}

std::optional<uint32_t> TemporaryNameOwner(std::string_view name) {
  constexpr std::string_view kPrefix = "~tw", kSuffix = ".tmp";
  if (name.size() < kPrefix.size() + 3 + kSuffix.size() || name.substr(0, 3) != kPrefix ||
      name.substr(name.size() - kSuffix.size()) != kSuffix)
    return std::nullopt;
  std::string_view rest = name.substr(kPrefix.size(), name.size() - 7);
  const size_t pidDigits = HexRun(rest, 8);
  if (pidDigits == 0 || pidDigits + 1 >= rest.size() || rest[pidDigits] != '-')
    return std::nullopt;
  std::string_view counter = rest.substr(pidDigits + 1);
  if (HexRun(counter, 16) != counter.size()) return std::nullopt;
  uint32_t pid = 0;
  for (size_t i = 0; i < pidDigits; ++i)
    pid = pid * 16 + static_cast<uint32_t>(rest[i] <= '9' ? rest[i] - '0' : rest[i] - 'a' + 10);
  return pid;
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
