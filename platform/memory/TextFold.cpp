#include "platform/memory/TextFold.h"

namespace tw::textfold {
namespace {

// Decodes one code point at s[i]; returns its length in bytes, 0 when malformed.
size_t DecodeOne(const std::string& s, size_t i, char32_t& cp) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = b(i);
  size_t len;
  char32_t min;
  if (c < 0x80) {
    cp = c;
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    len = 2, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4, cp = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF) return 0;
  return len;
}

void Encode(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char32_t Upper(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (c < 0x80) return c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    bool oddIsLower = (c < 0x139) || (c >= 0x14A && c < 0x178);
    if (oddIsLower) return (c & 1) ? c - 1 : c;
    return (c & 1) ? c : (c == 0x178 ? c : c - 1);
  }
  if (c >= 0x3B1 && c <= 0x3C9) return c - 0x20;  // final sigma folds to sigma as well
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

}  // namespace

bool IsValid(const std::string& s) {
  char32_t cp;
  for (size_t i = 0; i < s.size();) {
    size_t n = DecodeOne(s, i, cp);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string Fold(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  char32_t cp;
  for (size_t i = 0; i < s.size();) {
    size_t n = DecodeOne(s, i, cp);
    if (n == 0) {
      out += s[i++];
      continue;
    }
    Encode(Upper(cp), out);
    i += n;
  }
  return out;
}

size_t Utf16Length(const std::string& s) {
  size_t units = 0;
  char32_t cp;
  for (size_t i = 0; i < s.size();) {
    size_t n = DecodeOne(s, i, cp);
    if (n == 0) n = 1, cp = 0;
    units += cp >= 0x10000 ? 2 : 1;
    i += n;
  }
  return units;
}

}  // namespace tw::textfold
