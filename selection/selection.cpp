#include "selection/selection.h"

#include <algorithm>
#include <limits>

#include "platform/ProfileFile.h"
#include "platform/Utf8.h"

namespace tw {

std::function<void(TWLNode& node, int index)> OnFileAdded;
std::function<void(TWLNode& node, int index)> OnFileRemoved;

void TWLEnvironment::ProcessMessages() {
  if (!processMessages) return;
  if (messageInterval.count() > 0) {
    if (++sinceClock_ < 16) return;  // reading the clock for every entry would cost more
    sinceClock_ = 0;
    auto now = std::chrono::steady_clock::now();
    if (now - lastMessages_ < messageInterval) return;
    lastMessages_ = now;
  }
  processMessages();
}

void TWLEnvironment::ExcludeFolders(const std::vector<std::string>& folders) {
  excludedFolders.clear();
  for (const std::string& f : folders) {
    if (f.empty()) continue;
    std::string folded = FoldSelectionName(f);
    if (folded.back() != '\\') folded += '\\';
    excludedFolders.push_back(std::move(folded));
  }
}

bool TWLEnvironment::IsExcludedFolder(std::string_view path) const {
  if (excludedFolders.empty() || path.empty()) return false;
  std::string folded = FoldSelectionName(path);
  if (folded.back() != '\\') folded += '\\';
  return std::find(excludedFolders.begin(), excludedFolders.end(), folded) !=
         excludedFolders.end();
}

std::string FoldSelectionName(std::string_view name) {
  // Most names are ASCII; fold those here and leave the rest to the profile file's rules so
  // that the tree and its file agree on which names are the same.
  for (unsigned char c : name) {
    if (c >= 0x80) return TProfileFile::FoldName(name);
  }
  std::string out(name);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
  }
  return out;
}

int CompareSelectionNames(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if ((x | y) & 0x80) {
      // Both prefixes are ASCII and fold alike; i starts a character in both.
      std::string fx = FoldSelectionName(a.substr(i)), fy = FoldSelectionName(b.substr(i));
      return fx < fy ? -1 : (fx == fy ? 0 : 1);
    }
    if (x >= 'a' && x <= 'z') x -= 0x20;
    if (y >= 'a' && y <= 'z') y -= 0x20;
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() == b.size() ? 0 : 1);
}

bool IsValidSelectionName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name) {
    // DEL (0x7F) is allowed: Windows refuses only bytes below 0x20 and the characters below.
    if (c < 0x20) return false;
    switch (c) {
      case '\\': case '/': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
        return false;
      default:
        break;
    }
  }
  return true;
}

namespace {

// Splits a valid path into its root ("C:", "\\server") and components.
bool SplitPath(std::string_view path, std::string_view& root, std::vector<std::string_view>& parts) {
  parts.clear();
  std::string_view rest;
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    size_t end = path.find('\\', 2);
    if (end == std::string_view::npos) end = path.size();
    root = path.substr(0, end);
    if (!IsValidSelectionName(root.substr(2))) return false;
    rest = path.substr(end);
  } else {
    if (path.size() < 2 || path[1] != ':') return false;
    char d = path[0];
    if (!((d >= 'A' && d <= 'Z') || (d >= 'a' && d <= 'z'))) return false;
    root = path.substr(0, 2);
    rest = path.substr(2);
  }
  if (rest.empty()) return utf8::Utf16Length(root) <= kMaxSelectionPath;
  if (rest[0] != '\\') return false;  // "C:Data" is relative to the drive's current folder
  rest.remove_prefix(1);
  if (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
  if (utf8::Utf16Length(root) + (rest.empty() ? 0 : 1 + utf8::Utf16Length(rest)) >
      kMaxSelectionPath)
    return false;
  if (rest.empty()) return true;
  for (;;) {
    size_t sep = rest.find('\\');
    std::string_view part = rest.substr(0, sep);
    if (!IsValidSelectionName(part)) return false;
    parts.push_back(part);
    if (sep == std::string_view::npos) break;
    rest.remove_prefix(sep + 1);
  }
  return true;
}

int64_t SizeOf(const FindData& d) {
  return d.size > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
             ? std::numeric_limits<int64_t>::max()
             : static_cast<int64_t>(d.size);
}

// What a scan enters and counts: not junctions or symbolic links, which can lead into a loop.
bool IsScannableFolder(TWLEnvironment& env, const std::string& folderPath, const FindData& e) {
  if (e.IsLink()) return false;
  if (!IsValidSelectionName(e.name)) return false;
  const std::string path = folderPath + "\\" + e.name;
  return !env.IsExcludedFolder(path) && IsFileSystemFolder(env, path);
}

// A file a scan selects and counts: not a temporary file of ours, which a process killed
// during a copy may have left behind.
bool IsScannableFile(const FindData& e) {
  return IsValidSelectionName(e.name) && !IsOurTemporaryName(e.name);
}

}  // namespace

bool IsValidSelectionPath(std::string_view path) {
  std::string_view root;
  std::vector<std::string_view> parts;
  return SplitPath(path, root, parts);
}

bool IsFileSystemFolder(TWLEnvironment& env, const std::string& path) {
  return env.shell == nullptr || env.shell->IsFileSystemFolder(path);
}

int CountFolderEntries(TWLEnvironment& env, std::string_view path) {
  std::string folder(path);
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  std::vector<FindData> entries;
  if (env.fs->List(folder, entries) != winerr::Success) return 0;
  const std::string base = folder.substr(0, folder.size() - 1);
  int count = 0;
  for (const FindData& e : entries) {
    if (e.IsDirectory() ? IsScannableFolder(env, base, e) : IsScannableFile(e)) ++count;
  }
  return count;
}

// ---- TWLNode ----

TWLNode::TWLNode(TWLNode* parent, std::string name)
    : env_(parent->env_),
      parent_(parent),
      name_(std::move(name)),
      pathBytes_(parent->pathBytes_ + 1 + name_.size()),
      pathUnits_(parent->pathUnits_ + 1 + utf8::Utf16Length(name_)) {}

TWLNode::TWLNode(TWLEnvironment& env, std::string name)
    : env_(&env),
      parent_(nullptr),
      name_(std::move(name)),
      pathBytes_(name_.size()),
      pathUnits_(utf8::Utf16Length(name_)) {}

std::string TWLNode::Path() const {
  std::string path(pathBytes_, '\\');
  size_t end = pathBytes_;
  for (const TWLNode* n = this; n; n = n->parent_) {
    end -= n->name_.size();
    path.replace(end, n->name_.size(), n->name_);
    if (n->parent_) --end;  // the backslash the string was filled with
  }
  return path;
}

bool TWLNode::FitsBelow(std::string_view name) const {
  return pathUnits_ + 1 + utf8::Utf16Length(name) <= kMaxSelectionPath;
}

TWLNode::~TWLNode() {
  NotifyAllRemoved();
  files_.clear();
  childIndex_.clear();
  FreeSubtrees(std::move(children_));
}

void TWLNode::NotifyAllRemoved() {
  if (!OnFileRemoved) return;
  for (size_t i = 0; i < files_.size(); ++i) OnFileRemoved(*this, static_cast<int>(i));
}

void TWLNode::FreeSubtrees(std::vector<std::unique_ptr<TWLNode>>&& nodes) {
  std::vector<std::unique_ptr<TWLNode>> stack;
  for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) stack.push_back(std::move(*it));
  nodes.clear();
  // Every node stays alive until all are reported: a handler may ask a node for its path,
  // which is read through its parents.
  std::vector<std::unique_ptr<TWLNode>> reported;
  while (!stack.empty()) {
    std::unique_ptr<TWLNode> node = std::move(stack.back());
    stack.pop_back();
    node->env_->generation++;
    node->NotifyAllRemoved();
    node->files_.clear();
    node->childIndex_.clear();
    for (auto it = node->children_.rbegin(); it != node->children_.rend(); ++it)
      stack.push_back(std::move(*it));
    node->children_.clear();
    reported.push_back(std::move(node));
  }
  while (!reported.empty()) reported.pop_back();  // each is empty, so none recurses
}

std::vector<TWLNode::FileEntry>::const_iterator TWLNode::LowerBound(std::string_view name) const {
  return std::lower_bound(files_.begin(), files_.end(), name,
                          [](const FileEntry& e, std::string_view n) {
                            return CompareSelectionNames(e.name, n) < 0;
                          });
}

int TWLNode::IndexOfFile(std::string_view name) const {
  auto it = LowerBound(name);
  if (it == files_.end() || CompareSelectionNames(it->name, name) != 0) return -1;
  return static_cast<int>(it - files_.begin());
}

int TWLNode::AddFile(const std::string& name, int64_t size) {
  return Insert(name, size, size < 0);
}

int TWLNode::Insert(const std::string& name, int64_t size, bool lookUp,
                    std::optional<FileTime> lastWrite) {
  if (!IsValidSelectionName(name) || !FitsBelow(name)) return -1;
  // Names mostly come in order, so try the end first.
  size_t pos;
  if (files_.empty() || CompareSelectionNames(files_.back().name, name) < 0) {
    pos = files_.size();
  } else {
    auto it = LowerBound(name);
    if (it != files_.end() && CompareSelectionNames(it->name, name) == 0)
      return static_cast<int>(it - files_.begin());
    pos = static_cast<size_t>(it - files_.begin());
  }
  files_.insert(files_.begin() + static_cast<std::ptrdiff_t>(pos),
                NewEntry(lookUp ? Path() : std::string(), name, size, lookUp, lastWrite));
  if (OnFileAdded) OnFileAdded(*this, static_cast<int>(pos));
  return static_cast<int>(pos);
}

TWLNode::FileEntry TWLNode::NewEntry(const std::string& folder, std::string name, int64_t size,
                                     bool lookUp, std::optional<FileTime> lastWrite) {
  if (lookUp) {
    FindData info;
    lastWrite.reset();
    size = -1;
    if (env_->fs->Stat(folder + "\\" + name, info) == winerr::Success) {
      size = SizeOf(info);
      if (!info.IsDirectory()) lastWrite = info.lastWrite;
    }
  } else if (size < 0) {
    size = -1;
    lastWrite.reset();
  }
  FileEntry entry{std::move(name), size};
  if (lastWrite) {
    entry.listedSize = size;
    entry.lastWrite = *lastWrite;
    entry.listedAt = ++env_->listings;
  }
  return entry;
}

void TWLNode::MergeFiles(std::vector<FileEntry>&& fresh) {
  if (fresh.empty()) return;
  auto less = [](const FileEntry& a, const FileEntry& b) {
    return CompareSelectionNames(a.name, b.name) < 0;
  };
  if (!std::is_sorted(fresh.begin(), fresh.end(), less))
    std::stable_sort(fresh.begin(), fresh.end(), less);
  if (files_.empty()) {  // a folder scanned for the first time: no merge needed
    auto equal = [&](const FileEntry& a, const FileEntry& b) { return !less(a, b); };
    fresh.erase(std::unique(fresh.begin(), fresh.end(), equal), fresh.end());
    files_.swap(fresh);
    if (OnFileAdded) {
      for (size_t k = 0; k < files_.size(); ++k) OnFileAdded(*this, static_cast<int>(k));
    }
    return;
  }
  std::vector<FileEntry> merged;
  std::vector<int> added;
  merged.reserve(files_.size() + fresh.size());
  added.reserve(fresh.size());
  size_t i = 0;
  for (FileEntry& f : fresh) {
    while (i < files_.size() && less(files_[i], f)) merged.push_back(std::move(files_[i++]));
    FileEntry* present = nullptr;
    if (i < files_.size() && !less(f, files_[i]))
      present = &files_[i];
    else if (!merged.empty() && !less(merged.back(), f))
      present = &merged.back();  // listed twice in two cases
    if (present) {
      // Of two names that differ only in case (a disk that tells them apart), the one
      // spelled as selected counts.
      if (present->listedAt != f.listedAt || present->name == f.name) {
        present->listedSize = f.size;
        present->lastWrite = f.lastWrite;
        present->listedAt = f.listedAt;
      }
      continue;
    }
    added.push_back(static_cast<int>(merged.size()));
    merged.push_back(std::move(f));
  }
  while (i < files_.size()) merged.push_back(std::move(files_[i++]));
  files_ = std::move(merged);
  if (OnFileAdded) {
    for (int index : added) OnFileAdded(*this, index);
  }
}

void TWLNode::RemoveFile(const std::string& name) {
  int index = IndexOfFile(name);
  if (index < 0) return;
  if (OnFileRemoved) OnFileRemoved(*this, index);
  files_.erase(files_.begin() + index);
  allSelected_ = false;
}

const std::string& TWLNode::FileName(int index) const {
  if (index < 0 || index >= FileCount())
    throw EInvalidIndex("Invalid Index " + std::to_string(index) + " " +
                        std::to_string(FileCount()));
  return files_[static_cast<size_t>(index)].name;
}

bool TWLNode::ListedFile(int index, uint64_t mark, FindData& info) const {
  if (index < 0 || index >= FileCount()) return false;
  const FileEntry& f = files_[static_cast<size_t>(index)];
  if (f.listedAt <= mark || f.listedSize < 0) return false;
  info = FindData{};
  info.name = f.name;
  info.size = static_cast<uint64_t>(f.listedSize);
  info.lastWrite = f.lastWrite;
  return true;
}

int64_t TWLNode::FileSize(int index) const {
  if (index < 0 || index >= FileCount())
    throw EInvalidIndex("Invalid Index " + std::to_string(index) + " " +
                        std::to_string(FileCount()));
  return files_[static_cast<size_t>(index)].size;
}

TWLNode* TWLNode::FindChild(std::string_view name) const {
  auto it = childIndex_.find(FoldSelectionName(name));
  return it == childIndex_.end() ? nullptr : it->second;
}

int TWLNode::IndexOfChild(std::string_view name) const {
  TWLNode* child = FindChild(name);
  return child ? static_cast<int>(child->indexInParent_) : -1;
}

int TWLNode::AddChild(const std::string& name) {
  if (!IsValidSelectionName(name) || !FitsBelow(name)) return -1;
  std::string key = FoldSelectionName(name);
  auto [it, added] = childIndex_.try_emplace(std::move(key), nullptr);
  if (!added) return static_cast<int>(it->second->indexInParent_);
  auto child = std::make_unique<TWLNode>(this, name);
  child->indexInParent_ = children_.size();
  it->second = child.get();
  children_.push_back(std::move(child));
  return static_cast<int>(children_.size() - 1);
}

void TWLNode::RemoveChild(std::string_view name) {
  allSelected_ = false;
  auto it = childIndex_.find(FoldSelectionName(name));
  if (it == childIndex_.end()) return;
  size_t index = it->second->indexInParent_;
  childIndex_.erase(it);
  std::vector<std::unique_ptr<TWLNode>> gone;
  gone.push_back(std::move(children_[index]));
  children_.erase(children_.begin() + static_cast<std::ptrdiff_t>(index));
  for (size_t i = index; i < children_.size(); ++i) children_[i]->indexInParent_ = i;
  FreeSubtrees(std::move(gone));
}

TWLNode* TWLNode::Child(int index) const {
  if (index < 0 || index >= ChildCount()) throw EInvalidIndex("Invalid Index");
  return children_[static_cast<size_t>(index)].get();
}

void TWLNode::ClearFiles() {
  allSelected_ = false;
  NotifyAllRemoved();
  files_.clear();
}

void TWLNode::ClearChildren() {
  allSelected_ = false;
  childIndex_.clear();
  FreeSubtrees(std::move(children_));
  children_.clear();
}

void TWLNode::SetChildrenTreeState(int state) {
  for (auto& child : children_) child->treeState_ = state;
}

bool TWLNode::SelectAll() {
  TWLEnvironment& env = *env_;
  const uint64_t generation = env.generation;
  // Depth first without recursion: each folder's entries are taken in listing order, then its
  // subfolders are scanned in that order.
  std::vector<TWLNode*> pending{this};
  std::vector<TWLNode*> found;
  std::vector<FindData> entries;
  std::vector<FileEntry> fresh;
  // Folders are marked whole only once the scan has finished: an interrupted scan must not
  // leave a folder marked whole whose subfolders were never read.
  std::vector<TWLNode*> scanned;
  while (!pending.empty()) {
    TWLNode* node = pending.back();
    pending.pop_back();
    entries.clear();
    found.clear();
    fresh.clear();
    const std::string path = node->Path();
    node->listError_ = env.fs->List(path + "\\", entries);
    if (node->listError_ == winerr::Success) {
      fresh.reserve(entries.size());
      const uint64_t listedAt = ++env.listings;
      for (FindData& e : entries) {
        env.ProcessMessages();
        if (env.generation != generation) return false;
        if (e.IsDirectory()) {
          if (!IsScannableFolder(env, path, e)) continue;
          int index = node->AddChild(e.name);
          if (index >= 0) found.push_back(node->children_[static_cast<size_t>(index)].get());
        } else if (IsScannableFile(e) && node->FitsBelow(e.name)) {
          const int64_t size = SizeOf(e);
          fresh.push_back(FileEntry{std::move(e.name), size, size, e.lastWrite, listedAt});
        }
      }
      node->MergeFiles(std::move(fresh));
    }
    scanned.push_back(node);
    for (auto it = found.rbegin(); it != found.rend(); ++it) pending.push_back(*it);
  }
  for (TWLNode* node : scanned) node->allSelected_ = true;
  return true;
}

// ---- TWLDesktopNode ----

TWLDesktopNode::TWLDesktopNode(IFileSystem& fs, IShellFolderInfo* shell) {
  env_.fs = &fs;
  env_.shell = shell;
}

TWLDesktopNode::~TWLDesktopNode() { Clear(); }

void TWLDesktopNode::Clear() { TWLNode::FreeSubtrees(std::move(roots_)); }

TWLNode* TWLDesktopNode::Root(int index) const {
  if (index < 0 || index >= RootCount()) throw EInvalidIndex("Invalid Index");
  return roots_[static_cast<size_t>(index)].get();
}

TWLNode* TWLDesktopNode::AddPath(std::string_view path) {
  std::string_view rootName;
  std::vector<std::string_view> parts;
  if (!SplitPath(path, rootName, parts)) return nullptr;
  TWLNode* node = nullptr;
  for (auto& r : roots_) {
    if (r->name_ == rootName) {
      node = r.get();
      break;
    }
  }
  if (!node) {
    roots_.push_back(std::make_unique<TWLNode>(env_, std::string(rootName)));
    node = roots_.back().get();
  }
  for (std::string_view part : parts) {
    int index = node->AddChild(std::string(part));
    if (index < 0) return nullptr;  // SplitPath has checked every name and the length
    node = node->children_[static_cast<size_t>(index)].get();
  }
  return node;
}

TWLNode* TWLDesktopNode::FindNode(std::string_view path) const {
  std::string_view rootName;
  std::vector<std::string_view> parts;
  if (!SplitPath(path, rootName, parts)) return nullptr;
  const std::string rootKey = FoldSelectionName(rootName);
  TWLNode* node = nullptr;
  for (auto& r : roots_) {
    if (FoldSelectionName(r->name_) == rootKey) {
      node = r.get();
      break;
    }
  }
  for (size_t i = 0; node && i < parts.size(); ++i) node = node->FindChild(parts[i]);
  return node;
}

void TWLDesktopNode::RemovePath(std::string_view path) {
  std::string_view rootName;
  std::vector<std::string_view> parts;
  if (!SplitPath(path, rootName, parts)) return;
  auto rootIt = std::find_if(roots_.begin(), roots_.end(),
                             [&](const auto& r) { return r->name_ == rootName; });
  if (rootIt == roots_.end()) return;
  if (parts.empty()) {
    std::vector<std::unique_ptr<TWLNode>> gone;
    gone.push_back(std::move(*rootIt));
    roots_.erase(rootIt);
    TWLNode::FreeSubtrees(std::move(gone));
    return;
  }
  TWLNode* node = rootIt->get();
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    node->allSelected_ = false;
    node = node->FindChild(parts[i]);
    if (!node) return;
  }
  node->RemoveChild(parts.back());
}

int TWLDesktopNode::CountFolderEntries(std::string_view path) {
  return tw::CountFolderEntries(env_, path);
}

bool TWLDesktopNode::IsFileSystemFolder(const std::string& path) {
  return tw::IsFileSystemFolder(env_, path);
}

TWalkEnd WalkFolders(const TWLNode& top, const std::function<TVisit(const TWLNode&)>& visit) {
  TWLEnvironment& env = top.Environment();
  TWalking walking(env);
  const uint64_t generation = env.generation;
  struct Frame {
    const TWLNode* node;
    int next;
  };
  std::vector<Frame> stack;
  const TWLNode* node = &top;
  for (;;) {
    const TVisit how = visit(*node);
    if (env.generation != generation) return TWalkEnd::TreeChanged;
    if (how == TVisit::Stop) return TWalkEnd::Stopped;
    if (how == TVisit::Children && node->ChildCount() > 0) {
      stack.push_back({node, 0});
    }
    // The next folder: the next child of the deepest folder that has one left.
    node = nullptr;
    while (!stack.empty() && !node) {
      Frame& f = stack.back();
      if (f.next < f.node->ChildCount()) {
        node = f.node->Child(f.next++);
      } else {
        stack.pop_back();
      }
    }
    if (!node) return TWalkEnd::Done;
  }
}

bool WalkSelection(const TWLDesktopNode& tree, const std::function<bool(const TWLNode&)>& folder,
                   const std::function<bool(const TWLNode&, int)>& file) {
  std::vector<const TWLNode*> pending;
  for (int r = tree.RootCount() - 1; r >= 0; --r) pending.push_back(tree.Root(r));
  while (!pending.empty()) {
    const TWLNode* node = pending.back();
    pending.pop_back();
    if (folder && !folder(*node)) return false;
    if (file) {
      for (int i = 0; i < node->FileCount(); ++i) {
        if (!file(*node, i)) return false;
      }
    }
    for (int c = node->ChildCount() - 1; c >= 0; --c) pending.push_back(node->Child(c));
  }
  return true;
}

void TTreeGuard::Enter(const TWLNode& root) {
  env_ = &root.Environment();
  generation_ = env_->generation;
}

}  // namespace tw
