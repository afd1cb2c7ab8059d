#include "engine/volumeidentity.h"

#include <cctype>
#include <random>

namespace tw {

std::string NewVolumeId() {
  std::random_device seed;
  std::mt19937_64 random((static_cast<uint64_t>(seed()) << 32) ^ seed());
  uint64_t high = random(), low = random();
  high = (high & ~0xF000ULL) | 0x4000ULL;                      // version 4
  low = (low & ~(0xC000ULL << 48)) | (0x8000ULL << 48);        // variant 1
  static const char kHex[] = "0123456789ABCDEF";
  std::string digits;
  for (int shift = 60; shift >= 0; shift -= 4) digits += kHex[(high >> shift) & 0xF];
  for (int shift = 60; shift >= 0; shift -= 4) digits += kHex[(low >> shift) & 0xF];
  return "{" + digits.substr(0, 8) + "-" + digits.substr(8, 4) + "-" + digits.substr(12, 4) +
         "-" + digits.substr(16, 4) + "-" + digits.substr(20) + "}";
}

bool IsVolumeId(std::string_view id) {
  if (id.size() != 38 || id.front() != '{' || id.back() != '}') return false;
  for (size_t i = 1; i + 1 < id.size(); ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? id[i] != '-' : !std::isxdigit(static_cast<unsigned char>(id[i]))) return false;
  }
  return true;
}

bool SameVolumeId(std::string_view a, std::string_view b) {
  if (!IsVolumeId(a) || !IsVolumeId(b)) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::optional<TVolumeIdentity> ReadIdentity(const TProfileFile& placeholder) {
  TVolumeIdentity identity;
  if (!placeholder.ReadString(kIdentitySection, kIdentityIdKey, identity.Id) ||
      !IsVolumeId(identity.Id))
    return std::nullopt;
  placeholder.ReadString(kIdentitySection, kIdentityNameKey, identity.Name);
  return identity;
}

namespace {

// The placeholder of a folder: nothing when there is none or it cannot be read.
std::optional<std::optional<TVolumeIdentity>> PlaceholderIdentity(IFileSystem& fs,
                                                                  const std::string& folder) {
  TProfileFile ini(fs, PlaceholderPath(folder));
  std::string data;
  if (fs.ReadAll(ini.Path(), data) != winerr::Success) return std::nullopt;
  ini.Parse(data);
  return ReadIdentity(ini);
}

bool IsDrivePath(std::string_view path) {
  return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
         path[1] == ':' && path[2] == '\\';
}

}  // namespace

TVolumeLocation LocateVolume(IFileSystem& fs, const TVolumeRec& volume,
                             std::string_view knownId) {
  TVolumeLocation out;
  out.BackupPath = AddBackslash(volume.BackupPath);
  const auto here = PlaceholderIdentity(fs, out.BackupPath);
  if (!IsVolumeId(knownId)) {
    out.Where = here ? TVolumeWhere::Here : TVolumeWhere::Missing;
    return out;
  }
  if (here && *here && SameVolumeId((*here)->Id, knownId)) return out;
  if (IsDrivePath(out.BackupPath)) {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(out.BackupPath[0])));
    for (const std::string& root : fs.DriveRoots()) {
      if (root.empty() || std::toupper(static_cast<unsigned char>(root[0])) == letter) continue;
      // Backup disks are local disks; a dead network letter could keep the window waiting for
      // many seconds, and an empty drive has nothing to find.
      const DriveType kind = fs.DriveKind(root);
      if (kind != DriveType::Removable && kind != DriveType::Fixed) continue;
      const std::string candidate = root.substr(0, 2) + out.BackupPath.substr(2);
      const auto there = PlaceholderIdentity(fs, candidate);
      if (there && *there && SameVolumeId((*there)->Id, knownId)) {
        out.Where = TVolumeWhere::Moved;
        out.BackupPath = candidate;
        return out;
      }
    }
  }
  // A folder of old, without identity, is the volume's as it always was, unless the folder
  // that carries its identity was found on another drive above.
  if (here && !*here) return out;
  out.Where = here ? TVolumeWhere::Foreign : TVolumeWhere::Missing;
  if (here && *here) out.OtherName = (*here)->Name;
  return out;
}

// ---- The remembered ids ----

TVolumeIdStore::TVolumeIdStore(IRegistry& registry, std::string productKey)
    : registry_(registry), key_(std::move(productKey) + kVolumeIdsSubkey) {}

std::string TVolumeIdStore::Read(const std::string& volumeName) {
  std::string id;
  auto key = registry_.Open(RegRoot::CurrentUser, key_, false);
  if (volumeName.empty() || !key || key->ReadString(volumeName, id) != winerr::Success ||
      !IsVolumeId(id))
    return {};
  return id;
}

bool TVolumeIdStore::Write(const std::string& volumeName, const std::string& id) {
  if (volumeName.empty() || !IsVolumeId(id)) return false;
  auto key = registry_.Open(RegRoot::CurrentUser, key_, true);
  return key && key->WriteString(volumeName, id) == winerr::Success;
}

void TVolumeIdStore::Rename(const std::string& oldName, const std::string& newName) {
  if (oldName == newName) return;
  const std::string id = Read(oldName);
  Forget(oldName);
  if (!id.empty()) Write(newName, id);
}

void TVolumeIdStore::Forget(const std::string& volumeName) {
  if (volumeName.empty()) return;
  if (auto key = registry_.Open(RegRoot::CurrentUser, key_, false)) key->DeleteValue(volumeName);
}

TFolderClaim ClaimVolumeFolder(const TProfileFile& placeholder, std::string_view knownId) {
  TFolderClaim claim;
  const auto own = ReadIdentity(placeholder);
  if (own) {
    claim.Id = own->Id;
    claim.OtherName = own->Name;
    claim.Foreign = IsVolumeId(knownId) && !SameVolumeId(own->Id, knownId);
    return claim;
  }
  claim.Id = IsVolumeId(knownId) ? std::string(knownId) : NewVolumeId();
  claim.WriteNeeded = true;
  return claim;
}

std::string VolumeMovedQuestion(const std::string& volumeName, std::string_view fromPath,
                                std::string_view toPath) {
  const std::string from(fromPath.substr(0, 2)), to(toPath.substr(0, 2));
  return "The volume " + volumeName + " was found on " + to + " instead of " + from + ". Use " +
         to + " from now on?";
}

std::string ForeignFolderText(const std::string& volumeName, std::string_view folder,
                              const std::string& otherName) {
  return "The folder " + std::string(folder) + " holds the backup of " +
         (otherName.empty() ? std::string("another volume") : "the volume " + otherName) +
         ", not of the volume " + volumeName +
         ". Tidewell does not write into it. Connect the volume's own disk, or change the "
         "volume's backup path.";
}

std::string VolumeMovedLogLine(const std::string& volumeName, std::string_view fromPath,
                               std::string_view toPath) {
  return "The volume " + volumeName + " was not found at " + std::string(fromPath) +
         "; its folder was found at " + std::string(toPath) + " and is refreshed there.";
}

}  // namespace tw
