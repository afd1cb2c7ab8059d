#include "engine/fileconflict.h"

#include "platform/OperationUI.h"
#include "platform/WinCodes.h"

namespace tw {

namespace {
// A file that cannot even be looked at counts as there: it is never written over unasked.
bool Exists(IFileSystem& fs, const std::string& path) {
  FindData info;
  WinError error = fs.Stat(path, info);
  return error != winerr::FileNotFound && error != winerr::PathNotFound;
}
}  // namespace

void DeleteConflictingFile(IFileSystem& fs, const std::string& appDir,
                           const std::string& fileName) {
  fs.Remove(appDir + fileName);
}

void RenameConflictingFile(IFileSystem& fs, IPrompts& prompts, const std::string& appDir,
                           const std::string& fileName) {
  const std::string from = appDir + fileName;
  std::string suffix = ".BAK";
  for (int counter = 0; counter <= 15; ++counter) {
    const std::string to = from + suffix;
    // Never over an existing file: a taken name is a failure and the next one is tried.
    if (fs.Move(from, to, /*replace=*/false) == winerr::Success) {
      prompts.Message(from + " has been renamed to " + to, kAppTitle,
                      mb::Ok | mb::IconInformation);
      return;
    }
    suffix = std::to_string(counter) + ".BAK";
  }
  prompts.Message("Tidewell was not able to rename the file. This file would be deleted.",
                  kAppTitle, mb::Ok | mb::IconWarning);
  fs.Remove(from);
}

bool ClearSelectionFileName(IFileSystem& fs, IFileConflictPrompt& prompt, IPrompts& prompts,
                            const std::string& appDir, const std::string& fileName) {
  const std::string path = appDir + fileName;
  if (!Exists(fs, path)) return true;
  if (!prompt.ResolveFileConflict(fileName)) return false;
  // A locked or read-only file survives Delete and Rename; the new volume must not take it on.
  if (!Exists(fs, path)) return true;
  prompts.Message("Tidewell was not able to delete the file " + path + ".", kAppTitle,
                  mb::Ok | mb::IconWarning);
  return false;
}

}  // namespace tw
