// An existing selection file in the program folder that a new volume needs: the user deletes
// it, renames it out of the way, or drops the new volume.
#pragma once
#include <string>

#include "platform/FileSystem.h"
#include "platform/Prompts.h"

namespace tw {

// The question (the file conflict dialog in the program, a script in tests). Delete and Rename
// are done before it returns.
class IFileConflictPrompt {
 public:
  virtual ~IFileConflictPrompt() = default;
  // fileName without folder ("Office.TWS"); true when the user chose Delete or Rename (OK),
  // false for Cancel and any other ending.
  virtual bool ResolveFileConflict(const std::string& fileName) = 0;
};

// The dialog's Delete: removes appDir + fileName; a failure is not reported here.
void DeleteConflictingFile(IFileSystem& fs, const std::string& appDir,
                           const std::string& fileName);

// The dialog's Rename: moves appDir + fileName to the first free name of fileName + ".BAK",
// fileName + "0.BAK" ... fileName + "14.BAK" (never over an existing file) and says so; when
// all sixteen are taken, says the file will be deleted and deletes it. Messages are captioned
// "Tidewell" and go through prompts.
void RenameConflictingFile(IFileSystem& fs, IPrompts& prompts, const std::string& appDir,
                           const std::string& fileName);

// The whole question for a new or renamed volume: asks when appDir + fileName exists. True when
// the way is clear (no file, or the file is gone after Delete or Rename). A Delete or Rename that
// left the file in place says "Tidewell was not able to delete the file %s." (full path) and
// counts as Cancel, so a new volume never inherits an old selection.
bool ClearSelectionFileName(IFileSystem& fs, IFileConflictPrompt& prompt, IPrompts& prompts,
                            const std::string& appDir, const std::string& fileName);

}  // namespace tw
