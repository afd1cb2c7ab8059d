#include "platform/win32/Win32FileSystem.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <new>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

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
  HANDLE Release() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
  }
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
HANDLE CreateTempIn(const std::wstring& folder, DWORD attributes, std::wstring& temp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = folder + L'\\' +
           Widen(TemporaryName(GetCurrentProcessId(), g_tempCounter.fetch_add(1)));
    // DELETE: the copy is renamed through this handle and kept open until it is on the disk.
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                           CREATE_NEW, attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) return h;
    DWORD e = GetLastError();
    if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) return INVALID_HANDLE_VALUE;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return INVALID_HANDLE_VALUE;
}

// Start time of the running process with this pid; nothing when none runs.
std::optional<FileTime> RunningProcessStart(DWORD pid) {
  HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  // Refused: it runs, under another account; its files are kept.
  if (!h) return GetLastError() == ERROR_ACCESS_DENIED ? std::optional<FileTime>(0) : std::nullopt;
  std::optional<FileTime> start;
  FILETIME created, exited, kernel, user;
  if (WaitForSingleObject(h, 0) != WAIT_OBJECT_0)  // signalled once it has ended
    start = GetProcessTimes(h, &created, &exited, &kernel, &user) ? ToFileTime(created) : 0;
  CloseHandle(h);
  return start;
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


// Renames the file open as h to target (an extended path), replacing what is there.
bool RenameOpenFile(HANDLE h, const std::wstring& target, bool replace) {
  std::wstring nt = L"\\??\\" + target.substr(4);  // "\\?\C:\x" and "\\.\x" alike
  const size_t bytes = offsetof(FILE_RENAME_INFO, FileName) + (nt.size() + 1) * sizeof(wchar_t);
  std::vector<unsigned char> buf(bytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buf.data());
  info->ReplaceIfExists = replace ? TRUE : FALSE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(nt.size() * sizeof(wchar_t));
  std::memcpy(info->FileName, nt.c_str(), (nt.size() + 1) * sizeof(wchar_t));
  return SetFileInformationByHandle(h, FileRenameInfo, info, static_cast<DWORD>(bytes)) != 0;
}

// Gives the copy open as h the name target (an extended path). A target already there is
// replaced unless it is a folder or read-only: that check is left out of the usual case, a new
// copy, where looking the name up costs Wine a scan of the folder. A previous copy is replaced
// only by data already on the disk, so that a power cut cannot cost the good copy.
WinError MoveIntoPlace(HANDLE h, const std::wstring& target) {
  if (RenameOpenFile(h, target, false)) return winerr::Success;
  DWORD e = GetLastError();
  if (e != ERROR_ALREADY_EXISTS && e != ERROR_FILE_EXISTS) return e;
  // Refused here, not left to the platform: Wine running as root would replace it.
  if (WinError refused = ReplaceableTarget(target)) return refused;
  if (!FlushFileBuffers(h)) return GetLastError();
  return RetryWhileHeld([&] { return RenameOpenFile(h, target, true); });
}

// Last-write times nearer than this to each other might fall into one two-second step.
constexpr LONGLONG kCloseTimes = 100000000;  // ten seconds


}  // namespace

// Copies already in place whose data may still be on its way to the disk. Each keeps its
// handle until a worker has flushed it and then given it its original's last-write time;
// until then it carries a time its original cannot have. After a power cut a copy therefore
// either is whole or looks changed to the next refresh, which copies it again: never a stale
// copy that looks current. Flushing on several threads lets the file system commit many files
// at once, and the walk goes on copying meanwhile.
class Win32FileSystem::TPendingCopies {
 public:
  // The system's own lock and condition variable: under Wine they wait without a round trip
  // to the server, which the runtime's thread primitives make for every hand-over.
  TPendingCopies() {
    InitializeSRWLock(&lock_);
    InitializeConditionVariable(&wake_);
    InitializeConditionVariable(&room_);
    InitializeConditionVariable(&idle_);
  }

  ~TPendingCopies() {
    Settle(nullptr);
    AcquireSRWLockExclusive(&lock_);
    stop_ = true;
    ReleaseSRWLockExclusive(&lock_);
    WakeAllConditionVariable(&wake_);
    for (HANDLE t : workers_) {
      WaitForSingleObject(t, INFINITE);
      CloseHandle(t);
    }
  }

  void Add(HANDLE h, LARGE_INTEGER lastWrite, const std::string& target) {
    AcquireSRWLockExclusive(&lock_);
    if (workers_.empty()) {
      for (int i = 0; i < kWorkers; ++i) {
        if (HANDLE t = CreateThread(nullptr, 64 * 1024, &TPendingCopies::Worker, this,
                                    STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr))
          workers_.push_back(t);
      }
    }
    if (workers_.empty()) {  // no thread to hand it to: finish it here
      ReleaseSRWLockExclusive(&lock_);
      const WinError e = Finish({h, lastWrite, target});
      AcquireSRWLockExclusive(&lock_);
      Record(e, target);
      ReleaseSRWLockExclusive(&lock_);
      return;
    }
    while (queue_.size() >= kMaxWaiting) SleepConditionVariableSRW(&room_, &lock_, INFINITE, 0);
    queue_.push_back({h, lastWrite, target});
    // Workers are woken for a batch rather than for every small file: each wake-up is a
    // thread switch on a machine busy copying.
    const bool wake = sleeping_ > 0 && queue_.size() % kBatch == 0;
    ReleaseSRWLockExclusive(&lock_);
    if (wake) WakeAllConditionVariable(&wake_);
  }

  WinError Settle(std::string* failedCopy) {
    WakeAllConditionVariable(&wake_);  // for the last, unfinished batch
    AcquireSRWLockExclusive(&lock_);
    while (!queue_.empty() || busy_ > 0) SleepConditionVariableSRW(&idle_, &lock_, INFINITE, 0);
    const WinError e = failure_;
    if (failedCopy) *failedCopy = failedCopy_;
    failure_ = winerr::Success;
    failedCopy_.clear();
    ReleaseSRWLockExclusive(&lock_);
    return e;
  }

 private:
  struct TItem {
    HANDLE h;
    LARGE_INTEGER lastWrite;
    std::string target;
  };
  static constexpr int kWorkers = 6;
  static constexpr size_t kMaxWaiting = 128;
  static constexpr size_t kBatch = 16;

  static WinError Finish(const TItem& item) {
    WinError e = winerr::Success;
    if (!FlushFileBuffers(item.h)) e = GetLastError();
    if (!e) {
      FILE_BASIC_INFO set = {};  // zeros leave the other times and the attributes alone
      set.LastWriteTime = item.lastWrite;
      if (!SetFileInformationByHandle(item.h, FileBasicInfo, &set, sizeof set)) e = GetLastError();
    }
    if (!CloseHandle(item.h) && !e) e = GetLastError();
    return e;
  }

  // Called with the lock held.
  void Record(WinError e, const std::string& target) {
    if (e && !failure_) {
      failure_ = e;
      failedCopy_ = target;
    }
  }

  static DWORD WINAPI Worker(void* self) {
    static_cast<TPendingCopies*>(self)->Work();
    return 0;
  }

  void Work() {
    AcquireSRWLockExclusive(&lock_);
    for (;;) {
      while (!stop_ && queue_.empty()) {
        ++sleeping_;
        SleepConditionVariableSRW(&wake_, &lock_, INFINITE, 0);
        --sleeping_;
      }
      if (queue_.empty()) break;
      TItem item = std::move(queue_.front());
      queue_.pop_front();
      ++busy_;
      const bool wasFull = queue_.size() + 1 >= kMaxWaiting;
      ReleaseSRWLockExclusive(&lock_);
      if (wasFull) WakeConditionVariable(&room_);
      const WinError e = Finish(item);
      AcquireSRWLockExclusive(&lock_);
      Record(e, item.target);
      if (--busy_ == 0 && queue_.empty()) WakeAllConditionVariable(&idle_);
    }
    ReleaseSRWLockExclusive(&lock_);
  }

  SRWLOCK lock_;
  CONDITION_VARIABLE wake_, room_, idle_;
  std::deque<TItem> queue_;
  std::vector<HANDLE> workers_;
  int busy_ = 0;
  int sleeping_ = 0;
  bool stop_ = false;
  WinError failure_ = winerr::Success;
  std::string failedCopy_;
};

// Folders this process has swept of leftover temporaries or created itself. Bounded: a folder
// forgotten costs one more look at its temporaries only.
class Win32FileSystem::TSweptFolders {
 public:
  TSweptFolders() { InitializeSRWLock(&lock_); }
  // True the first time for a folder.
  bool Add(const std::wstring& folder) {
    AcquireSRWLockExclusive(&lock_);
    if (folders_.size() >= kMaxFolders) folders_.clear();
    const bool added = folders_.insert(folder).second;
    ReleaseSRWLockExclusive(&lock_);
    return added;
  }

 private:
  static constexpr size_t kMaxFolders = 4096;
  SRWLOCK lock_;
  std::unordered_set<std::wstring> folders_;
};

Win32FileSystem::Win32FileSystem()
    : pending_(std::make_unique<TPendingCopies>()), swept_(std::make_unique<TSweptFolders>()) {}

void Win32FileSystem::SweepTemporaries(const std::string& folder) {
  std::wstring w;
  if (ExtendedPath(folder, w)) return;  // no trailing backslash but for a root
  SweepOnce(w);
}

void Win32FileSystem::SweepOnce(const std::wstring& folder) {
  if (!swept_->Add(folder)) return;
  std::wstring pattern = folder;
  if (pattern.back() != L'\\') pattern += L'\\';
  const size_t base = pattern.size();
  pattern += L"~tw*.tmp";
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch,
                                 nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return;
  std::vector<std::pair<DWORD, std::optional<FileTime>>> owners;  // asked once per sweep
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::optional<uint32_t> pid = TemporaryNameOwner(Narrow(fd.cFileName));
    if (!pid) continue;
    auto known = std::find_if(owners.begin(), owners.end(),
                              [&](const auto& o) { return o.first == *pid; });
    if (known == owners.end())
      known = owners.insert(owners.end(), {*pid, RunningProcessStart(*pid)});
    if (!IsStaleTemporary(known->second, ToFileTime(fd.ftCreationTime))) continue;
    // A file still open in a live process cannot be deleted: it would refuse here.
    DiscardTemp(pattern.substr(0, base) + fd.cFileName);
  } while (FindNextFileW(find, &fd));
  FindClose(find);
}

Win32FileSystem::~Win32FileSystem() = default;

WinError Win32FileSystem::SettleCopies(std::string* failedCopy) {
  if (failedCopy) failedCopy->clear();
  return pending_->Settle(failedCopy);
}

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
  SweepOnce(folder);

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
  Handle h(CreateTempIn(folder, newAttrs, temp));
  if (!h.Valid()) return GetLastError();
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
  if (!CreateDirectoryW(w.c_str(), nullptr)) return GetLastError();
  swept_->Add(w);  // a new folder holds no leftovers
  return winerr::Success;
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
  return ListInto(*this, folder, entries);
}

WinError Win32FileSystem::ListEach(const std::string& folder, const ListCallback& each) {
  std::wstring w;
  if (WinError e = ExtendedPath(folder, w)) return e;
  std::wstring pattern = w;
  if (pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch,
                                 nullptr, FIND_FIRST_EX_LARGE_FETCH);
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
  for (;;) {
    if (!(fd.cFileName[0] == L'.' &&
          (fd.cFileName[1] == 0 || (fd.cFileName[1] == L'.' && fd.cFileName[2] == 0)))) {
      FindData d;
      d.name = Narrow(fd.cFileName, wcsnlen(fd.cFileName, MAX_PATH));
      d.attributes = fd.dwFileAttributes;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) d.reparseTag = fd.dwReserved0;
      d.size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
      d.lastWrite = ToFileTime(fd.ftLastWriteTime);
      if (!each(d)) break;
    }
    if (!FindNextFileW(find, &fd)) {
      DWORD e = GetLastError();
      if (e != ERROR_NO_MORE_FILES) result = e;  // a listing cut short must not look complete
      break;
    }
  }
  FindClose(find);
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

std::vector<std::string> Win32FileSystem::DriveRoots() {
  std::vector<std::string> roots;
  const DWORD letters = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (letters & (1u << i)) roots.push_back(std::string(1, static_cast<char>('A' + i)) + ":\\");
  }
  return roots;
}

WinError Win32FileSystem::CopyFileAtomic(const std::string& from, const std::string& to,
                                         uint32_t* copyAttributes, uint64_t* bytesCopied) {
  std::wstring src, dst;
  if (WinError e = ExtendedPath(from, src)) return e;
  if (WinError e = ExtendedPath(to, dst)) return e;
  size_t slash = dst.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash + 1 == dst.size() || slash < RootLength(dst))
    return winerr::AccessDenied;
  SweepOnce(dst.substr(0, slash));

  // The source is shared for reading only, as the system copy does: a file another program is
  // writing gives 32 ("in use") rather than a copy torn midway.
  Handle in(CreateFileW(src.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, 0, nullptr));
  if (!in.Valid()) return GetLastError();
  // Not GetFileInformationByHandle: it also asks for the volume serial, which costs Wine
  // milliseconds per file.
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandleEx(in.Get(), FileBasicInfo, &basic, sizeof basic))
    return GetLastError();
  if (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) return winerr::AccessDenied;
  constexpr DWORD kKept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                          FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD attributes = basic.FileAttributes & kKept;

  // One buffer per thread for all copies: most files are small, and allocating per file costs.
  thread_local std::unique_ptr<char[]> buf;
  if (!buf) {
    buf.reset(new (std::nothrow) char[kCopyBuffer]);
    if (!buf) return winerr::NotEnoughMemory;
  }
  DWORD got = 0;
  if (!::ReadFile(in.Get(), buf.get(), kCopyBuffer, &got, nullptr)) return GetLastError();

  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const bool timeCloseToNow =
      std::llabs(static_cast<LONGLONG>(ToFileTime(now)) - basic.LastWriteTime.QuadPart) <
      kCloseTimes;
  // A new copy that fits one buffer is written under its own name: nothing there to protect,
  // and under Wine the temporary name and the rename each cost a scan of the folder. Its
  // writing time cannot pass for the original's, so until it is flushed and given that time
  // a crash leaves a copy the next refresh sees as changed, as with a renamed one.
  const bool fitsOneBuffer = got < kCopyBuffer;
  HANDLE created = INVALID_HANDLE_VALUE;
  if (fitsOneBuffer && !timeCloseToNow) {
    created = CreateFileW(dst.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                          CREATE_NEW, attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    if (created == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS &&
        error != ERROR_ALREADY_EXISTS)
      return error;
  }
  const bool direct = created != INVALID_HANDLE_VALUE;
  std::wstring temp;
  if (!direct) {
    created = CreateTempIn(dst.substr(0, slash), attributes, temp);
    if (created == INVALID_HANDLE_VALUE) return GetLastError();
  }
  Handle out(created);

  WinError e = winerr::Success;
  uint64_t total = 0;
  for (;;) {
    if (got == 0) break;
    total += got;
    for (DWORD done = 0; done < got && !e;) {
      DWORD wrote = 0;
      if (!::WriteFile(out.Get(), buf.get() + done, got - done, &wrote, nullptr))
        e = GetLastError();
      else if (wrote == 0)
        e = winerr::DiskFull;  // no progress and no error: treat as no room
      done += wrote;
    }
    if (e) break;
    if (!::ReadFile(in.Get(), buf.get(), kCopyBuffer, &got, nullptr)) {
      e = GetLastError();
      break;
    }
  }
  in.Close();
  if (!e) {
    // The original's last-write time comes once the data is on the disk (TPendingCopies).
    // Until then the copy has the time of its writing, unless that could pass for the
    // original's.
    FILE_BASIC_INFO set = {};
    if (timeCloseToNow)
      set.LastWriteTime.QuadPart = static_cast<LONGLONG>(
          ProvisionalLastWrite(static_cast<FileTime>(basic.LastWriteTime.QuadPart)));
    // A new file is marked for archiving; one that was not keeps it so.
    if (!(attributes & FILE_ATTRIBUTE_ARCHIVE))
      set.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    if ((set.LastWriteTime.QuadPart || set.FileAttributes) &&
        !SetFileInformationByHandle(out.Get(), FileBasicInfo, &set, sizeof set))
      e = GetLastError();
  }
  if (!e && !direct) e = MoveIntoPlace(out.Get(), dst);
  if (e) {
    out.Close();
    DiscardTemp(direct ? dst : temp);
    return e;
  }
  if (copyAttributes) *copyAttributes = attributes;
  if (bytesCopied) *bytesCopied = total;
  pending_->Add(out.Release(), basic.LastWriteTime, to);
  return winerr::Success;
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
