// The Windows registry as the engine sees it. Key paths begin with a backslash and are relative
// to a root ("\Software\Corvane\Tidewell\Options"); names and strings are UTF-8.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/WinCodes.h"

namespace tw {

// ClassesRoot is HKEY_CLASSES_ROOT, where a COM server registers its class.
enum class RegRoot { CurrentUser, LocalMachine, ClassesRoot };
enum class RegType { None, String, Dword, Binary, Other };

class IRegKey {
 public:
  virtual ~IRegKey() = default;
  // None when the value is absent. An empty name is the key's default value.
  virtual RegType TypeOf(const std::string& name) = 0;
  // FileNotFound when absent, UnsupportedType when the stored type differs.
  virtual WinError ReadDword(const std::string& name, uint32_t& value) = 0;
  virtual WinError ReadString(const std::string& name, std::string& value) = 0;
  virtual WinError ReadBinary(const std::string& name, std::vector<uint8_t>& value) = 0;
  virtual WinError WriteDword(const std::string& name, uint32_t value) = 0;
  virtual WinError WriteString(const std::string& name, const std::string& value) = 0;
  virtual WinError WriteBinary(const std::string& name, const std::vector<uint8_t>& value) = 0;
  virtual WinError DeleteValue(const std::string& name) = 0;
  // Order is not meaningful (Windows gives no guarantee).
  virtual std::vector<std::string> ValueNames() = 0;
};

class IRegistry {
 public:
  virtual ~IRegistry() = default;
  // Opens a key, creating it and its parents when create is set. Null on failure, with the
  // Windows error in *error when given.
  virtual std::unique_ptr<IRegKey> Open(RegRoot root, const std::string& path, bool create,
                                        WinError* error = nullptr) = 0;
  // Deletes a key and everything below it.
  virtual WinError DeleteTree(RegRoot root, const std::string& path) = 0;
};

}  // namespace tw
