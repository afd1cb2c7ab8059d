#include "platform/win32/Win32Registry.h"

#include <windows.h>

#include <cstring>

#include "platform/win32/Utf.h"

namespace tw {
namespace {

HKEY RootKey(RegRoot root) {
  switch (root) {
    case RegRoot::LocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegRoot::ClassesRoot:
      return HKEY_CLASSES_ROOT;
    default:
      return HKEY_CURRENT_USER;
  }
}

// "\A\B\" -> L"A\B"; false for empty inner names or malformed text.
bool SubKey(const std::string& path, std::wstring& out) {
  size_t begin = path.find_first_not_of('\\');
  if (begin == std::string::npos) {
    out.clear();
    return true;
  }
  size_t end = path.find_last_not_of('\\');
  std::string s = path.substr(begin, end - begin + 1);
  if (s.find("\\\\") != std::string::npos) return false;
  return TryWiden(s, out) && out.find(L'\0') == std::wstring::npos;
}

class Win32RegKey : public IRegKey {
 public:
  explicit Win32RegKey(HKEY key) : key_(key) {}
  ~Win32RegKey() override { RegCloseKey(key_); }
  Win32RegKey(const Win32RegKey&) = delete;
  Win32RegKey& operator=(const Win32RegKey&) = delete;

  RegType TypeOf(const std::string& name) override {
    std::wstring w;
    DWORD type = 0;
    if (!TryWiden(name, w) ||
        RegQueryValueExW(key_, w.c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
      return RegType::None;
    switch (type) {
      case REG_SZ: return RegType::String;
      case REG_DWORD: return RegType::Dword;
      case REG_BINARY: return RegType::Binary;
      default: return RegType::Other;
    }
  }

  WinError ReadDword(const std::string& name, uint32_t& value) override {
    std::vector<BYTE> data;
    if (WinError e = Query(name, REG_DWORD, data)) return e;
    if (data.size() != sizeof(DWORD)) return winerr::InvalidData;
    std::memcpy(&value, data.data(), sizeof(DWORD));
    return winerr::Success;
  }

  WinError ReadString(const std::string& name, std::string& value) override {
    std::vector<BYTE> data;
    if (WinError e = Query(name, REG_SZ, data)) return e;
    std::wstring w(data.size() / sizeof(wchar_t), L'\0');
    if (!w.empty()) std::memcpy(w.data(), data.data(), w.size() * sizeof(wchar_t));
    // The terminator is stored with the text, but not always; drop it either way.
    while (!w.empty() && w.back() == L'\0') w.pop_back();
    value = Narrow(w);
    return winerr::Success;
  }

  WinError ReadBinary(const std::string& name, std::vector<uint8_t>& value) override {
    std::vector<BYTE> data;
    if (WinError e = Query(name, REG_BINARY, data)) return e;
    value.assign(data.begin(), data.end());
    return winerr::Success;
  }

  WinError WriteDword(const std::string& name, uint32_t value) override {
    return Set(name, REG_DWORD, &value, sizeof value);
  }

  WinError WriteString(const std::string& name, const std::string& value) override {
    std::wstring w;
    if (!TryWiden(value, w)) return winerr::InvalidParameter;
    return Set(name, REG_SZ, w.c_str(), (w.size() + 1) * sizeof(wchar_t));
  }

  WinError WriteBinary(const std::string& name, const std::vector<uint8_t>& value) override {
    return Set(name, REG_BINARY, value.data(), value.size());
  }

  WinError DeleteValue(const std::string& name) override {
    std::wstring w;
    if (!TryWiden(name, w)) return winerr::InvalidParameter;
    return RegDeleteValueW(key_, w.c_str());
  }

  std::vector<std::string> ValueNames() override {
    std::vector<std::string> names;
    DWORD maxLen = 0;
    RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     &maxLen, nullptr, nullptr, nullptr);
    std::vector<wchar_t> buf(maxLen + 2);
    for (DWORD i = 0;;) {
      DWORD len = static_cast<DWORD>(buf.size());
      LSTATUS r = RegEnumValueW(key_, i, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
      if (r == ERROR_MORE_DATA) {  // a longer name was added meanwhile
        buf.resize(buf.size() * 2 + 256);
        continue;
      }
      if (r != ERROR_SUCCESS) break;
      names.push_back(Narrow(buf.data(), len));
      ++i;
    }
    return names;
  }

 private:
  WinError Query(const std::string& name, DWORD want, std::vector<BYTE>& data) {
    std::wstring w;
    if (!TryWiden(name, w)) return winerr::InvalidParameter;
    DWORD type = 0, size = 0;
    LSTATUS r = RegQueryValueExW(key_, w.c_str(), nullptr, &type, nullptr, &size);
    for (int tries = 0; r == ERROR_SUCCESS || r == ERROR_MORE_DATA; ++tries) {
      if (type != want) return winerr::UnsupportedType;
      if (r == ERROR_SUCCESS && tries > 0) {
        data.resize(size);
        return winerr::Success;
      }
      if (tries > 8) return winerr::MoreData;
      data.assign(size + sizeof(wchar_t), 0);
      size = static_cast<DWORD>(data.size());
      r = RegQueryValueExW(key_, w.c_str(), nullptr, &type, data.data(), &size);
    }
    return r;
  }

  WinError Set(const std::string& name, DWORD type, const void* data, size_t size) {
    std::wstring w;
    if (!TryWiden(name, w)) return winerr::InvalidParameter;
    if (size > 0xFFFFFFFFu) return winerr::InvalidParameter;
    return RegSetValueExW(key_, w.c_str(), 0, type, static_cast<const BYTE*>(data),
                          static_cast<DWORD>(size));
  }

  HKEY key_;
};

}  // namespace

std::unique_ptr<IRegKey> Win32Registry::Open(RegRoot root, const std::string& path, bool create,
                                             WinError* error) {
  auto done = [&](LSTATUS r, HKEY key) -> std::unique_ptr<IRegKey> {
    if (error) *error = static_cast<WinError>(r);
    if (r != ERROR_SUCCESS) return nullptr;
    return std::make_unique<Win32RegKey>(key);
  };
  std::wstring sub;
  if (!SubKey(path, sub)) return done(ERROR_INVALID_PARAMETER, nullptr);
  HKEY key = nullptr;
  LSTATUS r;
  if (create) {
    r = RegCreateKeyExW(RootKey(root), sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
  } else {
    r = RegOpenKeyExW(RootKey(root), sub.c_str(), 0, KEY_READ | KEY_WRITE, &key);
  }
  if (r == ERROR_ACCESS_DENIED &&
      RegOpenKeyExW(RootKey(root), sub.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS)
    r = ERROR_SUCCESS;
  return done(r, key);
}

WinError Win32Registry::DeleteTree(RegRoot root, const std::string& path) {
  std::wstring sub;
  if (!SubKey(path, sub)) return winerr::InvalidParameter;
  if (sub.empty()) return winerr::InvalidParameter;  // never a whole root
  return RegDeleteTreeW(RootKey(root), sub.c_str());
}

}  // namespace tw
