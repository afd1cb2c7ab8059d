#include "platform/FileSystem.h"

namespace tw {

WinError IFileSystem::CopyFileAtomic(const std::string&, const std::string&) {
  return winerr::NotSupported;
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
