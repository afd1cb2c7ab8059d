#include "app/WLSingleInstance.h"

namespace tw {

std::wstring DefaultApplicationTitle(const std::wstring& programPath) {
  const size_t slash = programPath.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? programPath : programPath.substr(slash + 1);
  const size_t dot = name.find(L'.');
  if (dot != std::wstring::npos) name.resize(dot);
  if (name.size() > 1) CharLowerBuffW(name.data() + 1, static_cast<DWORD>(name.size() - 1));
  return name;
}

TPreviousInstance::TPreviousInstance(const std::wstring& title) {
  HANDLE mutex = CreateMutexW(nullptr, TRUE, title.c_str());
  if (!mutex) {
    // A copy running elevated or as another account holds a marker this one may not open:
    // two copies would each save the volume list over the other's at exit.
    exists_ = GetLastError() == ERROR_ACCESS_DENIED;
    return;  // otherwise no marker: this copy runs as the first one
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    exists_ = true;
    CloseHandle(mutex);
    return;
  }
  mutex_ = mutex;
}

TPreviousInstance::~TPreviousInstance() {
  if (mutex_) CloseHandle(mutex_);
}

namespace {
struct TSearch {
  const std::wstring* title;
  HWND any = nullptr;   // first match of any class
  HWND main = nullptr;  // first match that is a main window
};

BOOL CALLBACK MatchOtherProcessWindow(HWND hwnd, LPARAM lp) {
  auto* search = reinterpret_cast<TSearch*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == GetCurrentProcessId()) return TRUE;
  wchar_t text[256];
  const int n = GetWindowTextW(hwnd, text, 256);
  if (n != static_cast<int>(search->title->size()) ||
      CompareStringOrdinal(text, n, search->title->c_str(), n, TRUE) != CSTR_EQUAL)
    return TRUE;
  if (!search->any) search->any = hwnd;
  wchar_t cls[64];
  if (GetClassNameW(hwnd, cls, 64) && lstrcmpW(cls, L"TfWLMain") == 0) {
    search->main = hwnd;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

UINT ActivateMessage() {
  static const UINT message = RegisterWindowMessageW(L"Tidewell.ActivateTidewell");
  return message;
}

HWND TJustOne32(const std::wstring& title) {
  TSearch search{&title};
  EnumWindows(MatchOtherProcessWindow, reinterpret_cast<LPARAM>(&search));
  HWND found = search.main ? search.main : search.any;
  if (!found) return nullptr;
  // Only the copy the user just started may hand the foreground on.
  DWORD pid = 0;
  GetWindowThreadProcessId(found, &pid);
  AllowSetForegroundWindow(pid);
  if (!IsWindowVisible(found))
    PostMessageW(found, ActivateMessage(), 0, 0);
  else if (IsIconic(found))
    ShowWindow(found, SW_RESTORE);
  else
    BringWindowToTop(found);
  return found;
}

}  // namespace tw
