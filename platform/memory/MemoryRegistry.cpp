#include "platform/memory/MemoryRegistry.h"

#include <stdexcept>

#include "platform/memory/TextFold.h"

namespace tw {

struct MemoryRegistry::Key {
  std::string name;
  bool deleted = false;
  std::map<std::string, std::pair<std::string, RegValue>> values;  // folded -> (name, value)
  std::map<std::string, std::shared_ptr<Key>> subkeys;            // folded -> key
};

namespace {

// Splits "\A\B" into its names; false for empty inner names or malformed text.
bool SplitKeyPath(const std::string& path, std::vector<std::string>& parts) {
  parts.clear();
  if (!textfold::IsValid(path)) return false;
  size_t begin = path.find_first_not_of('\\');
  size_t end = path.find_last_not_of('\\');
  if (begin == std::string::npos) return true;
  std::string s = path.substr(begin, end - begin + 1);
  size_t pos = 0;
  while (true) {
    size_t next = s.find('\\', pos);
    std::string part = s.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
    if (part.empty() || part.size() > 255) return false;
    parts.push_back(part);
    if (next == std::string::npos) break;
    pos = next + 1;
  }
  return true;
}

std::string FoldedPath(const std::vector<std::string>& parts) {
  std::string s;
  for (const auto& p : parts) s += "\\" + textfold::Fold(p);
  return s;
}

}  // namespace

class MemoryRegKey : public IRegKey {
 public:
  MemoryRegKey(MemoryRegistry* owner, RegRoot root, std::string path,
               std::shared_ptr<MemoryRegistry::Key> key)
      : owner_(owner), root_(root), path_(std::move(path)), key_(std::move(key)) {}

  RegType TypeOf(const std::string& name) override {
    std::lock_guard lock(owner_->mutex_);
    if (key_->deleted) return RegType::None;
    auto it = key_->values.find(textfold::Fold(name));
    return it == key_->values.end() ? RegType::None : it->second.second.type;
  }

  WinError ReadDword(const std::string& name, uint32_t& value) override {
    std::lock_guard lock(owner_->mutex_);
    const RegValue* v = nullptr;
    if (WinError e = Lookup(name, RegType::Dword, v)) return e;
    value = v->dword;
    return winerr::Success;
  }

  WinError ReadString(const std::string& name, std::string& value) override {
    std::lock_guard lock(owner_->mutex_);
    const RegValue* v = nullptr;
    if (WinError e = Lookup(name, RegType::String, v)) return e;
    value = v->text;
    return winerr::Success;
  }

  WinError ReadBinary(const std::string& name, std::vector<uint8_t>& value) override {
    std::lock_guard lock(owner_->mutex_);
    const RegValue* v = nullptr;
    if (WinError e = Lookup(name, RegType::Binary, v)) return e;
    value = v->bytes;
    return winerr::Success;
  }

  WinError WriteDword(const std::string& name, uint32_t value) override {
    RegValue v;
    v.type = RegType::Dword;
    v.dword = value;
    return Store(name, v);
  }

  WinError WriteString(const std::string& name, const std::string& value) override {
    if (!textfold::IsValid(value)) return winerr::InvalidParameter;
    RegValue v;
    v.type = RegType::String;
    v.text = value;
    return Store(name, v);
  }

  WinError WriteBinary(const std::string& name, const std::vector<uint8_t>& value) override {
    RegValue v;
    v.type = RegType::Binary;
    v.bytes = value;
    return Store(name, v);
  }

  WinError DeleteValue(const std::string& name) override {
    std::lock_guard lock(owner_->mutex_);
    if (key_->deleted) return winerr::KeyDeleted;
    if (auto e = owner_->Fault(RegOp::Delete, root_, path_, &name)) return *e;
    if (owner_->ReadOnly(root_)) return winerr::AccessDenied;
    return key_->values.erase(textfold::Fold(name)) ? winerr::Success : winerr::FileNotFound;
  }

  std::vector<std::string> ValueNames() override {
    std::lock_guard lock(owner_->mutex_);
    std::vector<std::string> names;
    if (key_->deleted) return names;
    for (const auto& [folded, entry] : key_->values) names.push_back(entry.first);
    return names;
  }

 private:
  WinError Lookup(const std::string& name, RegType want, const RegValue*& out) {
    if (key_->deleted) return winerr::KeyDeleted;
    if (auto e = owner_->Fault(RegOp::Read, root_, path_, &name)) return *e;
    auto it = key_->values.find(textfold::Fold(name));
    if (it == key_->values.end()) return winerr::FileNotFound;
    if (it->second.second.type != want) return winerr::UnsupportedType;
    out = &it->second.second;
    return winerr::Success;
  }

  WinError Store(const std::string& name, const RegValue& v) {
    if (!textfold::IsValid(name) || name.size() > 16383) return winerr::InvalidParameter;
    std::lock_guard lock(owner_->mutex_);
    if (key_->deleted) return winerr::KeyDeleted;
    if (auto e = owner_->Fault(RegOp::Write, root_, path_, &name)) return *e;
    if (owner_->ReadOnly(root_)) return winerr::AccessDenied;
    auto& slot = key_->values[textfold::Fold(name)];
    if (slot.first.empty()) slot.first = name;  // keeps the first spelling, as Windows does
    slot.second = v;
    return winerr::Success;
  }

  MemoryRegistry* owner_;
  RegRoot root_;
  std::string path_;
  std::shared_ptr<MemoryRegistry::Key> key_;
};

MemoryRegistry::MemoryRegistry() {
  for (auto& r : roots_) r = std::make_shared<Key>();
}

MemoryRegistry::~MemoryRegistry() = default;

std::shared_ptr<MemoryRegistry::Key> MemoryRegistry::Find(RegRoot root,
                                                          const std::vector<std::string>& parts) {
  std::shared_ptr<Key> cur = roots_[RootIndex(root)];
  for (const auto& part : parts) {
    auto it = cur->subkeys.find(textfold::Fold(part));
    if (it == cur->subkeys.end()) return nullptr;
    cur = it->second;
  }
  return cur;
}

std::shared_ptr<MemoryRegistry::Key> MemoryRegistry::CreatePath(
    RegRoot root, const std::vector<std::string>& parts) {
  std::shared_ptr<Key> key = roots_[RootIndex(root)];
  for (const auto& part : parts) {
    auto& slot = key->subkeys[textfold::Fold(part)];
    if (!slot) {
      slot = std::make_shared<Key>();
      slot->name = part;
    }
    key = slot;
  }
  return key;
}

std::optional<WinError> MemoryRegistry::Fault(RegOp op, RegRoot root, const std::string& keyPath,
                                              const std::string* value) {
  std::vector<std::string> parts;
  SplitKeyPath(keyPath, parts);
  const std::string folded = FoldedPath(parts);
  auto fired = faults_.Fire([&](const RegFault& f) {
    if ((f.op != RegOp::Any && f.op != op) || f.root != root) return false;
    std::vector<std::string> faultParts;
    SplitKeyPath(f.key, faultParts);
    if (FoldedPath(faultParts) != folded) return false;
    return !f.value || (value && textfold::Fold(*f.value) == textfold::Fold(*value));
  });
  if (!fired) return std::nullopt;
  return fired->fault.error;
}

std::unique_ptr<IRegKey> MemoryRegistry::Open(RegRoot root, const std::string& path, bool create,
                                              WinError* error) {
  std::lock_guard lock(mutex_);
  auto fail = [&](WinError e) -> std::unique_ptr<IRegKey> {
    if (error) *error = e;
    return nullptr;
  };
  std::vector<std::string> parts;
  if (!SplitKeyPath(path, parts)) return fail(winerr::InvalidParameter);
  if (auto e = Fault(RegOp::Open, root, path, nullptr)) return fail(*e);
  std::shared_ptr<Key> key = Find(root, parts);
  if (!key) {
    if (!create) return fail(winerr::FileNotFound);
    if (ReadOnly(root)) return fail(winerr::AccessDenied);
    key = CreatePath(root, parts);
  }
  if (error) *error = winerr::Success;
  return std::make_unique<MemoryRegKey>(this, root, path, key);
}

WinError MemoryRegistry::DeleteTree(RegRoot root, const std::string& path) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> parts;
  if (!SplitKeyPath(path, parts)) return winerr::InvalidParameter;
  if (parts.empty()) return winerr::InvalidParameter;  // never a whole root
  if (auto e = Fault(RegOp::DeleteTree, root, path, nullptr)) return *e;
  std::string last = parts.back();
  parts.pop_back();
  std::shared_ptr<Key> parent = Find(root, parts);
  if (!parent) return winerr::FileNotFound;
  auto it = parent->subkeys.find(textfold::Fold(last));
  if (it == parent->subkeys.end()) return winerr::FileNotFound;
  if (ReadOnly(root)) return winerr::AccessDenied;
  auto mark = [](auto& self, Key& k) -> void {
    k.deleted = true;
    for (auto& [n, sub] : k.subkeys) self(self, *sub);
  };
  mark(mark, *it->second);
  parent->subkeys.erase(it);
  return winerr::Success;
}

bool MemoryRegistry::KeyExists(RegRoot root, const std::string& path) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> parts;
  if (!SplitKeyPath(path, parts)) throw std::invalid_argument("bad key path: " + path);
  return Find(root, parts) != nullptr;
}

std::optional<RegValue> MemoryRegistry::Value(RegRoot root, const std::string& path,
                                              const std::string& name) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> parts;
  if (!SplitKeyPath(path, parts)) throw std::invalid_argument("bad key path: " + path);
  auto key = Find(root, parts);
  if (!key) return std::nullopt;
  auto it = key->values.find(textfold::Fold(name));
  if (it == key->values.end()) return std::nullopt;
  return it->second.second;
}

void MemoryRegistry::Set(RegRoot root, const std::string& path, const std::string& name,
                         const RegValue& value) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> parts;
  if (!SplitKeyPath(path, parts)) throw std::invalid_argument("bad key path: " + path);
  auto& slot = CreatePath(root, parts)->values[textfold::Fold(name)];
  if (slot.first.empty()) slot.first = name;
  slot.second = value;
}

std::vector<std::string> MemoryRegistry::SubKeys(RegRoot root, const std::string& path) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> parts, names;
  if (!SplitKeyPath(path, parts)) throw std::invalid_argument("bad key path: " + path);
  if (auto key = Find(root, parts))
    for (const auto& [folded, sub] : key->subkeys) names.push_back(sub->name);
  return names;
}

void MemoryRegistry::SetReadOnly(RegRoot root, bool readOnly) {
  std::lock_guard lock(mutex_);
  readOnly_[RootIndex(root)] = readOnly;
}

int MemoryRegistry::AddFault(const RegFault& fault) {
  std::lock_guard lock(mutex_);
  return faults_.Add(fault);
}

void MemoryRegistry::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_.Clear();
}

int MemoryRegistry::FaultHits(int id) {
  std::lock_guard lock(mutex_);
  return faults_.Hits(id);
}

}  // namespace tw
