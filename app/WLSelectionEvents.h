// The check, expand, selection-change and refresh handlers of one page's tree and folder list
// (the Add page or the Volume Contents page): they keep the page's selection tree and the
// marks of both views in step. The counting of selected files and the status bar are here too.
//
// A folder's node is selected as a whole (AllSelected) only when every entry of the folder on
// disk has a selection entry and every child node is itself whole; whole folders are saved as
// "**ALL**" and rescanned at the next load, so a partly selected subfolder must never sit below
// one. The list's check and marks work on the folder the list shows (which may still be the
// previous one while the tree's selection settles).
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/WLWizardState.h"
#include "shellviews/FolderEnumerator.h"
#include "shellviews/NameSpaceEnumerator.h"

namespace tw {

class TSelectionEvents {
 public:
  enum class TPageKind { Add, Contents };

  // The selection is state.AddSelection or state.ContentsSelection by kind.
  TSelectionEvents(TPageKind kind, TWizardState& state, shellviews::TNameSpaceEnumerator& tree,
                   shellviews::TFolderEnumerator& list);
  ~TSelectionEvents();
  TSelectionEvents(const TSelectionEvents&) = delete;
  TSelectionEvents& operator=(const TSelectionEvents&) = delete;

  // Binds every event of the tree and the list to the handlers below. The object must be
  // destroyed before the tree and the list; its destructor unbinds them.
  void Attach();

  TPageKind Kind() const { return kind_; }
  TWLDesktopNode& Selection();
  shellviews::TNameSpaceEnumerator& Tree() { return tree_; }
  shellviews::TFolderEnumerator& List() { return list_; }

  // Handlers (also callable by tests and by the pages).
  void BeforeCheck(int index, int currentState, int newState, bool& allow);
  void AfterCheck(int index, int newState);
  void SelectionChange();  // marks the list from the selection
  void Expand(int index);
  void Expanded(int index);
  void TreeRefresh();
  void ListCheck(int item);
  void ListRefresh();

  // The Add page: ResetAddSelection (after a backup or refresh, Back from the Add page).
  void ResetAddSelection();
  // Expands the tree's first item and the item below it one level (the window's creation).
  void ExpandFirstItems();
  // The tree's first item set to checked ("All files", "entire volume") or unchecked (after an
  // operation), through the handlers as a user's click would be.
  void SetFirstItemState(int state);

 private:
  // Carries a state up from the parent of a changed item (NotifyParent's hook).
  void ParentChanged(int index, int state);
  // Starts the walk up from the item with its state; the hook is set only for the walk.
  void CarryUp(int index, int state);
  // Sets the marks of the item's loaded descendants from the selection.
  void DeriveMarks(int index);
  void CollectMarks(int index, std::vector<std::pair<int, int>>& marks);
  void MarkList();
  // The folder's node selected as a whole by a scan, unless it already is whole. nullptr when
  // the path cannot have a node or the node went away while messages ran.
  TWLNode* SelectWhole(const std::string& path, bool& changed);
  // Frees the node and everything below it; no folder above it stays whole.
  void RemoveNode(TWLNode* node);
  bool IsVolumeFolder(const std::string& path) const;
  // The tree item showing the folder: the selected item when it does, else the first loaded.
  int TreeItemOf(const std::string& folder);

  TPageKind kind_;
  TWizardState& state_;
  shellviews::TNameSpaceEnumerator& tree_;
  shellviews::TFolderEnumerator& list_;
  bool propagating_ = false;
  bool listUpdating_ = false;
  int checkDepth_ = 0;
  bool attached_ = false;
};

// Counting of the selected files (the selection tree's OnFileAdded and OnFileRemoved) and the
// status bar's two panels.
class TSelectionStatistics {
 public:
  explicit TSelectionStatistics(TWizardState& state) : state_(state) {}
  ~TSelectionStatistics();
  // Installs the counting handlers; the destructor removes them.
  void Install();
  void Uninstall();

  // "%s Selected File(s)" and "%.0n KB" (bytes x 0.001) into the status bar's panels, when it
  // shows them.
  void UpdateStatusBar(int64_t count, int64_t bytes);
  // Every second: the counters of the page's selection into the status bar, the Add count into
  // the busy dialog.
  void DrawUpdateTimerTimer();

 private:
  void FileAdded(TWLNode& node, int index);
  void FileRemoved(TWLNode& node, int index);
  // The counters a file of this node goes to.
  void CountersOf(const TWLNode& node, bool adding, int32_t*& count, int64_t*& bytes);

  TWizardState& state_;
  bool installed_ = false;
};

// The two status texts, as the status bar shows them (thousands separators of the user's
// locale).
std::string SelectedFilesText(int64_t count);
// A whole number with the user's thousands separators and no decimals.
std::string WholeNumberText(int64_t value);
std::string KilobytesText(int64_t bytes);

}  // namespace tw
