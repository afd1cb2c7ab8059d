// A checkable tree of the shell namespace. Items are addressed by their index in the tree's
// flat order (pre-order over every loaded item, the root first); children load on first
// expansion. A linked folder list shows the folder selected in the tree.
#pragma once
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "shellviews/ChangeNotifyThread.h"
#include "shellviews/ShellCommon.h"

namespace tw::shellviews {

class TFolderEnumerator;

enum TRootedAt {
  raDesktop,
  raMyComputer,
  raNetworkNeighbourhood,
  raStartMenu,
  raProgramFiles,
  raFileSystem,
};

struct TTreeItemInfo {
  std::string Caption;
  std::string Path;                      // file-system path, empty for a virtual item
  PCIDLIST_ABSOLUTE Id = nullptr;  // owned by the tree, valid while the item exists
  SFGAOF Attributes = 0;
};

class TNameSpaceEnumerator {
 public:
  using TCheckEvent = std::function<void(TNameSpaceEnumerator* sender, int index,
                                         int currentState, int newState, bool& allow)>;
  using TAfterCheckEvent = std::function<void(TNameSpaceEnumerator* sender, int index, int state)>;
  using TItemEvent = std::function<void(TNameSpaceEnumerator* sender, int index)>;
  using TNotifyEvent = std::function<void(TNameSpaceEnumerator* sender)>;
  using TWalkCallback = std::function<void(TNameSpaceEnumerator* sender, int index, int state)>;

  TNameSpaceEnumerator();
  ~TNameSpaceEnumerator();
  TNameSpaceEnumerator(const TNameSpaceEnumerator&) = delete;
  TNameSpaceEnumerator& operator=(const TNameSpaceEnumerator&) = delete;

  // Creates the tree view as a child of parent, builds the root and starts the monitor.
  bool Create(HWND parent, int x, int y, int w, int h, int id = 0);
  HWND Handle() const { return hwnd_; }

  // Settings that rebuild the tree when they change.
  void SetCheckBoxes(bool on);
  bool CheckBoxes() const { return checkBoxes_; }
  void SetRootedAt(TRootedAt root);
  TRootedAt RootedAt() const { return rootedAt_; }
  void SetRootFolder(const std::string& path);
  const std::string& RootFolder() const { return rootFolder_; }
  void SetShowVirtualFolders(bool on);
  bool ShowVirtualFolders() const { return showVirtual_; }
  void SetIndent(int pixels);
  void SetFolderEnumerator(TFolderEnumerator* list);
  TFolderEnumerator* FolderEnumerator() const { return list_; }

  bool AutoRefresh = true;
  bool AllowRename = true;  // kept for the program's settings; renaming is not offered
  bool ExpandAll = false;
  bool ShellContextMenu = true;
  bool AllowOLEDrag = true;
  bool AllowOLEDrop = true;

  TCheckEvent OnBeforeCheck;
  TAfterCheckEvent OnAfterCheck;
  TItemEvent OnExpand;
  TItemEvent OnExpanded;
  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnRefresh;
  // Hooks of WalkChildren and NotifyParent; a callback may set them again and walk on.
  TWalkCallback ChildWalkCallback;
  TWalkCallback ParentCallback;

  int ItemCount();
  int SelectedIndex();
  std::string SelectedPath();
  TTreeItemInfo ItemInfo(int index);
  int ParentIndex(int index);
  std::vector<int> ChildIndexes(int index);  // loaded children, in order
  bool IsExpanded(int index);
  HTREEITEM ItemHandle(int index);
  int IndexOf(HTREEITEM item);
  // Index of the loaded item with this file-system path, -1 when none is loaded.
  int FindPath(const std::string& path);

  int CheckState(int index);
  void SetCheckState(int index, int state);
  void SetCheckStateWithChildren(int index, int state);
  void WalkChildren(int index, int state);
  void NotifyParent(int index, int state);

  void Select(int index);
  // Expands the items down to path and selects the deepest one found; false when the path is
  // not below the root.
  bool SelectPath(const std::string& path);
  void Expand(int index, bool recurse = false);
  void Collapse(int index, bool recurse = false);
  void Refresh();
  // Invokes the shell's "Delete" on the selected item.
  bool DeleteSelected();

  // Process-wide: the last accepted button release over any tree.
  static void ResetClickTime();

 private:
  struct Node;
  friend class TFolderEnumerator;

  void Rebuild();
  void Clear();
  Node* NodeAt(int index);
  void EnsureIndex();
  void LoadChildren(Node* node);
  void RefreshNode(Node* node);
  std::unique_ptr<Node> MakeChild(Node* parent, IShellFolder* folder, PCUITEMID_CHILD child,
                                  SFGAOF attrs);
  HTREEITEM InsertNode(Node* parent, Node* node, HTREEITEM after);
  void ApplyNewChildStates(Node* parent, const std::vector<Node*>& added);
  void RemoveNode(Node* node);
  void ShowState(Node* node);
  bool HasSubfolders(Node* node);
  bool NodeExpanded(Node* node);
  void ExpandNode(Node* node, bool recurse);
  void CollapseNode(Node* node, bool recurse);
  void SelectionSettled();
  void RestartMonitor(const std::string& path);
  void StopMonitor();
  void ButtonReleased(POINT pt);
  void DetachWindow();
  void ListNavigated(PCIDLIST_ABSOLUTE pidl, const std::string& path);
  // Whether a folder is the root or below it.
  bool Holds(PCIDLIST_ABSOLUTE pidl, const std::string& path);

  LRESULT TreeProc(UINT msg, WPARAM wp, LPARAM lp);
  bool ParentNotify(NMHDR* hdr, LRESULT& result);
  static LRESULT CALLBACK TreeSubclass(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

  HWND hwnd_ = nullptr;
  ParentNotifyHook parentHook_;
  bool checkBoxes_ = false;
  bool showVirtual_ = true;
  TRootedAt rootedAt_ = raDesktop;
  std::string rootFolder_;
  TFolderEnumerator* list_ = nullptr;
  std::unique_ptr<Node> root_;
  std::vector<Node*> flat_;
  // The loaded items by their handle, rebuilt with flat_: asking the control costs a search of
  // all its items under Wine.
  std::unordered_map<HTREEITEM, Node*> byItem_;
  bool flatDirty_ = true;
  bool collapseMark_ = false;
  bool clickSeen_ = false;
  bool inExpand_ = false;
  bool timerRunning_ = false;
  std::string listFollowPath_;  // the list chose this folder itself; don't re-read it
  std::shared_ptr<TChangeNotifyThread> monitor_;
};

}  // namespace tw::shellviews
