// VOLUME.TWV: any bytes load without fault; no recorded root can send a restore anywhere but
// an absolute place without "..", and writing the placeholder keeps every line it did not set.
#include <cstddef>
#include <cctype>
#include <cstdint>
#include <cstdio>

#include "engine/layout.h"
#include "platform/memory/MemoryFileSystem.h"
#include "selection/selection.h"
#include "tests/fuzz/fuzz_check.h"

using namespace tw;
using tw::fuzz::Check;

namespace {

// The reader's view without the keys the writer below sets.
std::string VisibleExceptWritten(const TProfileFile& ini) {
  std::string out;
  for (const std::string& s : ini.SectionNames()) {
    const bool ours = FoldSelectionName(s) == FoldSelectionName(kPlaceholderSection);
    if (!ours) out += "[" + s + "]\n";  // the writer may have created ours
    for (const TProfileEntry& e : ini.ReadSection(s)) {
      const std::string key = FoldSelectionName(e.Key);
      if (ours && (key == "VOLUME FILE" || key == "DOCS" || key == "FUZZ")) continue;
      out += e.Key + "=" + e.Value + "\n";
    }
  }
  return out;
}

// Absolute ("X:\..." or "\\server\..."), with no empty, "." or ".." component: a place below
// a drive or server, never one reached by climbing out of it.
bool StaysBelowItsRoot(std::string_view path) {
  size_t start;
  if (path.size() > 2 && path[0] == '\\' && path[1] == '\\') {
    start = 2;
  } else if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) &&
             path[1] == ':') {
    if (path.size() == 2) return true;  // a drive root
    if (path[2] != '\\') return false;
    start = 3;
  } else {
    return false;
  }
  for (size_t at = start;;) {
    size_t end = path.find_first_of("\\/", at);
    std::string_view part = path.substr(at, end == std::string_view::npos ? end : end - at);
    if (part.empty() || part == "." || part == "..") return false;
    if (end == std::string_view::npos) return true;
    at = end + 1;
  }
}

void CheckMapped(const std::optional<std::string>& mapped) {
  if (!mapped) return;
  Check(!mapped->empty() && mapped->back() == '\\', "a mapped folder without its backslash");
  std::string_view path(*mapped);
  path.remove_suffix(1);
  if (!StaysBelowItsRoot(path)) {
    std::fprintf(stderr, "mapped to: %s\n", mapped->c_str());
    tw::fuzz::Fail("a restore mapped outside its root");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryFileSystem fs;
  fs.AddDrive("C:", DriveType::Fixed);
  fs.AddDrive("D:", DriveType::Fixed);
  TVolumeRec volume;
  volume.Name = "Work";
  volume.BackupPath = "D:\\Backup\\";
  const std::string file = PlaceholderPath(volume.BackupPath);
  fs.WriteFile(file, std::string(reinterpret_cast<const char*>(data), size));

  TProfileFile ini(fs, file);
  Check(ini.Load() == winerr::Success, "load");
  for (const std::string& section : ini.SectionNames()) {
    for (const TProfileEntry& e : ini.ReadSection(section)) {
      if (std::optional<std::string> root = PlaceholderRoot(ini, e.Key))
        Check(IsUsableRoot(*root), "an unusable root was given out");
      if (!IsValidSelectionName(e.Key)) continue;  // no folder of the volume has that name
      TRestoreMapping state;
      state.PlaceholderIni = &ini;
      const std::string first = volume.BackupPath + e.Key;
      CheckMapped(MapToOriginal(first, volume, state));
      CheckMapped(MapToOriginal(first + "\\sub", volume, state));
    }
  }

  const std::string before = VisibleExceptWritten(ini);
  TPlaceholderWriter writer(fs, volume.BackupPath);
  Check(writer.WriteVolumeFile() == winerr::Success, "write volume file");
  Check(writer.WriteRoot("C:", {"Docs", "Fuzz"}) == winerr::Success, "write roots");
  TProfileFile after(fs, file);
  Check(after.Load() == winerr::Success, "reload");
  Check(VisibleExceptWritten(after) == before, "writing the placeholder lost or changed a line");
  Check(PlaceholderRoot(after, "docs") == std::optional<std::string>("C:"), "root not found");
  Check(after.ReadString(kPlaceholderSection, kVolumeFileKey, "") == kVolumeFileValue,
        "volume file key not found");
  return 0;
}
