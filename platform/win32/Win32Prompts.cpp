#include "platform/win32/Win32Prompts.h"

#include <shlobj.h>

#include "platform/win32/Utf.h"

namespace tw {

int Win32Prompts::Message(const std::string& text, const std::string& caption, uint32_t flags) {
  HWND owner = owner_ && IsWindow(owner_) ? owner_ : nullptr;
  int answer = MessageBoxW(owner, Widen(text).c_str(), Widen(caption).c_str(), flags);
  // A box that could not be shown must not count as a yes.
  return answer ? answer : CautiousAnswer(flags);
}

std::optional<std::string> Win32Prompts::BrowseForFolder(const std::string& title) {
  std::wstring wtitle = Widen(title);
  BROWSEINFOW bi{};
  bi.hwndOwner = owner_ && IsWindow(owner_) ? owner_ : nullptr;
  bi.lpszTitle = wtitle.c_str();
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE pidl = SHBrowseForFolderW(&bi);
  if (!pidl) return std::nullopt;
  // Long paths: ask for the length the shell needs rather than MAX_PATH.
  std::wstring path(32768, L'\0');
  bool ok = SHGetPathFromIDListEx(pidl, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT);
  CoTaskMemFree(pidl);
  if (!ok) return std::nullopt;
  path.resize(wcslen(path.c_str()));
  if (path.empty()) return std::nullopt;
  return Narrow(path);
}

}  // namespace tw
