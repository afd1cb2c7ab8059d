// The Volume page's editing of a new volume, without the window: the input checks and what
// Apply stores. The window keeps only its controls and messages.
#pragma once
#include <string>
#include <string_view>

#include "engine/volumes.h"
#include "platform/FileSystem.h"
#include "platform/OperationUI.h"

namespace tw {

// The text with leading and trailing blanks and control characters removed.
std::string TrimBlanksAndControls(std::string_view text);

// Apply is offered once both fields hold text.
bool VolumeInputComplete(std::string_view name, std::string_view path);

// Why Apply refuses the input, empty when it is accepted. The name becomes a file name
// (AppDir + name + ".TWS"), the path the volume's folder, and both must fit the list file.
std::string CheckVolumeInput(std::string_view name, std::string_view path);

// Why an operation refuses a volume, empty when it may go on. The records of VOLUMES.TWB are
// used as they were read, so a damaged or hand-made one is checked where it is used: its name
// must be one CheckVolumeInput accepts (AppDir + name + ".TWS" must stay one file in the
// program folder, never "..\x" or a stream "a:b") and its backup path must be absolute. An
// empty name passes: the orphaned restore's record carries none, and nothing is built from it.
std::string CheckVolumeRecord(const TVolumeRec& volume);
// The check at the start of an operation: shows the reason (caption "Tidewell", error icon,
// owned by the main window) and returns true when the operation must not start.
bool RefuseUnusableVolume(IOperationUI& ui, const TVolumeRec& volume);

struct TApplyResult {
  TVolumeRec* Volume = nullptr;  // the record appended, null when refused
  std::string Message;           // why it was refused (shown captioned "Tidewell")
};

// Apply of a new volume: the record (default when it is the first), appended to the list, its
// empty selection file created and its backup folder with every missing parent (a folder that
// cannot be made is not reported: the wizard refuses the path later). path ends with a
// backslash. An existing selection file of that name is never emptied here: the input is
// refused, naming the file.
TApplyResult ApplyNewVolume(IFileSystem& fs, TVolumeList& volumes, const std::string& appDir,
                            const std::string& name, const std::string& path, bool separate);

}  // namespace tw
