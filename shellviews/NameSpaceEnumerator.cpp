#include "shellviews/NameSpaceEnumerator.h"

#include <shlwapi.h>
#include <windowsx.h>

#include <algorithm>
#include <unordered_map>

#include "platform/win32/Utf.h"
#include "shellviews/FolderEnumerator.h"

namespace tw::shellviews {

namespace {
constexpr UINT_PTR kSelectionTimer = 1;
constexpr UINT kSelectionDelay = 500;
constexpr DWORD kClickInterval = 1000;

// One time stamp for every tree: a release closer than a second to the last accepted one is
// taken as part of a double-click, not as a second toggle.
DWORD g_lastRelease = 0;
bool g_anyRelease = false;

bool IsBelowOrSame(const std::string& folder, const std::string& path) {
  if (folder.empty() || path.empty()) return false;
  if (SamePath(folder, path)) return true;
  std::string prefix = folder.back() == '\\' ? folder : folder + "\\";
  return path.size() > prefix.size() && SamePath(path.substr(0, prefix.size()), prefix);
}

bool IsDriveRoot(const std::string& path) { return path.size() == 3 && path[1] == ':'; }

int CompareCaptions(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()),
                        b.c_str(), static_cast<int>(b.size())) - CSTR_EQUAL;
}
}  // namespace

struct TNameSpaceEnumerator::Node {
  Node* parent = nullptr;
  std::vector<std::unique_ptr<Node>> children;
  HTREEITEM item = nullptr;
  Pidl id;  // absolute
  std::string caption, path, key;
  std::wstring wcaption;
  SFGAOF attrs = 0;
  int state = 0;
  int index = -1;
  int hasChildren = -1;  // -1: not looked at yet
  int icon = 0, openIcon = 0;
  bool loaded = false;
  bool stale = false;
};

TNameSpaceEnumerator::TNameSpaceEnumerator() { EnsureShell(); }

TNameSpaceEnumerator::~TNameSpaceEnumerator() {
  if (list_) list_->tree_ = nullptr;
  list_ = nullptr;
  StopMonitor();
  parentHook_.Detach();
  if (hwnd_) {
    HWND hwnd = hwnd_;
    KillTimer(hwnd, kSelectionTimer);
    RemoveWindowSubclass(hwnd, TreeSubclass, reinterpret_cast<UINT_PTR>(this));
    hwnd_ = nullptr;
    DestroyWindow(hwnd);
  }
}

bool TNameSpaceEnumerator::Create(HWND parent, int x, int y, int w, int h, int id) {
  if (hwnd_) return true;
  DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | TVS_HASBUTTONS | TVS_HASLINES |
                TVS_LINESATROOT | TVS_SHOWSELALWAYS;
  hwnd_ = CreateWindowExW(0, WC_TREEVIEWW, L"", style, x, y, w, h, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                          GetModuleHandleW(nullptr), nullptr);
  if (!hwnd_) return false;
  SetWindowSubclass(hwnd_, TreeSubclass, reinterpret_cast<UINT_PTR>(this),
                    reinterpret_cast<DWORD_PTR>(this));
  parentHook_.Attach(parent, hwnd_,
                     [this](NMHDR* hdr, LRESULT& result) { return ParentNotify(hdr, result); });
  SendMessageW(hwnd_, WM_SETFONT, SendMessageW(parent, WM_GETFONT, 0, 0), FALSE);
  TreeView_SetImageList(hwnd_, SystemSmallImages(), TVSIL_NORMAL);
  Rebuild();
  if (!monitor_) RestartMonitor("C:\\");
  return true;
}

void TNameSpaceEnumerator::SetCheckBoxes(bool on) {
  if (checkBoxes_ == on) return;
  checkBoxes_ = on;
  Rebuild();
}

void TNameSpaceEnumerator::SetRootedAt(TRootedAt root) {
  rootedAt_ = root;
  Rebuild();
}

void TNameSpaceEnumerator::SetRootFolder(const std::string& path) {
  rootFolder_ = path;
  if (rootedAt_ == raFileSystem) Rebuild();
}

void TNameSpaceEnumerator::SetShowVirtualFolders(bool on) {
  if (showVirtual_ == on) return;
  showVirtual_ = on;
  Rebuild();
}

void TNameSpaceEnumerator::SetIndent(int pixels) {
  if (hwnd_) TreeView_SetIndent(hwnd_, pixels);
}

void TNameSpaceEnumerator::SetFolderEnumerator(TFolderEnumerator* list) {
  if (list_ == list) return;
  if (list_) {
    list_->tree_ = nullptr;
    list_->Clear();
  }
  list_ = list;
  if (!list_) return;
  if (list_->tree_ && list_->tree_ != this) list_->tree_->list_ = nullptr;
  list_->tree_ = this;
  list_->Clear();
  int sel = SelectedIndex();
  if (Node* n = NodeAt(sel)) list_->ShowFolder(n->id.get(), n->path);
}

// ---- structure ----

void TNameSpaceEnumerator::Clear() {
  if (hwnd_) {
    KillTimer(hwnd_, kSelectionTimer);
    SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
    TreeView_DeleteAllItems(hwnd_);
    SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
  }
  root_.reset();
  flat_.clear();
  flatDirty_ = true;
  collapseMark_ = false;
}

void TNameSpaceEnumerator::Rebuild() {
  if (!hwnd_) return;
  Clear();
  TreeView_SetImageList(hwnd_, checkBoxes_ ? CheckImages() : nullptr, TVSIL_STATE);
  Pidl pidl;
  if (rootedAt_ == raFileSystem) {
    pidl = ParsePath(rootFolder_);
    if (!pidl) rootedAt_ = raMyComputer;
  }
  if (!pidl) {
    int csidl = CSIDL_DESKTOP;
    switch (rootedAt_) {
      case raMyComputer: csidl = CSIDL_DRIVES; break;
      case raNetworkNeighbourhood: csidl = CSIDL_NETWORK; break;
      case raStartMenu: csidl = CSIDL_STARTMENU; break;
      case raProgramFiles: csidl = CSIDL_PROGRAMS; break;
      default: break;
    }
    ITEMIDLIST* raw = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &raw)) || !raw) {
      rootedAt_ = raMyComputer;
      SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &raw);
    }
    pidl.reset(raw);
  }
  if (!pidl) return;
  auto node = std::make_unique<Node>();
  SHFILEINFOW info{};
  info.dwAttributes = SFGAO_FILESYSTEM | SFGAO_FOLDER | SFGAO_HASSUBFOLDER;
  SHGetFileInfoW(reinterpret_cast<LPCWSTR>(pidl.get()), 0, &info, sizeof(info),
                 SHGFI_PIDL | SHGFI_DISPLAYNAME | SHGFI_ATTRIBUTES | SHGFI_ATTR_SPECIFIED);
  node->attrs = info.dwAttributes;
  node->wcaption = info.szDisplayName;
  node->caption = Narrow(node->wcaption);
  bool virtualRoot = rootedAt_ == raDesktop || rootedAt_ == raMyComputer ||
                     rootedAt_ == raNetworkNeighbourhood;
  if (!virtualRoot && (node->attrs & SFGAO_FILESYSTEM))
    node->path = DisplayName(DesktopFolder().get(), pidl.get(), SHGDN_FORPARSING);
  node->icon = ItemIcon(pidl.get(), false);
  node->openIcon = ItemIcon(pidl.get(), true);
  node->hasChildren = 1;
  node->id = std::move(pidl);
  node->state = checkBoxes_ && !virtualRoot && !node->path.empty() ? csUnchecked : csNoCheckBox;
  root_ = std::move(node);
  InsertNode(nullptr, root_.get(), TVI_LAST);
  flatDirty_ = true;
  // The old items are gone and nothing is selected: select the new root at once, so the linked
  // list and the program leave the previous root's folder behind.
  if (root_->item) {
    TreeView_SelectItem(hwnd_, root_->item);
    SelectionSettled();
  }
}

void TNameSpaceEnumerator::EnsureIndex() {
  if (!flatDirty_) return;
  flat_.clear();
  byItem_.clear();
  if (root_) {
    std::vector<Node*> stack{root_.get()};
    while (!stack.empty()) {
      Node* n = stack.back();
      stack.pop_back();
      n->index = static_cast<int>(flat_.size());
      flat_.push_back(n);
      if (n->item) byItem_[n->item] = n;
      for (auto it = n->children.rbegin(); it != n->children.rend(); ++it)
        stack.push_back(it->get());
    }
  }
  flatDirty_ = false;
}

TNameSpaceEnumerator::Node* TNameSpaceEnumerator::NodeAt(int index) {
  EnsureIndex();
  if (index < 0 || index >= static_cast<int>(flat_.size())) return nullptr;
  return flat_[static_cast<size_t>(index)];
}

HTREEITEM TNameSpaceEnumerator::InsertNode(Node* parent, Node* node, HTREEITEM after) {
  if (!hwnd_ || (parent && !parent->item)) return nullptr;
  TVINSERTSTRUCTW ins{};
  ins.hParent = parent ? parent->item : TVI_ROOT;
  ins.hInsertAfter = after;
  ins.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN | TVIF_PARAM |
                  TVIF_STATE;
  // The tree asks for the text when it needs it: measuring every label on insertion makes
  // big folders slow (Wine).
  ins.item.pszText = LPSTR_TEXTCALLBACKW;
  ins.item.iImage = node->icon;
  ins.item.iSelectedImage = node->openIcon;
  ins.item.cChildren = node->hasChildren < 0 ? I_CHILDRENCALLBACK : node->hasChildren;
  ins.item.lParam = reinterpret_cast<LPARAM>(node);
  ins.item.stateMask = TVIS_STATEIMAGEMASK;
  ins.item.state = INDEXTOSTATEIMAGEMASK(node->state);
  node->item = TreeView_InsertItem(hwnd_, &ins);
  return node->item;
}

std::unique_ptr<TNameSpaceEnumerator::Node> TNameSpaceEnumerator::MakeChild(
    Node* parent, IShellFolder* folder, PCUITEMID_CHILD child, SFGAOF attrs) {
  auto node = std::make_unique<Node>();
  node->parent = parent;
  node->attrs = attrs;
  node->id = CombinePidl(parent->id.get(), child);
  node->key = DisplayName(folder, child, SHGDN_INFOLDER | SHGDN_FORPARSING);
  bool fs = (attrs & SFGAO_FILESYSTEM) != 0;
  // The shell's display name costs more than the rest of an item together (Wine). A plain
  // folder shows its own name; read-only or system folders may carry a display name of their
  // own, so only those ask the shell.
  WIN32_FIND_DATAW fd{};
  if (fs && !parent->path.empty() &&
      SUCCEEDED(SHGetDataFromIDListW(folder, child, SHGDFIL_FINDDATA, &fd, sizeof(fd))) &&
      !(fd.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM)) && fd.cFileName[0])
    node->caption = Narrow(fd.cFileName);
  else
    node->caption = DisplayName(folder, child, SHGDN_INFOLDER);
  node->wcaption = Widen(node->caption);
  if (fs) {
    // Below a file-system folder the path is the parent's plus the parsing name: one shell call
    // less per item, which matters in folders of thousands.
    if (!parent->path.empty() && !node->key.empty() && node->key.find('\\') == std::string::npos)
      node->path = (parent->path.back() == '\\' ? parent->path : parent->path + "\\") + node->key;
    else
      node->path = DisplayName(folder, child, SHGDN_FORPARSING);
  }
  if (fs && !parent->path.empty() && !IsDriveRoot(node->path)) {
    node->icon = PlainFolderIcon(false);
    node->openIcon = PlainFolderIcon(true);
  } else {
    node->icon = ItemIcon(node->id.get(), false);
    node->openIcon = ItemIcon(node->id.get(), true);
  }
  // The shell's has-subfolders flag is set on every file-system folder (Wine): look for
  // ourselves, but only when the item is drawn.
  node->hasChildren = fs ? -1 : ((attrs & SFGAO_HASSUBFOLDER) ? 1 : 0);
  // An item without a path never has a check box, whatever an OnBeforeCheck handler allows later.
  node->state = checkBoxes_ && !node->path.empty() ? csUnchecked : csNoCheckBox;
  return node;
}

namespace {
struct Listed {
  Pidl child;
  SFGAOF attrs;
};

std::vector<Listed> ListFolders(IShellFolder* folder, bool showVirtual) {
  std::vector<Listed> out;
  if (!folder) return out;
  Com<IEnumIDList> en;
  if (folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, en.put()) != S_OK ||
      !en)
    return out;
  ITEMIDLIST* batch[64];
  ULONG fetched = 0;
  for (;;) {
    HRESULT hr = en->Next(64, batch, &fetched);
    for (ULONG i = 0; i < fetched; ++i) {
      Pidl child(batch[i]);
      SFGAOF attrs = SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR | SFGAO_FOLDER |
                     SFGAO_HASSUBFOLDER | SFGAO_STREAM;
      PCUITEMID_CHILD item = child.get();
      if (FAILED(folder->GetAttributesOf(1, &item, &attrs))) continue;
      if (!(attrs & SFGAO_FOLDER)) continue;
      // Archives that the shell browses as folders are files to the rest of the program.
      if ((attrs & SFGAO_STREAM) && (attrs & SFGAO_FILESYSTEM)) continue;
      if (!showVirtual && !(attrs & (SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR))) continue;
      out.push_back({std::move(child), attrs});
    }
    if (hr != S_OK || fetched == 0) break;
  }
  return out;
}
}  // namespace

void TNameSpaceEnumerator::LoadChildren(Node* node) {
  node->loaded = true;
  node->stale = false;
  Com<IShellFolder> folder = BindFolder(node->id.get());
  std::vector<Listed> listed = ListFolders(folder.get(), showVirtual_);
  std::vector<std::unique_ptr<Node>> kids;
  kids.reserve(listed.size());
  for (auto& l : listed) kids.push_back(MakeChild(node, folder.get(), l.child.get(), l.attrs));
  if (!node->path.empty())
    std::stable_sort(kids.begin(), kids.end(), [](const auto& a, const auto& b) {
      return CompareCaptions(a->wcaption, b->wcaption) < 0;
    });
  // The new items take their states before they enter the control: each state change of a
  // shown item costs the control a re-layout, which adds up in folders of thousands.
  std::vector<Node*> added;
  added.reserve(kids.size());
  for (auto& k : kids) {
    added.push_back(k.get());
    node->children.push_back(std::move(k));
  }
  flatDirty_ = true;
  ApplyNewChildStates(node, added);
  if (!hwnd_ || !node->item) return;
  SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
  for (auto& c : node->children)
    if (!c->item) InsertNode(node, c.get(), TVI_LAST);
  SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
  node->hasChildren = node->children.empty() ? 0 : 1;
  TVITEMW item{};
  item.mask = TVIF_CHILDREN;
  item.hItem = node->item;
  item.cChildren = node->hasChildren;
  TreeView_SetItem(hwnd_, &item);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void TNameSpaceEnumerator::ApplyNewChildStates(Node* parent, const std::vector<Node*>& added) {
  if (!checkBoxes_) return;
  for (Node* c : added) {
    EnsureIndex();
    SetCheckState(c->index, csNew);
    int ps = parent->state;
    if (ps == csChecked || ps == csUnchecked) {
      EnsureIndex();
      SetCheckState(c->index, ps);
    }
  }
}

void TNameSpaceEnumerator::RemoveNode(Node* node) {
  Node* parent = node->parent;
  if (!parent) return;
  if (node->item) TreeView_DeleteItem(hwnd_, node->item);
  auto& kids = parent->children;
  kids.erase(std::remove_if(kids.begin(), kids.end(),
                            [node](const auto& k) { return k.get() == node; }),
             kids.end());
  flatDirty_ = true;
}

void TNameSpaceEnumerator::RefreshNode(Node* node) {
  Com<IShellFolder> folder = BindFolder(node->id.get());
  std::vector<Listed> listed = ListFolders(folder.get(), showVirtual_);
  std::unordered_map<std::string, size_t> fresh;
  std::vector<std::string> keys(listed.size());
  for (size_t i = 0; i < listed.size(); ++i) {
    keys[i] = DisplayName(folder.get(), listed[i].child.get(), SHGDN_INFOLDER | SHGDN_FORPARSING);
    fresh.emplace(keys[i], i);
  }
  // Items whose folders are gone leave; the others stay with their states.
  std::vector<Node*> gone;
  std::unordered_map<std::string, Node*> kept;
  for (auto& c : node->children) {
    if (fresh.count(c->key)) kept.emplace(c->key, c.get());
    else gone.push_back(c.get());
  }
  if (!gone.empty()) SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
  for (Node* g : gone) RemoveNode(g);
  std::vector<std::unique_ptr<Node>> kids;
  for (size_t i = 0; i < listed.size(); ++i)
    if (!kept.count(keys[i]))
      kids.push_back(MakeChild(node, folder.get(), listed[i].child.get(), listed[i].attrs));
  if (!gone.empty()) SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
  if (kids.empty()) {
    if (!gone.empty()) InvalidateRect(hwnd_, nullptr, TRUE);
    return;
  }
  std::vector<Node*> added;
  for (auto& k : kids) added.push_back(k.get());
  for (auto& k : kids) node->children.push_back(std::move(k));
  if (!node->path.empty())
    std::stable_sort(node->children.begin(), node->children.end(),
                     [](const auto& a, const auto& b) {
                       return CompareCaptions(a->wcaption, b->wcaption) < 0;
                     });
  flatDirty_ = true;
  ApplyNewChildStates(node, added);
  if (!hwnd_ || !node->item) return;
  HTREEITEM after = TVI_FIRST;
  for (auto& c : node->children) {
    if (!c->item) InsertNode(node, c.get(), after);
    if (c->item) after = c->item;
  }
  node->hasChildren = 1;
  TVITEMW item{};
  item.mask = TVIF_CHILDREN;
  item.hItem = node->item;
  item.cChildren = 1;
  TreeView_SetItem(hwnd_, &item);
}

bool TNameSpaceEnumerator::HasSubfolders(Node* node) {
  if (node->loaded) return !node->children.empty();
  if (node->hasChildren >= 0) return node->hasChildren != 0;
  node->hasChildren = 0;
  std::wstring dir;
  if (ExtendedPath(node->path, dir) != winerr::Success) return false;
  if (dir.back() != L'\\') dir += L'\\';
  dir += L'*';
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileExW(dir.c_str(), FindExInfoBasic, &fd, FindExSearchLimitToDirectories,
                              nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) return false;
  do {
    if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && wcscmp(fd.cFileName, L".") != 0 &&
        wcscmp(fd.cFileName, L"..") != 0) {
      node->hasChildren = 1;
      break;
    }
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return node->hasChildren != 0;
}

// ---- queries ----

int TNameSpaceEnumerator::ItemCount() {
  EnsureIndex();
  return static_cast<int>(flat_.size());
}

int TNameSpaceEnumerator::IndexOf(HTREEITEM item) {
  if (!item || !hwnd_) return -1;
  EnsureIndex();
  auto known = byItem_.find(item);
  if (known != byItem_.end()) return known->second->index;
  TVITEMW tv{};
  tv.mask = TVIF_PARAM;
  tv.hItem = item;
  if (!TreeView_GetItem(hwnd_, &tv) || !tv.lParam) return -1;
  EnsureIndex();
  return reinterpret_cast<Node*>(tv.lParam)->index;
}

HTREEITEM TNameSpaceEnumerator::ItemHandle(int index) {
  Node* n = NodeAt(index);
  return n ? n->item : nullptr;
}

int TNameSpaceEnumerator::SelectedIndex() {
  return hwnd_ ? IndexOf(TreeView_GetSelection(hwnd_)) : -1;
}

std::string TNameSpaceEnumerator::SelectedPath() {
  Node* n = NodeAt(SelectedIndex());
  return n ? n->path : std::string();
}

TTreeItemInfo TNameSpaceEnumerator::ItemInfo(int index) {
  TTreeItemInfo info;
  if (Node* n = NodeAt(index)) {
    info.Caption = n->caption;
    info.Path = n->path;
    info.Id = n->id.get();
    info.Attributes = n->attrs;
  }
  return info;
}

int TNameSpaceEnumerator::ParentIndex(int index) {
  Node* n = NodeAt(index);
  return n && n->parent ? n->parent->index : -1;
}

std::vector<int> TNameSpaceEnumerator::ChildIndexes(int index) {
  std::vector<int> out;
  if (Node* n = NodeAt(index))
    for (auto& c : n->children) out.push_back(c->index);
  return out;
}

bool TNameSpaceEnumerator::IsExpanded(int index) {
  Node* n = NodeAt(index);
  return n && NodeExpanded(n);
}

bool TNameSpaceEnumerator::NodeExpanded(Node* node) {
  return hwnd_ && node->item &&
         (TreeView_GetItemState(hwnd_, node->item, TVIS_EXPANDED) & TVIS_EXPANDED);
}

int TNameSpaceEnumerator::FindPath(const std::string& path) {
  EnsureIndex();
  for (Node* n : flat_)
    if (!n->path.empty() && SamePath(n->path, path)) return n->index;
  return -1;
}

// ---- check states ----

int TNameSpaceEnumerator::CheckState(int index) {
  Node* n = NodeAt(index);
  return n ? n->state : csNoCheckBox;
}

void TNameSpaceEnumerator::ShowState(Node* node) {
  if (!hwnd_ || !node->item) return;
  TreeView_SetItemState(hwnd_, node->item, INDEXTOSTATEIMAGEMASK(node->state),
                        TVIS_STATEIMAGEMASK);
}

void TNameSpaceEnumerator::SetCheckState(int index, int state) {
  Node* n = NodeAt(index);
  if (!n || state < csNoCheckBox || state > csPartial) return;
  if (n->state == state) return;
  if (n->path.empty() || !checkBoxes_) state = csNoCheckBox;
  if (n->state == state) return;  // an item without check box keeps having none, silently
  if (OnBeforeCheck) {
    bool allow = true;
    auto handler = OnBeforeCheck;
    handler(this, index, n->state, state, allow);
    if (!allow) return;
  }
  n->state = state;
  ShowState(n);
  if (OnAfterCheck) {
    auto handler = OnAfterCheck;
    EnsureIndex();
    handler(this, n->index, state);
  }
}

void TNameSpaceEnumerator::SetCheckStateWithChildren(int index, int state) {
  Node* n = NodeAt(index);
  if (!n) return;
  SetCheckState(index, state);
  std::vector<HTREEITEM> items;
  for (auto& c : n->children) items.push_back(c->item);
  for (HTREEITEM item : items) {
    int i = IndexOf(item);  // handlers may have changed the tree meanwhile
    if (i >= 0) SetCheckState(i, state);
  }
}

void TNameSpaceEnumerator::WalkChildren(int index, int state) {
  Node* n = NodeAt(index);
  if (!n) return;
  std::vector<HTREEITEM> items;
  for (auto& c : n->children) items.push_back(c->item);
  for (HTREEITEM item : items) {
    if (!ChildWalkCallback) break;
    int i = IndexOf(item);
    if (i < 0) continue;
    auto hook = ChildWalkCallback;  // the callback may replace the hook
    hook(this, i, state);
  }
}

void TNameSpaceEnumerator::NotifyParent(int index, int state) {
  Node* n = NodeAt(index);
  if (!n || !n->parent || !ParentCallback) return;
  auto hook = ParentCallback;
  hook(this, n->parent->index, state);
}

// ---- expansion and selection ----

void TNameSpaceEnumerator::ExpandNode(Node* node, bool recurse) {
  if (!node->item) return;  // still being added to the control
  EnsureIndex();
  int index = node->index;
  bool was = inExpand_;
  inExpand_ = true;
  if (OnExpand) {
    auto handler = OnExpand;
    handler(this, index);
  }
  if (!node->loaded) LoadChildren(node);
  else if (node->stale) {
    node->stale = false;
    RefreshNode(node);
  }
  if (!node->children.empty()) TreeView_Expand(hwnd_, node->item, TVE_EXPAND);
  inExpand_ = was;
  if (OnExpanded) {
    auto handler = OnExpanded;
    EnsureIndex();
    handler(this, node->index);
  }
  if (recurse) {
    std::vector<HTREEITEM> items;
    for (auto& c : node->children)
      if (c->loaded) items.push_back(c->item);
    for (HTREEITEM item : items)
      if (Node* c = NodeAt(IndexOf(item))) ExpandNode(c, true);
  }
}

void TNameSpaceEnumerator::CollapseNode(Node* node, bool recurse) {
  if (recurse)
    for (auto& c : node->children)
      if (c->loaded) CollapseNode(c.get(), true);
  bool was = inExpand_;
  inExpand_ = true;
  TreeView_Expand(hwnd_, node->item, TVE_COLLAPSE);
  inExpand_ = was;
  collapseMark_ = true;
}

void TNameSpaceEnumerator::Expand(int index, bool recurse) {
  if (Node* n = NodeAt(index)) ExpandNode(n, recurse);
}

void TNameSpaceEnumerator::Collapse(int index, bool recurse) {
  if (Node* n = NodeAt(index)) CollapseNode(n, recurse);
}

void TNameSpaceEnumerator::Select(int index) {
  if (Node* n = NodeAt(index)) TreeView_SelectItem(hwnd_, n->item);
}

bool TNameSpaceEnumerator::SelectPath(const std::string& path) {
  Node* n = root_.get();
  if (!n || path.empty()) return false;
  Pidl target = ParsePath(path);
  while (!(n->path.size() && SamePath(n->path, path))) {
    if (!n->path.empty() && !IsBelowOrSame(n->path, path)) return false;
    if (!n->loaded || !NodeExpanded(n)) ExpandNode(n, false);
    Node* next = nullptr;
    for (auto& c : n->children)
      if (IsBelowOrSame(c->path, path)) {
        next = c.get();
        break;
      }
    if (!next && target)
      for (auto& c : n->children)
        if (c->path.empty() && ILIsParent(c->id.get(), target.get(), FALSE)) {
          next = c.get();
          break;
        }
    if (!next) return false;
    n = next;
  }
  TreeView_SelectItem(hwnd_, n->item);
  TreeView_EnsureVisible(hwnd_, n->item);
  return true;
}

void TNameSpaceEnumerator::ListNavigated(PCIDLIST_ABSOLUTE pidl, const std::string& path) {
  int before = SelectedIndex();
  listFollowPath_ = path;
  bool found = false;
  if (!path.empty()) {
    found = SelectPath(path);
  } else {
    EnsureIndex();
    for (Node* n : flat_)
      if (ILIsEqual(n->id.get(), pidl)) {
        TreeView_SelectItem(hwnd_, n->item);
        found = true;
        break;
      }
  }
  if (!found || SelectedIndex() == before) listFollowPath_.clear();
}

void TNameSpaceEnumerator::Refresh() {
  if (!root_) return;
  std::vector<HTREEITEM> order;
  // Parents first, so a removed folder's children are never visited.
  std::vector<Node*> stack{root_.get()};
  while (!stack.empty()) {
    Node* n = stack.back();
    stack.pop_back();
    if (!n->loaded) continue;
    // Ask the node itself: indexes read now may predate removals made by this refresh.
    if (NodeExpanded(n)) {
      RefreshNode(n);
      for (auto it = n->children.rbegin(); it != n->children.rend(); ++it)
        stack.push_back(it->get());
    } else {
      n->stale = true;  // re-read when it is next expanded
    }
  }
  InvalidateRect(hwnd_, nullptr, TRUE);
  if (OnRefresh) {
    auto handler = OnRefresh;
    handler(this);
  }
}

bool TNameSpaceEnumerator::DeleteSelected() {
  Node* n = NodeAt(SelectedIndex());
  if (!n || !n->parent) return false;
  Com<IShellFolder> folder = BindFolder(n->parent->id.get());
  PCUITEMID_CHILD child = ILFindLastID(n->id.get());
  Node* parent = n->parent;
  bool ok = InvokeVerb(hwnd_, folder.get(), &child, 1, "delete");
  if (ok && hwnd_) RefreshNode(parent);
  return ok;
}

bool TNameSpaceEnumerator::Holds(PCIDLIST_ABSOLUTE pidl, const std::string& path) {
  if (!root_ || !pidl) return false;
  if (!root_->path.empty() && !path.empty()) return IsBelowOrSame(root_->path, path);
  return ILIsEqual(root_->id.get(), pidl) || ILIsParent(root_->id.get(), pidl, FALSE);
}

void TNameSpaceEnumerator::ResetClickTime() { g_anyRelease = false; }

void TNameSpaceEnumerator::SelectionSettled() {
  timerRunning_ = false;
  KillTimer(hwnd_, kSelectionTimer);
  Node* n = NodeAt(SelectedIndex());
  RestartMonitor(n && !n->path.empty() ? n->path : "C:\\");
  if (list_ && n) {
    if (listFollowPath_.empty() || !SamePath(listFollowPath_, n->path))
      list_->ShowFolder(n->id.get(), n->path);
  }
  listFollowPath_.clear();
  if (OnSelectionChange) {
    auto handler = OnSelectionChange;
    handler(this);
  }
}

void TNameSpaceEnumerator::RestartMonitor(const std::string& path) {
  StopMonitor();
  if (hwnd_) monitor_ = TChangeNotifyThread::Create(path, hwnd_, kTreeChangeMessage, kChangeFilter);
}

void TNameSpaceEnumerator::StopMonitor() {
  if (monitor_) monitor_->Terminate();
  monitor_.reset();
}

void TNameSpaceEnumerator::ButtonReleased(POINT pt) {
  DWORD now = GetTickCount();
  if (g_anyRelease && now - g_lastRelease < kClickInterval) return;
  g_anyRelease = true;
  g_lastRelease = now;
  if (collapseMark_) {
    // The collapse may have moved another item's check box under the pointer.
    collapseMark_ = false;
    return;
  }
  TVHITTESTINFO ht{};
  ht.pt = pt;
  TreeView_HitTest(hwnd_, &ht);
  if (!ht.hItem || !(ht.flags & TVHT_ONITEMSTATEICON)) return;
  int index = IndexOf(ht.hItem);
  if (index < 0) return;
  SetCheckState(index, CheckState(index) == csChecked ? csUnchecked : csChecked);
}

void TNameSpaceEnumerator::DetachWindow() {
  StopMonitor();
  if (hwnd_) KillTimer(hwnd_, kSelectionTimer);
  parentHook_.Detach();
  hwnd_ = nullptr;
  root_.reset();
  flat_.clear();
  flatDirty_ = true;
}

// ---- window procedures ----

LRESULT TNameSpaceEnumerator::TreeProc(UINT msg, WPARAM wp, LPARAM lp) {
  HWND hwnd = hwnd_;
  switch (msg) {
    case WM_LBUTTONDOWN: {
      clickSeen_ = false;
      LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
      // The tree tracks the button until it is released and reports the click; only then is
      // the release ours to judge.
      if (clickSeen_ && checkBoxes_ && hwnd_) {
        clickSeen_ = false;
        ButtonReleased(POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
      }
      return r;
    }
    case WM_KEYDOWN:
      if (wp == VK_F5) {
        Refresh();
        return 0;
      }
      if (wp == VK_DELETE) {
        DeleteSelected();
        return 0;
      }
      break;
    case WM_TIMER:
      if (wp == kSelectionTimer) {
        SelectionSettled();
        return 0;
      }
      break;
    case kTreeChangeMessage:
      if (AutoRefresh) Refresh();
      return 0;
    case WM_NCDESTROY: {
      RemoveWindowSubclass(hwnd, TreeSubclass, reinterpret_cast<UINT_PTR>(this));
      DetachWindow();
      return DefSubclassProc(hwnd, msg, wp, lp);
    }
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

bool TNameSpaceEnumerator::ParentNotify(NMHDR* hdr, LRESULT& result) {
  switch (hdr->code) {
    case NM_CLICK:
      clickSeen_ = true;
      return false;
    case TVN_ITEMEXPANDINGW:
    case TVN_ITEMEXPANDINGA: {
      auto* nm = reinterpret_cast<NMTREEVIEWW*>(hdr);
      if (inExpand_ || !(nm->action & TVE_EXPAND)) return false;
      Node* n = reinterpret_cast<Node*>(nm->itemNew.lParam);
      if (!n) return false;
      EnsureIndex();
      if (OnExpand) {
        auto handler = OnExpand;
        handler(this, n->index);
      }
      if (!n->loaded) LoadChildren(n);
      else if (n->stale) {
        n->stale = false;
        RefreshNode(n);
      }
      if (n->children.empty()) {
        // Nothing to show: the tree will not expand, but the expansion is over all the same.
        if (OnExpanded) {
          auto handler = OnExpanded;
          EnsureIndex();
          handler(this, n->index);
        }
        result = TRUE;
        return true;
      }
      result = FALSE;
      return true;
    }
    case TVN_ITEMEXPANDEDW:
    case TVN_ITEMEXPANDEDA: {
      auto* nm = reinterpret_cast<NMTREEVIEWW*>(hdr);
      if (inExpand_) return false;
      if (nm->action & TVE_COLLAPSE) {
        collapseMark_ = true;
      } else if (Node* n = reinterpret_cast<Node*>(nm->itemNew.lParam); n && OnExpanded) {
        auto handler = OnExpanded;
        EnsureIndex();
        handler(this, n->index);
      }
      result = 0;
      return true;
    }
    case TVN_SELCHANGEDW:
    case TVN_SELCHANGEDA:
      timerRunning_ = true;
      SetTimer(hwnd_, kSelectionTimer, kSelectionDelay, nullptr);
      result = 0;
      return true;
    case TVN_GETDISPINFOW:
    case TVN_GETDISPINFOA: {
      auto* di = reinterpret_cast<NMTVDISPINFOW*>(hdr);
      Node* n = reinterpret_cast<Node*>(di->item.lParam);
      if (n && (di->item.mask & TVIF_CHILDREN)) di->item.cChildren = HasSubfolders(n) ? 1 : 0;
      if (n && (di->item.mask & TVIF_TEXT) && di->item.pszText && di->item.cchTextMax > 0) {
        if (hdr->code == TVN_GETDISPINFOW)
          lstrcpynW(di->item.pszText, n->wcaption.c_str(), di->item.cchTextMax);
        else
          lstrcpynA(reinterpret_cast<char*>(di->item.pszText), Narrow(n->wcaption).c_str(),
                    di->item.cchTextMax);
      }
      result = 0;
      return true;
    }
    case TVN_BEGINLABELEDITW:
    case TVN_BEGINLABELEDITA:
      result = TRUE;  // no renaming here
      return true;
  }
  return false;
}

LRESULT CALLBACK TNameSpaceEnumerator::TreeSubclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp,
                                                    UINT_PTR, DWORD_PTR ref) {
  auto* self = reinterpret_cast<TNameSpaceEnumerator*>(ref);
  if (self->hwnd_ != hwnd) return DefSubclassProc(hwnd, msg, wp, lp);
  return self->TreeProc(msg, wp, lp);
}

}  // namespace tw::shellviews
