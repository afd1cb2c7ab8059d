// A small form with a checkable namespace tree linked to a checkable folder list, and the
// helpers the shell-view tests share: scratch folders on disk, real clicks, bounded pumping.
#pragma once
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/forms/Forms.h"
#include "platform/win32/Utf.h"
#include "shellviews/FolderEnumerator.h"
#include "shellviews/NameSpaceEnumerator.h"

namespace tw::test {

class TfShellViewsDemo : public forms::TForm {
 public:
  bool Create(bool checks = true) {
    if (!CreateForm(L"TidewellShellViewsDemo", "Tidewell shell views", WS_OVERLAPPEDWINDOW, 20, 20,
                    960, 640, nullptr, nullptr, nullptr))
      return false;
    SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(forms::DefaultFont()), FALSE);
    if (!DemoNSE.Create(Handle(), 8, 8, 320, 580) || !DemoFE.Create(Handle(), 336, 8, 600, 580))
      return false;
    forms::SetControlName(DemoNSE.Handle(), "DemoNSE");
    forms::SetControlName(DemoFE.Handle(), "DemoFE");
    DemoNSE.SetIndent(19);
    DemoNSE.SetShowVirtualFolders(false);
    DemoNSE.SetCheckBoxes(checks);
    DemoNSE.AllowRename = false;
    DemoFE.SetChecks(checks);
    DemoFE.SetMultiSelect(true);
    DemoFE.SetShowVirtualFolders(false);
    DemoNSE.SetFolderEnumerator(&DemoFE);
    ShowWindow(Handle(), SW_SHOW);
    UpdateWindow(Handle());
    return true;
  }

  shellviews::TNameSpaceEnumerator DemoNSE;
  shellviews::TFolderEnumerator DemoFE;
};

inline void PumpFor(int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    forms::driver::Pump();
    Sleep(5);
  }
}

// Pumps until pred holds or the time is up; never hangs a test.
inline bool PumpUntil(const std::function<bool()>& pred, int timeoutMs = 5000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    forms::driver::Pump();
    Sleep(5);
  }
  return true;
}

// A folder of its own below the temporary folder, removed with everything in it at the end.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& tag) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = Narrow(temp) + "tw-sv-" + tag + "-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount());
    CreateDirectoryW(Widen(path_).c_str(), nullptr);
  }
  ~ScratchDir() { Remove(Widen(path_)); }
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& rel) const { return path_ + "\\" + rel; }

  std::string Dir(const std::string& rel) const {
    std::string p = *this / rel;
    CreateDirectoryW(Widen(p).c_str(), nullptr);
    return p;
  }
  std::string File(const std::string& rel, size_t size, DWORD attributes = 0) const {
    std::string p = *this / rel;
    HANDLE h = CreateFileW(Widen(p).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      std::string data(size, 'x');
      DWORD written = 0;
      if (size) WriteFile(h, data.data(), static_cast<DWORD>(size), &written, nullptr);
      CloseHandle(h);
    }
    if (attributes) SetFileAttributesW(Widen(p).c_str(), attributes);
    return p;
  }

  static void Remove(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring full = dir + L"\\" + name;
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Remove(full);
        else DeleteFileW(full.c_str());
      } while (FindNextFileW(h, &fd));
      FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
  }

 private:
  std::string path_;
};

// A user's click: the controls track the button until it is released, so the release is queued
// first and the press sent (the other order leaves the tree waiting for a release forever).
inline void ClickAt(HWND hwnd, POINT pt, bool dbl = false) {
  LPARAM lp = MAKELPARAM(pt.x, pt.y);
  PostMessageW(hwnd, WM_LBUTTONUP, 0, lp);
  SendMessageW(hwnd, dbl ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, MK_LBUTTON, lp);
  forms::driver::Pump();
}

// Where the tree draws an item's check box, found with the tree's own hit test.
inline bool TreeStateIconPoint(HWND tree, HTREEITEM item, POINT& pt) {
  RECT rc{};
  if (!TreeView_GetItemRect(tree, item, &rc, TRUE)) return false;
  pt.y = (rc.top + rc.bottom) / 2;
  for (int x = 0; x < rc.left; ++x) {
    TVHITTESTINFO ht{};
    ht.pt = {x, pt.y};
    TreeView_HitTest(tree, &ht);
    if (ht.hItem == item && (ht.flags & TVHT_ONITEMSTATEICON)) {
      pt.x = x + 2;
      return true;
    }
  }
  return false;
}

inline std::string ListText(HWND list, int item, int column) {
  wchar_t buf[512] = {};
  ListView_GetItemText(list, item, column, buf, 512);
  return Narrow(buf);
}

}  // namespace tw::test
