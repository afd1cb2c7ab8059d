#include "platform/win32/Win32FileSystem.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <memory>
#include <new>
#include <string_view>

#include "platform/win32/Utf.h"

namespace tw {
namespace {

constexpr DWORD kChunk = 16u << 20;

FileTime ToFileTime(const FILETIME& ft) {
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return h_; }
  BOOL Close() {
    BOOL ok = TRUE;
    if (Valid()) ok = CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE h_;
};

// Length of the root part of an extended path ("\\?\C:", "\\?\UNC\srv\share").
size_t RootLength(const std::wstring& w) {
  if (w.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    size_t server = w.find(L'\\', 8);
    size_t share = server == std::wstring::npos ? server : w.find(L'\\', server + 1);
    return share == std::wstring::npos ? w.size() : share;
  }
  return w.size() >= 6 && w[5] == L':' ? 6 : 4;
}

WinError Result(BOOL ok) { return ok ? static_cast<WinError>(winerr::Success) : GetLastError(); }

// Attributes of an existing entry, or Invalid.
DWORD AttributesOf(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

// Runs op until it succeeds, retrying briefly while another process holds the file (5, 32).
template <class Op>
WinError RetryWhileHeld(Op op) {
  for (int attempt = 1;; ++attempt) {
    if (op()) return winerr::Success;
    DWORD e = GetLastError();
    if ((e != ERROR_ACCESS_DENIED && e != ERROR_SHARING_VIOLATION) ||
        attempt >= Win32FileSystem::kReplaceTries)
      return e;
    Sleep(25 * attempt);
  }
}

// A file that may replace this one must not be a folder and must not be read-only.
WinError ReplaceableTarget(const std::wstring& target) {
  DWORD attrs = AttributesOf(target);
  if (attrs == INVALID_FILE_ATTRIBUTES) return winerr::Success;
  if (attrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return winerr::AccessDenied;
  return winerr::Success;
}

WinError WriteAllTo(HANDLE h, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    DWORD want = static_cast<DWORD>(std::min<size_t>(kChunk, data.size() - done));
    DWORD wrote = 0;
    if (!::WriteFile(h, data.data() + done, want, &wrote, nullptr)) return GetLastError();
    if (wrote == 0) return winerr::DiskFull;  // no progress and no error: treat as no room
    done += wrote;
  }
  return winerr::Success;
}

std::atomic<unsigned> g_tempCounter{0};

// Creates a new file next to `folder`'s other entries under a name nobody else uses.
HANDLE CreateTempIn(const std::wstring& folder, std::wstring& temp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    wchar_t name[64];
    swprintf(name, 64, L"\\~tw%lx-%x.tmp", GetCurrentProcessId(), g_tempCounter.fetch_add(1));
    temp = folder + name;
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) return h;
    DWORD e = GetLastError();
    if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) return INVALID_HANDLE_VALUE;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return INVALID_HANDLE_VALUE;
}

void DiscardTemp(const std::wstring& temp) {
  SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(temp.c_str());
}

class Win32Writer : public IFileWriter {
 public:
  explicit Win32Writer(HANDLE h) : h_(h) {}
  WinError Write(std::string_view data) override {
    size_t done = 0;
    while (done < data.size()) {
      DWORD want = static_cast<DWORD>(std::min<size_t>(kChunk, data.size() - done));
      DWORD wrote = 0;
      if (!::WriteFile(h_.Get(), data.data() + done, want, &wrote, nullptr)) return GetLastError();
      if (wrote == 0) return winerr::DiskFull;
      done += wrote;
    }
    return winerr::Success;
  }

 private:
  Handle h_;
};

}  // namespace

WinError Win32FileSystem::ReadAll(const std::string& path, std::string& data) {
  std::wstring w;
  if (WinError e = ExtendedPath(path, w)) return e;
  Handle h(CreateFileW(w.c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!h.Valid()) return GetLastError();
  LARGE_INTEGER size;
  if (!GetFileSizeEx(h.Get(), &size)) return GetLastError();
  if (static_cast<uint64_t>(size.QuadPart) > data.max_size() / 2) return winerr::NotEnoughMemory;
  std::string buf;
  try {
    buf.resize(static_cast<size_t>(size.QuadPart));
  } catch (const std::bad_alloc&) {
    return winerr::NotEnoughMemory;
  }
  size_t have = 0;
  for (;;) {
    if (have == buf.size()) buf.resize(buf.size() + 65536);  // the file grew meanwhile
    DWORD want = static_cast<DWORD>(std::min<size_t>(kChunk, buf.size() - have));
    DWORD got = 0;
    if (!::ReadFile(h.Get(), &buf[have], want, &got, nullptr)) return GetLastError();
    if (got == 0) break;
    have += got;
  }
  buf.resize(have);
  data = std::move(buf);
  return winerr::Success;
}

WinError Win32FileSystem::WriteAtomic(const std::string& path, const std::string& data) {
  std::wstring target;
  if (WinError e = ExtendedPath(path, target)) return e;
  size_t slash = target.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash + 1 == target.size()) return winerr::AccessDenied;
  const std::wstring folder = target.substr(0, slash);

  DWORD oldAttrs = AttributesOf(target);
  if (oldAttrs != INVALID_FILE_ATTRIBUTES &&
      (oldAttrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
    return winerr::AccessDenied;
  // A hidden or system file (a mark, a settings file) stays so after being rewritten.
  DWORD newAttrs = FILE_ATTRIBUTE_NORMAL;
  if (oldAttrs != INVALID_FILE_ATTRIBUTES)
    newAttrs = oldAttrs & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  if (newAttrs == 0) newAttrs = FILE_ATTRIBUTE_NORMAL;

  std::wstring temp;
  HANDLE raw = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && raw == INVALID_HANDLE_VALUE; ++attempt) {
    wchar_t name[64];
    swprintf(name, 64, L"\\~tw%lx-%x.tmp", GetCurrentProcessId(), g_tempCounter.fetch_add(1));
    temp = folder + name;
    raw = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, newAttrs, nullptr);
    if (raw == INVALID_HANDLE_VALUE) {
      DWORD e = GetLastError();
      if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) return e;
    }
  }
  if (raw == INVALID_HANDLE_VALUE) return winerr::FileExists;

  Handle h(raw);
  WinError e = WriteAllTo(h.Get(), data);
  if (!e && !FlushFileBuffers(h.Get())) e = GetLastError();
  if (!h.Close() && !e) e = GetLastError();
  if (!e) {
    e = RetryWhileHeld([&] {
      return MoveFileExW(temp.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    });
  }
  if (e) DeleteFileW(temp.c_str());
  return e;
}

WinError Win32FileSystem::Stat(const std::string& path, FindData& info) {
  std::wstring w;
  if (WinError e = ExtendedPath(path, w)) return e;
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!GetFileAttributesExW(w.c_str(), GetFileExInfoStandard, &d)) return GetLastError();
  info = FindData{};
  size_t slash = w.find_last_of(L'\\');
  if (slash != std::wstring::npos && slash >= RootLength(w)) info.name = Narrow(w.substr(slash + 1));
  info.attributes = d.dwFileAttributes;
  info.size = (static_cast<uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
  info.lastWrite = ToFileTime(d.ftLastWriteTime);
  return winerr::Success;
}

WinError Win32FileSystem::SetAttrs(const std::string& path, uint32_t attributes) {
  std::wstring w;
  if (WinError e = ExtendedPath(path, w)) return e;
  DWORD a = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
  if (a == 0) a = FILE_ATTRIBUTE_NORMAL;
  return Result(SetFileAttributesW(w.c_str(), a));
}

WinError Win32FileSystem::Move(const std::string& from, const std::string& to, bool replace) {
  std::wstring src, dst;
  if (WinError e = ExtendedPath(from, src)) return e;
  if (WinError e = ExtendedPath(to, dst)) return e;
  if (AttributesOf(src) == INVALID_FILE_ATTRIBUTES) return GetLastError();
  const bool caseOnly = CompareStringOrdinal(src.c_str(), -1, dst.c_str(), -1, TRUE) == CSTR_EQUAL;
  if (!caseOnly && AttributesOf(dst) != INVALID_FILE_ATTRIBUTES) {
    if (!replace) return winerr::AlreadyExists;
    if (WinError e = ReplaceableTarget(dst)) return e;
  }
  DWORD flags = MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH;
  if (replace) flags |= MOVEFILE_REPLACE_EXISTING;
  if (!replace || caseOnly) return Result(MoveFileExW(src.c_str(), dst.c_str(), flags));
  return RetryWhileHeld([&] { return MoveFileExW(src.c_str(), dst.c_str(), flags) != 0; });
}

WinError Win32FileSystem::Remove(const std::string& path) {
  std::wstring w;
  if (WinError e = ExtendedPath(path, w)) return e;
  DWORD attrs = AttributesOf(w);
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY) &&
      !(attrs & FILE_ATTRIBUTE_DIRECTORY))
    return winerr::AccessDenied;
  return Result(DeleteFileW(w.c_str()));
}

WinError Win32FileSystem::MakeDir(const std::string& path) {
  std::wstring w;
  if (WinError e = ExtendedPath(path, w)) return e;
  return Result(CreateDirectoryW(w.c_str(), nullptr));
}

WinError Win32FileSystem::RemoveDir(const std::string& path) {
  std::wstring w;
  if (WinError e = ExtendedPath(path, w)) return e;
  return Result(RemoveDirectoryW(w.c_str()));
}

std::optional<uint32_t> Win32FileSystem::LocalDosDateTime(FileTime utc) {
  FILETIME ft{static_cast<DWORD>(utc), static_cast<DWORD>(utc >> 32)};
  FILETIME local;
  WORD date = 0, time = 0;
  if (!FileTimeToLocalFileTime(&ft, &local) || !FileTimeToDosDateTime(&local, &date, &time))
    return std::nullopt;
  return (static_cast<uint32_t>(date) << 16) | time;
}

WinError Win32FileSystem::List(const std::string& folder, std::vector<FindData>& entries) {
  std::wstring w;
  if (WinError e = ExtendedPath(folder, w)) return e;
  std::wstring pattern = w;
  if (pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch,
                                 nullptr, FIND_FIRST_EX_LARGE_FETCH);
  entries.clear();
  if (find == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    // An empty drive root has no "." entry; a folder that is not there must still fail.
    if (e == ERROR_FILE_NOT_FOUND) {
      DWORD attrs = AttributesOf(w);
      if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY))
        return winerr::Success;
      return winerr::PathNotFound;
    }
    return e;
  }
  WinError result = winerr::Success;
  do {
    if (fd.cFileName[0] == L'.' &&
        (fd.cFileName[1] == 0 || (fd.cFileName[1] == L'.' && fd.cFileName[2] == 0)))
      continue;
    FindData d;
    d.name = Narrow(fd.cFileName, wcsnlen(fd.cFileName, MAX_PATH));
    d.attributes = fd.dwFileAttributes;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) d.reparseTag = fd.dwReserved0;
    d.size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    d.lastWrite = ToFileTime(fd.ftLastWriteTime);
    entries.push_back(std::move(d));
  } while (FindNextFileW(find, &fd));
  DWORD e = GetLastError();
  if (e != ERROR_NO_MORE_FILES) result = e;  // a listing cut short must not look complete
  FindClose(find);
  if (result) entries.clear();
  return result;
}

DriveType Win32FileSystem::DriveKind(const std::string& root) {
  std::wstring w;
  if (!TryWiden(root, w) || w.empty()) return DriveType::NoRootDir;
  for (auto& c : w)
    if (c == L'/') c = L'\\';
  if (w.back() != L'\\') w += L'\\';
  return static_cast<DriveType>(GetDriveTypeW(w.c_str()));
}

std::string Win32FileSystem::TempFolder() {
  std::wstring buf(MAX_PATH + 2, L'\0');
  DWORD n = GetTempPathW(static_cast<DWORD>(buf.size()), buf.data());
  if (n >= buf.size()) {
    buf.assign(n + 1, L'\0');
    n = GetTempPathW(static_cast<DWORD>(buf.size()), buf.data());
  }
  if (n == 0 || n >= buf.size()) return {};
  buf.resize(n);
  if (buf.back() != L'\\') buf += L'\\';
  return Narrow(buf);
}

WinError Win32FileSystem::CopyFileAtomic(const std::string& from, const std::string& to) {
  std::wstring src, dst;
  if (WinError e = ExtendedPath(from, src)) return e;
  if (WinError e = ExtendedPath(to, dst)) return e;
  size_t slash = dst.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash + 1 == dst.size() || slash < RootLength(dst))
    return winerr::AccessDenied;
  // Refused here, not left to the platform: Wine running as root would replace it.
  if (WinError e = ReplaceableTarget(dst)) return e;

  // The source is shared for reading only, as the system copy does: a file another program is
  // writing gives 32 ("in use") rather than a copy torn midway.
  Handle in(CreateFileW(src.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, 0, nullptr));
  if (!in.Valid()) return GetLastError();
  // Not GetFileInformationByHandle: it also asks for the volume serial, which costs Wine
  // milliseconds per file.
  FILE_BASIC_INFO basic;
  LARGE_INTEGER size;
  if (!GetFileInformationByHandleEx(in.Get(), FileBasicInfo, &basic, sizeof basic) ||
      !GetFileSizeEx(in.Get(), &size))
    return GetLastError();
  if (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) return winerr::AccessDenied;

  std::wstring temp;
  Handle out(CreateTempIn(dst.substr(0, slash), temp));
  if (!out.Valid()) return GetLastError();

  WinError e = winerr::Success;
  try {
    // Small files get a small buffer: the per-file cost is what dominates them.
    const DWORD bufSize = static_cast<DWORD>(std::min<uint64_t>(
        Win32FileSystem::kCopyBuffer, std::max<uint64_t>(static_cast<uint64_t>(size.QuadPart) + 1, 4096)));
    std::unique_ptr<char[]> buf(new char[bufSize]);
    while (!e) {
      DWORD got = 0;
      if (!::ReadFile(in.Get(), buf.get(), bufSize, &got, nullptr)) {
        e = GetLastError();
        break;
      }
      if (got == 0) break;
      for (DWORD done = 0; done < got && !e;) {
        DWORD wrote = 0;
        if (!::WriteFile(out.Get(), buf.get() + done, got - done, &wrote, nullptr))
          e = GetLastError();
        else if (wrote == 0)
          e = winerr::DiskFull;  // no progress and no error: treat as no room
        done += wrote;
      }
    }
  } catch (const std::bad_alloc&) {
    e = winerr::NotEnoughMemory;
  }
  if (!e) {
    // Last-write time and attributes in one call, through the handle we hold anyway.
    FILE_BASIC_INFO set = {};
    set.LastWriteTime = basic.LastWriteTime;
    set.FileAttributes = basic.FileAttributes &
                         (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                          FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (set.FileAttributes == 0) set.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(out.Get(), FileBasicInfo, &set, sizeof set))
      e = GetLastError();
  }
  // The data must be on disk before the rename makes it the copy: after a power cut a renamed
  // but unwritten file would carry the original's size and time, and no refresh would mend it.
  if (!e && !FlushFileBuffers(out.Get())) e = GetLastError();
  if (!out.Close() && !e) e = GetLastError();
  in.Close();
  if (!e) {
    e = RetryWhileHeld([&] {
      return MoveFileExW(temp.c_str(), dst.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    });
  }
  if (e) DiscardTemp(temp);
  return e;
}

WinError Win32FileSystem::SetLastWriteTime(const std::string& path, FileTime time) {
  std::wstring w;
  if (WinError e = ExtendedPath(path, w)) return e;
  Handle h(CreateFileW(w.c_str(), FILE_WRITE_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h.Valid()) return GetLastError();
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(time);
  ft.dwHighDateTime = static_cast<DWORD>(time >> 32);
  return Result(SetFileTime(h.Get(), nullptr, nullptr, &ft));
}

WinError Win32FileSystem::DiskFree(const std::string& root, uint64_t& freeBytes) {
  std::wstring w;
  if (!TryWiden(root, w) || w.empty()) return winerr::InvalidName;
  for (auto& c : w)
    if (c == L'/') c = L'\\';
  if (w.back() != L'\\') w += L'\\';
  ULARGE_INTEGER avail;
  if (!GetDiskFreeSpaceExW(w.c_str(), &avail, nullptr, nullptr)) return GetLastError();
  freeBytes = avail.QuadPart;
  return winerr::Success;
}

WinError Win32FileSystem::OpenForWriting(const std::string& path,
                                         std::unique_ptr<IFileWriter>& file) {
  std::wstring w;
  if (WinError e = ExtendedPath(path, w)) return e;
  if (WinError e = ReplaceableTarget(w)) return e;
  HANDLE h = CreateFileW(w.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError();
  file = std::make_unique<Win32Writer>(h);
  return winerr::Success;
}

}  // namespace tw
