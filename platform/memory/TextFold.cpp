#include "platform/memory/TextFold.h"

#include "platform/Utf8.h"

namespace tw::textfold {
namespace {

size_t DecodeOne(const std::string& s, size_t i, char32_t& cp) { return utf8::DecodeUtf8(s, i, cp); }

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
    utf8::EncodeUtf8(utf8::UpperLetter(cp), out);
    i += n;
  }
  return out;
}

size_t Utf16Length(const std::string& s) { return utf8::Utf16Length(s); }

}  // namespace tw::textfold
