// Registry settings of the main program: the general options, the window placement, the path of
// the executable for the context-menu extension, and the name of the default volume.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/volumes.h"
#include "platform/Registry.h"

namespace tw {

// Key and value names shared by the program and the extension. Keys are relative to the root.
namespace WLRegStrings {
inline constexpr char ProductKey[] = "\\Software\\Corvane\\Tidewell";
// Subkeys, appended to the product key.
inline constexpr char OptionsSubkey[] = "\\Options";
inline constexpr char WindowSubkey[] = "\\Window";
inline constexpr char ContextMenuSubkey[] = "\\ContextMenu";
inline constexpr char AppPathSubkey[] = "\\AppPath";
// Values.
inline constexpr char LaunchOnStartup[] = "LaunchOnStartup";
inline constexpr char RunAsTrayIcon[] = "RunAsTrayIcon";
inline constexpr char DisableAutoRefresh[] = "DisableAutoRefresh";
inline constexpr char LastVolumeOpened[] = "LastVolumeOpened";
inline constexpr char State[] = "State";
inline constexpr char DefaultVolume[] = "DefaultVolume";
inline constexpr char AppPathValue[] = "";  // the key's default value
// The Zip drive vendor's own setting (HKEY_LOCAL_MACHINE), shown by the options dialog.
inline constexpr char ZipExtensionsKey[] = "\\Software\\Iomega Corporation\\Extensions";
inline constexpr char ZipShutdownEject[] = "ZipShutdownEject";
}  // namespace WLRegStrings

// The message of a registry value that could not be written.
std::string FailedToSetDataText(const std::string& valueName);

struct TGeneralOptions {
  bool LaunchOnStartup = false;
  bool RunAsTrayIcon = true;
  bool DisableAutoRefresh = false;
  // Read back in upper case (UpperCaseName); set to the Name as entered when a volume is opened.
  std::string LastVolumeName;
};

struct TPoint32 {
  int32_t x = 0, y = 0;
};
struct TRect32 {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// WINDOWPLACEMENT as stored in the registry: eleven 32-bit little-endian fields.
struct TWindowPlacement {
  static constexpr size_t kBytes = 44;
  uint32_t length = kBytes;
  uint32_t flags = 0;
  uint32_t showCmd = 0;
  TPoint32 ptMinPosition;
  TPoint32 ptMaxPosition;
  TRect32 rcNormalPosition;
};

std::vector<uint8_t> EncodePlacement(const TWindowPlacement& placement);
// Fails (returns nullopt) unless the data is exactly 44 bytes.
std::optional<TWindowPlacement> DecodePlacement(const std::vector<uint8_t>& data);

class TSettingsStore {
 public:
  // productKey lets tests work below a key of their own; the program uses the default.
  explicit TSettingsStore(IRegistry& registry,
                          std::string productKey = WLRegStrings::ProductKey);

  const std::string& ProductKey() const { return productKey_; }
  IRegistry& Registry() { return registry_; }
  std::string OptionsKey() const { return productKey_ + WLRegStrings::OptionsSubkey; }
  std::string WindowKey() const { return productKey_ + WLRegStrings::WindowSubkey; }
  std::string ContextMenuKey() const { return productKey_ + WLRegStrings::ContextMenuSubkey; }
  std::string AppPathKey() const { return productKey_ + WLRegStrings::AppPathSubkey; }

  // Never fails: a missing key gives the defaults, and the first value that cannot be read
  // ends the reading, keeping what was read before it.
  TGeneralOptions ReadOptions();
  // The stored placement with showCmd set to 0 (hidden), or nullopt when there is none usable.
  std::optional<TWindowPlacement> ReadWindowPlacement();

  // Each writer skips silently a key it cannot open or create.
  void WriteOptions(const TGeneralOptions& options);
  void WriteWindowPlacement(const TWindowPlacement& placement);
  void WriteAppPath(const std::string& exePath);  // HKEY_LOCAL_MACHINE
  // The exit sequence: options, placement (when the window gave one), application path.
  void WriteAtExit(const TGeneralOptions& options, const TWindowPlacement* placement,
                   const std::string& exePath);

  // Replaces "DefaultVolume" with the Name of the first volume marked default, or removes it.
  void WriteDefaultVolume(const TVolumeList& volumes);

  // The volume's mark for the Explorer context menu (a value of the ContextMenu key named like
  // the volume). Deleting an absent mark is silent.
  void DeleteContextMenuMark(const std::string& volumeName);
  // A renamed volume keeps its mark: the value under the old name becomes one under the new.
  void RenameContextMenuMark(const std::string& oldName, const std::string& newName);
  // Offers the volume on the context menu: an empty string value named like it, written once.
  // A key that cannot be opened or created is skipped silently; false only when the key is
  // there but the value could not be written.
  bool AddContextMenuMark(const std::string& volumeName);

 private:
  IRegistry& registry_;
  std::string productKey_;
};

// The Zip drive vendor's switch for ejecting Zip disks at shutdown, in HKEY_LOCAL_MACHINE: 1 is
// on. The options dialog keeps one open while it shows.
class TZipShutdownEject {
 public:
  // keyPath lets tests work below a key of their own; the program uses the vendor's.
  explicit TZipShutdownEject(IRegistry& registry,
                             std::string keyPath = WLRegStrings::ZipExtensionsKey);

  // Opens the key, creating it where allowed, and reads the value. A missing key or value, or
  // one that cannot be read, counts as off.
  bool Read();
  // Writes 1 or 0 as a DWORD; false when it could not be written (no right to the key).
  bool Write(bool eject);

 private:
  IRegistry& registry_;
  std::string keyPath_;
  std::unique_ptr<IRegKey> key_;
};

}  // namespace tw
