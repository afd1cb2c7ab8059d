// A real start of Tidewell.exe: a program folder with a volume list, the product key in the
// test prefix's registry, then a close, after which the program has written everything back.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "app/forms/Forms.h"
#include "engine/volumes.h"
#include "tests/win/ProgramCopy.h"

namespace {

std::string ReadBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ProgramStartTest : public tw::test::TProgramCopyTest {
 protected:
  void SetUp() override { MakeCopy(L"TidewellStart"); }
};

TEST_F(ProgramStartTest, ShowsTheVolumesAndWritesEverythingBackAtClose) {
  tw::TValueWriter writer;
  tw::TVolumeRec docs, mail;
  docs.Name = "Docs";
  docs.BackupPath = "C:\\Backup\\Docs\\";
  docs.SeparateFolders = true;
  mail.Name = "Mail";
  mail.BackupPath = "D:\\Mail\\";
  mail.IsDefault = true;
  mail.RefreshTime = 0.75;
  tw::WriteVolumeRec(writer, docs);
  tw::WriteVolumeRec(writer, mail);
  {
    std::ofstream out((folder_ + L"VOLUMES.TWB").c_str(), std::ios::binary);
    out << writer.Data();
  }
  HKEY options;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Corvane\\Tidewell\\Options", 0, nullptr,
                            0, KEY_ALL_ACCESS, nullptr, &options, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(options, L"LastVolumeOpened", 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(L"docs"), 5 * sizeof(wchar_t));
  RegCloseKey(options);

  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(Launch(L"", pi));
  HWND main = tw::test::WaitForMainWindow(pi.dwProcessId);
  ASSERT_NE(main, nullptr) << "the main window did not appear";

  HWND list = tw::forms::FindControl(main, "VolumeListLV");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
  // Mail is the default, Docs the last opened volume: Mail is the later row.
  EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 1);
  EXPECT_TRUE(IsWindowEnabled(tw::forms::FindControl(main, "RestoreBTN")));

  PostMessageW(main, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);

  EXPECT_EQ(ReadBytes(folder_ + L"VOLUMES.TWB"), writer.Data());

  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Corvane\\Tidewell\\Options", 0,
                          KEY_READ, &key),
            ERROR_SUCCESS);
  for (const wchar_t* name : {L"LaunchOnStartup", L"RunAsTrayIcon", L"DisableAutoRefresh"}) {
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExW(key, name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  }
  wchar_t last[64] = {};
  DWORD size = sizeof(last), type = 0;
  EXPECT_EQ(RegQueryValueExW(key, L"LastVolumeOpened", nullptr, &type,
                             reinterpret_cast<BYTE*>(last), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(last, L"DOCS");
  RegCloseKey(key);

  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Corvane\\Tidewell\\Window", 0, KEY_READ,
                          &key),
            ERROR_SUCCESS);
  BYTE state[64];
  size = sizeof(state);
  EXPECT_EQ(RegQueryValueExW(key, L"State", nullptr, &type, state, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(size, 44u);
  RegCloseKey(key);

  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Corvane\\Tidewell\\AppPath", 0,
                          KEY_READ, &key),
            ERROR_SUCCESS);
  wchar_t path[MAX_PATH] = {};
  size = sizeof(path);
  EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(lstrcmpiW(path, exe_.c_str()), 0) << "AppPath names the running program";
  RegCloseKey(key);
}

}  // namespace
