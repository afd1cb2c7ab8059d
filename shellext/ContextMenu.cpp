// The COM methods only check their arguments, convert, and call TWLContextMenuCore; no C++
// exception leaves them.
#include "shellext/ContextMenu.h"

#include <shellapi.h>

#include <mutex>
#include <new>

#include "platform/win32/Utf.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32NamedMutex.h"
#include "platform/win32/Win32Prompts.h"
#include "platform/win32/Win32Registry.h"
#include "shellext/ContextMenuCore.h"

namespace tw::shellext {

HINSTANCE g_module = nullptr;
LONG g_objects = 0;
LONG g_factoryRefs = 0;

namespace {

std::mutex g_bitmapLock;
HBITMAP g_bitmap = nullptr;
bool g_bitmapTried = false;

}  // namespace

HBITMAP MenuBitmap() {
  std::lock_guard lock(g_bitmapLock);
  if (!g_bitmapTried) {
    g_bitmapTried = true;
    // Grey becomes the face colour of the menus it is drawn on.
    g_bitmap = static_cast<HBITMAP>(
        LoadImageW(g_module, L"TIDEWELL", IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS));
  }
  return g_bitmap;
}

void FreeMenuBitmap() {
  std::lock_guard lock(g_bitmapLock);
  if (g_bitmap) DeleteObject(g_bitmap);
  g_bitmap = nullptr;
  g_bitmapTried = false;
}

namespace {

// The paths of a DROPFILES block, read in one pass: each path's length is found within the
// block's GlobalSize, so nothing is cut at a fixed length (a cut path can name another existing
// item). DragQueryFileW would walk the list from its start for every index, which costs seconds
// for thousands of paths. False when the block is short, points outside itself, holds no path
// or does not end within its memory.
template <typename Char>
bool ParsePaths(const BYTE* base, SIZE_T size, SIZE_T offset, std::vector<std::string>* paths) {
  const SIZE_T units = (size - offset) / sizeof(Char);
  const Char* list = reinterpret_cast<const Char*>(base + offset);
  SIZE_T begin = 0;
  for (SIZE_T i = 0; i < units; ++i) {
    if (list[i] != 0) continue;
    if (i == begin) return begin > 0;  // the empty string ends the list
    if (paths) {
      if constexpr (sizeof(Char) == sizeof(wchar_t)) {
        paths->push_back(Narrow(reinterpret_cast<const wchar_t*>(list + begin), i - begin));
      } else {
        const int length = static_cast<int>(i - begin);
        std::wstring wide(static_cast<size_t>(length), L'\0');
        const int n = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(list + begin),
                                          length, wide.data(), length);
        wide.resize(static_cast<size_t>(n > 0 ? n : 0));
        paths->push_back(Narrow(wide));
      }
    }
    begin = i + 1;
  }
  return false;
}

bool ReadDropFiles(HGLOBAL memory, std::vector<std::string>* paths) {
  const SIZE_T size = GlobalSize(memory);
  if (size < sizeof(DROPFILES)) return false;
  const BYTE* base = static_cast<const BYTE*>(GlobalLock(memory));
  if (!base) return false;
  const auto* header = reinterpret_cast<const DROPFILES*>(base);
  bool ok = header->pFiles >= sizeof(DROPFILES) && header->pFiles < size &&
            (header->fWide ? ParsePaths<wchar_t>(base, size, header->pFiles, paths)
                           : ParsePaths<char>(base, size, header->pFiles, paths));
  GlobalUnlock(memory);
  if (!ok && paths) paths->clear();
  return ok;
}

// Asks for the list; true with the medium to release when it is a sound DROPFILES block, whose
// paths go to `paths` when given.
bool GetDropMedium(IDataObject* data, STGMEDIUM& medium, HRESULT* result = nullptr,
                   std::vector<std::string>* paths = nullptr) {
  FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  medium = STGMEDIUM{};
  HRESULT hr = data->GetData(&format, &medium);
  if (result) *result = hr;
  if (FAILED(hr)) return false;
  if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal && ReadDropFiles(medium.hGlobal, paths))
    return true;
  if (result) *result = E_INVALIDARG;
  ReleaseStgMedium(&medium);
  return false;
}

}  // namespace

bool FetchDroppedPaths(IDataObject* data, std::vector<std::string>& paths) {
  paths.clear();
  if (!data) return false;
  STGMEDIUM medium;
  if (!GetDropMedium(data, medium, nullptr, &paths)) return false;
  ReleaseStgMedium(&medium);
  return true;
}

namespace {

class ShellHost : public IContextMenuHost {
 public:
  void Beep() override { MessageBeep(MB_OK); }
  bool StartProgram(const std::string& exePath) override {
    std::wstring exe;
    if (!TryWiden(exePath, exe)) return false;
    std::wstring commandLine = L"\"" + exe + L"\"";
    std::wstring folder = exe.substr(0, exe.find_last_of(L'\\') + 1);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process))
      return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
  }
};

// The text in the caller's buffer, cut to size - 1 units and a terminating zero; UTF-16 for
// the wide kinds, the ANSI code page for the others.
void CopyCommandText(const std::string& text, bool wide, char* buffer, UINT size) {
  if (size == 0) return;
  std::wstring w = Widen(text);
  if (wide) {
    std::wstring cut = Utf16Prefix(w, size - 1);
    auto* out = reinterpret_cast<wchar_t*>(buffer);
    memcpy(out, cut.c_str(), (cut.size() + 1) * sizeof(wchar_t));
    return;
  }
  // Shortened by whole characters until its ANSI form fits, so no double-byte character is cut.
  for (size_t units = w.size();; --units) {
    std::wstring cut = Utf16Prefix(w, units);
    int bytes = WideCharToMultiByte(CP_ACP, 0, cut.c_str(), static_cast<int>(cut.size()), nullptr,
                                    0, nullptr, nullptr);
    if (bytes >= 0 && static_cast<UINT>(bytes) <= size - 1) {
      if (bytes > 0)
        WideCharToMultiByte(CP_ACP, 0, cut.c_str(), static_cast<int>(cut.size()), buffer, bytes,
                            nullptr, nullptr);
      buffer[bytes] = '\0';
      return;
    }
    if (units == 0) {
      buffer[0] = '\0';
      return;
    }
  }
}

class TWLContextMenu : public IShellExtInit, public IContextMenu {
 public:
  TWLContextMenu()
      : mutex_(kSelectionFilesMutex),
        core_(registry_, fs_, mutex_, prompts_, host_) {
    InterlockedIncrement(&g_objects);
  }
  virtual ~TWLContextMenu() {
    if (data_) data_->Release();
    InterlockedDecrement(&g_objects);
  }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IShellExtInit)) {
      *out = static_cast<IShellExtInit*>(this);
    } else if (IsEqualIID(riid, IID_IContextMenu)) {
      *out = static_cast<IContextMenu*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
  }

  // IShellExtInit
  STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) override {
    try {
      if (data_) {
        data_->Release();
        data_ = nullptr;
      }
      if (!data) {
        core_.Initialize(false);
        host_.Beep();
        return E_FAIL;
      }
      STGMEDIUM medium;
      HRESULT hr = E_FAIL;
      bool listed = GetDropMedium(data, medium, &hr);
      if (listed) {
        // Fetched again when a command runs.
        ReleaseStgMedium(&medium);
        data_ = data;
        data_->AddRef();
      }
      core_.Initialize(listed);
      return hr;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

  // IContextMenu
  STDMETHODIMP QueryContextMenu(HMENU menu, UINT index, UINT first, UINT last,
                                UINT flags) override {
    try {
      if (!menu || !IsMenu(menu)) return E_INVALIDARG;
      // Explorer only wants the default item (a double click): ours is never that.
      if (flags & CMF_DEFAULTONLY) return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
      const UINT available = last >= first ? last - first + 1 : 0;
      std::vector<TMenuItem> items;
      const uint32_t used = core_.QueryMenu(available, items);
      HBITMAP bitmap = items.empty() ? nullptr : MenuBitmap();
      UINT position = index;
      for (const TMenuItem& item : items) {
        std::wstring text = Widen(item.text);
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_STRING | MIIM_ID | MIIM_CHECKMARKS;
        info.wID = first + item.offset;
        info.dwTypeData = text.data();
        info.hbmpChecked = bitmap;
        info.hbmpUnchecked = bitmap;
        if (InsertMenuItemW(menu, position, TRUE, &info)) ++position;
      }
      return MAKE_HRESULT(SEVERITY_SUCCESS, 0, used);
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

  STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override {
    try {
      if (!info || info->cbSize < sizeof(CMINVOKECOMMANDINFO)) return E_INVALIDARG;
      if (!IS_INTRESOURCE(info->lpVerb)) return core_.InvokeVerb();
      const UINT offset = LOWORD(reinterpret_cast<ULONG_PTR>(info->lpVerb));
      IDataObject* data = data_;
      return core_.Invoke(offset, [data](std::vector<std::string>& paths) {
        return FetchDroppedPaths(data, paths);
      });
    } catch (...) {
      return E_FAIL;
    }
  }

  STDMETHODIMP GetCommandString(UINT_PTR id, UINT kind, UINT*, CHAR* buffer,
                                UINT size) override {
    try {
      const bool validate = kind == GCS_VALIDATEA || kind == GCS_VALIDATEW;
      const bool wide = kind == GCS_VERBW || kind == GCS_HELPTEXTW;
      if (!validate && !wide && kind != GCS_VERBA && kind != GCS_HELPTEXTA) return E_INVALIDARG;
      std::string text;
      const bool known = id <= 0xFFFFFFFFu && core_.CommandHelp(static_cast<uint32_t>(id), text);
      // Validation never touches the buffer: the caller may pass none.
      if (validate) return known ? S_OK : S_FALSE;
      if (!known) return E_INVALIDARG;
      if (size > 0 && !buffer) return E_POINTER;
      CopyCommandText(text, wide, buffer, size);
      return S_OK;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

 private:
  LONG refs_ = 1;
  IDataObject* data_ = nullptr;
  Win32Registry registry_;
  Win32FileSystem fs_;
  Win32NamedMutex mutex_;
  Win32Prompts prompts_;
  ShellHost host_;
  TWLContextMenuCore core_;
};

}  // namespace

HRESULT CreateContextMenu(REFIID riid, void** out) {
  auto* menu = new (std::nothrow) TWLContextMenu();
  if (!menu) return E_OUTOFMEMORY;
  HRESULT hr = menu->QueryInterface(riid, out);
  menu->Release();  // the object's own reference: it goes when nobody took one
  return hr;
}

}  // namespace tw::shellext
