// Saving a selection into a volume's selection file without losing what the file held.
#pragma once
#include <string>

#include "platform/FileSystem.h"
#include "platform/WinCodes.h"
#include "selection/selection.h"

namespace tw {

// Replaces the file atomically with the union of its entries and the selection's: adding
// files to an opened volume must not stop the refresh of what it backed up before. A file that
// cannot be read is not replaced (its error is returned), so nothing of it is lost.
[[nodiscard]] WinError SaveSelectionMerged(IFileSystem& fs, const TWLDesktopNode& selection,
                                           const std::string& file);

}  // namespace tw
