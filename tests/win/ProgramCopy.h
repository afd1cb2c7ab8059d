// Tests that start the real program: a copy of Tidewell.exe in a folder of its own under the
// temporary folder, the product key of the test prefix's registry cleared before and after.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/forms/Forms.h"

namespace tw::test {

inline std::wstring ModuleFolder() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring s(path, n);
  return s.substr(0, s.find_last_of(L'\\') + 1);
}

// The visible main window of a process, waiting up to 20 s for it; null when none showed.
inline HWND WaitForMainWindow(DWORD pid) {
  struct Find {
    DWORD pid;
    HWND found = nullptr;
  } find{pid};
  auto match = [](HWND hwnd, LPARAM lp) -> BOOL {
    auto* f = reinterpret_cast<Find*>(lp);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner != f->pid || !IsWindowVisible(hwnd) || forms::ControlName(hwnd) != "fWLMain")
      return TRUE;
    f->found = hwnd;
    return FALSE;
  };
  for (int i = 0; i < 200 && !find.found; ++i) {
    Sleep(100);
    EnumWindows(match, reinterpret_cast<LPARAM>(&find));
  }
  return find.found;
}

// Waits for a started program, bounded; its exit code, or -1 when it did not end in time (it is
// ended then). The handles are closed either way.
inline long WaitForExit(PROCESS_INFORMATION& pi, DWORD waitMs) {
  long code = -1;
  if (WaitForSingleObject(pi.hProcess, waitMs) == WAIT_OBJECT_0) {
    DWORD c = 0;
    GetExitCodeProcess(pi.hProcess, &c);
    code = static_cast<long>(c);
  } else {
    TerminateProcess(pi.hProcess, 1);
  }
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  pi = {};
  return code;
}

inline constexpr wchar_t kProductKey[] = L"Software\\Corvane\\Tidewell";

class TProgramCopyTest : public ::testing::Test {
 protected:
  // name: the folder's name, made unique per test process.
  void MakeCopy(const std::wstring& name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + name + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(folder_.c_str(), nullptr);
    exe_ = folder_ + L"Tidewell.exe";
    ASSERT_TRUE(CopyFileW((ModuleFolder() + L"Tidewell.exe").c_str(), exe_.c_str(), FALSE));
    // This prefix belongs to the build tree: the product key here is ours to set.
    ClearKeys();
  }
  void TearDown() override {
    DeleteFileW(exe_.c_str());
    DeleteFileW((folder_ + L"VOLUMES.TWB").c_str());
    RemoveDirectoryW(folder_.c_str());
    ClearKeys();
  }
  // Starts the copy with arguments, in its own folder.
  bool Launch(const std::wstring& args, PROCESS_INFORMATION& pi) {
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    std::wstring cmd = L"\"" + exe_ + L"\"" + (args.empty() ? L"" : L" " + args);
    return CreateProcessW(exe_.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder_.c_str(), &si, &pi) != 0;
  }

  std::wstring folder_, exe_;

 private:
  static void ClearKeys() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kProductKey);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductKey);
  }
};

}  // namespace tw::test
