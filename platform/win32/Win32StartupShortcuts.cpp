#include "platform/win32/Win32StartupShortcuts.h"

#include <windows.h>

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "platform/win32/Utf.h"

namespace tw {

namespace {
// COM for the calling thread while the link is made; a thread that has it already keeps it.
class TComScope {
 public:
  TComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~TComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }

 private:
  HRESULT hr_;
};
}  // namespace

std::optional<std::string> Win32StartupShortcuts::StartupFolder() {
  PWSTR path = nullptr;
  std::optional<std::string> folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Startup, KF_FLAG_CREATE, nullptr, &path)) && path)
    folder = Narrow(path);
  CoTaskMemFree(path);
  return folder;
}

bool Win32StartupShortcuts::FileExists(const std::string& path) {
  return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Win32StartupShortcuts::CreateLink(const std::string& path, const TShellLink& link) {
  TComScope com;
  IShellLinkW* shellLink = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&shellLink))))
    return false;
  bool saved = false;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(shellLink->SetPath(Widen(link.Target).c_str())) &&
      SUCCEEDED(shellLink->SetArguments(Widen(link.Arguments).c_str())) &&
      SUCCEEDED(shellLink->SetDescription(Widen(link.Description).c_str())) &&
      SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    saved = SUCCEEDED(file->Save(Widen(path).c_str(), TRUE));
    file->Release();
  }
  shellLink->Release();
  return saved;
}

bool Win32StartupShortcuts::DeleteShortcut(const std::string& path) {
  if (DeleteFileW(Widen(path).c_str())) return true;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace tw
