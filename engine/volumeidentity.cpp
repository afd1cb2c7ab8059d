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
  // A folder of old, without identity, is the volume's as it always was.
  if (here && (!*here || SameVolumeId((*here)->Id, knownId))) return out;
  if (IsDrivePath(out.BackupPath)) {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(out.BackupPath[0])));
    for (const std::string& root : fs.DriveRoots()) {
      if (root.empty() || std::toupper(static_cast<unsigned char>(root[0])) == letter) continue;
      const std::string candidate = root.substr(0, 2) + out.BackupPath.substr(2);
      const auto there = PlaceholderIdentity(fs, candidate);
      if (there && *there && SameVolumeId((*there)->Id, knownId)) {
        out.Where = TVolumeWhere::Moved;
        out.BackupPath = candidate;
        return out;
      }
    }
  }
  out.Where = here ? TVolumeWhere::Foreign : TVolumeWhere::Missing;
  return out;
}

}  // namespace tw
