// The selection tree: which files and folders the user has chosen, independent of the controls
// that show them, and its per-volume selection file.
//
// A TWLDesktopNode holds the roots (one per drive "C:" or server "\\server", in the order they
// were first needed); each TWLNode is one folder with its selected files (sorted without regard
// to case) and nodes for the subfolders that hold something selected (in creation order).
// Paths have no trailing backslash and at most kMaxSelectionPath UTF-16 units, as Windows allows
// with long paths: a longer path or a file below it is refused like an invalid one. A node keeps
// only its own name and builds its path on demand, so a tree's memory grows linearly with depth.
//
// Lookups are O(log n) for files and O(1) for children, so selecting a folder of n entries costs
// O(n log n) at worst and close to listing it when the listing comes in name order.
//
// Paths and names are checked: a path must be absolute ("X:" or "\\server", then non-empty
// components other than "." and ".."), a name must be a legal Windows file name. AddPath and
// FindNode give nullptr, AddFile and AddChild -1, for anything else, so no entry can point
// outside its folder.
//
// A selection file loads in O(n log n) whatever the order of its entries: each section's names
// are sorted once and merged into the folder's list.
//
// Selection file (INI, through TProfileFile). One section per folder that holds something:
//   [C:\]           a drive root: one key per selected file, value "#"
//   [C:\Data]       a folder: one key per selected file, or only "**ALL**=#" when the folder is
//                   selected as a whole (its subfolders are then not written)
//   [\\srv]         a server: like a drive root, never marked whole (a server cannot be
//                   listed, so its contents could not be found again)
// A name or path that a line cannot carry as it is (one containing '=', ';', '[' or ']', or
// beginning or ending with a blank) is written escaped: "*" followed by the text in which '%',
// '=', ';', '[', ']', blanks and control bytes are written as "%XX" (two upper-case hex
// digits); everything else, non-ASCII letters included, stays as UTF-8. '*' cannot occur in a
// Windows name, so an escaped entry is never mistaken for a plain name (a reader that does not
// know the escape finds no such file), and "**ALL**" is never an escaped name. Example: the file
// "a=b.txt" is written "*a%3Db.txt=#", the file "notes.txt" stays "notes.txt=#".
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/ShellFolderInfo.h"
#include "platform/WinCodes.h"

namespace tw {

class TWLNode;
class TProfileFile;

// Raised for an index outside a list: "Invalid Index %d %d" (index, file count) for files,
// "Invalid Index" for children and roots.
class EInvalidIndex : public std::out_of_range {
 public:
  using std::out_of_range::out_of_range;
};

// Called after a file was inserted into a node's files, with its index there.
extern std::function<void(TWLNode& node, int index)> OnFileAdded;
// Called before a file leaves a node's files, with its current index (also for every file, in
// index order, when a node's files are cleared or the node is freed). Must not throw.
extern std::function<void(TWLNode& node, int index)> OnFileRemoved;

// What the trees use of the machine. One per TWLDesktopNode; nodes refer to their tree's.
struct TWLEnvironment {
  IFileSystem* fs = nullptr;
  IShellFolderInfo* shell = nullptr;  // none: every listed directory is a file-system folder
  // Lets the user interface run pending messages during a scan. Called before a scanned entry
  // once at least messageInterval has passed since the last call (zero: before every entry), so
  // a scan stays cheap however slow the message loop is.
  std::function<void()> processMessages;
  std::chrono::milliseconds messageInterval{20};

  // Bumped whenever a node is freed; a scan that sees it change during processMessages stops
  // instead of touching nodes that may be gone.
  uint64_t generation = 0;

  // Counts the listings and look-ups that give files their sizes and times, so an operation
  // can tell what was found on disk after it began (TWLNode::ListedFile).
  uint64_t listings = 0;

  // Nonzero while an operation walks the tree: handlers of window messages leave the tree alone
  // meanwhile (a check made then is refused), so no node is freed under the walk.
  int walking = 0;

  // Folders that scans never enter and walks never visit: the folders of the listed volumes,
  // so that a volume below a folder selected whole is never copied into itself. Kept as
  // FoldSelectionName gives them, each with a trailing backslash.
  std::vector<std::string> excludedFolders;
  void ExcludeFolders(const std::vector<std::string>& folders);
  bool IsExcludedFolder(std::string_view path) const;

  void ProcessMessages();

 private:
  std::chrono::steady_clock::time_point lastMessages_{};
  int sinceClock_ = 0;
};

// ERROR_CANCELLED: LoadFromFile stopped because the tree was changed while messages ran.
inline constexpr WinError kSelectionScanInterrupted = 1223;
// The message for a selection file that could not be written, formatted with its name.
inline constexpr const char* kUnableToWrite = "Unable to write to %s";
// The key that marks a folder selected as a whole, and the value of every entry.
inline constexpr std::string_view kAllMarker = "**ALL**";
inline constexpr std::string_view kEntryValue = "#";
// The longest path Windows can reach, in UTF-16 units.
inline constexpr size_t kMaxSelectionPath = 32767;

class TWLNode {
 public:
  // A subfolder node of parent (which does not own it yet: use AddChild for that).
  TWLNode(TWLNode* parent, std::string name);
  // A root or stand-alone node; env must outlive it.
  TWLNode(TWLEnvironment& env, std::string name);
  ~TWLNode();
  TWLNode(const TWLNode&) = delete;
  TWLNode& operator=(const TWLNode&) = delete;

  const std::string& Name() const { return name_; }
  // Built from the names above on each call (O(depth)); a copy, so never keep a view of it.
  std::string Path() const;
  TWLNode* Parent() const { return parent_; }

  // The index of the file, added if absent (no case-insensitive duplicate). size < 0: looked up
  // on disk (-1 when not found). -1 for a name that is not a legal file name or whose path
  // would be longer than kMaxSelectionPath.
  int AddFile(const std::string& name, int64_t size);
  // Leaves AllSelected alone when the file is not there.
  void RemoveFile(const std::string& name);
  int IndexOfFile(std::string_view name) const;
  int FileCount() const { return static_cast<int>(files_.size()); }
  const std::string& FileName(int index) const;
  // Bytes, or -1 when the size was not found.
  int64_t FileSize(int index) const;
  // The file as a listing or look-up found it after `mark` (TWLEnvironment::listings then):
  // name, size and last-write time. False when none did since (it was added by name only, or
  // found earlier, or not found at all), so the caller must look on disk itself.
  bool ListedFile(int index, uint64_t mark, FindData& info) const;

  // The index of the child, created if absent; -1 for a name that is not a legal folder name or
  // whose path would be longer than kMaxSelectionPath.
  int AddChild(const std::string& name);
  void RemoveChild(std::string_view name);
  int IndexOfChild(std::string_view name) const;
  TWLNode* FindChild(std::string_view name) const;
  int ChildCount() const { return static_cast<int>(children_.size()); }
  TWLNode* Child(int index) const;

  // Scans the folder on disk and selects everything below it, without clearing what is there.
  // Directory junctions and symbolic links are not entered. A folder that cannot be listed ends
  // selected as a whole with nothing added. False when it stopped because the tree was changed
  // while messages ran (the nodes it was working on may then be gone).
  bool SelectAll();

  void ClearFiles();
  void ClearChildren();
  void Clear() {
    ClearFiles();
    ClearChildren();
  }

  // The error of the latest scan's listing of this folder (Success when it was listed or never
  // scanned): a folder selected whole that could not be read holds nothing, which a walk must
  // not take for an empty folder.
  WinError ListError() const { return listError_; }

  bool AllSelected() const { return allSelected_; }
  void SetAllSelected(bool value) { allSelected_ = value; }
  int TreeState() const { return treeState_; }
  void SetTreeState(int state) { treeState_ = state; }
  void SetChildrenTreeState(int state);

  TWLEnvironment& Environment() const { return *env_; }

 private:
  friend class TWLDesktopNode;
  struct FileEntry {
    std::string name;
    int64_t size;
    // As the latest listing or look-up found the file (the size above stays as selected).
    int64_t listedSize = -1;
    FileTime lastWrite = 0;
    uint64_t listedAt = 0;  // TWLEnvironment::listings then; 0: never
  };

  // size < 0 without lookUp is stored as -1 (known to be missing). A found file's lastWrite is
  // recorded as found now (listedAt); without it, as never found.
  int Insert(const std::string& name, int64_t size, bool lookUp,
             std::optional<FileTime> lastWrite = std::nullopt);
  // The entry Insert stores; lookUp looks in folder (this node's path).
  FileEntry NewEntry(const std::string& folder, std::string name, int64_t size, bool lookUp,
                     std::optional<FileTime> lastWrite);
  // Whether a file or folder of that name fits below this folder's path.
  bool FitsBelow(std::string_view name) const;
  void NotifyAllRemoved();
  // Frees the nodes and everything below them without recursion, so depth is not limited by
  // the stack; files are reported removed node by node, parents before children.
  static void FreeSubtrees(std::vector<std::unique_ptr<TWLNode>>&& nodes);
  std::vector<FileEntry>::const_iterator LowerBound(std::string_view name) const;
  // Adds a folder's listed files at once: sorting them is O(n log n) whatever order the file
  // system lists in, where inserting one by one would cost O(n^2) for an unsorted listing.
  // Files already there keep their size but take what the listing found.
  void MergeFiles(std::vector<FileEntry>&& fresh);

  TWLEnvironment* env_;
  TWLNode* parent_;
  std::string name_;
  size_t pathBytes_;  // Path().size()
  size_t pathUnits_;  // Path() in UTF-16 units
  std::vector<FileEntry> files_;
  std::vector<std::unique_ptr<TWLNode>> children_;
  std::unordered_map<std::string, TWLNode*> childIndex_;  // folded name -> child
  size_t indexInParent_ = 0;
  int treeState_ = 0;
  WinError listError_ = 0;
  bool allSelected_ = false;
};

class TWLDesktopNode {
 public:
  explicit TWLDesktopNode(IFileSystem& fs, IShellFolderInfo* shell = nullptr);
  ~TWLDesktopNode();
  TWLDesktopNode(const TWLDesktopNode&) = delete;
  TWLDesktopNode& operator=(const TWLDesktopNode&) = delete;

  TWLEnvironment& Environment() { return env_; }

  // The node of the folder, created with every folder above it. The root is found by exact
  // name ("C:\" and "C:" give root C:, "c:\" another root c:). nullptr for an invalid path.
  TWLNode* AddPath(std::string_view path);
  // Frees the folder's node and everything below it; clears AllSelected on the nodes above.
  // The root is found by exact name; nothing happens when it or the folder has no node.
  void RemovePath(std::string_view path);
  // The folder's node, or nullptr; every name, the root's included, compared without case.
  TWLNode* FindNode(std::string_view path) const;
  void Clear();
  int RootCount() const { return static_cast<int>(roots_.size()); }
  TWLNode* Root(int index) const;

  // Replaces the file atomically; returns the Windows error (the old file stays on failure).
  [[nodiscard]] WinError SaveToFile(const std::string& fileName) const;
  // Clears the tree and fills it from the file. Whole folders are scanned anew; files come back
  // by name with their present size (-1 when gone). Sections and keys that are not valid paths
  // and names are ignored. A missing file gives an empty tree and Success.
  WinError LoadFromFile(const std::string& fileName);
  // The same in two steps, for a caller that reads the file itself (under a lock it holds only
  // for the read, not for the scans): the entries written into a profile that starts empty,
  // and the tree filled from a profile read already.
  [[nodiscard]] WinError WriteTo(TProfileFile& file) const;
  WinError LoadFrom(const TProfileFile& file);

  int CountFolderEntries(std::string_view path);
  bool IsFileSystemFolder(const std::string& path);

 private:
  TWLEnvironment env_;
  std::vector<std::unique_ptr<TWLNode>> roots_;
};

// ---- Unit-level routines ----

// Files and file-system subfolders (junctions and links left out) in the folder on disk, as
// SelectAll would select them; 0 when it cannot be listed.
int CountFolderEntries(TWLEnvironment& env, std::string_view path);
bool IsFileSystemFolder(TWLEnvironment& env, const std::string& path);

// The walk every operation makes: roots in order, each folder depth first with its files (in
// list order) before its children (in creation order). folder is called on entering a folder,
// file for each of its files; either may return false to stop the walk, which then returns
// false. Either may be empty. The callbacks must not change the tree.
bool WalkSelection(const TWLDesktopNode& tree, const std::function<bool(const TWLNode&)>& folder,
                   const std::function<bool(const TWLNode&, int)>& file);

// Marks a tree as walked for its lifetime (TWLEnvironment::walking).
class TWalking {
 public:
  explicit TWalking(TWLEnvironment& env) : env_(env) { ++env_.walking; }
  ~TWalking() { --env_.walking; }
  TWalking(const TWalking&) = delete;
  TWalking& operator=(const TWalking&) = delete;

 private:
  TWLEnvironment& env_;
};

// What an operation keeps to notice nodes freed under its walk (a window message it let run
// may free them): the tree it walks, the generation it entered at, and whether it stopped.
class TTreeGuard {
 public:
  // At the start of a run.
  void Reset() { changed_ = false; }
  // At the start of each root's walk.
  void Enter(const TWLNode& root);
  // A node was freed since Enter: the node in hand may be gone.
  bool Moved() const { return env_ && env_->generation != generation_; }
  // The walk stopped because of it; the run goes no further.
  void MarkChanged() { changed_ = true; }
  bool Changed() const { return changed_; }
  // Nodes the walk freed itself: the generation they moved to is the walk's own.
  void Rebase() {
    if (env_) generation_ = env_->generation;
  }
  const TWLEnvironment& Env() const { return *env_; }

 private:
  const TWLEnvironment* env_ = nullptr;
  uint64_t generation_ = 0;
  bool changed_ = false;
};

// How WalkFolders goes on after a folder's visit.
enum class TVisit { Children, SkipChildren, Stop };
enum class TWalkEnd { Done, Stopped, TreeChanged };
// Visits top and every folder below it depth first, each before its children (in creation
// order), without recursion, so a tree of any depth is walked in memory linear in its depth.
// Children are taken one at a time, so a visit may add children to the folder it visits.
// Ends with TreeChanged as soon as a node was freed during a visit (the environment's
// generation moved, say by a window message the visit let run): the nodes it still meant to
// visit may be gone, so it stops without touching them, and the visit must not touch its own
// node once that has happened.
TWalkEnd WalkFolders(const TWLNode& top, const std::function<TVisit(const TWLNode&)>& visit);

// ---- Names, paths and the file's escape ----

// A legal Windows file or folder name: not empty, ".", ".."; no bytes below 0x20 (DEL is legal),
// \ / : * ? " < > |
bool IsValidSelectionName(std::string_view name);
// "X:" or "\\server", then "\"-separated valid names, optionally one trailing backslash; at
// most kMaxSelectionPath UTF-16 units without that backslash.
bool IsValidSelectionPath(std::string_view path);
// The key or section text for a name or path (escaped only when needed), and back. Decoding
// fails (false) on a malformed escape.
std::string EncodeSelectionText(std::string_view text);
bool DecodeSelectionText(std::string_view encoded, std::string& text);
// Upper-cased form under which the tree compares names (that of the profile files).
std::string FoldSelectionName(std::string_view name);
// <0, 0, >0 as the folded forms compare (bytewise); no allocation for ASCII names.
int CompareSelectionNames(std::string_view a, std::string_view b);

}  // namespace tw
