// A report-style list of one folder's contents with optional three-state check boxes. Linked to
// a namespace tree, it shows the folder selected there, and the tree follows it when the user
// opens a subfolder or goes up.
#pragma once
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "shellviews/ChangeNotifyThread.h"
#include "shellviews/ShellCommon.h"

namespace tw::shellviews {

class TNameSpaceEnumerator;

enum TColumnName { cnName, cnExtension, cnSize, cnAttributes, cnType, cnModified };
enum TColumnSortOrder { soAscending, soDescending, soUnSorted };
enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

struct TFolderColumn {
  std::string Caption;
  int Alignment = LVCFMT_LEFT;  // LVCFMT_LEFT or LVCFMT_RIGHT
  int Width = 50;
  bool Visible = true;
};

struct TListItemInfo {
  std::string FileName;  // last component of the parsing name
  std::string Caption;   // display name
  std::string Path;      // full file-system path, empty for a virtual item
  FILETIME Modified{};   // UTC
  SFGAOF Attributes = 0;
  int64_t Size = 0;
  DWORD FileAttributes = 0;
  bool IsFolder() const { return (Attributes & SFGAO_FOLDER) != 0; }
};

// Column texts, shared with the tests.
std::string SizeText(int64_t size, bool folder);
std::string AttributesText(DWORD attributes);

class TFolderEnumerator {
 public:
  using TCheckEvent = std::function<void(TFolderEnumerator* sender, int item)>;
  using TNotifyEvent = std::function<void(TFolderEnumerator* sender)>;
  using TDoubleClickEvent = std::function<void(TFolderEnumerator* sender, bool& execute)>;

  TFolderEnumerator();
  ~TFolderEnumerator();
  TFolderEnumerator(const TFolderEnumerator&) = delete;
  TFolderEnumerator& operator=(const TFolderEnumerator&) = delete;

  // Creates the list view as a child of parent and starts the monitor.
  bool Create(HWND parent, int x, int y, int w, int h, int id = 0);
  HWND Handle() const { return hwnd_; }

  void SetChecks(bool on);
  bool Checks() const { return checks_; }
  // Changing these re-reads the folder.
  void SetShowHidden(bool on);
  bool ShowHidden() const { return showHidden_; }
  void SetShowFolders(bool on);
  bool ShowFolders() const { return showFolders_; }
  void SetShowVirtualFolders(bool on);
  bool ShowVirtualFolders() const { return showVirtual_; }
  // Masks separated by ";"; "*.*" lists every file. Folders are never filtered.
  void SetFileMask(const std::string& mask);
  const std::string& FileMask() const { return fileMask_; }
  void SetSortColumn(TColumnName column);
  TColumnName SortColumn() const { return sortColumn_; }
  void SetSortOrder(TColumnSortOrder order);
  TColumnSortOrder SortOrder() const { return sortOrder_; }
  void SetViewStyle(TViewStyle style);
  void SetMultiSelect(bool on);
  const TFolderColumn& FolderColumn(TColumnName column) const { return columns_[column]; }
  void SetFolderColumn(TColumnName column, const TFolderColumn& value);
  // The list's column of a visible column name, -1 when hidden.
  int ColumnIndex(TColumnName column) const;

  bool ColumnClick = true;
  bool AllowRename = true;  // kept for the program's settings; renaming is not offered
  bool AutoRefresh = true;

  TCheckEvent OnCheck;
  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnRefresh;
  TDoubleClickEvent OnDoubleClick;

  const std::string& Folder() const { return folderPath_; }
  // Shows a folder given by path; false (and an empty list) when the path cannot be parsed.
  bool SetFolder(const std::string& path);
  // Reads the same folder again, keeps the selected caption and calls OnRefresh.
  void Reread();
  void Clear();
  bool Busy() const { return busy_; }

  int ItemCount() const { return static_cast<int>(items_.size()); }
  TListItemInfo ItemInfo(int index) const;
  std::string ColumnText(int index, TColumnName column);
  int CheckState(int index) const;
  void SetItemCheckState(int index, int state);
  std::vector<int> SelectedIndexes() const;
  void SelectItem(int index, bool only = true);

  // Opens an item as a double-click does: a folder becomes the list's folder, a file is opened
  // with the shell's default command; OnDoubleClick can prevent both.
  void Open(int index);
  void GoUp();
  bool DeleteSelected();
  void SelectAll();
  TNameSpaceEnumerator* NameSpace() const { return tree_; }

 private:
  struct Entry;
  friend class TNameSpaceEnumerator;

  void ShowFolder(PCIDLIST_ABSOLUTE pidl, const std::string& path);
  void Navigate(Pidl pidl, const std::string& path);
  void Fill(bool reread);
  void Sort();
  void SortKeepingSelection();
  void BuildColumns();
  void RestartMonitor();
  void StopMonitor();
  int Compare(const Entry& a, const Entry& b) const;
  std::wstring Caption(IShellFolder* folder, const Entry& e);
  std::wstring Text(Entry& e, TColumnName column);
  int Icon(Entry& e);
  bool MatchesMask(const std::wstring& name) const;
  bool OnStateImage(int item, POINT pt);
  void Clicked(int item, POINT pt);
  void DetachWindow();

  LRESULT ListProc(UINT msg, WPARAM wp, LPARAM lp);
  bool ParentNotify(NMHDR* hdr, LRESULT& result);
  static LRESULT CALLBACK ListSubclass(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

  HWND hwnd_ = nullptr;
  ParentNotifyHook parentHook_;
  bool checks_ = false;
  bool showHidden_ = false;
  bool showFolders_ = true;
  bool showVirtual_ = true;
  bool multiSelect_ = false;
  TViewStyle viewStyle_ = vsReport;
  std::string fileMask_ = "*.*";
  std::vector<std::wstring> masks_;
  TColumnName sortColumn_ = cnName;
  TColumnSortOrder sortOrder_ = soAscending;
  std::array<TFolderColumn, 6> columns_;
  std::vector<TColumnName> shown_;  // visible columns in list order
  Pidl folderId_;
  std::string folderPath_;
  std::vector<std::unique_ptr<Entry>> items_;
  TFileTypeCache fileTypes_;
  std::map<std::wstring, bool> hidesExtension_;  // per extension, for the display names
  bool busy_ = false;
  bool inCheck_ = false;
  TNameSpaceEnumerator* tree_ = nullptr;
  std::shared_ptr<TChangeNotifyThread> monitor_;
};

}  // namespace tw::shellviews
