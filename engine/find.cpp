#include "engine/find.h"

#include <algorithm>

#include "engine/volumes.h"
#include "platform/Utf8.h"

namespace tw::find {

std::vector<std::string> SplitList(std::string_view text) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start < text.size()) {
    size_t semi = text.find(';', start);
    if (semi == std::string_view::npos) semi = text.size();
    pieces.emplace_back(text.substr(start, semi - start));
    start = semi + 1;
  }
  return pieces;
}

namespace {

// Code points, upper-cased as names compare. A byte that is not UTF-8 stays a unit of its own
// that equals only itself.
void FoldInto(std::string_view s, std::u32string& out) {
  out.clear();
  for (size_t i = 0; i < s.size();) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {  // most names are ASCII: no decoding
      out.push_back(b >= 'a' && b <= 'z' ? b - 'a' + 'A' : b);
      ++i;
      continue;
    }
    char32_t cp = 0;
    size_t n = utf8::DecodeUtf8(s, i, cp);
    if (n == 0) {
      out.push_back(0x110000 + static_cast<unsigned char>(s[i]));
      ++i;
    } else {
      out.push_back(utf8::UpperLetter(cp));
      i += n;
    }
  }
}

std::u32string Folded(std::string_view s) {
  std::u32string out;
  FoldInto(s, out);
  return out;
}

bool AllFiles(std::string_view mask) { return mask.empty() || mask == "*" || mask == "*.*"; }

bool MatchFolded(const std::u32string& name, const std::u32string& mask) {
  // Greedy with one resume point: on a mismatch only the last "*" takes one more character,
  // so each (name, mask) position pair is visited at most once.
  size_t n = 0, m = 0, starM = std::u32string::npos, starN = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == U'*') {
      starM = m++;
      starN = n;
    } else if (m < mask.size() && (mask[m] == U'?' || mask[m] == name[n])) {
      ++m;
      ++n;
    } else if (starM != std::u32string::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == U'*') ++m;
  return m == mask.size();
}

}  // namespace

bool MatchesMask(std::string_view name, std::string_view mask) {
  return MatchFolded(Folded(name), Folded(mask));
}

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The folder with a trailing backslash, or empty when the piece names none absolutely.
std::string NormalFolder(std::string_view piece) {
  while (!piece.empty() && (piece.front() == ' ' || piece.front() == '\t')) piece.remove_prefix(1);
  while (!piece.empty() && (piece.back() == ' ' || piece.back() == '\t')) piece.remove_suffix(1);
  std::string path(piece);
  std::replace(path.begin(), path.end(), '/', '\\');
  size_t rest = 0;
  if (path.size() >= 2 && IsLetter(path[0]) && path[1] == ':') {
    if (path.size() > 2 && path[2] != '\\') return {};  // "C:Data": relative to C:'s folder
    path[0] = static_cast<char>(path[0] >= 'a' ? path[0] - 'a' + 'A' : path[0]);
    rest = 3;
  } else if (path.rfind("\\\\", 0) == 0) {
    size_t server = path.find('\\', 2);
    if (server == std::string::npos || server == 2) return {};
    size_t share = path.find('\\', server + 1);
    if (share == server + 1) return {};
    rest = share == std::string::npos ? path.size() : share + 1;
  } else {
    return {};
  }
  if (path.back() != '\\') path += '\\';
  // Every component below the root must be a name: no "", "." or "..".
  for (size_t i = std::min(rest, path.size()); i < path.size();) {
    size_t end = path.find('\\', i);
    std::string_view part(path.data() + i, end - i);
    if (part.empty() || part == "." || part == "..") return {};
    i = end + 1;
  }
  return path;
}

}  // namespace

std::vector<std::string> SearchFolders(const std::vector<std::string>& pieces,
                                       bool includeSubfolders) {
  std::vector<std::string> folders, keys;
  for (const std::string& piece : pieces) {
    std::string folder = NormalFolder(piece);
    if (folder.empty()) continue;
    std::string key = UpperCaseName(folder);
    auto covers = [&](const std::string& outer, const std::string& inner) {
      return outer == inner || (includeSubfolders && inner.rfind(outer, 0) == 0);
    };
    if (std::any_of(keys.begin(), keys.end(), [&](const std::string& k) { return covers(k, key); }))
      continue;
    // A folder named earlier that lies inside this one goes: this walk lists it.
    for (size_t i = keys.size(); i-- > 0;) {
      if (covers(key, keys[i])) {
        keys.erase(keys.begin() + static_cast<std::ptrdiff_t>(i));
        folders.erase(folders.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
    keys.push_back(std::move(key));
    folders.push_back(std::move(folder));
  }
  return folders;
}

std::optional<int> ParseDays(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return 0;
  int days = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    days = days * 10 + (c - '0');
    if (days > kMaxDays) return std::nullopt;
  }
  return days;
}

FileTime MinTimeForDays(FileTime nowUtc, int days) {
  if (days <= 0) return 0;
  constexpr FileTime kDay = 864000000000ULL;
  const FileTime span = kDay * static_cast<FileTime>(days);
  return nowUtc > span ? nowUtc - span : 1;
}

void SearchWalk(IFileSystem& fs, const std::string& start, const TFindRequest& request,
                const std::atomic<bool>& stop, IFindSink& sink) {
  // Folders still to list, the next on top: a loop, not a recursion, so a deep tree cannot
  // exhaust the thread's stack, and no listing stays open while another runs.
  std::vector<std::string> pending{start.empty() || start.back() != '\\' ? start + '\\' : start};
  std::vector<std::string> subfolders;
  // Masks folded once, and which of them take every file.
  std::vector<std::u32string> masks;
  std::vector<bool> allFiles;
  for (const std::string& mask : request.masks) {
    masks.push_back(Folded(mask));
    allFiles.push_back(AllFiles(mask));
  }
  std::u32string name;
  while (!pending.empty()) {
    if (stop.load(std::memory_order_relaxed)) return;
    const std::string folder = std::move(pending.back());
    pending.pop_back();
    subfolders.clear();
    fs.ListEach(folder, [&](const FindData& entry) {
      if (stop.load(std::memory_order_relaxed)) return false;
      if (entry.IsDirectory()) {
        if (request.includeSubfolders && !entry.IsLink()) subfolders.push_back(folder + entry.name + '\\');
        return true;
      }
      bool folded = false;
      for (size_t m = 0; m < masks.size(); ++m) {
        if (stop.load(std::memory_order_relaxed)) return false;
        if (!allFiles[m]) {
          if (!folded) FoldInto(entry.name, name);
          folded = true;
          if (!MatchFolded(name, masks[m])) continue;
        }
        if (request.minTime == 0 || entry.lastWrite > request.minTime) sink.Found(folder, entry);
        break;  // listed once, under the first mask it fits
      }
      return true;
    });
    sink.FolderDone();
    if (stop.load(std::memory_order_relaxed)) return;
    // In listing order once popped.
    for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it) pending.push_back(std::move(*it));
  }
}

std::string SizeText(uint64_t bytes) {
  return std::to_string(bytes < 1024 ? 1 : bytes / 1024) + " KB";
}

bool TFoundFileAdder::Add(const std::string& folder, const std::string& name, uint64_t size) {
  if (!lastNode_ || folder != lastFolder_) {
    lastNode_ = selection_.FindNode(folder);
    if (!lastNode_) lastNode_ = selection_.AddPath(folder);
    lastFolder_ = folder;
    if (!lastNode_) return false;
  }
  const int64_t asSigned = size > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(size);
  return lastNode_->AddFile(name, asSigned) >= 0;
}

}  // namespace tw::find
