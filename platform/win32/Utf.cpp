#include "platform/win32/Utf.h"

#include <windows.h>

#include <vector>

#include "platform/Utf8.h"

namespace tw {
namespace {

size_t Decode(const std::string& s, size_t i, char32_t& cp) { return utf8::DecodeUtf8(s, i, cp); }

void Append(std::wstring& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<wchar_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (cp >> 10));
    out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
  }
}

bool WidenImpl(const std::string& s, std::wstring& out, bool lenient) {
  out.clear();
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    char32_t cp;
    size_t n = Decode(s, i, cp);
    if (n == 0) {
      if (!lenient) return false;
      out += L'\xFFFD';
      ++i;
      continue;
    }
    Append(out, cp);
    i += n;
  }
  return true;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

bool TryWiden(const std::string& utf8, std::wstring& out) { return WidenImpl(utf8, out, false); }

std::wstring Widen(const std::string& utf8) {
  std::wstring out;
  WidenImpl(utf8, out, true);
  return out;
}

std::string Narrow(const wchar_t* s, size_t n) {
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    char32_t cp = static_cast<uint16_t>(s[i]);
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < n) {
      char32_t lo = static_cast<uint16_t>(s[i + 1]);
      if (lo >= 0xDC00 && lo < 0xE000) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
        ++i;
      }
    }
    utf8::EncodeUtf8(cp, out);  // lone surrogates included
  }
  return out;
}

std::string Narrow(const std::wstring& utf16) { return Narrow(utf16.data(), utf16.size()); }

WinError ExtendedPath(const std::string& path, std::wstring& out) {
  std::wstring w;
  if (!TryWiden(path, w) || w.empty() || w.find(L'\0') != std::wstring::npos)
    return winerr::InvalidName;
  // Already a device or extended path: the caller meant it literally.
  if (w.size() >= 4 && IsSeparator(w[0]) && IsSeparator(w[1]) && (w[2] == L'?' || w[2] == L'.') &&
      IsSeparator(w[3])) {
    out = w;
    return winerr::Success;
  }
  for (auto& c : w)
    if (c == L'/') c = L'\\';

  const auto isLetter = [](wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); };
  std::wstring root;
  size_t pos = 0;
  if (w.size() >= 2 && isLetter(w[0]) && w[1] == L':' && (w.size() == 2 || w[2] == L'\\')) {
    root = L"\\\\?\\" + w.substr(0, 2);
    pos = 2;
  } else if (w.size() >= 2 && w[0] == L'\\' && w[1] == L'\\') {
    size_t server = w.find(L'\\', 2);
    if (server == std::wstring::npos || server == 2) return winerr::InvalidName;
    size_t share = w.find(L'\\', server + 1);
    if (share == std::wstring::npos) share = w.size();
    if (share == server + 1) return winerr::InvalidName;
    root = L"\\\\?\\UNC\\" + w.substr(2, share - 2);
    pos = share;
  } else {
    DWORD need = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
    if (need == 0) return GetLastError();
    std::vector<wchar_t> buf(need + 1);
    DWORD got = GetFullPathNameW(w.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
    if (got == 0 || got >= buf.size()) return winerr::InvalidName;
    std::wstring full(buf.data(), got);
    if (full.size() < 3 || !(full[1] == L':' || (full[0] == L'\\' && full[1] == L'\\')))
      return winerr::InvalidName;
    return ExtendedPath(Narrow(full), out);
  }

  std::vector<std::wstring> parts;
  while (pos < w.size()) {
    size_t end = w.find(L'\\', pos);
    if (end == std::wstring::npos) end = w.size();
    std::wstring part = w.substr(pos, end - pos);
    pos = end + 1;
    if (part.empty() || part == L".") continue;
    if (part == L"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(std::move(part));
  }
  out = root;
  if (parts.empty()) out += L'\\';
  for (const auto& part : parts) out += L'\\' + part;
  return winerr::Success;
}

std::wstring Utf16Prefix(const std::wstring& text, size_t units) {
  if (units >= text.size()) return text;
  if (units > 0 && text[units] >= 0xDC00 && text[units] <= 0xDFFF &&
      text[units - 1] >= 0xD800 && text[units - 1] <= 0xDBFF)
    --units;
  return text.substr(0, units);
}

}  // namespace tw
