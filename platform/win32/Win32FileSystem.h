// The real file system. Every path goes to the W functions in its "\\?\" form, so long paths
// work and names are taken literally. Read-only targets are refused with AccessDenied here
// rather than left to the platform, because Wine running as root would overwrite them.
#pragma once
#include <memory>

#include "platform/FileSystem.h"

namespace tw {

class Win32FileSystem : public IFileSystem {
 public:
  // Replacing a file another process holds briefly is retried this often before failing.
  static constexpr int kReplaceTries = 6;

  Win32FileSystem();
  ~Win32FileSystem() override;  // settles the copies still pending
  Win32FileSystem(const Win32FileSystem&) = delete;
  Win32FileSystem& operator=(const Win32FileSystem&) = delete;

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
  WinError SetLastWriteTime(const std::string& path, FileTime time) override;
  WinError DiskFree(const std::string& root, uint64_t& freeBytes) override;
  WinError OpenForWriting(const std::string& path, std::unique_ptr<IFileWriter>& file) override;
  std::optional<uint32_t> LocalDosDateTime(FileTime utc) override;
  WinError SettleCopies(std::string* failedCopy = nullptr) override;
  void SweepTemporaries(const std::string& folder) override;

  // Bytes per read and write of CopyFileAtomic.
  static constexpr unsigned kCopyBuffer = 1u << 20;

 private:
  class TPendingCopies;
  class TSweptFolders;
  // Before the first write of this process into a folder (an extended path).
  void SweepOnce(const std::wstring& folder);
  std::unique_ptr<TPendingCopies> pending_;
  std::unique_ptr<TSweptFolders> swept_;
};

}  // namespace tw
