#include "platform/memory/MemoryFileSystem.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string_view>

#include "platform/memory/TextFold.h"

namespace tw {

struct MemoryFileSystem::Node {
  std::string name;
  bool dir = false;
  uint32_t attrs = fileattr::Archive;
  std::string data;
  FileTime time = kDefaultTime;
  std::map<std::string, std::unique_ptr<Node>> children;  // by folded name: NTFS order
};

struct MemoryFileSystem::Drive {
  std::string root;
  DriveType type = DriveType::Fixed;
  std::optional<uint64_t> capacity;
  uint64_t used = 0;
  Node top;
  uint64_t Free() const {
    if (!capacity) return std::numeric_limits<uint64_t>::max();
    return *capacity > used ? *capacity - used : 0;
  }
};

struct MemoryFileSystem::Parsed {
  WinError error = winerr::Success;
  bool unc = false;
  std::string root;  // "C:" or "\\server\share", as spelled (drive letter upper-cased)
  std::vector<std::string> parts;
  std::string Canonical() const {
    std::string s = root;
    if (parts.empty()) return s + "\\";
    for (const auto& part : parts) s += "\\" + part;
    return s;
  }
};

namespace {

constexpr uint32_t kSettable = fileattr::ReadOnly | fileattr::Hidden | fileattr::System |
                               fileattr::Archive | fileattr::Normal | fileattr::Temporary |
                               0x1000 /* offline */ | 0x2000 /* not indexed */;

uint32_t FileAttrs(uint32_t a) {
  a &= kSettable;
  if (a & ~static_cast<uint32_t>(fileattr::Normal)) return a & ~static_cast<uint32_t>(fileattr::Normal);
  return fileattr::Normal;
}

uint32_t DirAttrs(uint32_t a) {
  return fileattr::Directory | (a & kSettable & ~static_cast<uint32_t>(fileattr::Normal));
}

bool ValidComponent(const std::string& c) {
  for (unsigned char ch : c) {
    if (ch < 0x20 || ch == '<' || ch == '>' || ch == ':' || ch == '"' || ch == '|' || ch == '?' ||
        ch == '*')
      return false;
  }
  return true;
}

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

const char* FsOpName(FsOp op) {
  switch (op) {
    case FsOp::Any: return "Any";
    case FsOp::ReadAll: return "ReadAll";
    case FsOp::WriteAtomic: return "WriteAtomic";
    case FsOp::Write: return "Write";
    case FsOp::Replace: return "Replace";
    case FsOp::Stat: return "Stat";
    case FsOp::SetAttrs: return "SetAttrs";
    case FsOp::Move: return "Move";
    case FsOp::Remove: return "Remove";
    case FsOp::MakeDir: return "MakeDir";
    case FsOp::RemoveDir: return "RemoveDir";
    case FsOp::List: return "List";
    case FsOp::DriveKind: return "DriveKind";
    case FsOp::Copy: return "Copy";
    case FsOp::SetTime: return "SetTime";
    case FsOp::OpenWrite: return "OpenWrite";
    case FsOp::Append: return "Append";
    case FsOp::Settle: return "Settle";
  }
  return "?";
}

MemoryFileSystem::MemoryFileSystem() = default;
MemoryFileSystem::~MemoryFileSystem() = default;

MemoryFileSystem::Parsed MemoryFileSystem::Parse(const std::string& in) {
  Parsed p;
  std::string s = in;
  std::replace(s.begin(), s.end(), '/', '\\');
  if (!textfold::IsValid(s)) {
    p.error = winerr::InvalidName;
    return p;
  }
  if (StartsWith(s, "\\\\?\\UNC\\")) {
    s = "\\\\" + s.substr(8);
  } else if (StartsWith(s, "\\\\?\\")) {
    s = s.substr(4);
  }
  size_t pos;
  if (s.size() >= 2 && ((s[0] | 0x20) >= 'a' && (s[0] | 0x20) <= 'z') && s[1] == ':') {
    if (s.size() > 2 && s[2] != '\\') {  // drive-relative ("C:foo")
      p.error = winerr::InvalidName;
      return p;
    }
    p.root = std::string(1, static_cast<char>(s[0] & ~0x20)) + ":";
    pos = 2;
  } else if (StartsWith(s, "\\\\")) {
    size_t server = s.find('\\', 2);
    if (server == std::string::npos || server == 2) {
      p.error = winerr::InvalidName;
      return p;
    }
    size_t share = s.find('\\', server + 1);
    if (share == std::string::npos) share = s.size();
    if (share == server + 1 || !ValidComponent(s.substr(2, share - 2))) {
      p.error = winerr::InvalidName;
      return p;
    }
    p.unc = true;
    p.root = s.substr(0, share);
    pos = share;
  } else {
    p.error = winerr::InvalidName;  // relative paths have no meaning here
    return p;
  }
  while (pos < s.size()) {
    size_t end = s.find('\\', pos);
    if (end == std::string::npos) end = s.size();
    std::string part = s.substr(pos, end - pos);
    pos = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!p.parts.empty()) p.parts.pop_back();
      continue;
    }
    if (!ValidComponent(part)) {
      p.error = winerr::InvalidName;
      return p;
    }
    if (textfold::Utf16Length(part) > 255) {
      p.error = winerr::FilenameExcedRange;
      return p;
    }
    p.parts.push_back(std::move(part));
  }
  return p;
}

MemoryFileSystem::Drive* MemoryFileSystem::FindDrive(const Parsed& p) {
  auto it = drives_.find(textfold::Fold(p.root));
  return it == drives_.end() ? nullptr : it->second.get();
}

WinError MemoryFileSystem::Locate(const Parsed& p, Node*& parent, Node*& node, Drive** drive) {
  parent = node = nullptr;
  if (p.error) return p.error;
  Drive* d = FindDrive(p);
  if (!d) return p.unc ? winerr::BadNetPath : winerr::PathNotFound;
  if (drive) *drive = d;
  Node* cur = &d->top;
  if (p.parts.empty()) {
    node = cur;
    return winerr::Success;
  }
  for (size_t i = 0; i + 1 < p.parts.size(); ++i) {
    auto it = cur->children.find(textfold::Fold(p.parts[i]));
    if (it == cur->children.end() || !it->second->dir) return winerr::PathNotFound;
    cur = it->second.get();
  }
  parent = cur;
  auto it = cur->children.find(textfold::Fold(p.parts.back()));
  if (it != cur->children.end()) node = it->second.get();
  return winerr::Success;
}

bool MemoryFileSystem::Matches(const FsFault& f, const std::string& rawPath) {
  if (f.match == PathMatch::Any) return true;
  // Compare canonical spellings so "C:/a" and "c:\A\" name the same thing.
  Parsed p = Parse(rawPath);
  std::string path = textfold::Fold(p.error ? rawPath : p.Canonical());
  switch (f.match) {
    case PathMatch::Exact: {
      Parsed q = Parse(f.path);
      return path == textfold::Fold(q.error ? f.path : q.Canonical());
    }
    case PathMatch::Prefix:
      return StartsWith(path, textfold::Fold(f.path));
    case PathMatch::Contains:
      return path.find(textfold::Fold(f.path)) != std::string::npos;
    case PathMatch::Any:
      break;
  }
  return true;
}

const MemoryFileSystem::FaultState* MemoryFileSystem::CheckFault(FsOp op, const std::string& path,
                                                                 const std::string& path2) {
  const bool step = op == FsOp::Write || op == FsOp::Replace || op == FsOp::Settle;
  return faults_.Fire([&](const FsFault& f) {
    if (f.op != op && (f.op != FsOp::Any || step)) return false;
    return Matches(f, path) || (!path2.empty() && Matches(f, path2));
  });
}

WinError MemoryFileSystem::Log(FsOp op, const std::string& path, WinError result,
                               const std::string& path2) {
  calls_.push_back({op, path, path2, result});
  return result;
}

WinError MemoryFileSystem::ReadAll(const std::string& path, std::string& data) {
  std::lock_guard lock(mutex_);
  const FsOp op = FsOp::ReadAll;
  if (auto f = CheckFault(op, path, {})) return Log(op, path, f->fault.error);
  Node *parent, *node;
  if (WinError e = Locate(Parse(path), parent, node)) return Log(op, path, e);
  if (!node) return Log(op, path, winerr::FileNotFound);
  if (node->dir) return Log(op, path, winerr::AccessDenied);
  data = node->data;
  return Log(op, path, winerr::Success);
}

WinError MemoryFileSystem::WriteAtomic(const std::string& path, const std::string& data) {
  std::lock_guard lock(mutex_);
  return Log(FsOp::WriteAtomic, path, DoWriteAtomic(path, data));
}

WinError MemoryFileSystem::DoWriteAtomic(const std::string& path, const std::string& data) {
  if (auto f = CheckFault(FsOp::WriteAtomic, path, {})) return f->fault.error;
  Parsed p = Parse(path);
  Node *parent, *node;
  Drive* drive = nullptr;
  if (WinError e = Locate(p, parent, node, &drive)) return e;
  if (!parent) return winerr::AccessDenied;  // a root
  if (node && node->dir) return winerr::AccessDenied;
  if (node && (node->attrs & fileattr::ReadOnly)) return winerr::AccessDenied;
  Parsed folder = p;
  folder.parts.pop_back();
  SweepOnce(folder);

  // A hidden or system file (a mark, a settings file) stays so after being rewritten.
  const uint32_t attrs = fileattr::Archive |
                         (node ? node->attrs & (fileattr::Hidden | fileattr::System) : 0);
  return ReplaceViaTemp(path, parent, node, drive, p.parts.back(), data, attrs, now_);
}

WinError MemoryFileSystem::ReplaceViaTemp(const std::string& target, Node* parent, Node* node,
                                          Drive* drive, const std::string& targetName,
                                          const std::string& data, uint32_t attrs,
                                          FileTime time) {
  std::string tmpName, tmpKey;
  do {
    tmpName = TemporaryName(kOwnPid, tempCounter_++);
    tmpKey = textfold::Fold(tmpName);
  } while (parent->children.count(tmpKey));
  auto owned = std::make_unique<Node>();
  Node* tmp = owned.get();
  tmp->name = tmpName;
  tmp->attrs = FileAttrs(attrs);
  tmp->time = time;
  parent->children[tmpKey] = std::move(owned);
  auto discard = [&](WinError e) {
    drive->used -= tmp->data.size();
    parent->children.erase(tmpKey);
    return e;
  };

  const uint64_t free = drive->Free();
  if (auto f = CheckFault(FsOp::Write, target, {})) {
    uint64_t n = std::min<uint64_t>({f->fault.partialBytes, data.size(), free});
    tmp->data = data.substr(0, static_cast<size_t>(n));
    drive->used += n;
    return discard(f->fault.error);
  }
  if (data.size() > free) {
    tmp->data = data.substr(0, static_cast<size_t>(free));
    drive->used += free;
    return discard(winerr::DiskFull);
  }
  tmp->data = data;
  drive->used += data.size();

  for (int attempt = 1;; ++attempt) {
    auto f = CheckFault(FsOp::Replace, target, {});
    if (!f) break;
    WinError e = f->fault.error;
    bool transient = e == winerr::AccessDenied || e == winerr::SharingViolation;
    if (!transient || attempt >= kReplaceTries) return discard(e);
  }
  const std::string name = targetName;  // may belong to the node replaced below
  if (node) {
    drive->used -= node->data.size();
    parent->children.erase(textfold::Fold(node->name));
  }
  std::unique_ptr<Node> done = std::move(parent->children[tmpKey]);
  parent->children.erase(tmpKey);
  done->name = name;
  parent->children[textfold::Fold(done->name)] = std::move(done);
  return winerr::Success;
}

WinError MemoryFileSystem::CopyFileAtomic(const std::string& from, const std::string& to,
                                          uint32_t* copyAttributes, uint64_t* bytesCopied) {
  std::lock_guard lock(mutex_);
  return Log(FsOp::Copy, from, DoCopy(from, to, copyAttributes, bytesCopied), to);
}

WinError MemoryFileSystem::SettleCopies(std::string* failedCopy) {
  std::lock_guard lock(mutex_);
  if (failedCopy) failedCopy->clear();
  WinError first = winerr::Success;
  for (const Unsettled& copy : unsettled_) {
    WinError e = winerr::Success;
    if (auto f = CheckFault(FsOp::Settle, copy.target, {})) {
      e = f->fault.error;
    } else {
      Node *parent, *node;
      if (Locate(Parse(copy.target), parent, node) == winerr::Success && node && !node->dir)
        node->time = copy.time;
    }
    if (e && !first) {
      first = e;
      if (failedCopy) *failedCopy = copy.target;
    }
  }
  unsettled_.clear();
  return Log(FsOp::Settle, {}, first);
}

size_t MemoryFileSystem::UnsettledCopies() {
  std::lock_guard lock(mutex_);
  return unsettled_.size();
}

WinError MemoryFileSystem::DoCopy(const std::string& from, const std::string& to,
                                  uint32_t* copyAttributes, uint64_t* bytesCopied) {
  if (auto f = CheckFault(FsOp::Copy, from, to)) return f->fault.error;
  Node *srcParent, *src;
  if (WinError e = Locate(Parse(from), srcParent, src)) return e;
  if (!src) return winerr::FileNotFound;
  if (src->dir) return winerr::AccessDenied;
  Parsed pd = Parse(to);
  Node *parent, *node;
  Drive* drive = nullptr;
  if (WinError e = Locate(pd, parent, node, &drive)) return e;
  if (!parent) return winerr::AccessDenied;  // a root
  if (node == src) return winerr::SharingViolation;  // onto itself: the source is open
  if (node && (node->dir || (node->attrs & fileattr::ReadOnly))) return winerr::AccessDenied;
  Parsed folder = pd;
  folder.parts.pop_back();
  SweepOnce(folder);
  const std::string data = src->data;
  const std::string name = node ? node->name : pd.parts.back();  // an existing name keeps its case
  const FileTime provisional = ProvisionalLastWrite(src->time);
  const uint32_t attrs = src->attrs;
  const FileTime time = src->time;
  WinError e = ReplaceViaTemp(to, parent, node, drive, name, data, attrs, provisional);
  if (e) return e;
  unsettled_.push_back({to, time});
  if (copyAttributes) *copyAttributes = attrs;
  if (bytesCopied) *bytesCopied = data.size();
  return winerr::Success;
}

WinError MemoryFileSystem::SetLastWriteTime(const std::string& path, FileTime time) {
  std::lock_guard lock(mutex_);
  const FsOp op = FsOp::SetTime;
  if (auto f = CheckFault(op, path, {})) return Log(op, path, f->fault.error);
  Node *parent, *node;
  if (WinError e = Locate(Parse(path), parent, node)) return Log(op, path, e);
  if (!node) return Log(op, path, winerr::FileNotFound);
  node->time = time;  // allowed on a read-only file, as on Windows
  return Log(op, path, winerr::Success);
}

WinError MemoryFileSystem::DiskFree(const std::string& root, uint64_t& freeBytes) {
  std::lock_guard lock(mutex_);
  Parsed p = Parse(root);
  Drive* d = p.error ? nullptr : FindDrive(p);
  if (!d) return p.unc ? winerr::BadNetPath : winerr::PathNotFound;
  freeBytes = d->Free();
  return winerr::Success;
}

class MemoryFileSystem::Writer : public IFileWriter {
 public:
  Writer(MemoryFileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}
  ~Writer() override {
    std::lock_guard lock(fs_.mutex_);
    --fs_.openWriters_;
  }
  WinError Write(std::string_view data) override { return fs_.Append(path_, data); }

 private:
  MemoryFileSystem& fs_;
  std::string path_;
};

WinError MemoryFileSystem::OpenForWriting(const std::string& path,
                                          std::unique_ptr<IFileWriter>& file) {
  std::lock_guard lock(mutex_);
  const FsOp op = FsOp::OpenWrite;
  if (auto f = CheckFault(op, path, {})) return Log(op, path, f->fault.error);
  Parsed p = Parse(path);
  Node *parent, *node;
  Drive* drive = nullptr;
  if (WinError e = Locate(p, parent, node, &drive)) return Log(op, path, e);
  if (!parent) return Log(op, path, winerr::AccessDenied);
  if (node && (node->dir || (node->attrs & fileattr::ReadOnly)))
    return Log(op, path, winerr::AccessDenied);
  if (node) {
    drive->used -= node->data.size();
    node->data.clear();
    node->time = now_;
  } else {
    auto n = std::make_unique<Node>();
    n->name = p.parts.back();
    n->time = now_;
    parent->children[textfold::Fold(n->name)] = std::move(n);
  }
  file = std::make_unique<Writer>(*this, path);
  ++openWriters_;
  return Log(op, path, winerr::Success);
}

WinError MemoryFileSystem::Append(const std::string& path, std::string_view data) {
  std::lock_guard lock(mutex_);
  const FsOp op = FsOp::Append;
  if (auto f = CheckFault(op, path, {})) return Log(op, path, f->fault.error);
  Node *parent, *node;
  Drive* drive = nullptr;
  WinError e = Locate(Parse(path), parent, node, &drive);
  if (e || !node || node->dir) return Log(op, path, winerr::InvalidHandle);
  const uint64_t n = std::min<uint64_t>(data.size(), drive->Free());
  node->data.append(data.substr(0, static_cast<size_t>(n)));
  drive->used += n;
  node->time = now_;
  return Log(op, path, n < data.size() ? static_cast<WinError>(winerr::DiskFull)
                                       : static_cast<WinError>(winerr::Success));
}

int MemoryFileSystem::OpenWriters() {
  std::lock_guard lock(mutex_);
  return openWriters_;
}

std::vector<std::string> MemoryFileSystem::TemporaryFiles() {
  std::vector<std::string> out;
  for (const auto& path : ListAll()) {
    if (IsOurTemporaryName(path.substr(path.find_last_of('\\') + 1))) out.push_back(path);
  }
  return out;
}

void MemoryFileSystem::SetProcess(uint32_t pid, std::optional<FileTime> start) {
  std::lock_guard lock(mutex_);
  if (start)
    processes_[pid] = *start;
  else
    processes_.erase(pid);
}

void MemoryFileSystem::SweepTemporaries(const std::string& folder) {
  std::lock_guard lock(mutex_);
  Parsed p = Parse(folder);
  if (!p.error) SweepOnce(p);
}

void MemoryFileSystem::SweepOnce(const Parsed& folder) {
  if (!swept_.insert(textfold::Fold(folder.Canonical())).second) return;
  Node *parent, *node;
  Drive* drive = nullptr;
  if (Locate(folder, parent, node, &drive) || !node || !node->dir) return;
  std::vector<std::string> stale;
  for (const auto& [key, child] : node->children) {
    const std::optional<uint32_t> pid = TemporaryNameOwner(child->name);
    if (!pid || child->dir) continue;
    auto running = processes_.find(*pid);
    std::optional<FileTime> start;
    if (running != processes_.end()) start = running->second;
    if (IsStaleTemporary(start, child->time)) stale.push_back(key);
  }
  const std::string base = folder.parts.empty() ? folder.Canonical() : folder.Canonical() + "\\";
  for (const std::string& key : stale) {
    Node* tmp = node->children[key].get();
    const std::string path = base + tmp->name;
    drive->used -= tmp->data.size();
    node->children.erase(key);
    Log(FsOp::Remove, path, winerr::Success);
  }
}

WinError MemoryFileSystem::Stat(const std::string& path, FindData& info) {
  std::lock_guard lock(mutex_);
  const FsOp op = FsOp::Stat;
  if (auto f = CheckFault(op, path, {})) return Log(op, path, f->fault.error);
  Parsed p = Parse(path);
  Node *parent, *node;
  if (WinError e = Locate(p, parent, node)) return Log(op, path, e);
  if (!node) return Log(op, path, winerr::FileNotFound);
  info = FindData{};
  info.name = p.parts.empty() ? std::string() : p.parts.back();
  info.attributes = node->attrs;
  info.size = node->dir ? 0 : node->data.size();
  info.lastWrite = node->time;
  return Log(op, path, winerr::Success);
}

WinError MemoryFileSystem::SetAttrs(const std::string& path, uint32_t attributes) {
  std::lock_guard lock(mutex_);
  const FsOp op = FsOp::SetAttrs;
  if (auto f = CheckFault(op, path, {})) return Log(op, path, f->fault.error);
  Node *parent, *node;
  if (WinError e = Locate(Parse(path), parent, node)) return Log(op, path, e);
  if (!node) return Log(op, path, winerr::FileNotFound);
  if (!parent) return Log(op, path, winerr::AccessDenied);
  node->attrs = node->dir ? DirAttrs(attributes) : FileAttrs(attributes);
  return Log(op, path, winerr::Success);
}

WinError MemoryFileSystem::Move(const std::string& from, const std::string& to, bool replace) {
  std::lock_guard lock(mutex_);
  return Log(FsOp::Move, from, DoMove(from, to, replace), to);
}

WinError MemoryFileSystem::DoMove(const std::string& from, const std::string& to, bool replace) {
  if (auto f = CheckFault(FsOp::Move, from, to)) return f->fault.error;
  Parsed ps = Parse(from), pd = Parse(to);
  Node *srcParent, *src, *dstParent, *dst;
  Drive *srcDrive = nullptr, *dstDrive = nullptr;
  if (WinError e = Locate(ps, srcParent, src, &srcDrive)) return e;
  if (!src) return winerr::FileNotFound;
  if (WinError e = Locate(pd, dstParent, dst, &dstDrive)) return e;
  if (!srcParent || !dstParent) return winerr::AccessDenied;  // a root
  if (src == dst) {  // a change of case only
    src->name = pd.parts.back();
    return winerr::Success;
  }
  if (dst) {
    if (!replace) return winerr::AlreadyExists;
    if (dst->dir || src->dir || (dst->attrs & fileattr::ReadOnly)) return winerr::AccessDenied;
  }
  if (src->dir) {
    if (srcDrive != dstDrive) return winerr::NotSameDevice;
    if (StartsWith(textfold::Fold(pd.Canonical()), textfold::Fold(ps.Canonical()) + "\\"))
      return winerr::AccessDenied;  // into itself
  }
  const uint64_t size = src->dir ? 0 : src->data.size();
  if (srcDrive != dstDrive && size > dstDrive->Free()) return winerr::DiskFull;

  const std::string srcKey = textfold::Fold(src->name);
  std::unique_ptr<Node> moving = std::move(srcParent->children[srcKey]);
  srcParent->children.erase(srcKey);
  if (dst) dstDrive->used -= dst->data.size();
  srcDrive->used -= size;
  dstDrive->used += size;
  moving->name = pd.parts.back();
  dstParent->children[textfold::Fold(moving->name)] = std::move(moving);
  return winerr::Success;
}

WinError MemoryFileSystem::Remove(const std::string& path) {
  std::lock_guard lock(mutex_);
  const FsOp op = FsOp::Remove;
  if (auto f = CheckFault(op, path, {})) return Log(op, path, f->fault.error);
  Node *parent, *node;
  Drive* drive = nullptr;
  if (WinError e = Locate(Parse(path), parent, node, &drive)) return Log(op, path, e);
  if (!node) return Log(op, path, winerr::FileNotFound);
  if (!parent || node->dir || (node->attrs & fileattr::ReadOnly))
    return Log(op, path, winerr::AccessDenied);
  drive->used -= node->data.size();
  parent->children.erase(textfold::Fold(node->name));
  return Log(op, path, winerr::Success);
}

WinError MemoryFileSystem::MakeDir(const std::string& path) {
  std::lock_guard lock(mutex_);
  const FsOp op = FsOp::MakeDir;
  if (auto f = CheckFault(op, path, {})) return Log(op, path, f->fault.error);
  Parsed p = Parse(path);
  Node *parent, *node;
  if (WinError e = Locate(p, parent, node)) return Log(op, path, e);
  if (node) return Log(op, path, winerr::AlreadyExists);
  auto dir = std::make_unique<Node>();
  dir->name = p.parts.back();
  dir->dir = true;
  dir->attrs = fileattr::Directory;
  dir->time = now_;
  parent->children[textfold::Fold(dir->name)] = std::move(dir);
  swept_.insert(textfold::Fold(p.Canonical()));  // a new folder holds no leftovers
  return Log(op, path, winerr::Success);
}

WinError MemoryFileSystem::RemoveDir(const std::string& path) {
  std::lock_guard lock(mutex_);
  const FsOp op = FsOp::RemoveDir;
  if (auto f = CheckFault(op, path, {})) return Log(op, path, f->fault.error);
  Node *parent, *node;
  if (WinError e = Locate(Parse(path), parent, node)) return Log(op, path, e);
  if (!node) return Log(op, path, winerr::FileNotFound);
  if (!parent) return Log(op, path, winerr::AccessDenied);
  if (!node->dir) return Log(op, path, winerr::DirectoryName);
  if (node->attrs & fileattr::ReadOnly) return Log(op, path, winerr::AccessDenied);
  if (!node->children.empty()) return Log(op, path, winerr::DirNotEmpty);
  parent->children.erase(textfold::Fold(node->name));
  return Log(op, path, winerr::Success);
}

WinError MemoryFileSystem::List(const std::string& folder, std::vector<FindData>& entries) {
  return ListInto(*this, folder, entries);
}

WinError MemoryFileSystem::ListEach(const std::string& folder, const ListCallback& each) {
  // The entries are taken under the lock and handed over outside it, so a callback may use
  // this file system.
  std::vector<FindData> entries;
  {
    std::lock_guard lock(mutex_);
    const FsOp op = FsOp::List;
    if (auto f = CheckFault(op, folder, {})) return Log(op, folder, f->fault.error);
    Node *parent, *node;
    if (WinError e = Locate(Parse(folder), parent, node)) return Log(op, folder, e);
    if (!node) return Log(op, folder, winerr::PathNotFound);
    if (!node->dir) return Log(op, folder, winerr::DirectoryName);
    entries.reserve(node->children.size());
    for (const auto& [key, child] : node->children) {
      FindData d;
      d.name = child->name;
      d.attributes = child->attrs;
      d.size = child->dir ? 0 : child->data.size();
      d.lastWrite = child->time;
      entries.push_back(std::move(d));
    }
    Log(op, folder, winerr::Success);
  }
  for (const FindData& d : entries)
    if (!each(d)) break;
  return winerr::Success;
}

DriveType MemoryFileSystem::DriveKind(const std::string& root) {
  std::lock_guard lock(mutex_);
  // A fault here answers as for a drive that has gone away.
  if (CheckFault(FsOp::DriveKind, root, {})) {
    Log(FsOp::DriveKind, root, winerr::NotReady);
    return DriveType::NoRootDir;
  }
  Parsed p = Parse(root);
  Drive* d = p.error || !p.parts.empty() ? nullptr : FindDrive(p);
  Log(FsOp::DriveKind, root, d ? winerr::Success : winerr::PathNotFound);
  return d ? d->type : DriveType::NoRootDir;
}

std::string MemoryFileSystem::TempFolder() {
  std::lock_guard lock(mutex_);
  return temp_;
}

// ---- test helpers

MemoryFileSystem::Node* MemoryFileSystem::MustFind(const std::string& path) {
  Parsed p = Parse(path);
  if (p.error) throw std::invalid_argument("bad path: " + path);
  Node *parent, *node;
  Locate(p, parent, node);
  return node;
}

std::vector<std::string> MemoryFileSystem::DriveRoots() {
  std::lock_guard lock(mutex_);
  std::vector<std::string> roots;
  for (const auto& [folded, drive] : drives_) {
    if (drive->root.size() == 2 && drive->root[1] == ':') roots.push_back(drive->root + "\\");
  }
  return roots;  // the map is ordered by the folded root: letter order
}

void MemoryFileSystem::AddDrive(const std::string& root, DriveType type,
                                std::optional<uint64_t> capacity) {
  std::lock_guard lock(mutex_);
  Parsed p = Parse(root);
  if (p.error || !p.parts.empty()) throw std::invalid_argument("bad root: " + root);
  auto d = std::make_unique<Drive>();
  d->root = p.root;
  d->type = type;
  d->capacity = capacity;
  d->top.dir = true;
  d->top.attrs = fileattr::Directory;
  drives_[textfold::Fold(p.root)] = std::move(d);
}

void MemoryFileSystem::RemoveDrive(const std::string& root) {
  std::lock_guard lock(mutex_);
  Parsed p = Parse(root);
  if (p.error || !p.parts.empty()) throw std::invalid_argument("bad root: " + root);
  drives_.erase(textfold::Fold(p.root));
}

void MemoryFileSystem::MakeDirs(const std::string& path) {
  std::lock_guard lock(mutex_);
  Parsed p = Parse(path);
  Drive* d = p.error ? nullptr : FindDrive(p);
  if (!d) throw std::invalid_argument("bad path or unknown drive: " + path);
  Node* cur = &d->top;
  for (const auto& part : p.parts) {
    auto& slot = cur->children[textfold::Fold(part)];
    if (!slot) {
      slot = std::make_unique<Node>();
      slot->name = part;
      slot->dir = true;
      slot->attrs = fileattr::Directory;
      slot->time = now_;
    } else if (!slot->dir) {
      throw std::invalid_argument("a file is in the way: " + path);
    }
    cur = slot.get();
  }
}

void MemoryFileSystem::WriteFile(const std::string& path, const std::string& data,
                                 uint32_t attributes, FileTime time) {
  Parsed p = Parse(path);
  if (p.error || p.parts.empty()) throw std::invalid_argument("bad file path: " + path);
  Parsed parentPath = p;
  parentPath.parts.pop_back();
  MakeDirs(parentPath.Canonical());
  std::lock_guard lock(mutex_);
  Node *parent, *node;
  Drive* drive = nullptr;
  Locate(p, parent, node, &drive);
  if (node && node->dir) throw std::invalid_argument("a folder is in the way: " + path);
  auto& slot = parent->children[textfold::Fold(p.parts.back())];
  if (slot) drive->used -= slot->data.size();
  slot = std::make_unique<Node>();
  slot->name = p.parts.back();
  slot->attrs = FileAttrs(attributes);
  slot->data = data;
  slot->time = time;
  drive->used += data.size();
}

bool MemoryFileSystem::Exists(const std::string& path) {
  std::lock_guard lock(mutex_);
  return MustFind(path) != nullptr;
}

bool MemoryFileSystem::IsDir(const std::string& path) {
  std::lock_guard lock(mutex_);
  Node* n = MustFind(path);
  return n && n->dir;
}

std::optional<std::string> MemoryFileSystem::Contents(const std::string& path) {
  std::lock_guard lock(mutex_);
  Node* n = MustFind(path);
  if (!n || n->dir) return std::nullopt;
  return n->data;
}

std::optional<uint32_t> MemoryFileSystem::Attributes(const std::string& path) {
  std::lock_guard lock(mutex_);
  Node* n = MustFind(path);
  if (!n) return std::nullopt;
  return n->attrs;
}

std::optional<FileTime> MemoryFileSystem::TimeOf(const std::string& path) {
  std::lock_guard lock(mutex_);
  Node* n = MustFind(path);
  if (!n) return std::nullopt;
  return n->time;
}

void MemoryFileSystem::SetTime(const std::string& path, FileTime time) {
  std::lock_guard lock(mutex_);
  Node* n = MustFind(path);
  if (!n) throw std::invalid_argument("no such file: " + path);
  n->time = time;
}

std::vector<std::string> MemoryFileSystem::ListAll() {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  auto walk = [&](auto& self, const Node& n, const std::string& prefix) -> void {
    for (const auto& [key, child] : n.children) {
      std::string path = prefix + "\\" + child->name;
      out.push_back(path);
      if (child->dir) self(self, *child, path);
    }
  };
  for (const auto& [key, d] : drives_) walk(walk, d->top, d->root);
  return out;
}

uint64_t MemoryFileSystem::FreeSpace(const std::string& root) {
  std::lock_guard lock(mutex_);
  Parsed p = Parse(root);
  Drive* d = p.error ? nullptr : FindDrive(p);
  if (!d) throw std::invalid_argument("unknown drive: " + root);
  return d->Free();
}

std::optional<uint32_t> MemoryFileSystem::LocalDosDateTime(FileTime utc) {
  const int64_t shift = static_cast<int64_t>(biasMinutes_.load()) * 60 * 10000000LL;
  if (shift < 0 && utc < static_cast<uint64_t>(-shift)) return std::nullopt;
  return PackDosDateTime(utc + static_cast<uint64_t>(shift));
}

void MemoryFileSystem::SetCurrentTime(FileTime time) {
  std::lock_guard lock(mutex_);
  now_ = time;
}

void MemoryFileSystem::SetTempFolder(const std::string& folder) {
  std::lock_guard lock(mutex_);
  temp_ = folder;
  if (temp_.empty() || temp_.back() != '\\') temp_ += '\\';
}

int MemoryFileSystem::AddFault(const FsFault& fault) {
  std::lock_guard lock(mutex_);
  return faults_.Add(fault);
}

void MemoryFileSystem::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_.Clear();
}

int MemoryFileSystem::FaultHits(int id) {
  std::lock_guard lock(mutex_);
  return faults_.Hits(id);
}

std::vector<FsCall> MemoryFileSystem::Calls() {
  std::lock_guard lock(mutex_);
  return calls_;
}

void MemoryFileSystem::ClearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

int MemoryFileSystem::CallCount(FsOp op, const std::string& path) {
  std::lock_guard lock(mutex_);
  FsFault probe;
  probe.path = path;
  probe.match = path.empty() ? PathMatch::Any : PathMatch::Exact;
  int n = 0;
  for (const auto& c : calls_) {
    if (op != FsOp::Any && c.op != op) continue;
    if (Matches(probe, c.path) || (!c.path2.empty() && Matches(probe, c.path2))) ++n;
  }
  return n;
}

}  // namespace tw
