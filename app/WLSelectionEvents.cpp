#include "app/WLSelectionEvents.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "app/WLSelecting.h"
#include "platform/win32/Utf.h"

namespace tw {

using shellviews::csChecked;
using shellviews::csNew;
using shellviews::csNoCheckBox;
using shellviews::csPartial;
using shellviews::csUnchecked;
using shellviews::kListNoCheckBox;
using shellviews::SamePath;
using shellviews::TFolderEnumerator;
using shellviews::TNameSpaceEnumerator;

namespace {

// Lets waiting window messages run during a scan: the busy dialog animates and the timer puts
// the growing counts on screen.
void PumpPending() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// The busy dialog for the length of a scan; shown and hidden in pairs.
class TBusy {
 public:
  explicit TBusy(bool show) : shown_(show && fWLSelecting) {
    if (shown_) fWLSelecting->BeginSelecting();
  }
  ~TBusy() {
    if (shown_ && fWLSelecting) fWLSelecting->EndSelecting();
  }
  TBusy(const TBusy&) = delete;
  TBusy& operator=(const TBusy&) = delete;

 private:
  bool shown_;
};

// A window disabled (and, for the list, not repainted) for the length of a scan, then given
// back as it was.
class TDisabled {
 public:
  TDisabled(HWND hwnd, bool freeze) : hwnd_(hwnd && IsWindow(hwnd) ? hwnd : nullptr) {
    if (!hwnd_) return;
    frozen_ = freeze && IsWindowVisible(hwnd_);
    if (frozen_) SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
    wasEnabled_ = !EnableWindow(hwnd_, FALSE);
  }
  ~TDisabled() {
    if (!hwnd_ || !IsWindow(hwnd_)) return;
    if (wasEnabled_) EnableWindow(hwnd_, TRUE);
    if (frozen_) {
      SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
      InvalidateRect(hwnd_, nullptr, TRUE);
    }
  }
  TDisabled(const TDisabled&) = delete;
  TDisabled& operator=(const TDisabled&) = delete;

 private:
  HWND hwnd_;
  bool wasEnabled_ = false;
  bool frozen_ = false;
};

// Many check marks changed at once. A shown tree recomputes its scroll bars at every state
// change, which costs milliseconds per item under Wine (seconds for a folder of a few hundred
// subfolders); while the window is hidden it does not, so the marks are set that way and the
// tree is repainted once after. It is hidden with ShowWindow: changing WS_VISIBLE through the
// style makes the tree measure every item again on the way in and out (about 150 ms for 200
// loaded folders). Nothing paints in between, so nothing flickers. Nested batches leave it to
// the outermost one.
class TTreeBatch {
 public:
  explicit TTreeBatch(HWND tree) {
    if (!tree || !IsWindow(tree) || !(GetWindowLongPtrW(tree, GWL_STYLE) & WS_VISIBLE)) return;
    hwnd_ = tree;
    hadFocus_ = GetFocus() == tree;  // a hidden window gives its focus to its parent
    ShowWindow(tree, SW_HIDE);
  }
  ~TTreeBatch() {
    if (!hwnd_ || !IsWindow(hwnd_)) return;
    ShowWindow(hwnd_, SW_SHOWNA);
    if (hadFocus_) SetFocus(hwnd_);
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
  }
  TTreeBatch(const TTreeBatch&) = delete;
  TTreeBatch& operator=(const TTreeBatch&) = delete;

 private:
  HWND hwnd_ = nullptr;
  bool hadFocus_ = false;
};

bool AllChildrenWhole(const TWLNode& node) {
  for (int i = 0; i < node.ChildCount(); ++i)
    if (!node.Child(i)->AllSelected()) return false;
  return true;
}

// The state a folder's node earns against the entries of the folder on disk: checked only when
// everything there has an entry and every subfolder's node is whole, partly checked while it
// holds anything else, unchecked when empty.
int EarnedState(const TWLNode& node, int entriesOnDisk) {
  const int selected = node.ChildCount() + node.FileCount();
  if (selected >= entriesOnDisk && AllChildrenWhole(node)) return csChecked;
  return selected > 0 ? csPartial : csUnchecked;
}

}  // namespace

std::string WholeNumberText(int64_t value) {
  wchar_t decimal[8] = L".", thousand[8] = L",", grouping[16] = L"3;0";
  GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 8);
  GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, thousand, 8);
  GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SGROUPING, grouping, 16);
  DWORD negative = 1;
  GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_INEGNUMBER | LOCALE_RETURN_NUMBER,
                  reinterpret_cast<LPWSTR>(&negative), sizeof(negative) / sizeof(wchar_t));
  // "3;0" repeats groups of 3 (NUMBERFMT's 3), "3;2;0" is 32, a plain "3" groups once (30).
  std::wstring g = grouping;
  UINT group = 0;
  bool repeat = g.size() >= 2 && g.compare(g.size() - 2, 2, L";0") == 0;
  if (repeat) g.resize(g.size() - 2);
  for (wchar_t c : g)
    if (c >= L'0' && c <= L'9') group = group * 10 + static_cast<UINT>(c - L'0');
  if (!repeat && group) group *= 10;
  NUMBERFMTW fmt{};
  fmt.NumDigits = 0;
  fmt.LeadingZero = 1;
  fmt.Grouping = group;
  fmt.lpDecimalSep = decimal;
  fmt.lpThousandSep = thousand;
  fmt.NegativeOrder = negative;
  std::wstring digits = std::to_wstring(value);
  wchar_t out[64] = {};
  if (!GetNumberFormatEx(LOCALE_NAME_USER_DEFAULT, 0, digits.c_str(), &fmt, out, 64))
    return Narrow(digits);
  return Narrow(out);
}

std::string SelectedFilesText(int64_t count) {
  return WholeNumberText(count) + " Selected File(s)";
}

std::string KilobytesText(int64_t bytes) {
  // 1 KB = 1000 bytes here; halves round away from zero.
  int64_t kb = bytes >= 0 ? (bytes + 500) / 1000 : -((-bytes + 500) / 1000);
  return WholeNumberText(kb) + " KB";
}

// ---- TSelectionEvents ----

TSelectionEvents::TSelectionEvents(TPageKind kind, TWizardState& state,
                                   shellviews::TNameSpaceEnumerator& tree,
                                   shellviews::TFolderEnumerator& list)
    : kind_(kind), state_(state), tree_(tree), list_(list) {
  TWLEnvironment& env = Selection().Environment();
  if (!env.processMessages) env.processMessages = PumpPending;
}

TSelectionEvents::~TSelectionEvents() {
  if (!attached_) return;
  tree_.OnBeforeCheck = nullptr;
  tree_.OnAfterCheck = nullptr;
  tree_.OnSelectionChange = nullptr;
  tree_.OnExpand = nullptr;
  tree_.OnExpanded = nullptr;
  tree_.OnRefresh = nullptr;
  tree_.ParentCallback = nullptr;
  list_.OnCheck = nullptr;
  list_.OnRefresh = nullptr;
}

TWLDesktopNode& TSelectionEvents::Selection() {
  return kind_ == TPageKind::Add ? state_.AddSelection : state_.ContentsSelection;
}

void TSelectionEvents::Attach() {
  attached_ = true;
  tree_.OnBeforeCheck = [this](TNameSpaceEnumerator*, int index, int current, int next,
                               bool& allow) { BeforeCheck(index, current, next, allow); };
  tree_.OnAfterCheck = [this](TNameSpaceEnumerator*, int index, int st) { AfterCheck(index, st); };
  tree_.OnSelectionChange = [this](TNameSpaceEnumerator*) { SelectionChange(); };
  tree_.OnExpand = [this](TNameSpaceEnumerator*, int index) { Expand(index); };
  tree_.OnExpanded = [this](TNameSpaceEnumerator*, int index) { Expanded(index); };
  tree_.OnRefresh = [this](TNameSpaceEnumerator*) { TreeRefresh(); };
  list_.OnCheck = [this](TFolderEnumerator*, int item) { ListCheck(item); };
  list_.OnRefresh = [this](TFolderEnumerator*) { ListRefresh(); };
}

bool TSelectionEvents::IsVolumeFolder(const std::string& path) const {
  return kind_ == TPageKind::Contents && state_.CurrentVolume &&
         !state_.CurrentVolume->BackupPath.empty() &&
         SamePath(path, state_.CurrentVolume->BackupPath);
}

int TSelectionEvents::TreeItemOf(const std::string& folder) {
  int selected = tree_.SelectedIndex();
  if (selected >= 0 && SamePath(tree_.ItemInfo(selected).Path, folder)) return selected;
  return tree_.FindPath(folder);
}

TWLNode* TSelectionEvents::SelectWhole(const std::string& path, bool& changed) {
  TWLNode* node = Selection().AddPath(path);
  // Scanning a whole folder again would find everything selected already.
  if (!node || node->AllSelected()) return node;
  changed = true;
  if (!node->SelectAll()) return Selection().FindNode(path);  // nodes were freed meanwhile
  if (IsVolumeFolder(path)) {
    // The volume's own files (its placeholder) are not part of what it holds for the user.
    node->ClearFiles();
    node->SetAllSelected(true);
  }
  return node;
}

void TSelectionEvents::RemoveNode(TWLNode* node) {
  TWLNode* parent = node->Parent();
  for (TWLNode* up = parent; up; up = up->Parent()) up->SetAllSelected(false);
  if (parent) parent->RemoveChild(node->Name());
  else Selection().RemovePath(node->Path());
}

void TSelectionEvents::BeforeCheck(int index, int currentState, int newState, bool& allow) {
  // An operation is walking the selection: a check now would free nodes under it.
  if (Selection().Environment().walking) {
    allow = false;
    return;
  }
  if (propagating_) {
    allow = true;
    return;
  }
  // Virtual items (the Desktop, My Computer) cannot be selected.
  allow = !tree_.ItemInfo(index).Path.empty();
  if (allow) state_.StateBeforeClick = currentState;
}

void TSelectionEvents::AfterCheck(int index, int newState) {
  if (Selection().Environment().walking) return;
  // An item going to unchecked from anything but checked or partly checked (a new child taking
  // its parent's state) changes nothing in the selection.
  if (newState == csUnchecked && state_.StateBeforeClick != csChecked &&
      state_.StateBeforeClick != csPartial)
    return;
  const std::string path = tree_.ItemInfo(index).Path;
  TWLNode* node = path.empty() ? nullptr : Selection().FindNode(path);
  if (node) node->SetTreeState(newState);
  if (propagating_ || path.empty() || newState == csNoCheckBox || newState == csNew ||
      newState == csPartial)
    return;

  // The outermost call keeps the dialog up for the whole walk through the children.
  TBusy busy(!state_.Expanding && checkDepth_ == 0);
  HTREEITEM item = tree_.ItemHandle(index);
  bool changed = false;
  if (newState == csChecked) {
    {
      TDisabled disabled(state_.MainWindow, false);
      node = SelectWhole(path, changed);
    }
    index = tree_.IndexOf(item);
    if (index < 0) return;  // the item went away while messages ran
    if (node) {
      DeriveMarks(index);
      node->SetTreeState(csChecked);
      node->SetChildrenTreeState(csChecked);
    }
  } else if (node) {
    RemoveNode(node);
    changed = true;
  }

  {
    bool many = false;
    for (int child : tree_.ChildIndexes(index)) many |= tree_.CheckState(child) != newState;
    TTreeBatch batch(many ? tree_.Handle() : nullptr);
    ++checkDepth_;
    tree_.SetCheckStateWithChildren(index, newState);
    --checkDepth_;
  }
  if (checkDepth_ != 0) return;
  // A child taking its checked parent's state during an expansion, with nothing scanned, leaves
  // every count above it as it was: no recount of the ancestors for each new child.
  if (!changed && state_.Expanding) return;
  index = tree_.IndexOf(item);
  if (index >= 0) {
    propagating_ = true;
    CarryUp(index, newState);
    propagating_ = false;
  }
  SelectionChange();
}

void TSelectionEvents::CarryUp(int index, int state) {
  tree_.ParentCallback = [this](TNameSpaceEnumerator*, int parent, int st) {
    ParentChanged(parent, st);
  };
  tree_.NotifyParent(index, state);
  tree_.ParentCallback = nullptr;
}

void TSelectionEvents::ParentChanged(int index, int state) {
  const std::string path = tree_.ItemInfo(index).Path;
  TWLNode* node = path.empty() ? nullptr : Selection().FindNode(path);
  if (!node) return;
  int mark;
  if (state == csPartial) {
    mark = csPartial;
  } else {
    mark = EarnedState(*node, Selection().CountFolderEntries(path));
    if (mark == csPartial) state = csPartial;
  }
  if (mark == csUnchecked) {
    RemoveNode(node);
  } else {
    node->SetAllSelected(mark == csChecked);
    if (mark == csPartial)
      for (TWLNode* up = node->Parent(); up; up = up->Parent()) up->SetAllSelected(false);
    node->SetTreeState(mark);
  }
  tree_.SetCheckState(index, mark);
  tree_.NotifyParent(index, state);
}

void TSelectionEvents::ListCheck(int item) {
  // An operation is walking the selection; the list is marked anew when it ends.
  if (listUpdating_ || Selection().Environment().walking) return;
  // The folder the list shows: during the tree's selection settle the tree already names the
  // next one.
  const std::string folder = list_.Folder();
  const int now = list_.CheckState(item);
  const shellviews::TListItemInfo info = list_.ItemInfo(item);
  if (folder.empty() || info.FileName.empty()) return;
  TWLNode* node = Selection().FindNode(folder);
  if (!node && now != csChecked) return;
  if (now != csChecked && now != csUnchecked) return;

  propagating_ = true;
  if (!node) node = Selection().AddPath(folder);
  if (!node) {
    propagating_ = false;
    return;
  }
  HTREEITEM treeItem = tree_.ItemHandle(TreeItemOf(folder));
  if (info.IsFolder()) {
    if (now == csChecked) {
      const std::string child = (folder.back() == '\\' ? folder : folder + "\\") + info.FileName;
      TWLNode* childNode = Selection().AddPath(child);
      if (childNode && !childNode->AllSelected()) {
        TBusy busy(!state_.Expanding);
        bool changed = false;
        {
          TDisabled disabled(list_.Handle(), true);
          SelectWhole(child, changed);
        }
        if (kind_ == TPageKind::Add && list_.Handle()) SetFocus(list_.Handle());
      }
      node = Selection().FindNode(folder);  // a scan may have let the tree change
    } else {
      node->RemoveChild(info.FileName);
      for (TWLNode* up = node->Parent(); up; up = up->Parent()) up->SetAllSelected(false);
    }
    int index = tree_.IndexOf(treeItem);
    if (index >= 0) {
      tree_.SetCheckState(index, csPartial);
      DeriveMarks(index);
    }
  } else if (now == csChecked) {
    node->AddFile(info.FileName, info.Size);
  } else {
    node->RemoveFile(info.FileName);
  }

  node = Selection().FindNode(folder);
  int mark = csUnchecked;
  if (node) {
    mark = EarnedState(*node, Selection().CountFolderEntries(folder));
    if (mark == csUnchecked) {
      RemoveNode(node);
    } else {
      node->SetAllSelected(mark == csChecked);
      if (mark == csPartial)
        for (TWLNode* up = node->Parent(); up; up = up->Parent()) up->SetAllSelected(false);
    }
  }
  int index = tree_.IndexOf(treeItem);
  if (index >= 0) {
    tree_.SetCheckState(index, mark);
    CarryUp(index, mark);
  }
  propagating_ = false;
  if (TWLNode* after = Selection().FindNode(folder))
    after->SetTreeState(index >= 0 ? tree_.CheckState(index) : mark);
}

void TSelectionEvents::SelectionChange() { MarkList(); }

void TSelectionEvents::MarkList() {
  const std::string folder = list_.Folder();
  const TWLNode* node = folder.empty() ? nullptr : Selection().FindNode(folder);
  // Each item is marked from what the selection holds for it, so an item left from an earlier
  // mark, or new on disk since a scan, never shows checked without being selected.
  listUpdating_ = true;
  // Hidden while its marks change, as the tree is (WM_SETREDRAW costs Wine's list a full
  // re-layout when it is switched back on).
  HWND hwnd = list_.Handle() && IsWindowVisible(list_.Handle()) ? list_.Handle() : nullptr;
  const bool hadFocus = hwnd && GetFocus() == hwnd;
  if (hwnd) ShowWindow(hwnd, SW_HIDE);
  for (int i = 0; i < list_.ItemCount(); ++i) {
    const int current = list_.CheckState(i);
    if (current == kListNoCheckBox) continue;
    int mark = csUnchecked;
    if (node) {
      const shellviews::TListItemInfo info = list_.ItemInfo(i);
      if (info.IsFolder()) {
        if (const TWLNode* child = node->FindChild(info.FileName))
          mark = child->AllSelected() ? csChecked : csPartial;
      } else if (node->IndexOfFile(info.FileName) >= 0) {
        mark = csChecked;
      }
    }
    if (mark != current) list_.SetItemCheckState(i, mark);
  }
  if (hwnd) {
    ShowWindow(hwnd, SW_SHOWNA);
    if (hadFocus) SetFocus(hwnd);
    InvalidateRect(hwnd, nullptr, TRUE);
  }
  listUpdating_ = false;
}

void TSelectionEvents::ListRefresh() {
  list_.AutoRefresh = false;
  MarkList();
  // From its first re-read on, the list follows changes on disk.
  list_.AutoRefresh = true;
}

void TSelectionEvents::Expand(int) { state_.Expanding = true; }

void TSelectionEvents::Expanded(int index) {
  state_.Expanding = false;
  const int st = tree_.CheckState(index);
  if (st == csChecked || st == csPartial || st == csNoCheckBox) DeriveMarks(index);
}

void TSelectionEvents::DeriveMarks(int index) {
  std::vector<std::pair<int, int>> marks;
  CollectMarks(index, marks);
  size_t changes = 0;
  for (auto& [item, mark] : marks) changes += tree_.CheckState(item) != mark;
  if (!changes) return;
  // The marks are taken from the selection, not made: the check handlers stay out of it.
  auto before = std::move(tree_.OnBeforeCheck);
  auto after = std::move(tree_.OnAfterCheck);
  tree_.OnBeforeCheck = nullptr;
  tree_.OnAfterCheck = nullptr;
  {
    TTreeBatch batch(changes > 4 ? tree_.Handle() : nullptr);
    for (auto& [item, mark] : marks) tree_.SetCheckState(item, mark);
  }
  tree_.OnBeforeCheck = std::move(before);
  tree_.OnAfterCheck = std::move(after);
}

void TSelectionEvents::CollectMarks(int index, std::vector<std::pair<int, int>>& marks) {
  const std::string path = tree_.ItemInfo(index).Path;
  if (path.empty()) {
    // A virtual item (the Desktop, My Computer) has no check box, but the drives and folders
    // below it do.
    for (int child : tree_.ChildIndexes(index)) CollectMarks(child, marks);
    return;
  }
  TWLNode* node = Selection().FindNode(path);
  if (!node) {
    marks.emplace_back(index, csUnchecked);
    return;
  }
  const int mark = node->AllSelected() ? csChecked : csPartial;
  node->SetTreeState(mark);
  marks.emplace_back(index, mark);
  for (int child : tree_.ChildIndexes(index)) CollectMarks(child, marks);
}

void TSelectionEvents::TreeRefresh() {
  TTreeBatch batch(tree_.Handle());
  std::vector<HTREEITEM> items;
  for (int i = 0; i < tree_.ItemCount(); ++i) items.push_back(tree_.ItemHandle(i));
  for (HTREEITEM item : items) {
    int index = tree_.IndexOf(item);
    if (index < 0) continue;
    const std::string path = tree_.ItemInfo(index).Path;
    if (path.empty()) continue;
    TWLNode* node = Selection().FindNode(path);
    if (!node) continue;
    const int mark = node->AllSelected() ? csChecked : csPartial;
    tree_.SetCheckState(index, mark);
    if ((node = Selection().FindNode(path))) node->SetTreeState(mark);
  }
}

void TSelectionEvents::ResetAddSelection() {
  auto removed = std::move(OnFileRemoved);
  OnFileRemoved = nullptr;
  propagating_ = true;
  {
    TTreeBatch batch(tree_.Handle());
    for (int i = 1; i < tree_.ItemCount(); ++i) tree_.SetCheckState(i, csUnchecked);
  }
  propagating_ = false;
  if (tree_.ItemCount() > 0) tree_.Collapse(0, true);
  ExpandFirstItems();
  tree_.SetFolderEnumerator(nullptr);
  tree_.SetFolderEnumerator(&list_);
  state_.AddSelection.Clear();
  state_.AddFileCount = 0;
  state_.AddByteCount = 0;
  OnFileRemoved = std::move(removed);
  TSelectionStatistics(state_).UpdateStatusBar(0, 0);
}

void TSelectionEvents::ExpandFirstItems() {
  if (tree_.ItemCount() > 0) tree_.Expand(0);
  if (tree_.ItemCount() > 1) tree_.Expand(1);
}

void TSelectionEvents::SetFirstItemState(int state) {
  if (tree_.ItemCount() > 0) tree_.SetCheckState(0, state);
}

// ---- TSelectionStatistics ----

TSelectionStatistics::~TSelectionStatistics() { Uninstall(); }

void TSelectionStatistics::Install() {
  OnFileAdded = [this](TWLNode& node, int index) { FileAdded(node, index); };
  OnFileRemoved = [this](TWLNode& node, int index) { FileRemoved(node, index); };
  installed_ = true;
}

void TSelectionStatistics::Uninstall() {
  if (!installed_) return;
  OnFileAdded = nullptr;
  OnFileRemoved = nullptr;
  installed_ = false;
}

void TSelectionStatistics::CountersOf(const TWLNode& node, bool adding, int32_t*& count,
                                      int64_t*& bytes) {
  // A file counts for the selection it is in, whatever page is shown; files of any other tree
  // (the automatic refresh's) count for the refresh.
  const TWLEnvironment* env = &node.Environment();
  if (adding && state_.AutoRefreshing) {
    count = &state_.RefreshFileCount;
    bytes = &state_.RefreshByteCount;
  } else if (env == &state_.AddSelection.Environment()) {
    count = &state_.AddFileCount;
    bytes = &state_.AddByteCount;
  } else if (env == &state_.ContentsSelection.Environment()) {
    count = &state_.ContentsFileCount;
    bytes = &state_.ContentsByteCount;
  } else {
    count = &state_.RefreshFileCount;
    bytes = &state_.RefreshByteCount;
  }
}

void TSelectionStatistics::FileAdded(TWLNode& node, int index) {
  int32_t* count;
  int64_t* bytes;
  CountersOf(node, true, count, bytes);
  ++*count;
  *bytes += std::max<int64_t>(node.FileSize(index), 0);  // a size not found adds nothing
}

void TSelectionStatistics::FileRemoved(TWLNode& node, int index) {
  int32_t* count;
  int64_t* bytes;
  CountersOf(node, false, count, bytes);
  // Counters zeroed before their selection is cleared stay at zero.
  *count = std::max(*count - 1, 0);
  *bytes = std::max<int64_t>(*bytes - std::max<int64_t>(node.FileSize(index), 0), 0);
}

void TSelectionStatistics::UpdateStatusBar(int64_t count, int64_t bytes) {
  HWND bar = state_.StatusBar;
  if (!bar || !IsWindow(bar)) return;
  // The Main page shows one text, the other pages the two panels.
  if (SendMessageW(bar, SB_ISSIMPLE, 0, 0) || SendMessageW(bar, SB_GETPARTS, 0, 0) != 2) return;
  std::wstring files = Widen(SelectedFilesText(count));
  std::wstring kb = Widen(KilobytesText(bytes));
  SendMessageW(bar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(files.c_str()));
  SendMessageW(bar, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(kb.c_str()));
}

void TSelectionStatistics::DrawUpdateTimerTimer() {
  const bool add = state_.WizardMode == wmBackup || state_.WizardMode == wmRefresh ||
                   state_.AddPageShown();
  const int64_t count = add ? state_.AddFileCount : state_.ContentsFileCount;
  UpdateStatusBar(count, add ? state_.AddByteCount : state_.ContentsByteCount);
  // The busy dialog counts the selection being scanned, on either page.
  if (fWLSelecting) fWLSelecting->SetCountText(std::to_string(count));
}

}  // namespace tw
