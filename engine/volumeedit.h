// The Volume page's input, without the window: trimming, the checks of a name and a backup path,
// and the check of a stored record before an operation uses it. The changes to the list are in
// engine/volumemanager.
#pragma once
#include <string>
#include <initializer_list>
#include <string_view>

#include "engine/volumes.h"
#include "platform/FileSystem.h"
#include "platform/OperationUI.h"

namespace tw {

// The text with leading and trailing blanks and control characters removed.
std::string TrimBlanksAndControls(std::string_view text);

// Apply is offered once both fields hold text.
bool VolumeInputComplete(std::string_view name, std::string_view path);

// text with its "%s" markers filled in order.
std::string FormatText(std::string_view text, std::initializer_list<std::string_view> args);

// The refusals of the Volume page's input, each shown alone captioned "Tidewell" with the
// warning icon. kVolumeExistsText takes the other volume's name.
inline constexpr char kVolumeNameText[] =
    "Please enter a volume name that can be used as a file name.";
inline constexpr char kVolumeExistsText[] = "A volume named %s already exists.";
inline constexpr char kVolumePathText[] =
    "Please enter the full path of a folder, such as D:\\Backup or \\\\server\\share\\Backup.";
inline constexpr char kVolumePathPartText[] =
    "Please enter a path whose folder names do not end with a dot or a blank and are not device "
    "names such as CON.";
inline constexpr char kVolumeTooLongText[] =
    "The name or the path of this volume is too long to be stored. Please use a name and a path "
    "of at most 255 characters.";

// Why Apply refuses the input (trimmed, path with its trailing backslash), empty when it is
// accepted. The name becomes a file name (AppDir + name + ".TWS") and must differ, case
// ignored, from every volume's name but self's (the volume being changed, null for a new one):
// two volumes would share one selection file. The path becomes the volume's folder, and both
// must fit the list file.
std::string CheckVolumeInput(std::string_view name, std::string_view path,
                             const TVolumeList& volumes, const TVolumeRec* self = nullptr);

// A name Windows keeps for a device ("CON", "lpt1.x", "Nul "): its file would be the device.
bool IsReservedDeviceName(std::string_view name);
// AppDir + name + ".TWS" is one file in the program folder.
bool IsUsableVolumeName(std::string_view name);
// "X:\..." or "\\server\share\...", no bad characters, no "." or ".." component.
bool IsUsableBackupPath(std::string_view path);
// No folder name below the drive or share ends with a dot or a blank or is a device name:
// Windows drops or refuses those when a name is typed, so a folder made with such a name (the
// long-path form keeps it) could not be opened or deleted in Explorer.
bool HasPlainFolderNames(std::string_view path);

// Why an operation refuses a volume, empty when it may go on. The records of VOLUMES.TWB are
// used as they were read, so a damaged or hand-made one is checked where it is used: its name
// must be one CheckVolumeInput accepts (AppDir + name + ".TWS" must stay one file in the
// program folder, never "..\x" or a stream "a:b") and its backup path must be absolute. An
// empty name passes: the orphaned restore's record carries none, and nothing is built from it.
std::string CheckVolumeRecord(const TVolumeRec& volume);
// The check at the start of an operation: shows the reason (caption "Tidewell", error icon,
// owned by the main window) and returns true when the operation must not start.
bool RefuseUnusableVolume(IOperationUI& ui, const TVolumeRec& volume);

}  // namespace tw
