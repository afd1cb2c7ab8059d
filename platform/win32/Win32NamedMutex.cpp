#include "platform/win32/Win32NamedMutex.h"

#include <windows.h>

#include <sddl.h>

#include <vector>

#include "platform/win32/Utf.h"

namespace tw {

std::wstring NamedMutexObjectName(const std::string& name) {
  static const std::wstring user = [] {
    std::wstring sid;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return sid;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    wchar_t* text = nullptr;
    if (size && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
      sid = text;
      LocalFree(text);
    }
    CloseHandle(token);
    return sid;
  }();
  // Without the SID the session's own namespace is the safe one: another user's object of the
  // same name could not be opened.
  if (user.empty()) return Widen(name);
  return L"Global\\" + Widen(name) + L"-" + user;
}

Win32NamedMutex::Win32NamedMutex(const std::string& name)
    : handle_(CreateMutexW(nullptr, FALSE, NamedMutexObjectName(name).c_str())) {}

Win32NamedMutex::~Win32NamedMutex() {
  if (handle_) CloseHandle(handle_);
}

bool Win32NamedMutex::Acquire(uint32_t timeoutMs) {
  if (!handle_) return false;
  DWORD result = WaitForSingleObject(handle_, timeoutMs);
  return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

void Win32NamedMutex::Release() {
  if (handle_) ReleaseMutex(handle_);
}

}  // namespace tw
