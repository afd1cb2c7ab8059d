// UTF-8 code points and the case folding used to compare names (section and key names,
// volume names, file names in the in-memory file system): one set of rules everywhere.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace tw::utf8 {

// Decodes one code point at s[i]; returns its length in bytes, 0 when malformed. Surrogate
// code points are accepted: the lossless form of an unpaired UTF-16 surrogate produces them.
size_t DecodeUtf8(std::string_view s, size_t i, char32_t& cp);
void EncodeUtf8(char32_t cp, std::string& out);
// Number of UTF-16 code units the text takes (the measure of Windows' path limits); malformed
// bytes count one each.
size_t Utf16Length(std::string_view s);
// Upper case as names are compared: ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic; other
// characters compare exactly.
char32_t UpperLetter(char32_t c);

}  // namespace tw::utf8
