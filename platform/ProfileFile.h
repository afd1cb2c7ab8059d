// Profile (INI) files, read and written by our own portable code over IFileSystem, in the format
// of the Windows profile-string functions (GetPrivateProfileString, WritePrivateProfileString,
// ...): "[section]" lines followed by "key=value" lines, CR LF, UTF-8 text.
//
// One TProfileFile object reads its file once (Load) and keeps it in memory; reads are answered
// from memory and writes change memory only, until Save replaces the whole file atomically
// (IFileSystem::WriteAtomic) and returns the Windows error. Sections and keys are found through
// hash indexes, so a section of 100,000 keys costs O(1) per lookup, write or delete.
//
// Semantics, as the profile functions have them:
// - Section and key names are compared without regard to case (ASCII letters and the letters of
//   Latin-1, Latin Extended-A, Greek and Cyrillic); the spelling first written is kept.
// - Writing an existing key replaces its value in place (the line keeps its position and the
//   key its spelling); a new key goes to the end of its section, a new section to the end of the
//   file.
// - When a file holds a section twice, the first one answers reads and takes writes (but
//   SectionNames lists each name once); when a section holds a key twice, the first line answers.
// Reading tolerates files written by Windows or by hand: lines ending in CR LF, LF or CR alone
// (mixed too), a UTF-8 byte-order mark, UTF-16LE text with its byte-order mark, blanks (spaces, tabs) around names, "=" and values
// (trimmed), comment lines beginning with ';', lines without '=' and lines before the first
// section. Such lines are kept as they are when the file is saved again; they are not entries.
// Values are returned as stored (quotes are not stripped).
//
// A file is written back in the encoding it was read in (UTF-8, UTF-8 after its mark, or UTF-16LE
// after its mark; a new file is UTF-8 without mark), so that what a save writes a load reads
// the same: bytes after the first mark, even a second mark, stay part of the text.
//
// What a line cannot hold, the writer refuses (InvalidParameter) instead of writing something that
// reads back differently: see CanBeSection, CanBeKey, CanBeValue. Names that need more (the
// selection file's file names with '=', ';', '[' or outer blanks) are encoded by the caller.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/WinCodes.h"

namespace tw {

struct TProfileEntry {
  std::string Key;
  std::string Value;
  bool operator==(const TProfileEntry&) const = default;
};

class TProfileFile {
 public:
  // No file access here: call Load to read the file.
  TProfileFile(IFileSystem& fs, std::string path);
  ~TProfileFile();
  TProfileFile(const TProfileFile&) = delete;
  TProfileFile& operator=(const TProfileFile&) = delete;

  const std::string& Path() const { return path_; }

  // Reads the file (once; call again to re-read), replacing what the object holds, unsaved
  // changes included. A missing file (FileNotFound, PathNotFound) gives an empty profile and
  // Success, as the profile functions read a missing file as empty. Any other failure gives an
  // empty profile and the error.
  WinError Load();
  // Replaces the contents with the given text (as if it were the file's bytes); no file access.
  void Parse(std::string_view bytes);

  // ---- Reading ----
  // Section names in file order, each once, spelled as in the file.
  std::vector<std::string> SectionNames() const;
  bool HasSection(std::string_view section) const;
  // The section's entries in file order (what GetPrivateProfileSection gives, split at the first
  // '='); empty when the section is missing. Comment and other lines are left out.
  std::vector<TProfileEntry> ReadSection(std::string_view section) const;
  // Number of entries of the section (0 when missing).
  size_t EntryCount(std::string_view section) const;
  // False (and value untouched) when the section or key is missing.
  bool ReadString(std::string_view section, std::string_view key, std::string& value) const;
  // The value, or def when the section or key is missing.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  bool HasKey(std::string_view section, std::string_view key) const;

  // ---- Writing (memory only; Save writes the file) ----
  // Creates the section when missing; replaces an existing key's value in place.
  // InvalidParameter (and no change) when a name or the value cannot be held.
  WinError WriteString(std::string_view section, std::string_view key, std::string_view value);
  // Removes the key's (first) line. False when there was nothing to remove.
  bool DeleteKey(std::string_view section, std::string_view key);
  // Removes the section with its header and every line of it. False when it was missing.
  bool EraseSection(std::string_view section);
  // Replaces the section's contents with the entries, in order (WritePrivateProfileSection);
  // creates the section when missing; an empty list leaves an empty section. On
  // InvalidParameter nothing changes. Later entries with the same key are dropped (the first
  // wins, as a reader would see it).
  WinError WriteSection(std::string_view section, const std::vector<TProfileEntry>& entries);

  // ---- Saving ----
  // Changes since the last Load, Parse or successful Save.
  bool Modified() const { return modified_; }
  // Writes the whole profile over the file atomically; returns the Windows error (0 = success).
  // A failure leaves the old file as it was and keeps the changes in memory (Modified stays).
  WinError Save();
  // The bytes Save writes: CR LF after every line, in the encoding the file was read in. For a
  // UTF-16 file, text that is not UTF-8 (which only a caller can have written) makes Save fail
  // with NoUnicodeTranslation and write nothing; Serialize then stops before the first such byte.
  std::string Serialize() const;

  // ---- What a line can hold ----
  // Non-empty, no CR, LF or NUL, no blank (space, tab) at either end.
  static bool CanBeSection(std::string_view name);
  // As a section name, and neither '=' anywhere nor ';' or '[' first.
  static bool CanBeKey(std::string_view name);
  // No CR, LF or NUL, no blank at either end (may be empty).
  static bool CanBeValue(std::string_view value);

  // Upper-cased form under which names are compared (exposed for callers that index names the
  // same way, e.g. the selection tree).
  static std::string FoldName(std::string_view name);

 private:
  struct Section;
  enum class Encoding { Utf8, Utf8Mark, Utf16Le };
  std::string Text() const;  // the lines as UTF-8
  WinError Encode(std::string& bytes) const;
  Section* Find(std::string_view section) const;
  Section& FindOrAdd(std::string_view section);

  IFileSystem& fs_;
  std::string path_;
  std::vector<std::string> preamble_;  // raw lines before the first section
  std::vector<std::unique_ptr<Section>> sections_;  // file order; erased ones are null
  std::unordered_map<std::string, Section*> index_;  // folded name -> first section of the name
  bool modified_ = false;
  Encoding encoding_ = Encoding::Utf8;
  std::string oddByte_;  // a UTF-16 file's last byte without its pair: invisible, but kept
};

}  // namespace tw
