// The selection file: writing and reading a tree, and the escape for names a line cannot carry.
#include <algorithm>
#include <cstdint>
#include <unordered_map>

#include "platform/ProfileFile.h"
#include "selection/selection.h"

namespace tw {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool NeedsEscape(std::string_view text) {
  if (text.empty() || IsBlank(text.front()) || IsBlank(text.back()) || text.front() == '*')
    return true;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F || c == '=' || c == ';' || c == '[' || c == ']') return true;
  }
  return false;
}

bool EscapedByte(unsigned char c) {
  return c <= 0x20 || c == 0x7F || c == '%' || c == '=' || c == ';' || c == '[' || c == ']' ||
         c == '*';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Folders with more individually selected files than this get their sizes from one listing
// rather than one look-up per file, which costs a disk search each on the real system.
constexpr size_t kListInsteadOfLookups = 16;

int64_t SizeOfEntry(const FindData& d) {
  return d.size > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(d.size);
}

}  // namespace

std::string EncodeSelectionText(std::string_view text) {
  if (!NeedsEscape(text)) return std::string(text);
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "*";
  out.reserve(text.size() + 8);
  for (unsigned char c : text) {
    if (EscapedByte(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool DecodeSelectionText(std::string_view encoded, std::string& text) {
  if (encoded.empty() || encoded.front() != '*') {
    text.assign(encoded);
    return true;
  }
  std::string out;
  out.reserve(encoded.size());
  for (size_t i = 1; i < encoded.size(); ++i) {
    char c = encoded[i];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i + 2 >= encoded.size()) return false;
    int hi = HexValue(encoded[i + 1]), lo = HexValue(encoded[i + 2]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  text = std::move(out);
  return true;
}

WinError TWLDesktopNode::SaveToFile(const std::string& fileName) const {
  // Built from nothing, so only this tree's entries end up in the file.
  TProfileFile file(*env_.fs, fileName);
  if (WinError e = WriteTo(file)) return e;
  return file.Save();
}

WinError TWLDesktopNode::WriteTo(TProfileFile& file) const {
  // Two roots that differ only in case ("C:" and "c:") share their sections: entries are
  // added, never erased.
  std::vector<const TWLNode*> pending;
  for (int r = RootCount() - 1; r >= 0; --r) pending.push_back(Root(r));
  // The path of the node in hand, kept from the one before: depth first, a node's parent is
  // always a prefix of it, so building every path costs no more than writing it.
  std::string path;
  while (!pending.empty()) {
    const TWLNode* node = pending.back();
    pending.pop_back();
    if (node->parent_) {
      path.resize(node->parent_->pathBytes_);
      path += '\\';
      path += node->name_;
    } else {
      path = node->name_;
    }
    // A root is never written whole: a drive root's marker would not be read back, and a
    // server cannot be listed to find again what lies below it.
    const bool whole = node->parent_ && node->AllSelected();
    if (whole || !node->files_.empty()) {  // a folder on the way has no section to encode
      const bool driveRoot = path.size() < 3;
      const std::string section = EncodeSelectionText(driveRoot ? path + "\\" : path);
      if (whole) {
        if (WinError e = file.WriteString(section, kAllMarker, kEntryValue)) return e;
        continue;
      }
      for (const auto& f : node->files_) {
        if (WinError e = file.WriteString(section, EncodeSelectionText(f.name), kEntryValue))
          return e;
      }
    }
    for (auto it = node->children_.rbegin(); it != node->children_.rend(); ++it)
      pending.push_back(it->get());
  }
  return winerr::Success;
}

WinError TWLDesktopNode::LoadFromFile(const std::string& fileName) {
  TProfileFile file(*env_.fs, fileName);
  WinError loaded = file.Load();
  if (loaded != winerr::Success) {
    Clear();
    return loaded;
  }
  return LoadFrom(file);
}

WinError TWLDesktopNode::LoadFrom(const TProfileFile& file) {
  Clear();
  const std::string allKey = FoldSelectionName(kAllMarker);
  struct Named {
    std::string folded;  // the form names are compared in: sorting by it keeps the list's order
    std::string name;
  };
  std::vector<Named> names;
  for (const std::string& section : file.SectionNames()) {
    std::string path;
    if (!DecodeSelectionText(section, path)) continue;
    std::vector<TProfileEntry> entries = file.ReadSection(section);
    TWLNode* node = AddPath(path);  // nullptr for a path too long for Windows, among others
    if (!node) continue;

    bool whole = false;
    names.clear();
    for (const TProfileEntry& entry : entries) {
      if (FoldSelectionName(entry.Key) == allKey) {
        whole = whole || entry.Value == kEntryValue;
        continue;
      }
      std::string name;
      if (entry.Value == kEntryValue) {
        if (!DecodeSelectionText(entry.Key, name)) continue;
      } else {
        // Written by a writer without the escape: a plain name holding '=' was split there.
        std::string line = entry.Key + "=" + entry.Value;
        if (entry.Key.empty() || entry.Key.front() == '*' ||
            line.compare(line.size() - 2, 2, "=#") != 0)
          continue;
        name = line.substr(0, line.size() - 2);
      }
      if (IsValidSelectionName(name) && node->FitsBelow(name))
        names.push_back(Named{FoldSelectionName(name), std::move(name)});
    }

    if (whole) {
      if (!node->SelectAll()) return kSelectionScanInterrupted;
      continue;
    }
    // Sorted once and merged: inserting names one by one costs O(n^2) when they come out of
    // order. Of names differing only in case the first in the file counts, as it would have.
    // A file in name order (as saved) costs one pass here.
    auto before = [](const Named& a, const Named& b) { return a.folded < b.folded; };
    auto notBefore = [&](const Named& a, const Named& b) { return !before(a, b); };
    if (std::adjacent_find(names.begin(), names.end(), notBefore) != names.end()) {
      std::stable_sort(names.begin(), names.end(), before);
      names.erase(std::unique(names.begin(), names.end(), notBefore), names.end());
    }
    // Another section may have named this folder already ("C:\Data" and "C:\Data\").
    if (node->FileCount() > 0) {
      names.erase(std::remove_if(names.begin(), names.end(),
                                 [&](const Named& n) { return node->IndexOfFile(n.name) >= 0; }),
                  names.end());
    }
    const std::string folder = node->Path();
    std::unordered_map<std::string, std::pair<int64_t, std::optional<FileTime>>> sizes;
    bool listed = false;
    if (names.size() > kListInsteadOfLookups) {
      std::vector<FindData> found;
      if (env_.fs->List(folder + "\\", found) == winerr::Success) {
        for (const FindData& f : found) {
          std::optional<FileTime> time;
          if (!f.IsDirectory()) time = f.lastWrite;
          sizes.emplace(FoldSelectionName(f.name), std::make_pair(SizeOfEntry(f), time));
        }
      }
      listed = true;  // a folder that cannot be listed has none of its files
    }
    std::vector<TWLNode::FileEntry> fresh;
    fresh.reserve(names.size());
    for (Named& n : names) {
      int64_t size = -1;
      std::optional<FileTime> lastWrite;
      if (listed) {
        auto it = sizes.find(n.folded);
        if (it != sizes.end()) {
          size = it->second.first;
          lastWrite = it->second.second;
        }
      }
      fresh.push_back(node->NewEntry(folder, std::move(n.name), size, !listed, lastWrite));
    }
    node->MergeFiles(std::move(fresh));
  }
  return winerr::Success;
}

}  // namespace tw
