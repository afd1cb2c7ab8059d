#include "platform/ProfileFile.h"

#include <utility>

#include "platform/Utf8.h"

namespace tw {

namespace {

using utf8::DecodeUtf8;
using utf8::EncodeUtf8;
using utf8::UpperLetter;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";

// UTF-16LE bytes (after the byte-order mark) to UTF-8; unpaired surrogates are kept as code
// points so nothing is lost.
std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t n = bytes.size() / 2;
  auto unit = [&](size_t k) {
    return static_cast<char32_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                 (static_cast<unsigned char>(bytes[2 * k + 1]) << 8));
  };
  for (size_t k = 0; k < n; ++k) {
    char32_t u = unit(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < n) {
      char32_t v = unit(k + 1);
      if (v >= 0xDC00 && v <= 0xDFFF) {
        EncodeUtf8(0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00), out);
        ++k;
        continue;
      }
    }
    EncodeUtf8(u, out);
  }
  return out;
}

// The inverse of Utf16LeToUtf8 (surrogate code points become the lone units they came from).
// False when the text is not UTF-8: UTF-16 cannot hold such bytes.
bool Utf8ToUtf16Le(std::string_view text, std::string& out) {
  out.reserve(out.size() + 2 * text.size());
  auto unit = [&](char32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  };
  char32_t cp;
  for (size_t i = 0; i < text.size();) {
    size_t n = DecodeUtf8(text, i, cp);
    if (n == 0) return false;
    i += n;
    if (cp >= 0x10000) {
      unit(0xD800 + ((cp - 0x10000) >> 10));
      unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      unit(cp);
    }
  }
  return true;
}

bool HasLineBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

struct TProfileFile::Section {
  struct Line {
    bool entry = false;  // key=value; otherwise a comment, blank or other line kept as raw
    bool dead = false;   // deleted entry (skipped until the lines are compacted)
    std::string key;     // entry: the key; otherwise: the raw line
    std::string value;
  };
  std::string name;
  std::string folded;
  size_t pos = 0;  // index in sections_
  std::vector<Line> lines;
  // Folded key -> first live entry line. Built on the first look-up of the section, so a file
  // of many sections costs little to load when only a few are looked at or changed.
  mutable std::unordered_map<std::string, size_t> keys;
  mutable bool indexed = true;
  mutable bool duplicateKeys = false;
  size_t live = 0;
  size_t dead = 0;

  // A line read from the file; the index is built later (Index).
  void AddEntry(std::string key, std::string value) {
    indexed = false;
    lines.push_back(Line{true, false, std::move(key), std::move(value)});
    ++live;
  }
  void AddOther(std::string raw) { lines.push_back(Line{false, false, std::move(raw), {}}); }

  void Index() const {
    if (indexed) return;
    indexed = true;
    keys.clear();
    keys.reserve(live);
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].entry && !lines[i].dead && !keys.emplace(FoldName(lines[i].key), i).second)
        duplicateKeys = true;
    }
  }

  const Line* FindEntry(std::string_view key) const {
    Index();
    auto it = keys.find(FoldName(key));
    return it == keys.end() ? nullptr : &lines[it->second];
  }

  void Compact() {
    std::vector<Line> kept;
    kept.reserve(lines.size() - dead);
    for (auto& l : lines) {
      if (!l.dead) kept.push_back(std::move(l));
    }
    lines = std::move(kept);
    dead = 0;
    indexed = true;
    keys.clear();
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].entry) keys.emplace(FoldName(lines[i].key), i);
    }
  }

  bool Delete(std::string_view key) {
    Index();
    std::string f = FoldName(key);
    auto it = keys.find(f);
    if (it == keys.end()) return false;
    size_t at = it->second;
    lines[at].dead = true;
    --live;
    ++dead;
    keys.erase(it);
    if (duplicateKeys) {  // a later line of the same key now answers
      for (size_t i = at + 1; i < lines.size(); ++i) {
        if (lines[i].entry && !lines[i].dead && FoldName(lines[i].key) == f) {
          keys.emplace(f, i);
          break;
        }
      }
    }
    if (dead > 64 && dead > live) Compact();
    return true;
  }
};

TProfileFile::TProfileFile(IFileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}
TProfileFile::~TProfileFile() = default;

std::string TProfileFile::FoldName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  char32_t cp;
  for (size_t i = 0; i < name.size();) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x80) {
      out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : static_cast<char>(c);
      ++i;
      continue;
    }
    size_t n = DecodeUtf8(name, i, cp);
    if (n == 0) {  // not UTF-8: the byte compares as itself
      out += name[i++];
      continue;
    }
    EncodeUtf8(UpperLetter(cp), out);
    i += n;
  }
  return out;
}

bool TProfileFile::CanBeValue(std::string_view value) {
  if (HasLineBreakOrNul(value)) return false;
  return value.empty() || (!IsBlank(value.front()) && !IsBlank(value.back()));
}

bool TProfileFile::CanBeSection(std::string_view name) {
  return !name.empty() && CanBeValue(name);
}

bool TProfileFile::CanBeKey(std::string_view name) {
  return CanBeSection(name) && name.find('=') == std::string_view::npos && name.front() != ';' &&
         name.front() != '[';
}

WinError TProfileFile::Load() {
  std::string data;
  WinError err = fs_.ReadAll(path_, data);
  if (err != winerr::Success) {
    Parse({});
    return (err == winerr::FileNotFound || err == winerr::PathNotFound) ? winerr::Success : err;
  }
  Parse(data);
  return winerr::Success;
}

void TProfileFile::Parse(std::string_view bytes) {
  preamble_.clear();
  sections_.clear();
  index_.clear();
  modified_ = false;
  oddByte_.clear();

  // Only the first mark counts: whatever follows it (a second mark, a UTF-16 mark after a UTF-8
  // one) is text, and Serialize puts the same mark back so the file reads the same again.
  std::string converted;
  if (bytes.substr(0, 3) == kUtf8Mark) {
    encoding_ = Encoding::Utf8Mark;
    bytes.remove_prefix(3);
  } else if (bytes.substr(0, 2) == kUtf16LeMark) {
    encoding_ = Encoding::Utf16Le;
    bytes.remove_prefix(2);
    if (bytes.size() % 2) oddByte_.assign(1, bytes.back());
    converted = Utf16LeToUtf8(bytes);
    bytes = converted;
  } else {
    encoding_ = Encoding::Utf8;
  }

  Section* current = nullptr;
  size_t start = 0;
  while (start < bytes.size()) {
    // Lines end at CR LF, CR or LF, as the profile functions read them.
    size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    start = end + 1;
    if (end + 1 < bytes.size() && bytes[end] == '\r' && bytes[end + 1] == '\n') ++start;

    std::string_view t = Trim(line);
    if (!t.empty() && t.front() == '[') {
      size_t close = t.rfind(']');
      if (close != std::string_view::npos) {
        auto s = std::make_unique<Section>();
        s->name = std::string(Trim(t.substr(1, close - 1)));
        s->folded = FoldName(s->name);
        s->pos = sections_.size();
        current = s.get();
        index_.emplace(s->folded, current);  // the first section of a name answers
        sections_.push_back(std::move(s));
        continue;
      }
    }
    size_t eq = t.find('=');
    bool entry = current && !t.empty() && t.front() != ';' && eq != std::string_view::npos &&
                 !Trim(t.substr(0, eq)).empty();
    if (entry) {
      current->AddEntry(std::string(Trim(t.substr(0, eq))), std::string(Trim(t.substr(eq + 1))));
    } else if (current) {
      current->AddOther(std::string(line));
    } else {
      preamble_.emplace_back(line);
    }
  }
}

TProfileFile::Section* TProfileFile::Find(std::string_view section) const {
  auto it = index_.find(FoldName(section));
  return it == index_.end() ? nullptr : it->second;
}

TProfileFile::Section& TProfileFile::FindOrAdd(std::string_view section) {
  if (Section* s = Find(section)) return *s;
  auto s = std::make_unique<Section>();
  s->name = std::string(section);
  s->folded = FoldName(section);
  s->pos = sections_.size();
  Section* raw = s.get();
  index_.emplace(s->folded, raw);
  sections_.push_back(std::move(s));
  return *raw;
}

std::vector<std::string> TProfileFile::SectionNames() const {
  std::vector<std::string> names;
  names.reserve(index_.size());
  for (const auto& s : sections_) {
    if (s && index_.at(s->folded) == s.get()) names.push_back(s->name);
  }
  return names;
}

bool TProfileFile::HasSection(std::string_view section) const { return Find(section) != nullptr; }

std::vector<TProfileEntry> TProfileFile::ReadSection(std::string_view section) const {
  std::vector<TProfileEntry> out;
  const Section* s = Find(section);
  if (!s) return out;
  out.reserve(s->live);
  for (const auto& l : s->lines) {
    if (l.entry && !l.dead) out.push_back(TProfileEntry{l.key, l.value});
  }
  return out;
}

size_t TProfileFile::EntryCount(std::string_view section) const {
  const Section* s = Find(section);
  return s ? s->live : 0;
}

bool TProfileFile::ReadString(std::string_view section, std::string_view key,
                              std::string& value) const {
  const Section* s = Find(section);
  if (!s) return false;
  const Section::Line* l = s->FindEntry(key);
  if (!l) return false;
  value = l->value;
  return true;
}

std::string TProfileFile::ReadString(std::string_view section, std::string_view key,
                                     std::string_view def) const {
  std::string value;
  if (!ReadString(section, key, value)) value = std::string(def);
  return value;
}

bool TProfileFile::HasKey(std::string_view section, std::string_view key) const {
  const Section* s = Find(section);
  return s && s->FindEntry(key);
}

WinError TProfileFile::WriteString(std::string_view section, std::string_view key,
                                   std::string_view value) {
  if (!CanBeSection(section) || !CanBeKey(key) || !CanBeValue(value)) {
    return winerr::InvalidParameter;
  }
  Section& s = FindOrAdd(section);
  modified_ = true;
  std::string f = FoldName(key);
  s.Index();
  auto it = s.keys.find(f);
  if (it != s.keys.end()) {
    s.lines[it->second].value = std::string(value);
    return winerr::Success;
  }
  s.keys.emplace(std::move(f), s.lines.size());
  s.lines.push_back(Section::Line{true, false, std::string(key), std::string(value)});
  ++s.live;
  return winerr::Success;
}

bool TProfileFile::DeleteKey(std::string_view section, std::string_view key) {
  Section* s = Find(section);
  if (!s || !s->Delete(key)) return false;
  modified_ = true;
  return true;
}

bool TProfileFile::EraseSection(std::string_view section) {
  std::string f = FoldName(section);
  auto it = index_.find(f);
  if (it == index_.end()) return false;
  size_t first = it->second->pos;
  index_.erase(it);
  // Every section of the name goes, so erasing and writing again gives one clean section.
  for (size_t i = first; i < sections_.size(); ++i) {
    if (sections_[i] && sections_[i]->folded == f) sections_[i].reset();
  }
  if (sections_.size() > 64 && sections_.size() > 2 * index_.size() + 16) {
    std::vector<std::unique_ptr<Section>> kept;
    for (auto& s : sections_) {
      if (s) {
        s->pos = kept.size();
        kept.push_back(std::move(s));
      }
    }
    sections_ = std::move(kept);
  }
  modified_ = true;
  return true;
}

WinError TProfileFile::WriteSection(std::string_view section,
                                    const std::vector<TProfileEntry>& entries) {
  if (!CanBeSection(section)) return winerr::InvalidParameter;
  for (const auto& e : entries) {
    if (!CanBeKey(e.Key) || !CanBeValue(e.Value)) return winerr::InvalidParameter;
  }
  Section& s = FindOrAdd(section);
  s.lines.clear();
  s.keys.clear();
  s.indexed = true;
  s.live = s.dead = 0;
  s.duplicateKeys = false;
  s.lines.reserve(entries.size());
  for (const auto& e : entries) {
    std::string f = FoldName(e.Key);
    if (!s.keys.emplace(std::move(f), s.lines.size()).second) continue;
    s.lines.push_back(Section::Line{true, false, e.Key, e.Value});
    ++s.live;
  }
  modified_ = true;
  return winerr::Success;
}

std::string TProfileFile::Text() const {
  std::string out;
  for (const auto& l : preamble_) {
    out += l;
    out += "\r\n";
  }
  for (const auto& s : sections_) {
    if (!s) continue;
    out += '[';
    out += s->name;
    out += "]\r\n";
    for (const auto& l : s->lines) {
      if (l.dead) continue;
      out += l.key;
      if (l.entry) {
        out += '=';
        out += l.value;
      }
      out += "\r\n";
    }
  }
  return out;
}

WinError TProfileFile::Encode(std::string& bytes) const {
  std::string text = Text();
  switch (encoding_) {
    case Encoding::Utf8:
      bytes = std::move(text);
      return winerr::Success;
    case Encoding::Utf8Mark:
      bytes.assign(kUtf8Mark);
      bytes += text;
      return winerr::Success;
    case Encoding::Utf16Le:
      bytes.assign(kUtf16LeMark);
      if (!Utf8ToUtf16Le(text, bytes)) return winerr::NoUnicodeTranslation;
      bytes += oddByte_;
      return winerr::Success;
  }
  return winerr::InvalidParameter;
}

std::string TProfileFile::Serialize() const {
  std::string bytes;
  Encode(bytes);
  return bytes;
}

WinError TProfileFile::Save() {
  std::string bytes;
  WinError err = Encode(bytes);
  if (err == winerr::Success) err = fs_.WriteAtomic(path_, bytes);
  if (err == winerr::Success) modified_ = false;
  return err;
}

}  // namespace tw
