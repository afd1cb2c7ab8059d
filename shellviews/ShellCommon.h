// What the namespace tree and the folder list share: check states, message numbers, item
// identifier ownership, the check-box images and the system image list.
#pragma once
#include <windows.h>

#include <shlobj.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace tw::shellviews {

// Check states of tree items (and, 2 to 4, of list items).
enum TEECheckState : int {
  csNoCheckBox = 0,
  csNew = 1,  // unchecked, as created
  csChecked = 2,
  csUnchecked = 3,
  csPartial = 4,
};
// List items: a new item is 0 (drawn unchecked); an item without check box is -1.
constexpr int kListNoCheckBox = -1;

constexpr UINT kMonitorStopMessage = WM_USER + 12;  // posted to a monitor thread
constexpr UINT kTreeChangeMessage = WM_USER + 21;
constexpr UINT kListChangeMessage = WM_USER + 22;
// File and directory names, attributes, size and last-write time.
constexpr DWORD kChangeFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                                FILE_NOTIFY_CHANGE_LAST_WRITE;

struct PidlFree {
  void operator()(ITEMIDLIST* p) const { CoTaskMemFree(p); }
};
using Pidl = std::unique_ptr<ITEMIDLIST, PidlFree>;

// A minimal owning COM pointer.
template <class T>
class Com {
 public:
  Com() = default;
  explicit Com(T* p) : p_(p) {}
  Com(const Com& o) : p_(o.p_) { if (p_) p_->AddRef(); }
  Com& operator=(Com o) { std::swap(p_, o.p_); return *this; }
  ~Com() { if (p_) p_->Release(); }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** put() { if (p_) { p_->Release(); p_ = nullptr; } return &p_; }
  void** put_void() { return reinterpret_cast<void**>(put()); }
 private:
  T* p_ = nullptr;
};

// Initialises COM on this thread once and checks that the shell's allocator is there; throws
// std::runtime_error("Unable to obtain the shell's allocator") when it is not.
void EnsureShell();

Com<IShellFolder> DesktopFolder();
// The folder object of an absolute identifier (the Desktop itself for an empty one).
Com<IShellFolder> BindFolder(PCIDLIST_ABSOLUTE pidl);
Pidl ClonePidl(PCIDLIST_ABSOLUTE pidl);
Pidl CombinePidl(PCIDLIST_ABSOLUTE parent, PCUITEMID_CHILD child);
Pidl ParsePath(const std::string& path);
std::string DisplayName(IShellFolder* folder, PCUITEMID_CHILD child, SHGDNF flags);

// Case-insensitive comparison of Windows paths, ignoring one trailing backslash.
bool SamePath(const std::string& a, const std::string& b);

// The state images: "NSE_UNCHECKED" (0 and 1), "NSE_CHECKED" (2), "NSE_UNCHECKED" (3),
// "NSE_GRAYCHECKED" (4), white transparent. One list for the process; nullptr when the
// bitmaps are missing from the program's resources.
HIMAGELIST CheckImages();

HIMAGELIST SystemSmallImages();
// Icon index of an item in the system image list (the open-folder icon when open is set).
int ItemIcon(PCIDLIST_ABSOLUTE pidl, bool open);
// Icon of a plain folder, looked up once.
int PlainFolderIcon(bool open);

// Icon and type name of files by their extension, asked of the shell once per extension: the
// shell's answer depends on the extension only, and asking by path costs a millisecond a file.
class TFileTypeCache {
 public:
  struct TInfo {
    int icon = 0;
    std::wstring type;  // empty when the shell names none
  };
  // extension: with its dot (".txt"), any case; empty for a name without one.
  const TInfo& Of(const std::wstring& extension);
  static std::wstring ExtensionOf(const std::wstring& name);
  // Files whose icon lives in the file itself (".exe", ".lnk", ...), so the extension does not
  // tell it.
  static bool OwnIcon(const std::wstring& extension);

 private:
  std::map<std::wstring, TInfo> byExtension_;  // by lower-case extension
};

// A last-write time as the views show it: local date and time in the user's short formats,
// without seconds; empty for no time.
std::wstring ModifiedText(const FILETIME& utc);

// Invokes a shell verb ("delete", or nullptr for the default command) on items of one folder.
bool InvokeVerb(HWND owner, IShellFolder* folder, PCUITEMID_CHILD* children, UINT count,
                const char* verb);

// A window's messages, seen before its own procedure while attached. Each hook subclasses the
// window under its own id, so hooks on one window may come and go in any order without
// reinstalling a procedure that is gone. The handler returns true with the message's result
// when it has handled one. The hook lets go by itself when the window is destroyed.
class WindowHook {
 public:
  using Handler = std::function<bool(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result)>;

  WindowHook() = default;
  ~WindowHook() { Detach(); }
  WindowHook(const WindowHook&) = delete;
  WindowHook& operator=(const WindowHook&) = delete;

  // False when the window refuses (no window, or one of another thread).
  bool Attach(HWND window, Handler handler);
  void Detach();
  HWND Window() const { return window_; }

 private:
  static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

  HWND window_ = nullptr;
  Handler handler_;
};

// The notifications a control sends its parent, handed to the control's owner: the parent
// window is hooked while attached.
class ParentNotifyHook {
 public:
  using Handler = std::function<bool(NMHDR* hdr, LRESULT& result)>;

  ParentNotifyHook() = default;
  ParentNotifyHook(const ParentNotifyHook&) = delete;
  ParentNotifyHook& operator=(const ParentNotifyHook&) = delete;

  void Attach(HWND parent, HWND control, Handler handler);
  void Detach();

 private:
  WindowHook hook_;
  HWND control_ = nullptr;
  Handler handler_;
};

}  // namespace tw::shellviews
