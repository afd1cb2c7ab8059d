#include "engine/orphan.h"

#include "engine/layout.h"

namespace tw {

namespace {

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

int Ask(IOperationUI& ui, const char* text) {
  return ui.Message(text, kAppTitle, mb::YesNo | mb::IconQuestion, MessageOwner::MainWindow);
}

}  // namespace

bool CheckDriveFolder(std::string_view displayName) {
  // The first 11 and the first 13 characters: a longer name never equals the 12 of
  // "FROM NETWORK", so only that name itself passes the second test.
  return UpperAscii(displayName.substr(0, 11)) == "FROM DRIVE " ||
         UpperAscii(displayName.substr(0, 13)) == "FROM NETWORK";
}

bool DriveFoldersFound(const std::vector<std::string>& subfolderNames) {
  for (const auto& name : subfolderNames) {
    if (CheckDriveFolder(name)) return true;
  }
  return false;
}

std::vector<std::string> ListSubfolderNames(IFileSystem& fs, const std::string& folder) {
  std::vector<FindData> entries;
  std::vector<std::string> names;
  if (fs.List(folder, entries) != winerr::Success) return names;
  for (const auto& e : entries) {
    if (e.IsDirectory()) names.push_back(e.name);
  }
  return names;
}

std::optional<TOrphanedVolume> CheckOrphanedFolder(
    IFileSystem& fs, IOperationUI& ui, const std::optional<std::string>& folder,
    const std::function<std::vector<std::string>()>& listSubfolders) {
  FindData info;
  // A path the file system does not know as a folder (a drive without its disk, a vanished
  // share) is no more restorable than a virtual item.
  if (!folder || folder->empty() || fs.Stat(*folder, info) != winerr::Success ||
      !info.IsDirectory()) {
    ui.Message(kSelectFileSystemFolderText, kAppTitle, mb::Ok | mb::IconError,
               MessageOwner::MainWindow);
    return std::nullopt;
  }

  TOrphanedVolume result;
  result.Volume.BackupPath = AddBackslash(*folder);
  if (IsVolumeFolder(fs, result.Volume.BackupPath)) {
    result.PlaceholderIni =
        std::make_unique<TProfileFile>(fs, PlaceholderPath(result.Volume.BackupPath));
    // A placeholder that cannot be read holds no entries; every folder is then asked for.
    result.PlaceholderIni->Load();
  } else if (Ask(ui, kNoPlaceholderQuestion) != mb::IdYes) {
    return std::nullopt;
  }

  result.DriveFoldersFound = DriveFoldersFound(
      listSubfolders ? listSubfolders() : ListSubfolderNames(fs, result.Volume.BackupPath));
  if (!result.DriveFoldersFound && !result.PlaceholderIni &&
      Ask(ui, kNoVolumeQuestion) != mb::IdYes) {
    return std::nullopt;
  }
  return result;
}

}  // namespace tw
