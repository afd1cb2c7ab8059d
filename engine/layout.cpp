#include "engine/layout.h"

#include <algorithm>

#include "engine/volumeidentity.h"
#include "selection/selection.h"

namespace tw {

namespace {

size_t CountBackslashes(std::string_view s) { return std::count(s.begin(), s.end(), '\\'); }

// Length in bytes of the UTF-8 character that begins at s[0] (1 for a stray byte).
size_t FirstCharLength(std::string_view s) {
  if (s.empty()) return 0;
  unsigned char c = static_cast<unsigned char>(s[0]);
  size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
  return std::min(n, s.size());
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  return TProfileFile::FoldName(s.substr(0, prefix.size())) == TProfileFile::FoldName(prefix);
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A component of a usable path: not empty, not made of dots and blanks alone, not ending with a
// dot or blank (Windows would strip them, so it would name another folder), no character that
// no Windows name may hold.
bool IsUsableComponent(std::string_view c) {
  if (c.empty() || c.back() == '.' || c.back() == ' ') return false;
  for (char ch : c) {
    unsigned char u = static_cast<unsigned char>(ch);
    if (u < 0x20 || std::string_view("<>:\"/|?*").find(ch) != std::string_view::npos) {
      return false;
    }
  }
  return true;
}

// Components separated by single backslashes, one trailing backslash allowed.
bool AreUsableComponents(std::string_view rest) {
  if (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
  size_t start = 0;
  while (true) {
    size_t end = rest.find('\\', start);
    std::string_view c = rest.substr(start, end == std::string_view::npos ? end : end - start);
    if (!IsUsableComponent(c)) return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

// rel (the path below the backup path) split at its first backslash.
struct RelParts {
  std::string_view first;  // first component (all of rel without a backslash)
  std::string_view rest;   // behind first and its backslash; empty when none
};
RelParts SplitRel(std::string_view rel) {
  size_t bs = rel.find('\\');
  if (bs == std::string_view::npos) return {rel, {}};
  return {rel.substr(0, bs), rel.substr(bs + 1)};
}

// Steps 5 and 6 of the reverse mapping for a drive folder (first names a drive folder).
std::optional<std::string> MapDriveFolder(const RelParts& parts,
                                          const std::optional<std::string>& chosenLocation) {
  // Windows names ignore case, so "FROM NETWORK" is the network folder too, never drive K.
  if (parts.first.size() == std::string_view(kFromNetwork).size() &&
      StartsWithNoCase(parts.first, kFromNetwork)) {
    if (parts.rest.empty()) return std::nullopt;  // the "From Network" folder itself
    if (chosenLocation) return AddBackslash(AddBackslash(*chosenLocation) + std::string(parts.rest));
    return AddBackslash("\\\\" + std::string(parts.rest));
  }
  // "From Drive " and one letter, nothing more: a longer name ("From Networks", "From Drive
  // CD") is no drive folder, and taking its twelfth character would restore to a drive
  // that has nothing to do with it.
  if (parts.first.size() != 12 || !StartsWithNoCase(parts.first, kFromDrive) ||
      !IsAsciiLetter(parts.first[11]))
    return std::nullopt;
  if (chosenLocation) return AddBackslash(AddBackslash(*chosenLocation) + std::string(parts.rest));
  return AddBackslash(std::string(1, parts.first[11]) + ":\\" + std::string(parts.rest));
}

}  // namespace

std::string AddBackslash(std::string_view path) {
  std::string out(path);
  if (out.empty() || out.back() != '\\') out += '\\';
  return out;
}

std::string UnableToWriteText(std::string_view fileName) {
  return "Unable to write to " + std::string(fileName);
}

std::string MapToVolume(std::string_view originalFolder, const TVolumeRec& volume) {
  std::string_view p = originalFolder;
  std::string r;
  if (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') {
    r = std::string(p.substr(2));
    if (volume.SeparateFolders) r = std::string(kFromNetwork) + "\\" + r;
  } else {
    r = p.size() > 3 ? std::string(p.substr(3)) : std::string();
    if (volume.SeparateFolders) {
      r = std::string(kFromDrive) + std::string(p.substr(0, FirstCharLength(p))) + "\\" + r;
    } else if (!r.empty()) {
      r += '\\';
    }
  }
  return AddBackslash(volume.BackupPath + r);
}

bool IsDriveFolderName(std::string_view name) {
  return StartsWithNoCase(name, "FROM DRIVE") || StartsWithNoCase(name, "FROM NETWORK");
}

std::optional<std::string> MapToOriginal(std::string_view folder, const TVolumeRec& volume,
                                         TRestoreMapping& state,
                                         const std::optional<std::string>& chosenLocation) {
  const std::string& backup = volume.BackupPath;
  size_t depth = CountBackslashes(folder) + 1;
  size_t base = CountBackslashes(backup);
  if (depth <= base) {  // the volume folder or above it
    state.RootMapping.clear();
    return std::nullopt;
  }
  if (!StartsWithNoCase(folder, backup)) return std::nullopt;  // not inside the volume
  std::string_view rel = folder.substr(backup.size());
  RelParts parts = SplitRel(rel);
  if (parts.first.empty()) return std::nullopt;  // an empty component right below the volume

  // Drive and network folders follow their own rules, whatever root is in force.
  if (IsDriveFolderName(parts.first)) return MapDriveFolder(parts, chosenLocation);

  if (depth == base + 1 && !chosenLocation) {
    // A first-level folder of a volume without per-drive folders: determine its root.
    if (state.PlaceholderIni) {
      state.RootMapping = PlaceholderRoot(*state.PlaceholderIni, parts.first).value_or("");
    }
    if (state.RootMapping.empty() && state.RootPrompt) {
      std::optional<std::string> answer = state.RootPrompt->AskRootPath(std::string(parts.first));
      if (answer) state.RootMapping = *answer;
    }
    if (!state.RootMapping.empty()) state.RootMapping = AddBackslash(state.RootMapping);
  }
  // rel keeps its first component: Windows\System under the root C:\ gives C:\Windows\System.
  if (chosenLocation) return AddBackslash(AddBackslash(*chosenLocation) + std::string(rel));
  if (state.RootMapping.empty()) return std::nullopt;  // no root could be had
  return AddBackslash(state.RootMapping + std::string(rel));
}

std::optional<std::string> MapDriveFolderToOriginal(std::string_view folder,
                                                    std::string_view backupPath) {
  if (folder.size() <= backupPath.size() || !StartsWithNoCase(folder, backupPath)) {
    return std::nullopt;
  }
  RelParts parts = SplitRel(folder.substr(backupPath.size()));
  if (!IsDriveFolderName(parts.first)) return std::nullopt;
  return MapDriveFolder(parts, std::nullopt);
}

std::string PlaceholderPath(std::string_view backupPath) {
  return std::string(backupPath) + kPlaceholderFileName;
}

bool IsVolumeFolder(IFileSystem& fs, std::string_view folder) {
  FindData info;
  return fs.Stat(AddBackslash(folder) + kPlaceholderFileName, info) == winerr::Success &&
         !info.IsDirectory();
}

bool IsUsableRoot(std::string_view root) {
  if (root.size() >= 2 && root[0] == '\\' && root[1] == '\\') {
    return root.size() > 2 && AreUsableComponents(root.substr(2));
  }
  if (root.size() < 2 || !IsAsciiLetter(root[0]) || root[1] != ':') return false;
  if (root.size() == 2) return true;                        // "C:"
  if (root[2] != '\\') return false;                         // "C:Data" is relative
  if (root.size() == 3) return true;                         // "C:\"
  return AreUsableComponents(root.substr(3));
}

std::optional<std::string> PlaceholderRoot(const TProfileFile& placeholder,
                                           std::string_view firstLevelName) {
  std::string value;
  const std::string key = EncodeSelectionText(firstLevelName);
  const bool found =
      placeholder.ReadString(kPlaceholderSection, key, value) ||
      (key != firstLevelName && placeholder.ReadString(kPlaceholderSection, firstLevelName, value));
  if (!found) return std::nullopt;
  if (!IsUsableRoot(value)) return std::nullopt;
  return value;
}

TPlaceholderWriter::TPlaceholderWriter(IFileSystem& fs, std::string_view backupPath)
    : ini_(fs, PlaceholderPath(backupPath)) {}

WinError TPlaceholderWriter::EnsureLoaded() {
  if (loaded_) return winerr::Success;
  WinError err = ini_.Load();
  if (err == winerr::Success) loaded_ = true;
  return err;
}

WinError TPlaceholderWriter::WriteVolumeFile() {
  if (WinError err = EnsureLoaded()) return err;
  ini_.WriteString(kPlaceholderSection, kVolumeFileKey, kVolumeFileValue);
  return ini_.Save();
}

WinError TPlaceholderWriter::WriteIdentity(std::string_view volumeName, std::string_view id) {
  if (WinError err = EnsureLoaded()) return err;
  // A damaged id is replaced: it would leave the folder without an identity for good.
  if (std::string old; ini_.ReadString(kIdentitySection, kIdentityIdKey, old) && IsVolumeId(old))
    return winerr::Success;
  if (TProfileFile::CanBeValue(volumeName))
    ini_.WriteString(kIdentitySection, kIdentityNameKey, volumeName);
  ini_.WriteString(kIdentitySection, kIdentityIdKey, id);
  return ini_.Save();
}

WinError TPlaceholderWriter::WriteRoot(std::string_view rootPath,
                                       const std::vector<std::string>& childNames) {
  if (WinError err = EnsureLoaded()) return err;
  if (TProfileFile::CanBeValue(rootPath)) {
    for (const auto& name : childNames) {
      ini_.WriteString(kPlaceholderSection, EncodeSelectionText(name), rootPath);
    }
  }
  return ini_.Modified() ? ini_.Save() : winerr::Success;
}

}  // namespace tw
