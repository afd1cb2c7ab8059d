#include "engine/settings.h"

namespace tw {

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

uint32_t Get32(const std::vector<uint8_t>& in, size_t& pos) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= uint32_t(in[pos + i]) << (8 * i);
  pos += 4;
  return v;
}

}  // namespace

std::string FailedToSetDataText(const std::string& valueName) {
  return "Failed to set data for '" + valueName + "'";
}

std::vector<uint8_t> EncodePlacement(const TWindowPlacement& p) {
  std::vector<uint8_t> out;
  out.reserve(TWindowPlacement::kBytes);
  Put32(out, p.length);
  Put32(out, p.flags);
  Put32(out, p.showCmd);
  Put32(out, uint32_t(p.ptMinPosition.x));
  Put32(out, uint32_t(p.ptMinPosition.y));
  Put32(out, uint32_t(p.ptMaxPosition.x));
  Put32(out, uint32_t(p.ptMaxPosition.y));
  Put32(out, uint32_t(p.rcNormalPosition.left));
  Put32(out, uint32_t(p.rcNormalPosition.top));
  Put32(out, uint32_t(p.rcNormalPosition.right));
  Put32(out, uint32_t(p.rcNormalPosition.bottom));
  return out;
}

std::optional<TWindowPlacement> DecodePlacement(const std::vector<uint8_t>& data) {
  if (data.size() != TWindowPlacement::kBytes) return std::nullopt;
  TWindowPlacement p;
  size_t pos = 0;
  p.length = Get32(data, pos);
  p.flags = Get32(data, pos);
  p.showCmd = Get32(data, pos);
  p.ptMinPosition.x = int32_t(Get32(data, pos));
  p.ptMinPosition.y = int32_t(Get32(data, pos));
  p.ptMaxPosition.x = int32_t(Get32(data, pos));
  p.ptMaxPosition.y = int32_t(Get32(data, pos));
  p.rcNormalPosition.left = int32_t(Get32(data, pos));
  p.rcNormalPosition.top = int32_t(Get32(data, pos));
  p.rcNormalPosition.right = int32_t(Get32(data, pos));
  p.rcNormalPosition.bottom = int32_t(Get32(data, pos));
  return p;
}

TSettingsStore::TSettingsStore(IRegistry& registry, std::string productKey)
    : registry_(registry), productKey_(std::move(productKey)) {}

TGeneralOptions TSettingsStore::ReadOptions() {
  TGeneralOptions options;
  auto key = registry_.Open(RegRoot::CurrentUser, OptionsKey(), false);
  if (!key) return options;

  // One guarded block: the first value that fails stops the rest.
  auto readBool = [&](const char* name, bool& target) {
    if (key->TypeOf(name) == RegType::None) return true;
    uint32_t v = 0;
    if (key->ReadDword(name, v) != winerr::Success) return false;
    target = v != 0;
    return true;
  };
  if (!readBool(WLRegStrings::LaunchOnStartup, options.LaunchOnStartup)) return options;
  if (!readBool(WLRegStrings::RunAsTrayIcon, options.RunAsTrayIcon)) return options;
  if (!readBool(WLRegStrings::DisableAutoRefresh, options.DisableAutoRefresh)) return options;
  if (key->TypeOf(WLRegStrings::LastVolumeOpened) != RegType::None) {
    std::string name;
    if (key->ReadString(WLRegStrings::LastVolumeOpened, name) == winerr::Success)
      options.LastVolumeName = UpperCaseName(name);
  }
  return options;
}

std::optional<TWindowPlacement> TSettingsStore::ReadWindowPlacement() {
  auto key = registry_.Open(RegRoot::CurrentUser, WindowKey(), false);
  if (!key) return std::nullopt;
  std::vector<uint8_t> data;
  if (key->ReadBinary(WLRegStrings::State, data) != winerr::Success) return std::nullopt;
  auto placement = DecodePlacement(data);
  // Restores position and size only; whether the window shows is decided at start-up.
  if (placement) placement->showCmd = 0;
  return placement;
}

void TSettingsStore::WriteOptions(const TGeneralOptions& options) {
  auto key = registry_.Open(RegRoot::CurrentUser, OptionsKey(), true);
  if (!key) return;
  key->WriteDword(WLRegStrings::LaunchOnStartup, options.LaunchOnStartup ? 1 : 0);
  key->WriteDword(WLRegStrings::RunAsTrayIcon, options.RunAsTrayIcon ? 1 : 0);
  key->WriteDword(WLRegStrings::DisableAutoRefresh, options.DisableAutoRefresh ? 1 : 0);
  key->WriteString(WLRegStrings::LastVolumeOpened, options.LastVolumeName);
}

void TSettingsStore::WriteWindowPlacement(const TWindowPlacement& placement) {
  auto key = registry_.Open(RegRoot::CurrentUser, WindowKey(), true);
  if (!key) return;
  TWindowPlacement stored = placement;
  stored.length = TWindowPlacement::kBytes;
  key->WriteBinary(WLRegStrings::State, EncodePlacement(stored));
}

void TSettingsStore::WriteAppPath(const std::string& exePath) {
  auto key = registry_.Open(RegRoot::LocalMachine, AppPathKey(), true);
  if (!key) return;  // usually no right to write there
  key->WriteString(WLRegStrings::AppPathValue, exePath);
}

void TSettingsStore::WriteAtExit(const TGeneralOptions& options,
                                 const TWindowPlacement* placement, const std::string& exePath) {
  WriteOptions(options);
  if (placement) WriteWindowPlacement(*placement);
  WriteAppPath(exePath);
}

void TSettingsStore::WriteDefaultVolume(const TVolumeList& volumes) {
  auto key = registry_.Open(RegRoot::CurrentUser, productKey_, true);
  if (!key) return;
  key->DeleteValue(WLRegStrings::DefaultVolume);
  for (const auto& rec : volumes) {
    if (rec && rec->IsDefault) {
      key->WriteString(WLRegStrings::DefaultVolume, rec->Name);
      break;
    }
  }
}

void TSettingsStore::DeleteContextMenuMark(const std::string& volumeName) {
  if (auto key = registry_.Open(RegRoot::CurrentUser, ContextMenuKey(), true))
    key->DeleteValue(volumeName);
}

void TSettingsStore::RenameContextMenuMark(const std::string& oldName,
                                           const std::string& newName) {
  auto key = registry_.Open(RegRoot::CurrentUser, ContextMenuKey(), false);
  if (!key || key->TypeOf(oldName) == RegType::None) return;
  // Value names ignore case: a change of case only is a delete and a write of the same value.
  key->DeleteValue(oldName);
  key->WriteString(newName, "");
}

bool TSettingsStore::AddContextMenuMark(const std::string& volumeName) {
  auto key = registry_.Open(RegRoot::CurrentUser, ContextMenuKey(), true);
  if (!key) return true;  // nothing to offer the extension: as if the button did nothing
  if (key->TypeOf(volumeName) != RegType::None) return true;
  return key->WriteString(volumeName, "") == winerr::Success;
}

TZipShutdownEject::TZipShutdownEject(IRegistry& registry, std::string keyPath)
    : registry_(registry), keyPath_(std::move(keyPath)) {}

bool TZipShutdownEject::Read() {
  key_ = registry_.Open(RegRoot::LocalMachine, keyPath_, true);
  uint32_t value = 0;
  return key_ && key_->ReadDword(WLRegStrings::ZipShutdownEject, value) == winerr::Success &&
         value == 1;
}

bool TZipShutdownEject::Write(bool eject) {
  // The key may have been out of reach when it was read.
  if (!key_) key_ = registry_.Open(RegRoot::LocalMachine, keyPath_, true);
  return key_ && key_->WriteDword(WLRegStrings::ZipShutdownEject, eject ? 1 : 0) == winerr::Success;
}

}  // namespace tw
