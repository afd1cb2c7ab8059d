// An in-memory file system with the Windows behaviour the engine depends on, for tests.
//
// Roots are drive letters ("C:") and UNC shares ("\\server\share") that the test adds. Names are
// case-insensitive and case-preserving, listed in case-insensitive order as NTFS lists them.
// Paths are taken literally (trailing blanks and dots are part of a name, as with the "\\?\"
// paths the real implementation uses); '/' counts as '\', "." and ".." are resolved. Error
// codes are those Windows gives: missing parent 3, missing file 2, read-only target 5, existing
// folder 183, non-empty folder 145, no space 112, bad name 123, unknown share 53.
//
// Fault injection: AddFault makes matching calls fail with a chosen code. A call matches when
// its operation equals FsFault::op (Any: every public call, not the steps inside WriteAtomic)
// and its path matches FsFault::path under the
// rule in FsFault::match, compared case-insensitively. Move matches on either path; Write and
// Replace match on the target of WriteAtomic. The first `skip` matching calls run normally,
// the next `times` fail (kAlways: all later ones). A failing call changes nothing, except
// Write, which first puts `partialBytes` into the temporary file, as a write cut off midway.
// CopyFileAtomic goes through the same steps: Copy (the whole call, matched on source or
// target, before anything is written), Write and Replace (matched on the target). A failed
// Write or Replace removes the temporary file again, as the real copy does. A copy stays
// unsettled, as the real one does until its data is on the disk: it carries a last-write time
// ten seconds off its original's until SettleCopies, whose fault (Settle, matched on the copy's
// target) leaves it so.
//
// Temporary files are named as the real ones are, with the pid OwnPid. The processes that the
// sweep of leftover temporaries asks about are modelled: this one, started at time 0 unless
// SetProcess says otherwise, and the others a test declares running; any other pid has ended.
// The fake takes a file's last-write time for the time it was made. A sweep's removals are
// logged as Remove calls.
//
// Every call is logged (operation, path, result) so tests can see that a call happened.
// All members lock one mutex, so a monitor thread may share the object with the test.
#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/memory/FaultList.h"

namespace tw {

enum class FsOp {
  Any,
  ReadAll,
  WriteAtomic,  // the whole call, before anything is written
  Write,        // the data transfer into WriteAtomic's temporary file
  Replace,      // WriteAtomic's final move over the target (5 or 32: another process holds it)
  Stat,
  SetAttrs,
  Move,
  Remove,
  MakeDir,
  RemoveDir,
  List,
  DriveKind,
  Copy,       // CopyFileAtomic as a whole (from, to)
  SetTime,    // SetLastWriteTime
  OpenWrite,  // OpenForWriting
  Append,     // a Write through a writer from OpenForWriting
  Settle,     // SettleCopies, for one unsettled copy (its target)
};
const char* FsOpName(FsOp op);

enum class PathMatch {
  Any,       // every path
  Exact,     // the same path, case-insensitively
  Prefix,    // the path begins with FsFault::path
  Contains,  // FsFault::path occurs anywhere in the path
};

struct FsFault {
  static constexpr int kAlways = -1;
  FsOp op = FsOp::Any;
  std::string path;
  PathMatch match = PathMatch::Exact;
  WinError error = winerr::AccessDenied;
  int skip = 0;
  int times = 1;
  uint64_t partialBytes = 0;  // Write only
};

struct FsCall {
  FsOp op;
  std::string path;
  std::string path2;  // Move's target
  WinError result;
};

class MemoryFileSystem : public IFileSystem {
 public:
  // Time stamp of files the program writes until SetCurrentTime: 1 January 2024 00:00 UTC.
  static constexpr FileTime kDefaultTime = 133485408000000000ULL;
  // WriteAtomic retries a held target this often before failing, as the real one does.
  static constexpr int kReplaceTries = 5;

  MemoryFileSystem();
  ~MemoryFileSystem() override;

  // IFileSystem
  WinError ReadAll(const std::string& path, std::string& data) override;
  WinError WriteAtomic(const std::string& path, const std::string& data) override;
  WinError Stat(const std::string& path, FindData& info) override;
  WinError SetAttrs(const std::string& path, uint32_t attributes) override;
  WinError Move(const std::string& from, const std::string& to, bool replace) override;
  WinError Remove(const std::string& path) override;
  WinError MakeDir(const std::string& path) override;
  WinError RemoveDir(const std::string& path) override;
  WinError List(const std::string& folder, std::vector<FindData>& entries) override;
  WinError ListEach(const std::string& folder, const ListCallback& each) override;
  DriveType DriveKind(const std::string& root) override;
  std::string TempFolder() override;
  std::vector<std::string> DriveRoots() override;
  WinError CopyFileAtomic(const std::string& from, const std::string& to,
                          uint32_t* copyAttributes = nullptr,
                          uint64_t* bytesCopied = nullptr) override;
  WinError SettleCopies(std::string* failedCopy = nullptr) override;
  void SweepTemporaries(const std::string& folder) override;
  WinError SetLastWriteTime(const std::string& path, FileTime time) override;
  WinError DiskFree(const std::string& root, uint64_t& freeBytes) override;
  // The writer must not outlive this object.
  WinError OpenForWriting(const std::string& path, std::unique_ptr<IFileWriter>& file) override;
  // Local time is UTC plus the bias set by SetLocalBiasMinutes (0 at first), whatever the date.
  std::optional<uint32_t> LocalDosDateTime(FileTime utc) override;

  // ---- set-up and inspection for tests; these bypass faults, space limits and the log.
  // Throw std::invalid_argument on a bad path, since that is a mistake in the test.
  // root is "C:" or "\\server\share" (a trailing backslash is fine). capacity in bytes.
  void AddDrive(const std::string& root, DriveType type,
                std::optional<uint64_t> capacity = std::nullopt);
  void RemoveDrive(const std::string& root);  // as if a disk was taken out
  // Creates or overwrites a file, creating missing parent folders.
  void WriteFile(const std::string& path, const std::string& data,
                 uint32_t attributes = fileattr::Archive, FileTime time = kDefaultTime);
  void MakeDirs(const std::string& path);
  bool Exists(const std::string& path);
  bool IsDir(const std::string& path);
  std::optional<std::string> Contents(const std::string& path);
  std::optional<uint32_t> Attributes(const std::string& path);
  std::optional<FileTime> TimeOf(const std::string& path);
  void SetTime(const std::string& path, FileTime time);
  // Every file and folder below the roots, spelled as stored, in listing order.
  std::vector<std::string> ListAll();
  // Free bytes of a drive with a capacity; UINT64_MAX without one.
  uint64_t FreeSpace(const std::string& root);
  void SetCurrentTime(FileTime time);
  // Minutes added to UTC for local time (60 for Central European winter time).
  void SetLocalBiasMinutes(int minutes) { biasMinutes_.store(minutes); }
  void SetTempFolder(const std::string& folder);
  // Writers from OpenForWriting not yet destroyed.
  int OpenWriters();
  // Copies made since the last SettleCopies.
  size_t UnsettledCopies();
  // Temporary files of WriteAtomic and CopyFileAtomic still present anywhere.
  std::vector<std::string> TemporaryFiles();
  static constexpr uint32_t kOwnPid = 0x1d0c;
  // Declares the process pid running since start, or ended (nullopt).
  void SetProcess(uint32_t pid, std::optional<FileTime> start);

  // Returns an id for FaultHits.
  int AddFault(const FsFault& fault);
  void ClearFaults();
  // How often a fault has made a call fail.
  int FaultHits(int id);

  std::vector<FsCall> Calls();
  void ClearCalls();
  // Number of logged calls of op (Any: all) whose path or target equals path (empty: any).
  int CallCount(FsOp op, const std::string& path = {});

 private:
  struct Node;
  struct Drive;
  struct Parsed;
  using FaultState = TFaultList<FsFault>::State;

  static Parsed Parse(const std::string& path);
  Drive* FindDrive(const Parsed& p);
  // Resolves a path to its node, or to its parent when the last component is missing.
  WinError Locate(const Parsed& p, Node*& parent, Node*& node, Drive** drive = nullptr);
  const FaultState* CheckFault(FsOp op, const std::string& path, const std::string& path2);
  WinError Log(FsOp op, const std::string& path, WinError result, const std::string& path2 = {});
  WinError DoWriteAtomic(const std::string& path, const std::string& data);
  WinError DoMove(const std::string& from, const std::string& to, bool replace);
  WinError DoCopy(const std::string& from, const std::string& to, uint32_t* copyAttributes,
                  uint64_t* bytesCopied);
  // Puts data into a new temporary file next to the target and moves it over the target,
  // applying the Write and Replace faults and the space limit.
  WinError ReplaceViaTemp(const std::string& target, Node* parent, Node* node, Drive* drive,
                          const std::string& targetName, const std::string& data,
                          uint32_t attrs, FileTime time);
  WinError Append(const std::string& path, std::string_view data);
  // Sweeps the folder (canonical) of leftover temporaries the first time in this object's life.
  void SweepOnce(const Parsed& folder);
  class Writer;
  Node* MustFind(const std::string& path);
  static bool Matches(const FsFault& f, const std::string& path);

  std::mutex mutex_;
  std::map<std::string, std::unique_ptr<Drive>> drives_;  // by folded root
  TFaultList<FsFault> faults_;
  std::vector<FsCall> calls_;
  struct Unsettled {
    std::string target;
    FileTime time;
  };
  std::vector<Unsettled> unsettled_;
  FileTime now_ = kDefaultTime;
  std::string temp_ = "C:\\Temp\\";
  uint64_t tempCounter_ = 0;
  std::map<uint32_t, FileTime> processes_{{kOwnPid, 0}};  // running ones, by pid
  std::set<std::string> swept_;  // folded canonical folders swept or created
  std::atomic<int> biasMinutes_{0};
  int openWriters_ = 0;
};

}  // namespace tw
