#include "platform/win32/Win32ShellFolderInfo.h"

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include "platform/win32/Utf.h"

namespace tw {

bool Win32ShellFolderInfo::IsFileSystemFolder(const std::string& path) {
  std::wstring wide;
  if (!TryWiden(path, wide)) return false;
  // A bare drive ("C:") would mean the drive's current folder to the shell.
  if (wide.size() == 2 && wide[1] == L':') wide += L'\\';
  SHFILEINFOW info{};
  info.dwAttributes = SFGAO_FILESYSTEM;
  if (!SHGetFileInfoW(wide.c_str(), 0, &info, sizeof(info),
                      SHGFI_ATTRIBUTES | SHGFI_ATTR_SPECIFIED))
    // The shell cannot parse every path we can list (very long ones); a folder that the
    // file system lists is a file-system folder.
    return true;
  return (info.dwAttributes & SFGAO_FILESYSTEM) != 0;
}

}  // namespace tw
