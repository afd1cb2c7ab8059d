#include "shellviews/FolderEnumerator.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <unordered_set>

#include "platform/FileSystem.h"
#include "platform/win32/Utf.h"
#include "shellviews/NameSpaceEnumerator.h"

namespace tw::shellviews {

std::string SizeText(int64_t size, bool folder) {
  if (folder) return {};
  int64_t kb = size <= 0 ? 0 : (size < 1024 ? 1 : size / 1024);
  return std::to_string(kb) + "KB";
}

std::string AttributesText(DWORD a) {
  std::string s = ".....";
  if (a & FILE_ATTRIBUTE_HIDDEN) s[0] = 'H';
  if (a & FILE_ATTRIBUTE_SYSTEM) s[1] = 'S';
  if (a & FILE_ATTRIBUTE_READONLY) s[2] = 'R';
  if (a & FILE_ATTRIBUTE_ARCHIVE) s[3] = 'A';
  if (a & FILE_ATTRIBUTE_DIRECTORY) s[4] = 'D';
  return s;
}

namespace {
int CompareText(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()),
                        b.c_str(), static_cast<int>(b.size())) - CSTR_EQUAL;
}

std::wstring Lower(std::wstring s) {
  CharLowerBuffW(s.data(), static_cast<DWORD>(s.size()));
  return s;
}

const std::wstring& FolderTypeName() {
  static const std::wstring name = [] {
    SHFILEINFOW info{};
    SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof(info),
                   SHGFI_USEFILEATTRIBUTES | SHGFI_TYPENAME);
    return std::wstring(info.szTypeName);
  }();
  return name;
}

}  // namespace

struct TFolderEnumerator::Entry {
  Pidl child;
  std::wstring caption, name, ext, type, attrText;
  std::string path;
  SFGAOF attrs = 0;
  DWORD fileAttrs = 0;
  int64_t size = 0;
  FILETIME modified{};
  int check = 0;
  int icon = -1;
  size_t order = 0;
  bool folder() const { return (attrs & SFGAO_FOLDER) != 0; }
  bool fileSystem() const { return (attrs & SFGAO_FILESYSTEM) != 0; }
};

TFolderEnumerator::TFolderEnumerator() {
  EnsureShell();
  columns_[cnName] = {"Name", LVCFMT_LEFT, 200, true};
  columns_[cnExtension] = {"Extension", LVCFMT_LEFT, 50, false};
  columns_[cnSize] = {"Size", LVCFMT_RIGHT, 50, true};
  columns_[cnAttributes] = {"Attributes", LVCFMT_LEFT, 50, false};
  columns_[cnType] = {"Type", LVCFMT_LEFT, 100, true};
  columns_[cnModified] = {"Modified", LVCFMT_LEFT, 200, true};
  masks_ = {L"*.*"};
}

TFolderEnumerator::~TFolderEnumerator() {
  if (tree_) tree_->list_ = nullptr;
  tree_ = nullptr;
  StopMonitor();
  parentHook_.Detach();
  if (hwnd_) {
    HWND hwnd = hwnd_;
    RemoveWindowSubclass(hwnd, ListSubclass, reinterpret_cast<UINT_PTR>(this));
    hwnd_ = nullptr;
    DestroyWindow(hwnd);
  }
}

bool TFolderEnumerator::Create(HWND parent, int x, int y, int w, int h, int id) {
  if (hwnd_) return true;
  DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_OWNERDATA |
                LVS_SHAREIMAGELISTS | LVS_SHOWSELALWAYS | (multiSelect_ ? 0 : LVS_SINGLESEL);
  hwnd_ = CreateWindowExW(0, WC_LISTVIEWW, L"", style, x, y, w, h, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                          GetModuleHandleW(nullptr), nullptr);
  if (!hwnd_) return false;
  SetWindowSubclass(hwnd_, ListSubclass, reinterpret_cast<UINT_PTR>(this),
                    reinterpret_cast<DWORD_PTR>(this));
  parentHook_.Attach(parent, hwnd_,
                     [this](NMHDR* hdr, LRESULT& result) { return ParentNotify(hdr, result); });
  SendMessageW(hwnd_, WM_SETFONT, SendMessageW(parent, WM_GETFONT, 0, 0), FALSE);
  ListView_SetImageList(hwnd_, SystemSmallImages(), LVSIL_SMALL);
  ListView_SetImageList(hwnd_, checks_ ? CheckImages() : nullptr, LVSIL_STATE);
  ListView_SetCallbackMask(hwnd_, LVIS_STATEIMAGEMASK | LVIS_OVERLAYMASK);
  SetViewStyle(viewStyle_);
  BuildColumns();
  RestartMonitor();
  return true;
}

// ---- settings ----

void TFolderEnumerator::SetChecks(bool on) {
  checks_ = on;
  if (hwnd_) {
    ListView_SetImageList(hwnd_, checks_ ? CheckImages() : nullptr, LVSIL_STATE);
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
}

void TFolderEnumerator::SetShowHidden(bool on) {
  if (showHidden_ == on) return;
  showHidden_ = on;
  Reread();
}

void TFolderEnumerator::SetShowFolders(bool on) {
  if (showFolders_ == on) return;
  showFolders_ = on;
  Reread();
}

void TFolderEnumerator::SetShowVirtualFolders(bool on) {
  if (showVirtual_ == on) return;
  showVirtual_ = on;
  Reread();
}

void TFolderEnumerator::SetFileMask(const std::string& mask) {
  fileMask_ = mask;
  masks_.clear();
  std::wstring all = Widen(mask);
  size_t start = 0;
  while (start <= all.size()) {
    size_t end = all.find(L';', start);
    if (end == std::wstring::npos) end = all.size();
    std::wstring one = all.substr(start, end - start);
    one.erase(0, one.find_first_not_of(L' '));
    while (!one.empty() && one.back() == L' ') one.pop_back();
    if (!one.empty()) masks_.push_back(one);
    start = end + 1;
  }
  Reread();
}

bool TFolderEnumerator::MatchesMask(const std::wstring& name) const {
  if (masks_.empty()) return true;
  for (const auto& m : masks_)
    if (m == L"*.*" || m == L"*" || PathMatchSpecW(name.c_str(), m.c_str())) return true;
  return false;
}

void TFolderEnumerator::SetSortColumn(TColumnName column) {
  sortColumn_ = column;
  SortKeepingSelection();
}

void TFolderEnumerator::SetSortOrder(TColumnSortOrder order) {
  sortOrder_ = order;
  SortKeepingSelection();
}

void TFolderEnumerator::SetViewStyle(TViewStyle style) {
  viewStyle_ = style;
  if (!hwnd_) return;
  DWORD view = style == vsIcon ? LVS_ICON : style == vsSmallIcon ? LVS_SMALLICON
               : style == vsList ? LVS_LIST : LVS_REPORT;
  LONG_PTR s = GetWindowLongPtrW(hwnd_, GWL_STYLE);
  SetWindowLongPtrW(hwnd_, GWL_STYLE, (s & ~LVS_TYPEMASK) | view);
}

void TFolderEnumerator::SetMultiSelect(bool on) {
  multiSelect_ = on;
  if (!hwnd_) return;
  LONG_PTR s = GetWindowLongPtrW(hwnd_, GWL_STYLE);
  SetWindowLongPtrW(hwnd_, GWL_STYLE, on ? (s & ~LVS_SINGLESEL) : (s | LVS_SINGLESEL));
}

void TFolderEnumerator::SetFolderColumn(TColumnName column, const TFolderColumn& value) {
  bool visibility = columns_[column].Visible != value.Visible;
  columns_[column] = value;
  BuildColumns();
  if (visibility) Reread();
}

int TFolderEnumerator::ColumnIndex(TColumnName column) const {
  for (size_t i = 0; i < shown_.size(); ++i)
    if (shown_[i] == column) return static_cast<int>(i);
  return -1;
}

void TFolderEnumerator::BuildColumns() {
  shown_.clear();
  for (int c = cnName; c <= cnModified; ++c)
    if (columns_[c].Visible) shown_.push_back(static_cast<TColumnName>(c));
  if (!hwnd_) return;
  while (ListView_DeleteColumn(hwnd_, 0)) {
  }
  for (size_t i = 0; i < shown_.size(); ++i) {
    const TFolderColumn& col = columns_[shown_[i]];
    std::wstring caption = Widen(col.Caption);
    LVCOLUMNW lc{};
    lc.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    lc.fmt = col.Alignment;
    // Widths are design pixels (96 DPI).
    UINT dpi = GetDpiForWindow(hwnd_);
    lc.cx = MulDiv(col.Width, dpi ? static_cast<int>(dpi) : 96, 96);
    lc.pszText = caption.data();
    lc.iSubItem = static_cast<int>(i);
    ListView_InsertColumn(hwnd_, static_cast<int>(i), &lc);
  }
}

// ---- reading the folder ----

bool TFolderEnumerator::SetFolder(const std::string& path) {
  Pidl pidl = ParsePath(path);
  if (!pidl) {
    Clear();
    return false;
  }
  ShowFolder(pidl.get(), DisplayName(DesktopFolder().get(), pidl.get(), SHGDN_FORPARSING));
  return true;
}

void TFolderEnumerator::ShowFolder(PCIDLIST_ABSOLUTE pidl, const std::string& path) {
  bool same = folderId_ && pidl && ILIsEqual(folderId_.get(), pidl);
  if (!same) {
    folderId_ = ClonePidl(pidl);
    SFGAOF attrs = SFGAO_FILESYSTEM;
    SHFILEINFOW info{};
    info.dwAttributes = attrs;
    SHGetFileInfoW(reinterpret_cast<LPCWSTR>(pidl), 0, &info, sizeof(info),
                   SHGFI_PIDL | SHGFI_ATTRIBUTES | SHGFI_ATTR_SPECIFIED);
    folderPath_ = (info.dwAttributes & SFGAO_FILESYSTEM) ? path : std::string();
    RestartMonitor();
  }
  Fill(same);
}

void TFolderEnumerator::Navigate(Pidl pidl, const std::string& path) {
  ShowFolder(pidl.get(), path);
  if (tree_) tree_->ListNavigated(pidl.get(), folderPath_);
}

void TFolderEnumerator::Reread() {
  if (folderId_) Fill(true);
}

void TFolderEnumerator::Clear() {
  items_.clear();
  folderId_.reset();
  folderPath_.clear();
  if (hwnd_) {
    ListView_SetItemCountEx(hwnd_, 0, 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
  RestartMonitor();
}

void TFolderEnumerator::Fill(bool reread) {
  if (!folderId_) return;
  busy_ = true;
  std::wstring keepCaption;
  if (reread && hwnd_) {
    int sel = ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED);
    if (sel >= 0 && sel < ItemCount()) keepCaption = items_[static_cast<size_t>(sel)]->caption;
  }
  items_.clear();
  hidesExtension_.clear();  // the user may have changed the setting meanwhile
  Com<IShellFolder> folder = BindFolder(folderId_.get());
  Com<IEnumIDList> en;
  SHCONTF flags = SHCONTF_NONFOLDERS | (showFolders_ ? SHCONTF_FOLDERS : 0) |
                  (showHidden_ ? SHCONTF_INCLUDEHIDDEN : 0);
  if (folder && folder->EnumObjects(nullptr, flags, en.put()) == S_OK && en) {
    std::string base = folderPath_;
    if (!base.empty() && base.back() != '\\') base += '\\';
    ITEMIDLIST* batch[64];
    ULONG fetched = 0;
    for (;;) {
      HRESULT hr = en->Next(64, batch, &fetched);
      for (ULONG i = 0; i < fetched; ++i) {
        auto e = std::make_unique<Entry>();
        e->child.reset(batch[i]);
        PCUITEMID_CHILD child = e->child.get();
        SFGAOF attrs = SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_LINK | SFGAO_STREAM;
        if (FAILED(folder->GetAttributesOf(1, &child, &attrs))) continue;
        // Archives the shell can browse are files here, as everywhere in the program.
        if ((attrs & SFGAO_STREAM) && (attrs & SFGAO_FILESYSTEM)) attrs &= ~SFGAO_FOLDER;
        e->attrs = attrs;
        if (!showVirtual_ && !e->fileSystem()) continue;
        if (!showFolders_ && e->folder()) continue;
        WIN32_FIND_DATAW fd{};
        if (e->fileSystem() &&
            SUCCEEDED(SHGetDataFromIDListW(folder.get(), child, SHGDFIL_FINDDATA, &fd,
                                           sizeof(fd)))) {
          e->name = fd.cFileName;
          e->fileAttrs = fd.dwFileAttributes;
          e->size = (static_cast<int64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
          e->modified = fd.ftLastWriteTime;
        } else {
          e->name = Widen(DisplayName(folder.get(), child, SHGDN_INFOLDER | SHGDN_FORPARSING));
          if (e->folder()) e->fileAttrs = FILE_ATTRIBUTE_DIRECTORY;
        }
        if (!e->folder() && e->fileSystem() && !MatchesMask(e->name)) continue;
        // A temporary file of ours (left by a process killed during a copy) is no user file.
        if (!e->folder() && e->fileSystem() && e->name.compare(0, 3, L"~tw") == 0 &&
            IsOurTemporaryName(Narrow(e->name)))
          continue;
        if (e->fileSystem())
          e->path = base.empty() ? DisplayName(folder.get(), child, SHGDN_FORPARSING)
                                 : base + Narrow(e->name);
        e->ext = TFileTypeCache::ExtensionOf(e->name);
        e->caption = Caption(folder.get(), *e);
        e->attrText = Widen(AttributesText(e->fileAttrs));
        if (!e->fileSystem()) {
          e->type = CompareStringOrdinal(e->name.c_str(), -1, L"Recycled", -1, TRUE) == CSTR_EQUAL
                        ? L"Recycle Bin" : L"System Folder";
          e->check = kListNoCheckBox;
        } else if (e->folder()) {
          e->type = FolderTypeName();
        } else {
          e->type = fileTypes_.Of(e->ext).type;
        }
        e->order = items_.size();
        items_.push_back(std::move(e));
      }
      if (hr != S_OK || fetched == 0) break;
    }
  }
  Sort();
  if (hwnd_) {
    ListView_SetItemState(hwnd_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemCountEx(hwnd_, static_cast<int>(items_.size()), 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
    if (!keepCaption.empty()) {
      for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i]->caption == keepCaption) {
          SelectItem(static_cast<int>(i));
          break;
        }
    } else if (!items_.empty()) {
      ListView_EnsureVisible(hwnd_, 0, FALSE);
    }
  }
  busy_ = false;
  if (reread && OnRefresh) {
    auto handler = OnRefresh;
    handler(this);
  }
}

std::wstring TFolderEnumerator::Caption(IShellFolder* folder, const Entry& e) {
  // The shell's display name is the costly part of an item (Wine). For a plain file it is the
  // name with or without its extension, decided per file type: ask once per extension.
  bool plain = e.fileSystem() && !e.name.empty() &&
               !(e.fileAttrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM)) &&
               (!e.folder() || e.path.size() > 3);
  if (!plain) return Widen(DisplayName(folder, e.child.get(), SHGDN_INFOLDER));
  std::wstring key = (e.folder() ? L"/" : L"") + Lower(e.ext);
  auto it = hidesExtension_.find(key);
  if (it == hidesExtension_.end()) {
    std::wstring shown = Widen(DisplayName(folder, e.child.get(), SHGDN_INFOLDER));
    if (shown == e.name) {
      it = hidesExtension_.emplace(key, false).first;
    } else if (!e.ext.empty() && shown == e.name.substr(0, e.name.size() - e.ext.size())) {
      it = hidesExtension_.emplace(key, true).first;
    } else {
      return shown;  // a name of its own: nothing to learn for the others
    }
  }
  return it->second ? e.name.substr(0, e.name.size() - e.ext.size()) : e.name;
}

int TFolderEnumerator::Compare(const Entry& a, const Entry& b) const {
  if (a.folder() != b.folder()) return a.folder() ? -1 : 1;
  if (a.fileSystem() != b.fileSystem()) return a.fileSystem() ? 1 : -1;
  int c = 0;
  switch (sortColumn_) {
    case cnName: c = CompareText(a.caption, b.caption); break;
    case cnExtension: c = CompareText(a.ext, b.ext); break;
    case cnAttributes: c = CompareText(a.attrText, b.attrText); break;
    case cnType: c = CompareText(a.type, b.type); break;
    case cnSize: c = a.size > b.size ? -1 : a.size < b.size ? 1 : 0; break;
    case cnModified: c = CompareFileTime(&a.modified, &b.modified); break;
  }
  return sortOrder_ == soDescending ? -c : c;
}

void TFolderEnumerator::Sort() {
  if (sortOrder_ == soUnSorted) {
    std::sort(items_.begin(), items_.end(),
              [](const auto& a, const auto& b) { return a->order < b->order; });
    return;
  }
  std::stable_sort(items_.begin(), items_.end(), [this](const auto& a, const auto& b) {
    int c = Compare(*a, *b);
    return c != 0 ? c < 0 : a->order < b->order;
  });
}

void TFolderEnumerator::SortKeepingSelection() {
  std::unordered_set<const Entry*> selected;
  const Entry* focused = nullptr;
  if (hwnd_) {
    for (int i : SelectedIndexes()) selected.insert(items_[static_cast<size_t>(i)].get());
    int f = ListView_GetNextItem(hwnd_, -1, LVNI_FOCUSED);
    if (f >= 0 && f < ItemCount()) focused = items_[static_cast<size_t>(f)].get();
  }
  Sort();
  if (!hwnd_) return;
  ListView_SetItemState(hwnd_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  for (size_t i = 0; i < items_.size(); ++i) {
    UINT state = (selected.count(items_[i].get()) ? LVIS_SELECTED : 0) |
                 (items_[i].get() == focused ? LVIS_FOCUSED : 0);
    if (state) ListView_SetItemState(hwnd_, static_cast<int>(i), state, state);
  }
  InvalidateRect(hwnd_, nullptr, TRUE);
}

// ---- items ----

TListItemInfo TFolderEnumerator::ItemInfo(int index) const {
  TListItemInfo info;
  if (index < 0 || index >= ItemCount()) return info;
  const Entry& e = *items_[static_cast<size_t>(index)];
  info.FileName = Narrow(e.name);
  info.Caption = Narrow(e.caption);
  info.Path = e.path;
  info.Modified = e.modified;
  info.Attributes = e.attrs;
  info.Size = e.size;
  info.FileAttributes = e.fileAttrs;
  return info;
}

std::wstring TFolderEnumerator::Text(Entry& e, TColumnName column) {
  switch (column) {
    case cnName: return e.caption;
    case cnExtension: return e.ext;
    case cnSize: return e.fileSystem() ? Widen(SizeText(e.size, e.folder())) : std::wstring();
    case cnAttributes: return e.attrText;
    case cnType: return e.type;
    case cnModified: return ModifiedText(e.modified);
  }
  return {};
}

std::string TFolderEnumerator::ColumnText(int index, TColumnName column) {
  if (index < 0 || index >= ItemCount()) return {};
  return Narrow(Text(*items_[static_cast<size_t>(index)], column));
}

int TFolderEnumerator::Icon(Entry& e) {
  if (e.icon >= 0) return e.icon;
  if (e.fileSystem() && e.folder() && e.path.size() > 3) {
    e.icon = PlainFolderIcon(false);
  } else if (e.fileSystem() && !e.folder() && !TFileTypeCache::OwnIcon(e.ext)) {
    e.icon = fileTypes_.Of(e.ext).icon;
  } else {
    Pidl abs = CombinePidl(folderId_.get(), e.child.get());
    e.icon = ItemIcon(abs.get(), false);
  }
  return e.icon;
}

int TFolderEnumerator::CheckState(int index) const {
  if (index < 0 || index >= ItemCount()) return kListNoCheckBox;
  return items_[static_cast<size_t>(index)]->check;
}

void TFolderEnumerator::SetItemCheckState(int index, int state) {
  if (index < 0 || index >= ItemCount() || state < 0 || state > csPartial) return;
  Entry& e = *items_[static_cast<size_t>(index)];
  if (e.check == kListNoCheckBox) return;  // a virtual item never gets a check box
  e.check = state;
  // A hidden list is painted whole when it shows again.
  if (hwnd_ && IsWindowVisible(hwnd_)) ListView_RedrawItems(hwnd_, index, index);
  if (OnCheck) {
    auto handler = OnCheck;
    handler(this, index);
  }
}

std::vector<int> TFolderEnumerator::SelectedIndexes() const {
  std::vector<int> out;
  if (!hwnd_) return out;
  for (int i = ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED); i >= 0 && i < ItemCount();
       i = ListView_GetNextItem(hwnd_, i, LVNI_SELECTED))
    out.push_back(i);
  return out;
}

void TFolderEnumerator::SelectItem(int index, bool only) {
  if (!hwnd_ || index < 0 || index >= ItemCount()) return;
  if (only) ListView_SetItemState(hwnd_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetItemState(hwnd_, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(hwnd_, index, FALSE);
}

void TFolderEnumerator::SelectAll() {
  if (hwnd_ && multiSelect_) ListView_SetItemState(hwnd_, -1, LVIS_SELECTED, LVIS_SELECTED);
}

void TFolderEnumerator::Open(int index) {
  if (index < 0 || index >= ItemCount()) return;
  bool execute = true;
  if (OnDoubleClick) {
    auto handler = OnDoubleClick;
    handler(this, execute);
  }
  if (!execute || index >= ItemCount()) return;
  Entry& e = *items_[static_cast<size_t>(index)];
  Pidl abs = CombinePidl(folderId_.get(), e.child.get());
  if (!abs) return;
  if (e.folder()) {
    std::string path = e.path;
    Navigate(std::move(abs), path);
    return;
  }
  SHELLEXECUTEINFOW sei{};
  sei.cbSize = sizeof(sei);
  sei.fMask = SEE_MASK_IDLIST | SEE_MASK_FLAG_NO_UI;
  sei.hwnd = hwnd_;
  sei.lpIDList = abs.get();
  sei.nShow = SW_SHOWNORMAL;
  ShellExecuteExW(&sei);
}

void TFolderEnumerator::GoUp() {
  if (!folderId_ || ILIsEmpty(folderId_.get())) return;
  Pidl parent = ClonePidl(folderId_.get());
  ILRemoveLastID(parent.get());
  std::string path;
  SHFILEINFOW info{};
  info.dwAttributes = SFGAO_FILESYSTEM;
  SHGetFileInfoW(reinterpret_cast<LPCWSTR>(parent.get()), 0, &info, sizeof(info),
                 SHGFI_PIDL | SHGFI_ATTRIBUTES | SHGFI_ATTR_SPECIFIED);
  if (info.dwAttributes & SFGAO_FILESYSTEM)
    path = DisplayName(DesktopFolder().get(), parent.get(), SHGDN_FORPARSING);
  // A linked list stays within its tree: above the root there is nothing the tree could select.
  if (tree_ && !tree_->Holds(parent.get(), path)) return;
  Navigate(std::move(parent), path);
}

bool TFolderEnumerator::DeleteSelected() {
  std::vector<int> sel = SelectedIndexes();
  if (sel.empty() || !folderId_) return false;
  std::vector<PCUITEMID_CHILD> children;
  for (int i : sel) children.push_back(items_[static_cast<size_t>(i)]->child.get());
  Com<IShellFolder> folder = BindFolder(folderId_.get());
  bool ok = InvokeVerb(hwnd_, folder.get(), children.data(), static_cast<UINT>(children.size()),
                       "delete");
  if (ok) Reread();
  return ok;
}

// ---- monitor ----

void TFolderEnumerator::RestartMonitor() {
  StopMonitor();
  if (hwnd_)
    monitor_ = TChangeNotifyThread::Create(folderPath_.empty() ? "C:\\" : folderPath_, hwnd_,
                                           kListChangeMessage, kChangeFilter);
}

void TFolderEnumerator::StopMonitor() {
  if (!monitor_) return;
  monitor_->Terminate();
  monitor_->PostStop();
  monitor_.reset();
}

// ---- mouse and keys ----

bool TFolderEnumerator::OnStateImage(int item, POINT pt) {
  RECT bounds{}, icon{};
  bounds.left = LVIR_BOUNDS;
  icon.left = LVIR_ICON;
  if (!SendMessageW(hwnd_, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&bounds)) ||
      !SendMessageW(hwnd_, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&icon)))
    return false;
  return pt.y >= bounds.top && pt.y < bounds.bottom && pt.x >= bounds.left && pt.x < icon.left;
}

void TFolderEnumerator::Clicked(int item, POINT pt) {
  if (!checks_ || busy_ || inCheck_ || item < 0 || item >= ItemCount()) return;
  int state = items_[static_cast<size_t>(item)]->check;
  if (state == kListNoCheckBox || !OnStateImage(item, pt)) return;
  inCheck_ = true;
  SetItemCheckState(item, state == csChecked ? csUnchecked : csChecked);
  inCheck_ = false;
}

void TFolderEnumerator::DetachWindow() {
  StopMonitor();
  parentHook_.Detach();
  hwnd_ = nullptr;
}

LRESULT TFolderEnumerator::ListProc(UINT msg, WPARAM wp, LPARAM lp) {
  HWND hwnd = hwnd_;
  switch (msg) {
    case WM_KEYDOWN: {
      bool ctrl = GetKeyState(VK_CONTROL) < 0;
      if (wp == VK_RETURN) {
        Open(ListView_GetNextItem(hwnd, -1, LVNI_FOCUSED));
        return 0;
      }
      if (wp == 'A' && ctrl) {
        SelectAll();
        return 0;
      }
      if (wp == VK_BACK) {
        GoUp();
        return 0;
      }
      if (wp == VK_DELETE) {
        DeleteSelected();
        return 0;
      }
      if (wp == VK_F5) {
        Reread();
        return 0;
      }
      if (wp == VK_TAB) {
        // Only reached where no dialog manager runs the loop: pass the focus on as it would.
        HWND next = GetNextDlgTabItem(GetAncestor(hwnd, GA_ROOT), hwnd, GetKeyState(VK_SHIFT) < 0);
        if (next && next != hwnd) SetFocus(next);
        return 0;
      }
      break;
    }
    case WM_CHAR:
      if (wp == L'\t') return 0;  // the Tab that moved the focus
      break;
    case WM_GETDLGCODE: {
      LRESULT code = DefSubclassProc(hwnd, msg, wp, lp);
      // Enter, Backspace and the rest are the list's own keys; Tab is the dialog manager's, so
      // the focus moves on to the next control.
      auto* key = reinterpret_cast<const MSG*>(lp);
      if (key && key->message == WM_KEYDOWN && key->wParam == VK_TAB)
        return code & ~(DLGC_WANTALLKEYS | DLGC_WANTTAB);
      return code | DLGC_WANTALLKEYS;
    }
    case kListChangeMessage:
      if (AutoRefresh && !busy_) Reread();
      return 0;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, ListSubclass, reinterpret_cast<UINT_PTR>(this));
      DetachWindow();
      return DefSubclassProc(hwnd, msg, wp, lp);
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

bool TFolderEnumerator::ParentNotify(NMHDR* hdr, LRESULT& result) {
  switch (hdr->code) {
    case LVN_GETDISPINFOW: {
      auto* di = reinterpret_cast<NMLVDISPINFOW*>(hdr);
      LVITEMW& it = di->item;
      if (it.iItem < 0 || it.iItem >= ItemCount()) return true;
      Entry& e = *items_[static_cast<size_t>(it.iItem)];
      if ((it.mask & LVIF_TEXT) && it.pszText && it.cchTextMax > 0) {
        TColumnName col = it.iSubItem >= 0 && it.iSubItem < static_cast<int>(shown_.size())
                              ? shown_[static_cast<size_t>(it.iSubItem)] : cnName;
        std::wstring text = Text(e, col);
        lstrcpynW(it.pszText, text.c_str(), it.cchTextMax);
      }
      if ((it.mask & LVIF_IMAGE) && it.iSubItem == 0) it.iImage = Icon(e);
      if (it.mask & LVIF_STATE) {
        UINT state = 0;
        if (checks_ && e.check != kListNoCheckBox) state |= INDEXTOSTATEIMAGEMASK(e.check + 1);
        if (e.attrs & SFGAO_LINK) state |= INDEXTOOVERLAYMASK(2);
        it.state = (it.state & ~(LVIS_STATEIMAGEMASK | LVIS_OVERLAYMASK)) | state;
      }
      result = 0;
      return true;
    }
    case NM_CLICK: {
      auto* nm = reinterpret_cast<NMITEMACTIVATE*>(hdr);
      LVHITTESTINFO ht{};
      ht.pt = nm->ptAction;
      int item = ListView_HitTest(hwnd_, &ht);
      Clicked(item, nm->ptAction);
      return false;
    }
    case NM_DBLCLK: {
      auto* nm = reinterpret_cast<NMITEMACTIVATE*>(hdr);
      LVHITTESTINFO ht{};
      ht.pt = nm->ptAction;
      int item = ListView_HitTest(hwnd_, &ht);
      // A quick second click on a check box is not a request to open the item.
      if (item >= 0 && !(checks_ && OnStateImage(item, nm->ptAction))) Open(item);
      result = 0;
      return true;
    }
    case LVN_COLUMNCLICK: {
      auto* nm = reinterpret_cast<NMLISTVIEW*>(hdr);
      if (ColumnClick && nm->iSubItem >= 0 && nm->iSubItem < static_cast<int>(shown_.size())) {
        TColumnName col = shown_[static_cast<size_t>(nm->iSubItem)];
        if (col == sortColumn_)
          sortOrder_ = sortOrder_ == soAscending ? soDescending : soAscending;
        else
          sortColumn_ = col, sortOrder_ = soAscending;
        SortKeepingSelection();
      }
      result = 0;
      return true;
    }
    case LVN_ITEMCHANGED: {
      auto* nm = reinterpret_cast<NMLISTVIEW*>(hdr);
      if ((nm->uChanged & LVIF_STATE) &&
          ((nm->uNewState ^ nm->uOldState) & LVIS_SELECTED) && OnSelectionChange && !busy_) {
        auto handler = OnSelectionChange;
        handler(this);
      }
      return false;
    }
    case LVN_BEGINLABELEDITW:
      result = TRUE;
      return true;
  }
  return false;
}

LRESULT CALLBACK TFolderEnumerator::ListSubclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp,
                                                 UINT_PTR, DWORD_PTR ref) {
  auto* self = reinterpret_cast<TFolderEnumerator*>(ref);
  if (self->hwnd_ != hwnd) return DefSubclassProc(hwnd, msg, wp, lp);
  return self->ListProc(msg, wp, lp);
}

}  // namespace tw::shellviews
