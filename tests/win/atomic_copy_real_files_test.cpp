// The atomic copy and the log file on real files under Wine: what the add operation relies on
// from the platform (data, attributes and time carried, no temporary file left, the previous
// copy intact after any failure, the platform's error codes unchanged).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/oplog.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32FileSystem.h"
#include "tests/win/RealFiles.h"

namespace tw {
namespace {

class AtomicCopyRealFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs.TempFolder() + "tw-copy-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount64());
    ASSERT_EQ(fs.MakeDirPath(root + "\\dst\\deep"), winerr::Success) << root;
    src = root + "\\source.bin";
    dst = root + "\\dst\\copy.bin";
  }
  void TearDown() override { Clean(root); }

  void Clean(const std::string& folder) { test::RemoveTree(fs, folder); }

  std::vector<std::string> Entries(const std::string& folder) {
    std::vector<FindData> entries;
    fs.List(folder, entries);
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name);
    return names;
  }

  std::string Read(const std::string& path) {
    std::string data;
    EXPECT_EQ(fs.ReadAll(path, data), winerr::Success) << path;
    return data;
  }

  Win32FileSystem fs;
  std::string root, src, dst;
};

// What a process killed midway left is swept from a folder before another process first writes
// there; what a running process writes, and names not of ours, stay.
TEST_F(AtomicCopyRealFiles, FirstWriteIntoAFolderSweepsTemporariesOfEndedProcessesOnly) {
  const std::string folder = root + "\\dst";
  const std::string ended = folder + "\\" + TemporaryName(0xfffffff0u, 7);  // no such process
  const std::string running = folder + "\\" + TemporaryName(GetCurrentProcessId(), 0xabc);
  const std::string reused = folder + "\\" + TemporaryName(GetCurrentProcessId(), 0xabd);
  const std::string other = folder + "\\~tw1-1.tmp.txt";
  for (const std::string& path : {ended, running, reused, other})
    ASSERT_EQ(fs.WriteAtomic(path, "left"), winerr::Success) << path;
  ASSERT_EQ(fs.SetAttrs(ended, fileattr::ReadOnly), winerr::Success);
  // Made before this process started: its pid was another process's then.
  bool madeBefore = false;
  {
    HANDLE h = CreateFileW(Widen(reused).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME old{0, 0x01c00000};  // 1995
    madeBefore = SetFileTime(h, &old, nullptr, nullptr);
    CloseHandle(h);
    WIN32_FILE_ATTRIBUTE_DATA d;
    madeBefore = madeBefore &&
                 GetFileAttributesExW(Widen(reused).c_str(), GetFileExInfoStandard, &d) &&
                 d.ftCreationTime.dwHighDateTime == old.dwHighDateTime;
  }
  ASSERT_EQ(fs.WriteAtomic(src, "source"), winerr::Success);

  // This object made the folder, so it knows there is nothing to sweep; another one does not.
  ASSERT_EQ(fs.CopyFileAtomic(src, dst), winerr::Success);
  EXPECT_EQ(fs.SettleCopies(), winerr::Success);
  EXPECT_EQ(Entries(folder).size(), 6u);
  Win32FileSystem next;
  ASSERT_EQ(next.CopyFileAtomic(src, dst), winerr::Success);
  EXPECT_EQ(next.SettleCopies(), winerr::Success);
  std::vector<std::string> left = {"copy.bin", "deep", "~tw1-1.tmp.txt",
                                   running.substr(folder.size() + 1)};
  if (!madeBefore) left.push_back(reused.substr(folder.size() + 1));
  std::vector<std::string> found = Entries(folder);
  std::sort(found.begin(), found.end());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(found, left) << (madeBefore ? "" : "(the platform keeps no creation time)");
}

TEST_F(AtomicCopyRealFiles, CarriesDataAttributesAndTimeAndLeavesNoTemporaryFile) {
  std::string big(5 * 1024 * 1024 + 17, '\0');  // more than one buffer, odd length
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31 + (i >> 12));
  ASSERT_EQ(fs.WriteAtomic(src, big), winerr::Success);
  const FileTime old = 130000000000000000ULL;  // 2012, whole seconds
  ASSERT_EQ(fs.SetLastWriteTime(src, old), winerr::Success);
  ASSERT_EQ(fs.SetAttrs(src, fileattr::Hidden | fileattr::ReadOnly | fileattr::Archive),
            winerr::Success);
  ASSERT_EQ(fs.WriteAtomic(dst, "previous copy"), winerr::Success);

  uint32_t copied = 0;
  uint64_t bytes = 0;
  ASSERT_EQ(fs.CopyFileAtomic(src, dst, &copied, &bytes), winerr::Success);
  EXPECT_EQ(copied, fileattr::Hidden | fileattr::ReadOnly | fileattr::Archive);
  EXPECT_EQ(bytes, big.size()) << "every buffer counts";

  // Readable at once, while its data may still be on the way to the disk.
  EXPECT_EQ(Read(dst), big);
  ASSERT_EQ(fs.SettleCopies(), winerr::Success);
  FindData info;
  ASSERT_EQ(fs.Stat(dst, info), winerr::Success);
  EXPECT_EQ(info.lastWrite, old);
  EXPECT_TRUE(info.attributes & fileattr::Hidden);
  EXPECT_TRUE(info.attributes & fileattr::ReadOnly);
  EXPECT_EQ(Entries(root + "\\dst"), (std::vector<std::string>{"copy.bin", "deep"}));

  // The read-only copy is refused as Windows refuses it (Wine as root would not), intact.
  EXPECT_EQ(fs.CopyFileAtomic(src, dst), winerr::AccessDenied);
  ASSERT_EQ(fs.SetAttrs(dst, fileattr::Archive), winerr::Success);

  // An empty source and a small one replace it as well.
  fs.SetAttrs(src, fileattr::Normal);
  ASSERT_EQ(fs.WriteAtomic(src, ""), winerr::Success);
  ASSERT_EQ(fs.CopyFileAtomic(src, dst), winerr::Success);
  EXPECT_EQ(Read(dst), "");
  EXPECT_EQ(Entries(root + "\\dst"), (std::vector<std::string>{"copy.bin", "deep"}));
}

TEST_F(AtomicCopyRealFiles, CopiesOnTheirWayToTheDiskCanBeChangedAndNeverPassForCurrent) {
  // A source written just now: the copy's own writing time could pass for the original's.
  ASSERT_EQ(fs.WriteAtomic(src, "fresh"), winerr::Success);
  FindData original;
  ASSERT_EQ(fs.Stat(src, original), winerr::Success);
  fs.SetAttrs(src, fileattr::ReadOnly | fileattr::Archive);
  std::vector<std::string> targets;
  for (int i = 0; i < 300; ++i) {
    targets.push_back(root + "\\dst\\many" + std::to_string(i) + ".txt");
    uint32_t copied = 0;
    ASSERT_EQ(fs.CopyFileAtomic(src, targets.back(), &copied), winerr::Success);
    // What the operations do next, while the copy may still be open for flushing.
    ASSERT_EQ(fs.SetAttrs(targets.back(), copied & ~static_cast<uint32_t>(fileattr::ReadOnly)),
              winerr::Success) << i;
  }
  FindData first;
  ASSERT_EQ(fs.Stat(targets.front(), first), winerr::Success);
  const FileTime kTenSeconds = 100000000;
  EXPECT_TRUE(first.lastWrite == original.lastWrite ||
              first.lastWrite + kTenSeconds == original.lastWrite)
      << "neither the original's time nor one that the change test tells apart";
  ASSERT_EQ(fs.SettleCopies(), winerr::Success);
  for (const auto& t : targets) {
    FindData info;
    ASSERT_EQ(fs.Stat(t, info), winerr::Success);
    EXPECT_EQ(info.lastWrite, original.lastWrite) << t;
    EXPECT_FALSE(info.attributes & fileattr::ReadOnly) << t;
    EXPECT_EQ(Read(t), "fresh");
  }
  // Replacing copies that are still pending works too.
  fs.SetAttrs(src, fileattr::Archive);
  ASSERT_EQ(fs.WriteAtomic(src, "fresher"), winerr::Success);
  for (const auto& t : targets) ASSERT_EQ(fs.CopyFileAtomic(src, t), winerr::Success) << t;
  for (const auto& t : targets) ASSERT_EQ(fs.CopyFileAtomic(src, t), winerr::Success) << t;
  ASSERT_EQ(fs.SettleCopies(), winerr::Success);
  EXPECT_EQ(Read(targets.back()), "fresher");
  EXPECT_EQ(Entries(root + "\\dst").size(), targets.size() + 1);  // "deep", no temporary file
}

TEST_F(AtomicCopyRealFiles, NewCopiesNeverPassForCurrentBeforeTheyAreOnTheDisk) {
  const FileTime old = 130000000000000000ULL;
  ASSERT_EQ(fs.WriteAtomic(src, "small original"), winerr::Success);
  ASSERT_EQ(fs.SetLastWriteTime(src, old), winerr::Success);
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const FileTime nowTicks = (static_cast<FileTime>(now.dwHighDateTime) << 32) | now.dwLowDateTime;

  std::vector<std::string> targets;
  for (int i = 0; i < 200; ++i) {
    targets.push_back(root + "\\dst\\new" + std::to_string(i) + ".txt");
    ASSERT_EQ(fs.CopyFileAtomic(src, targets.back()), winerr::Success);
  }
  FindData first;
  ASSERT_EQ(fs.Stat(targets.front(), first), winerr::Success);
  EXPECT_TRUE(first.lastWrite == old || first.lastWrite + 600000000 > nowTicks)
      << "a pending copy carries neither the original's time nor its own writing time";
  ASSERT_EQ(fs.SettleCopies(), winerr::Success);
  for (const auto& t : targets) {
    FindData info;
    ASSERT_EQ(fs.Stat(t, info), winerr::Success);
    EXPECT_EQ(info.lastWrite, old) << t;
    EXPECT_EQ(Read(t), "small original") << t;
  }

  // A copy whose name is taken, in another case or by a folder, is not a new one.
  ASSERT_EQ(fs.WriteAtomic(root + "\\dst\\UPPER.TXT", "previous copy"), winerr::Success);
  ASSERT_EQ(fs.CopyFileAtomic(src, root + "\\dst\\upper.txt"), winerr::Success);
  ASSERT_EQ(fs.SettleCopies(), winerr::Success);
  EXPECT_EQ(Read(root + "\\dst\\UPPER.TXT"), "small original");
  EXPECT_EQ(fs.CopyFileAtomic(src, root + "\\dst\\deep"), winerr::AccessDenied);
  EXPECT_EQ(Entries(root + "\\dst").size(), targets.size() + 2);  // no temporary file
}

TEST_F(AtomicCopyRealFiles, FailuresKeepThePreviousCopyAndReportThePlatformsCode) {
  ASSERT_EQ(fs.WriteAtomic(src, std::string(100000, 'n')), winerr::Success);
  ASSERT_EQ(fs.WriteAtomic(dst, "previous copy"), winerr::Success);

  // The source open in another program without sharing: "in use".
  std::wstring wsrc;
  ASSERT_EQ(ExtendedPath(src, wsrc), winerr::Success);
  HANDLE held = CreateFileW(wsrc.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(fs.CopyFileAtomic(src, dst), winerr::SharingViolation);
  CloseHandle(held);
  EXPECT_EQ(Read(dst), "previous copy");
  EXPECT_EQ(Entries(root + "\\dst"), (std::vector<std::string>{"copy.bin", "deep"}));

  EXPECT_EQ(fs.CopyFileAtomic(root + "\\missing.bin", dst), winerr::FileNotFound);
  EXPECT_EQ(fs.CopyFileAtomic(src, root + "\\gone\\copy.bin"), winerr::PathNotFound);
  EXPECT_EQ(fs.CopyFileAtomic(src, root + "\\dst\\deep"), winerr::AccessDenied);
  EXPECT_EQ(Read(dst), "previous copy");
  EXPECT_EQ(Entries(root + "\\dst"), (std::vector<std::string>{"copy.bin", "deep"}));
}

TEST_F(AtomicCopyRealFiles, LogFileIsEmptiedWrittenWithCrLfAndReadableWhileOpen) {
  const std::string path = root + "\\TW-LOG.TMP";
  ASSERT_EQ(fs.WriteAtomic(path, "an earlier operation\r\n"), winerr::Success);
  TOperationLog log(fs);
  ASSERT_EQ(log.Create(path), winerr::Success);
  log.Line("Error 23 on File C:\\x");
  EXPECT_EQ(Read(path), "Error 23 on File C:\\x\r\n");  // Notepad may look while it runs
  log.Close();
  EXPECT_EQ(Read(path), "Error 23 on File C:\\x\r\n");
  EXPECT_EQ(fs.Remove(path), winerr::Success);

  TOperationLog none(fs);
  EXPECT_EQ(none.Create(root + "\\no\\TW-LOG.TMP"), winerr::PathNotFound);

  uint64_t free = 0;
  EXPECT_EQ(fs.DiskFree(root.substr(0, 3), free), winerr::Success);
  EXPECT_GT(free, 0u);
}

}  // namespace
}  // namespace tw
