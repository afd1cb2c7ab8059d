// UTF-8 helpers for the in-memory fakes: validation, case folding as Windows compares names,
// and UTF-16 lengths. Surrogate code points are accepted because the lossless conversion of an
// unpaired UTF-16 surrogate (as a real listing can return) produces them.
#pragma once
#include <cstddef>
#include <string>

namespace tw::textfold {

// False when s is not well-formed UTF-8 (surrogates allowed).
bool IsValid(const std::string& s);
// Upper-cased copy for case-insensitive comparison and ordering (ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic letters; other characters compare exactly).
std::string Fold(const std::string& s);
// Number of UTF-16 code units s takes; malformed bytes count one each.
size_t Utf16Length(const std::string& s);

}  // namespace tw::textfold
