// The checks that accept a folder outside the volume list as a volume to restore from (the
// orphaned restore), and the volume record the wizard then works with.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/volumes.h"
#include "platform/FileSystem.h"
#include "platform/OperationUI.h"
#include "platform/ProfileFile.h"

namespace tw {

inline constexpr char kSelectFileSystemFolderText[] =
    "Cannot proceed. Please select a file system folder";
inline constexpr char kNoPlaceholderQuestion[] =
    "Unable to locate Tidewell place holder in this folder. This folder may not contain a "
    "volume. Are you sure you want to continue ?";
inline constexpr char kNoVolumeQuestion[] =
    "Tidewell has determined that this folder does not contain any volume backed up. Are you "
    "sure you want to continue ?";

// CheckDriveFolder's name test: "FROM DRIVE " followed by anything, or exactly "FROM NETWORK",
// in any case.
bool CheckDriveFolder(std::string_view displayName);

// DriveFoldersFound: the test over the listed sub-folders, in order, stopping at the first that
// passes it.
bool DriveFoldersFound(const std::vector<std::string>& subfolderNames);

// The sub-folders of a folder as the file system lists them, for a caller without a namespace
// tree at hand. A folder that cannot be listed gives none.
std::vector<std::string> ListSubfolderNames(IFileSystem& fs, const std::string& folder);

// What an accepted orphan folder gives the wizard.
struct TOrphanedVolume {
  // Not in the volume list; BackupPath is the folder with a trailing backslash, the other
  // fields are left as they are. The window makes it CurrentVolume and keeps it for as long as
  // it is.
  TVolumeRec Volume;
  // The folder's VOLUME.TWV, read (a file that cannot be read holds no entries); null when the
  // folder has none. Handed to the restore, which frees it.
  std::unique_ptr<TProfileFile> PlaceholderIni;
  bool DriveFoldersFound = false;
};

// The checks of NextOrphanedRestoreClick. folder: the file-system path of the folder selected in
// the tree, or none (nothing selected, a virtual item). listSubfolders gives the display names of
// the folder's sub-folders as the tree lists them once expanded; it is called only after the
// placeholder question was passed; empty: the file system is listed. Nothing is returned when a
// message stopped the check (the page stays as it is); otherwise the window sets WizardMode 6,
// makes the volume CurrentVolume and shows the folder on the Volume Contents page.
std::optional<TOrphanedVolume> CheckOrphanedFolder(
    IFileSystem& fs, IOperationUI& ui, const std::optional<std::string>& folder,
    const std::function<std::vector<std::string>()>& listSubfolders = {});

}  // namespace tw
