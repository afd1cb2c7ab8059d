// Temporary stand-in so the volume manager links before the conflict dialog's branch lands;
// that branch brings the real implementation and this file goes.
#include "engine/fileconflict.h"

#include <string>

namespace tw {

void DeleteConflictingFile(IFileSystem& fs, const std::string& appDir,
                           const std::string& fileName) {
  fs.Remove(appDir + fileName);
}

void RenameConflictingFile(IFileSystem& fs, IPrompts& prompts, const std::string& appDir,
                           const std::string& fileName) {
  const std::string from = appDir + fileName;
  std::string suffix = ".BAK";
  for (int counter = 0; counter <= 15; ++counter) {
    if (fs.Move(from, from + suffix, false) == winerr::Success) {
      prompts.Message(from + " has been renamed to " + from + suffix, "Tidewell",
                      mb::Ok | mb::IconInformation);
      return;
    }
    suffix = std::to_string(counter) + ".BAK";
  }
  prompts.Message("Tidewell was not able to rename the file. This file would be deleted.",
                  "Tidewell", mb::Ok | mb::IconWarning);
  fs.Remove(from);
}

bool ClearSelectionFileName(IFileSystem& fs, IFileConflictPrompt& prompt, IPrompts& prompts,
                            const std::string& appDir, const std::string& fileName) {
  FindData info;
  if (fs.Stat(appDir + fileName, info) != winerr::Success) return true;
  if (!prompt.ResolveFileConflict(fileName)) return false;
  if (fs.Stat(appDir + fileName, info) != winerr::Success) return true;
  prompts.Message("Tidewell was not able to delete the file " + appDir + fileName + ".",
                  "Tidewell", mb::Ok | mb::IconWarning);
  return false;
}

}  // namespace tw
