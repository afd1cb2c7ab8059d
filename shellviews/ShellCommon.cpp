#include "shellviews/ShellCommon.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <stdexcept>

#include "platform/win32/Utf.h"

namespace tw::shellviews {

void EnsureShell() {
  thread_local bool ready = false;
  if (ready) return;
  // The program's own OleInitialize may have come first; either way COM is usable here.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IMalloc* malloc = nullptr;
  if (FAILED(SHGetMalloc(&malloc)) || !malloc)
    throw std::runtime_error("Unable to obtain the shell's allocator");
  malloc->Release();
  ready = true;
}

Com<IShellFolder> DesktopFolder() {
  Com<IShellFolder> desktop;
  SHGetDesktopFolder(desktop.put());
  return desktop;
}

Com<IShellFolder> BindFolder(PCIDLIST_ABSOLUTE pidl) {
  Com<IShellFolder> desktop = DesktopFolder();
  if (!desktop) return {};
  if (!pidl || ILIsEmpty(pidl)) return desktop;
  Com<IShellFolder> folder;
  if (FAILED(desktop->BindToObject(pidl, nullptr, IID_IShellFolder, folder.put_void())))
    return {};
  return folder;
}

Pidl ClonePidl(PCIDLIST_ABSOLUTE pidl) { return Pidl(pidl ? ILClone(pidl) : nullptr); }

Pidl CombinePidl(PCIDLIST_ABSOLUTE parent, PCUITEMID_CHILD child) {
  return Pidl(ILCombine(parent, child));
}

Pidl ParsePath(const std::string& path) {
  if (path.empty()) return {};
  Com<IShellFolder> desktop = DesktopFolder();
  std::wstring wide = Widen(path);
  ITEMIDLIST* pidl = nullptr;
  if (!desktop ||
      FAILED(desktop->ParseDisplayName(nullptr, nullptr, wide.data(), nullptr, &pidl, nullptr)))
    return {};
  return Pidl(pidl);
}

std::string DisplayName(IShellFolder* folder, PCUITEMID_CHILD child, SHGDNF flags) {
  STRRET ret{};
  if (!folder || FAILED(folder->GetDisplayNameOf(child, flags, &ret))) return {};
  wchar_t* text = nullptr;
  if (FAILED(StrRetToStrW(&ret, child, &text)) || !text) return {};
  std::string out = Narrow(text);
  CoTaskMemFree(text);
  return out;
}

bool SamePath(const std::string& a, const std::string& b) {
  std::wstring x = Widen(a), y = Widen(b);
  if (x.size() > 3 && x.back() == L'\\') x.pop_back();
  if (y.size() > 3 && y.back() == L'\\') y.pop_back();
  return CompareStringOrdinal(x.c_str(), static_cast<int>(x.size()), y.c_str(),
                              static_cast<int>(y.size()), TRUE) == CSTR_EQUAL;
}

namespace {
HMODULE OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&OwnModule), &module);
  return module;
}

HIMAGELIST BuildCheckImages() {
  HMODULE module = OwnModule();
  const wchar_t* names[] = {L"NSE_UNCHECKED", L"NSE_UNCHECKED", L"NSE_CHECKED", L"NSE_UNCHECKED",
                            L"NSE_GRAYCHECKED"};
  HBITMAP bitmaps[5] = {};
  BITMAP info{};
  for (int i = 0; i < 5; ++i) {
    bitmaps[i] = static_cast<HBITMAP>(
        LoadImageW(module, names[i], IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bitmaps[i]) {
      for (int j = 0; j < i; ++j) DeleteObject(bitmaps[j]);
      return nullptr;
    }
  }
  GetObjectW(bitmaps[0], sizeof(info), &info);
  HIMAGELIST list = ImageList_Create(info.bmWidth, info.bmHeight, ILC_COLOR24 | ILC_MASK, 5, 0);
  for (HBITMAP bmp : bitmaps) {
    if (list) ImageList_AddMasked(list, bmp, RGB(255, 255, 255));
    DeleteObject(bmp);
  }
  return list;
}
}  // namespace

HIMAGELIST CheckImages() {
  static HIMAGELIST list = BuildCheckImages();
  return list;
}

namespace {
std::wstring LowerText(std::wstring s) {
  CharLowerBuffW(s.data(), static_cast<DWORD>(s.size()));
  return s;
}
}  // namespace

const TFileTypeCache::TInfo& TFileTypeCache::Of(const std::wstring& extension) {
  std::wstring key = LowerText(extension);
  auto it = byExtension_.find(key);
  if (it != byExtension_.end()) return it->second;
  SHFILEINFOW info{};
  std::wstring probe = L"x" + extension;
  SHGetFileInfoW(probe.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                 SHGFI_USEFILEATTRIBUTES | SHGFI_TYPENAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  return byExtension_.emplace(std::move(key), TInfo{info.iIcon, info.szTypeName}).first->second;
}

std::wstring TFileTypeCache::ExtensionOf(const std::wstring& name) {
  size_t dot = name.rfind(L'.');
  return dot == std::wstring::npos ? std::wstring() : name.substr(dot);
}

bool TFileTypeCache::OwnIcon(const std::wstring& extension) {
  const std::wstring e = LowerText(extension);
  return e == L".exe" || e == L".ico" || e == L".lnk" || e == L".cur" || e == L".ani" ||
         e == L".scr";
}

std::wstring ModifiedText(const FILETIME& utc) {
  if (!utc.dwHighDateTime && !utc.dwLowDateTime) return {};
  FILETIME local;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return {};
  wchar_t date[80] = {}, time[80] = {};
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 80);
  GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &st, nullptr, time, 80);
  return std::wstring(date) + L" " + time;
}

HIMAGELIST SystemSmallImages() {
  SHFILEINFOW info{};
  return reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(
      L"C:\\", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
}

int ItemIcon(PCIDLIST_ABSOLUTE pidl, bool open) {
  SHFILEINFOW info{};
  UINT flags = SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | (open ? SHGFI_OPENICON : 0);
  if (!SHGetFileInfoW(reinterpret_cast<LPCWSTR>(pidl), 0, &info, sizeof(info), flags)) return 0;
  return info.iIcon;
}

int PlainFolderIcon(bool open) {
  auto lookUp = [](bool openIcon) {
    SHFILEINFOW info{};
    UINT flags = SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON |
                 (openIcon ? SHGFI_OPENICON : 0);
    SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof(info), flags);
    return info.iIcon;
  };
  static const int closedIcon = lookUp(false);
  static const int openIcon = lookUp(true);
  return open ? openIcon : closedIcon;
}

bool InvokeVerb(HWND owner, IShellFolder* folder, PCUITEMID_CHILD* children, UINT count,
                const char* verb) {
  if (!folder || !count) return false;
  Com<IContextMenu> menu;
  if (FAILED(folder->GetUIObjectOf(owner, count, children, IID_IContextMenu, nullptr,
                                   menu.put_void())))
    return false;
  HMENU popup = CreatePopupMenu();
  UINT flags = verb ? CMF_NORMAL : CMF_DEFAULTONLY;
  menu->QueryContextMenu(popup, 0, 1, 0x7FFF, flags);
  CMINVOKECOMMANDINFO invoke{};
  invoke.cbSize = sizeof(invoke);
  invoke.hwnd = owner;
  invoke.nShow = SW_SHOWNORMAL;
  if (verb) {
    invoke.lpVerb = verb;
  } else {
    UINT id = GetMenuDefaultItem(popup, FALSE, 0);
    if (id == static_cast<UINT>(-1)) {
      DestroyMenu(popup);
      return false;
    }
    invoke.lpVerb = MAKEINTRESOURCEA(id - 1);
  }
  HRESULT hr = menu->InvokeCommand(&invoke);
  DestroyMenu(popup);
  return SUCCEEDED(hr);
}

bool WindowHook::Attach(HWND window, Handler handler) {
  Detach();
  handler_ = std::move(handler);
  if (!window || !SetWindowSubclass(window, Proc, reinterpret_cast<UINT_PTR>(this),
                                    reinterpret_cast<DWORD_PTR>(this)))
    return false;
  window_ = window;
  return true;
}

void WindowHook::Detach() {
  if (window_ && IsWindow(window_))
    RemoveWindowSubclass(window_, Proc, reinterpret_cast<UINT_PTR>(this));
  window_ = nullptr;
}

LRESULT CALLBACK WindowHook::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                  DWORD_PTR ref) {
  auto* self = reinterpret_cast<WindowHook*>(ref);
  if (msg == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, Proc, id);
    if (self->window_ == hwnd) self->window_ = nullptr;
  } else if (self->handler_) {
    LRESULT result = 0;
    if (self->handler_(msg, wp, lp, result)) return result;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

void ParentNotifyHook::Attach(HWND parent, HWND control, Handler handler) {
  Detach();
  control_ = control;
  handler_ = std::move(handler);
  hook_.Attach(parent, [this](UINT msg, WPARAM, LPARAM lp, LRESULT& result) {
    if (msg != WM_NOTIFY) return false;
    auto* hdr = reinterpret_cast<NMHDR*>(lp);
    return hdr && control_ && hdr->hwndFrom == control_ && handler_ && handler_(hdr, result);
  });
}

void ParentNotifyHook::Detach() {
  hook_.Detach();
  control_ = nullptr;
}

}  // namespace tw::shellviews
