// UTF-8 <-> UTF-16 at the edge of the Win32 API, and Win32 spellings of the program's paths.
//
// Conversions are lossless for all valid text in both directions. An unpaired UTF-16 surrogate
// (possible in NTFS names) travels as the three-byte sequence of its code point, so a name read
// from a listing can be handed back to the API unchanged.
#pragma once
#include <string>

#include "platform/WinCodes.h"

namespace tw {

// False when utf8 is malformed; out then holds nothing useful.
bool TryWiden(const std::string& utf8, std::wstring& out);
// For display only: malformed bytes become U+FFFD.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);
std::string Narrow(const wchar_t* utf16, size_t length);
// The first `units` code units of text, one fewer when the cut would split a surrogate pair.
std::wstring Utf16Prefix(const std::wstring& text, size_t units);

// The "\\?\" or "\\?\UNC\" form of a path, so that paths beyond MAX_PATH work and names are
// taken literally (trailing blanks and dots are kept, as the program stores them). '/' counts
// as '\', repeated separators, "." and ".." are resolved here because the API no longer does;
// relative paths are made absolute first. InvalidName for malformed text or embedded NULs.
WinError ExtendedPath(const std::string& path, std::wstring& out);

}  // namespace tw
