// The Win32 implementations on real files and a real registry key (under Wine in CI). The
// in-memory fakes are held to the same results here, so engine tests that use them mean
// something for the real program.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <set>
#include <thread>

#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Registry.h"
#include "tests/win/RealFiles.h"

namespace tw {
namespace {

using test::RemoveTree;

std::set<std::string> Names(IFileSystem& fs, const std::string& folder) {
  std::vector<FindData> entries;
  EXPECT_EQ(fs.List(folder, entries), winerr::Success) << folder;
  std::set<std::string> names;
  for (const auto& e : entries) names.insert(e.name);
  return names;
}

class Win32FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs.TempFolder() + "tw-test-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount64());
    ASSERT_EQ(fs.MakeDir(root), winerr::Success) << root;
  }
  void TearDown() override {
    RemoveTree(fs, root);
    EXPECT_EQ(fs.DriveKind(root.substr(0, 3)), DriveType::Fixed);
    FindData d;
    EXPECT_EQ(fs.Stat(root, d), winerr::FileNotFound) << "test folder left behind";
  }

  Win32FileSystem fs;
  std::string root;
};

TEST_F(Win32FileSystemTest, DriveRootsListTheLettersInUse) {
  const std::vector<std::string> roots = fs.DriveRoots();
  EXPECT_NE(std::find(roots.begin(), roots.end(), "C:\\"), roots.end());
  EXPECT_TRUE(std::is_sorted(roots.begin(), roots.end()));
  for (const auto& r : roots) EXPECT_NE(fs.DriveKind(r), DriveType::NoRootDir) << r;
}

TEST_F(Win32FileSystemTest, NonAsciiAndUnusualNamesRoundTrip) {
  const std::vector<std::string> names = {
      "Työ Ärger.txt", "日本語のファイル", "Привет", "emoji 😀.dat", "trailing blank ",
      " leading blank", "a=b;c[d]e", "trailing dot."};
  for (const auto& n : names) {
    ASSERT_EQ(fs.WriteAtomic(root + "\\" + n, "data of " + n), winerr::Success) << n;
  }
  EXPECT_EQ(Names(fs, root), std::set<std::string>(names.begin(), names.end()));
  for (const auto& n : names) {
    std::string data;
    EXPECT_EQ(fs.ReadAll(root + "\\" + n, data), winerr::Success) << n;
    EXPECT_EQ(data, "data of " + n);
    FindData d;
    EXPECT_EQ(fs.Stat(root + "\\" + n, d), winerr::Success) << n;
    EXPECT_EQ(d.name, n);
    EXPECT_EQ(d.size, data.size());
  }
  // Names that plain Win32 paths would trim are distinct files.
  FindData d;
  EXPECT_EQ(fs.Stat(root + "\\trailing blank", d), winerr::FileNotFound);
  // Text that is not UTF-8 is refused rather than mapped onto some other name.
  EXPECT_EQ(fs.WriteAtomic(root + "\\bad\xff", "x"), winerr::InvalidName);
  EXPECT_EQ(Names(fs, root).size(), names.size());
}

TEST_F(Win32FileSystemTest, PathsLongerThanMaxPathWorkEndToEnd) {
  std::string folder = root;
  std::vector<std::string> folders;
  while (folder.size() < 320) {
    folder += "\\" + std::string(50, 'd') + std::to_string(folders.size());
    ASSERT_EQ(fs.MakeDir(folder), winerr::Success) << folder.size();
    folders.push_back(folder);
  }
  const std::string file = folder + "\\" + std::string(40, 'f') + ".txt";
  ASSERT_GT(file.size(), 300u);
  ASSERT_EQ(fs.WriteAtomic(file, "deep"), winerr::Success);
  ASSERT_EQ(fs.WriteAtomic(file, "deeper"), winerr::Success);
  EXPECT_EQ(Names(fs, folder), std::set<std::string>{std::string(40, 'f') + ".txt"});
  std::string data;
  EXPECT_EQ(fs.ReadAll(file, data), winerr::Success);
  EXPECT_EQ(data, "deeper");
  FindData d;
  EXPECT_EQ(fs.Stat(file, d), winerr::Success);
  EXPECT_EQ(d.size, 6u);
  EXPECT_EQ(fs.SetAttrs(file, fileattr::Hidden), winerr::Success);
  EXPECT_EQ(fs.Move(file, folder + "\\renamed.txt", false), winerr::Success);
  EXPECT_EQ(fs.Remove(folder + "\\renamed.txt"), winerr::Success);
  // Forward slashes and "." / ".." reach the same long folder.
  std::string odd = folder + "\\.\\x\\..";
  std::replace(odd.begin(), odd.end(), '\\', '/');
  EXPECT_EQ(Names(fs, odd), std::set<std::string>{});
  for (auto it = folders.rbegin(); it != folders.rend(); ++it)
    EXPECT_EQ(fs.RemoveDir(*it), winerr::Success) << it->size();
  EXPECT_EQ(Names(fs, root), std::set<std::string>{});
}

TEST_F(Win32FileSystemTest, ListEachStopsWhenAskedAndFailsForAMissingFolder) {
  for (const char* n : {"a", "b", "c", "d"}) ASSERT_EQ(fs.WriteAtomic(root + "\\" + n, ""), winerr::Success);
  std::set<std::string> seen;
  EXPECT_EQ(fs.ListEach(root, [&](const FindData& d) {
    seen.insert(d.name);
    return seen.size() < 2;
  }), winerr::Success);
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_EQ(Names(fs, root), (std::set<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(fs.ListEach(root + "\\none", [](const FindData&) { return true; }),
            winerr::PathNotFound);
  std::vector<FindData> entries{FindData{}};
  EXPECT_EQ(fs.List(root + "\\none", entries), winerr::PathNotFound);
  EXPECT_TRUE(entries.empty());
}

TEST_F(Win32FileSystemTest, WriteAtomicReplacesCleanlyAndRefusesWhatItMustNotReplace) {
  const std::string file = root + "\\VOLUMES.TWB";
  ASSERT_EQ(fs.WriteAtomic(file, std::string(100000, 'a')), winerr::Success);
  ASSERT_EQ(fs.SetAttrs(file, fileattr::Hidden), winerr::Success);
  ASSERT_EQ(fs.WriteAtomic(file, "short"), winerr::Success);
  std::string data;
  EXPECT_EQ(fs.ReadAll(file, data), winerr::Success);
  EXPECT_EQ(data, "short");
  EXPECT_EQ(Names(fs, root), std::set<std::string>{"VOLUMES.TWB"});  // no temporary left
  FindData d;
  ASSERT_EQ(fs.Stat(file, d), winerr::Success);
  EXPECT_TRUE(d.attributes & fileattr::Hidden) << d.attributes;

  EXPECT_EQ(fs.WriteAtomic(root + "\\missing\\f", "x"), winerr::PathNotFound);
  EXPECT_EQ(fs.MakeDir(root + "\\dir"), winerr::Success);
  EXPECT_EQ(fs.WriteAtomic(root + "\\dir", "x"), winerr::AccessDenied);
  // Refused by our own check, so also under Wine running as root.
  ASSERT_EQ(fs.SetAttrs(file, fileattr::ReadOnly), winerr::Success);
  EXPECT_EQ(fs.WriteAtomic(file, "lost"), winerr::AccessDenied);
  EXPECT_EQ(fs.Remove(file), winerr::AccessDenied);
  EXPECT_EQ(fs.ReadAll(file, data), winerr::Success);
  EXPECT_EQ(data, "short");
  EXPECT_EQ(Names(fs, root), (std::set<std::string>{"VOLUMES.TWB", "dir"}));
}

TEST_F(Win32FileSystemTest, WriteAtomicWaitsOutABriefHoldButGivesUpOnALongOne) {
  const std::string file = root + "\\mark";
  ASSERT_EQ(fs.WriteAtomic(file, "old"), winerr::Success);
  std::wstring w;
  ASSERT_EQ(ExtendedPath(file, w), winerr::Success);
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

  HANDLE h = CreateFileW(w.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::thread release([h] {
    Sleep(120);
    CloseHandle(h);
  });
  EXPECT_EQ(fs.WriteAtomic(file, "new"), winerr::Success);
  release.join();
  std::string data;
  EXPECT_EQ(fs.ReadAll(file, data), winerr::Success);
  EXPECT_EQ(data, "new");

  h = CreateFileW(w.c_str(), GENERIC_READ, share & ~FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  WinError e = fs.WriteAtomic(file, "newer");
  CloseHandle(h);
  EXPECT_TRUE(e == winerr::AccessDenied || e == winerr::SharingViolation) << e;
  EXPECT_EQ(fs.ReadAll(file, data), winerr::Success);
  EXPECT_EQ(data, "new");
  EXPECT_EQ(Names(fs, root), std::set<std::string>{"mark"});
}

// One script of calls, run on the real file system and on the fake: both must give the same
// codes, or engine tests against the fake would expect things Windows does not do.
TEST_F(Win32FileSystemTest, MemoryFileSystemGivesTheSameResultsAsTheRealOne) {
  MemoryFileSystem mem;
  mem.AddDrive(root.substr(0, 2), DriveType::Fixed);
  mem.MakeDirs(root);
  using Step = std::function<WinError(IFileSystem&, const std::string&)>;
  const std::vector<std::pair<const char*, Step>> steps = {
      {"write", [](IFileSystem& f, const std::string& r) { return f.WriteAtomic(r + "\\A.txt", "1"); }},
      {"write other case", [](IFileSystem& f, const std::string& r) { return f.WriteAtomic(r + "\\a.TXT", "2"); }},
      {"read other case", [](IFileSystem& f, const std::string& r) { std::string d; return f.ReadAll(r + "\\a.txt", d); }},
      {"read missing", [](IFileSystem& f, const std::string& r) { std::string d; return f.ReadAll(r + "\\none", d); }},
      {"read missing parent", [](IFileSystem& f, const std::string& r) { std::string d; return f.ReadAll(r + "\\no\\none", d); }},
      {"read folder", [](IFileSystem& f, const std::string& r) { std::string d; return f.ReadAll(r, d); }},
      {"write missing parent", [](IFileSystem& f, const std::string& r) { return f.WriteAtomic(r + "\\no\\x", "x"); }},
      {"mkdir", [](IFileSystem& f, const std::string& r) { return f.MakeDir(r + "\\Sub"); }},
      {"mkdir again", [](IFileSystem& f, const std::string& r) { return f.MakeDir(r + "\\SUB"); }},
      {"mkdir over file", [](IFileSystem& f, const std::string& r) { return f.MakeDir(r + "\\A.txt"); }},
      {"mkdir missing parent", [](IFileSystem& f, const std::string& r) { return f.MakeDir(r + "\\no\\sub"); }},
      {"write in sub", [](IFileSystem& f, const std::string& r) { return f.WriteAtomic(r + "\\Sub\\f", "f"); }},
      {"rmdir not empty", [](IFileSystem& f, const std::string& r) { return f.RemoveDir(r + "\\Sub"); }},
      {"rmdir missing", [](IFileSystem& f, const std::string& r) { return f.RemoveDir(r + "\\none"); }},
      {"remove folder", [](IFileSystem& f, const std::string& r) { return f.Remove(r + "\\Sub"); }},
      {"remove missing", [](IFileSystem& f, const std::string& r) { return f.Remove(r + "\\none"); }},
      {"remove missing parent", [](IFileSystem& f, const std::string& r) { return f.Remove(r + "\\no\\none"); }},
      {"move onto existing", [](IFileSystem& f, const std::string& r) { return f.Move(r + "\\Sub\\f", r + "\\a.txt", false); }},
      {"move replace", [](IFileSystem& f, const std::string& r) { return f.Move(r + "\\Sub\\f", r + "\\a.txt", true); }},
      {"move missing", [](IFileSystem& f, const std::string& r) { return f.Move(r + "\\Sub\\f", r + "\\g", false); }},
      {"move into missing", [](IFileSystem& f, const std::string& r) { return f.Move(r + "\\a.txt", r + "\\no\\g", false); }},
      {"move case only", [](IFileSystem& f, const std::string& r) { return f.Move(r + "\\a.txt", r + "\\A.TXT", false); }},
      {"list missing", [](IFileSystem& f, const std::string& r) { std::vector<FindData> e; return f.List(r + "\\none", e); }},
      {"list empty", [](IFileSystem& f, const std::string& r) { std::vector<FindData> e; return f.List(r + "\\Sub", e); }},
      {"stat missing", [](IFileSystem& f, const std::string& r) { FindData d; return f.Stat(r + "\\none", d); }},
      {"setattrs missing", [](IFileSystem& f, const std::string& r) { return f.SetAttrs(r + "\\none", 0); }},
      {"bad name", [](IFileSystem& f, const std::string& r) { return f.WriteAtomic(r + "\\a|b", "x"); }},
      {"rmdir", [](IFileSystem& f, const std::string& r) { return f.RemoveDir(r + "\\Sub"); }},
      {"remove", [](IFileSystem& f, const std::string& r) { return f.Remove(r + "\\A.TXT"); }},
  };
  for (const auto& [name, step] : steps) {
    WinError real = step(fs, root);
    WinError fake = step(mem, root);
    EXPECT_EQ(fake, real) << name;
  }
  EXPECT_EQ(Names(fs, root), std::set<std::string>{});
}

TEST(Win32UtfTest, ConversionsAreLosslessAndPathsBecomeExtended) {
  const std::wstring samples[] = {L"plain", L"Työ Ärger", L"日本語", L"\U0001F600 x",
                                  std::wstring(L"lone \xD800 high"), std::wstring(L"lone \xDC00"),
                                  std::wstring(L"end \xD83D")};
  for (const auto& w : samples) {
    std::wstring back;
    ASSERT_TRUE(TryWiden(Narrow(w), back));
    EXPECT_TRUE(back == w);
  }
  EXPECT_EQ(Narrow(L"\U0001F600"), "\xF0\x9F\x98\x80");
  std::wstring out;
  EXPECT_FALSE(TryWiden("\xC3", out));      // cut short
  EXPECT_FALSE(TryWiden("\xC0\xAF", out));  // overlong
  EXPECT_FALSE(TryWiden("\xF4\x90\x80\x80", out));  // beyond U+10FFFF
  EXPECT_TRUE(Widen("a\xFF" "b") == L"a\xFFFD" L"b");

  ASSERT_EQ(ExtendedPath("C:/a//b/./c/../d\\", out), winerr::Success);
  EXPECT_TRUE(out == L"\\\\?\\C:\\a\\b\\d") << Narrow(out);
  ASSERT_EQ(ExtendedPath("c:", out), winerr::Success);
  EXPECT_TRUE(out == L"\\\\?\\c:\\") << Narrow(out);
  ASSERT_EQ(ExtendedPath("\\\\srv\\share\\x\\..\\..\\y", out), winerr::Success);
  EXPECT_TRUE(out == L"\\\\?\\UNC\\srv\\share\\y") << Narrow(out);
  ASSERT_EQ(ExtendedPath("\\\\?\\C:\\keep\\.\\as is", out), winerr::Success);
  EXPECT_TRUE(out == L"\\\\?\\C:\\keep\\.\\as is");
  ASSERT_EQ(ExtendedPath("relative\\f", out), winerr::Success);
  EXPECT_EQ(out.rfind(L"\\\\?\\", 0), 0u) << Narrow(out);
  EXPECT_EQ(ExtendedPath(std::string("a\0b", 3), out), winerr::InvalidName);
  EXPECT_EQ(ExtendedPath("\\\\srv", out), winerr::InvalidName);
  EXPECT_EQ(ExtendedPath("", out), winerr::InvalidName);
}

TEST(Win32ClockTest, LocalDateValueMatchesTheSystemClock) {
  Win32Clock clock;
  FILETIME utc, local;
  GetSystemTimeAsFileTime(&utc);
  FileTimeToLocalFileTime(&utc, &local);
  const double expected =
      static_cast<double>((static_cast<uint64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime) /
          864000000000.0 -
      109205.0;
  EXPECT_NEAR(clock.Now(), expected, 2.0 / 86400);
  const uint64_t now = clock.NowUtc();
  EXPECT_NEAR(static_cast<double>(now), static_cast<double>((static_cast<uint64_t>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime), 2e7);
  EXPECT_GT(clock.Now(), 45292.0);  // after 2024-01-01
}

class Win32RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = "\\Software\\Corvane\\TidewellTest-" + std::to_string(GetCurrentProcessId());
  }
  void TearDown() override {
    reg.DeleteTree(RegRoot::CurrentUser, path);
    EXPECT_EQ(reg.Open(RegRoot::CurrentUser, path, false), nullptr) << "test key left behind";
  }
  Win32Registry reg;
  std::string path;
};

TEST_F(Win32RegistryTest, TypedValuesRoundTripAndWrongTypesAreRefused) {
  WinError err = 0;
  EXPECT_EQ(reg.Open(RegRoot::CurrentUser, path, false, &err), nullptr);
  EXPECT_EQ(err, winerr::FileNotFound);
  auto key = reg.Open(RegRoot::CurrentUser, path + "\\Options", true, &err);
  ASSERT_NE(key, nullptr) << err;

  const std::string text = "C:\\Backups\\Työ 日本 \U0001F600";
  EXPECT_EQ(key->WriteString("LastPath", text), winerr::Success);
  EXPECT_EQ(key->WriteString("Empty", ""), winerr::Success);
  EXPECT_EQ(key->WriteDword("Count", 0xFFFFFFFFu), winerr::Success);
  EXPECT_EQ(key->WriteBinary("Place", {0, 1, 2, 255}), winerr::Success);
  EXPECT_EQ(key->WriteBinary("NoBytes", {}), winerr::Success);

  auto again = reg.Open(RegRoot::CurrentUser, path.substr(1) + "\\OPTIONS\\", false, &err);
  ASSERT_NE(again, nullptr) << err;
  std::string s = "stale";
  uint32_t dw = 0;
  std::vector<uint8_t> bin;
  EXPECT_EQ(again->ReadString("lastpath", s), winerr::Success);
  EXPECT_EQ(s, text);
  EXPECT_EQ(again->ReadString("Empty", s), winerr::Success);
  EXPECT_EQ(s, "");
  EXPECT_EQ(again->ReadDword("Count", dw), winerr::Success);
  EXPECT_EQ(dw, 0xFFFFFFFFu);
  EXPECT_EQ(again->ReadBinary("Place", bin), winerr::Success);
  EXPECT_EQ(bin, (std::vector<uint8_t>{0, 1, 2, 255}));
  EXPECT_EQ(again->ReadBinary("NoBytes", bin), winerr::Success);
  EXPECT_TRUE(bin.empty());

  EXPECT_EQ(again->ReadDword("LastPath", dw), winerr::UnsupportedType);
  EXPECT_EQ(again->ReadString("Count", s), winerr::UnsupportedType);
  EXPECT_EQ(again->ReadBinary("Count", bin), winerr::UnsupportedType);
  EXPECT_EQ(again->ReadDword("absent", dw), winerr::FileNotFound);
  EXPECT_EQ(again->TypeOf("LastPath"), RegType::String);
  EXPECT_EQ(again->TypeOf("Count"), RegType::Dword);
  EXPECT_EQ(again->TypeOf("Place"), RegType::Binary);
  EXPECT_EQ(again->TypeOf("absent"), RegType::None);

  auto names = again->ValueNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Count", "Empty", "LastPath", "NoBytes", "Place"}));
  EXPECT_EQ(again->DeleteValue("Place"), winerr::Success);
  EXPECT_EQ(again->DeleteValue("Place"), winerr::FileNotFound);
  EXPECT_EQ(key->WriteString("bad", "\xff"), winerr::InvalidParameter);
  EXPECT_EQ(reg.Open(RegRoot::CurrentUser, path + "\\\\x", true, &err), nullptr);
  EXPECT_EQ(err, winerr::InvalidParameter);
  EXPECT_EQ(reg.DeleteTree(RegRoot::CurrentUser, "\\"), winerr::InvalidParameter);
}

TEST_F(Win32RegistryTest, DeleteTreeRemovesTheKeyAndAgreesWithTheMemoryRegistry) {
  MemoryRegistry mem;
  for (IRegistry* r : {static_cast<IRegistry*>(&reg), static_cast<IRegistry*>(&mem)}) {
    SCOPED_TRACE(r == &reg ? "real" : "memory");
    auto key = r->Open(RegRoot::CurrentUser, path + "\\A\\B", true);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->WriteDword("x", 1), winerr::Success);
    EXPECT_EQ(r->DeleteTree(RegRoot::CurrentUser, path + "\\a"), winerr::Success);
    EXPECT_EQ(r->Open(RegRoot::CurrentUser, path + "\\A", false), nullptr);
    EXPECT_NE(r->Open(RegRoot::CurrentUser, path, false), nullptr);
    EXPECT_EQ(r->DeleteTree(RegRoot::CurrentUser, path + "\\A"), winerr::FileNotFound);
    uint32_t dw;
    EXPECT_EQ(key->ReadDword("x", dw), winerr::KeyDeleted);
  }
}

}  // namespace
}  // namespace tw
