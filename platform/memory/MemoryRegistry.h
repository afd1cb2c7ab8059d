// An in-memory registry with the behaviour of the Windows one, for tests: HKCU, HKLM and HKCR trees,
// key and value names case-insensitive and case-preserving, typed values.
//
// Fault injection: AddFault makes matching calls fail with a chosen code. A fault names an
// operation, a root and a key path (case-insensitive, leading backslash optional); Read, Write
// and Delete faults may also name one value (unset: every value of the key). The first `skip`
// matching calls run normally, then `times` fail (kAlways: all later ones). SetReadOnly(root)
// makes that root behave as HKLM does for a standard user: keys open and read, but creating
// keys, writing and deleting give AccessDenied.
//
// A handle whose key has been deleted answers KeyDeleted, as Windows does. Keys opened from
// a MemoryRegistry must not outlive it.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "platform/memory/FaultList.h"

namespace tw {

enum class RegOp {
  Any,
  Open,        // Open, with or without create
  Read,        // ReadDword, ReadString, ReadBinary
  Write,       // WriteDword, WriteString, WriteBinary
  Delete,      // DeleteValue
  DeleteTree,
};

struct RegFault {
  static constexpr int kAlways = -1;
  RegOp op = RegOp::Any;
  RegRoot root = RegRoot::CurrentUser;
  std::string key;
  std::optional<std::string> value;
  WinError error = winerr::AccessDenied;
  int skip = 0;
  int times = 1;
};

// What a test sees of a stored value.
struct RegValue {
  RegType type = RegType::None;
  std::string text;            // String
  uint32_t dword = 0;          // Dword
  std::vector<uint8_t> bytes;  // Binary and Other
};

class MemoryRegistry : public IRegistry {
 public:
  MemoryRegistry();
  ~MemoryRegistry() override;

  std::unique_ptr<IRegKey> Open(RegRoot root, const std::string& path, bool create,
                                WinError* error = nullptr) override;
  WinError DeleteTree(RegRoot root, const std::string& path) override;

  // ---- for tests; these bypass faults and the read-only switch.
  bool KeyExists(RegRoot root, const std::string& path);
  std::optional<RegValue> Value(RegRoot root, const std::string& path, const std::string& name);
  // Stores a value, creating the key; type Other keeps bytes as an unsupported kind of value.
  void Set(RegRoot root, const std::string& path, const std::string& name, const RegValue& value);
  // Sub-key names of a key, as stored, in case-insensitive order.
  std::vector<std::string> SubKeys(RegRoot root, const std::string& path);

  void SetReadOnly(RegRoot root, bool readOnly);
  int AddFault(const RegFault& fault);
  void ClearFaults();
  int FaultHits(int id);

 private:
  friend class MemoryRegKey;
  struct Key;

  std::shared_ptr<Key> Find(RegRoot root, const std::vector<std::string>& parts);
  std::shared_ptr<Key> CreatePath(RegRoot root, const std::vector<std::string>& parts);
  std::optional<WinError> Fault(RegOp op, RegRoot root, const std::string& keyPath,
                                const std::string* value);
  bool ReadOnly(RegRoot root) const { return readOnly_[RootIndex(root)]; }
  static size_t RootIndex(RegRoot root) { return static_cast<size_t>(root); }

  std::mutex mutex_;
  std::shared_ptr<Key> roots_[3];
  bool readOnly_[3] = {false, false, false};
  TFaultList<RegFault> faults_;
};

}  // namespace tw
