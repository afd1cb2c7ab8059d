#include "platform/win32/Win32NamedMutex.h"

#include <windows.h>

#include "platform/win32/Utf.h"

namespace tw {

Win32NamedMutex::Win32NamedMutex(const std::string& name)
    : handle_(CreateMutexW(nullptr, FALSE, Widen(name).c_str())) {}

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
