// The Volume page's editing of a new volume, without the window: the input checks and what
// Apply stores. The window keeps only its controls and messages.
#pragma once
#include <string>
#include <string_view>

#include "engine/volumes.h"
#include "platform/FileSystem.h"

namespace tw {

// The text with leading and trailing blanks and control characters removed.
std::string TrimBlanksAndControls(std::string_view text);

// Apply is offered once both fields hold text.
bool VolumeInputComplete(std::string_view name, std::string_view path);

// Why Apply refuses the input, empty when it is accepted. The name becomes a file name
// (AppDir + name + ".TWS"), the path the volume's folder, and both must fit the list file.
std::string CheckVolumeInput(std::string_view name, std::string_view path);

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
