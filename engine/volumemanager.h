// The Volume page's changes to the volume list, without the window: Apply of a new or changed
// volume, Delete with its clear-up, and Remove From List. Each change reaches VOLUMES.TWB and
// the registry's DefaultVolume at once, so a crash never leaves selection files and marks for
// volumes the list lost.
#pragma once
#include <string>

#include "engine/fileconflict.h"
#include "engine/settings.h"
#include "engine/volumeedit.h"
#include "engine/volumes.h"
#include "platform/FileSystem.h"
#include "platform/Prompts.h"

namespace tw {

// Deletes a folder with everything in it (the shell's file operation in the program); its
// result is not checked.
class IFolderClearUp {
 public:
  virtual ~IFolderClearUp() = default;
  virtual void ClearUpFolder(const std::string& folder) = 0;
};

inline constexpr char kPathClashText[] =
    "There could be a clash between the paths of this new Volume and Volume named %s. Do you "
    "want to use this path ?";
inline constexpr char kDeleteVolumeCaption[] = "Delete Volume";
inline constexpr char kDeleteVolumeText[] =
    "You are about to delete volume named as %s. Are you sure you want to continue ?";
inline constexpr char kClearUpCaption[] = "Confirmation";
inline constexpr char kClearUpText[] =
    "Backup Path is %s. Would you like Tidewell to clear up the Backup path ?";
inline constexpr char kBackupPathKeptText[] =
    "The backup path %s was kept because other data depends on it.";
inline constexpr char kRemoveVolumeText[] =
    "Are you sure that you want to remove the backup volume %s from this list";
inline constexpr char kRenameSelectionFailedText[] =
    "Tidewell was not able to rename the file %s to %s.";

// True when the new path is not to be used: a volume without separate folders whose path holds
// or lies in it (plain upper-case substring tests) was named in an OK/Cancel question and the
// user chose Cancel. Only the first such volume is asked about; a removable drive is not checked.
bool PathClashes(IFileSystem& fs, IPrompts& prompts, const TVolumeList& volumes,
                 const std::string& path);

struct TDeleteVolumeResult {
  bool Deleted = false;
  bool WasCurrent = false;     // the current volume was deleted and is now none
  std::string BackupFolder;    // its backup path without the trailing backslash
};

class TVolumeManager {
 public:
  // appDir ends with a backslash.
  TVolumeManager(IFileSystem& fs, TVolumeStore& store, TSettingsStore& settings,
                 IPrompts& prompts, std::string appDir);

  // Apply of a new volume: the input check, the clash check, the question about an existing
  // selection file of its name; then the record (default when it is the first), its empty
  // selection file and its backup folder (a folder that cannot be made is not reported). The
  // index of the appended volume, or -1 when the panel stays in editing.
  int ApplyNew(IFileConflictPrompt& conflict, const std::string& name, const std::string& path,
               bool separateFolders);
  // Apply of a changed volume at index. A new name carries the selection file and the context
  // menu mark along (after the conflict question when a file of the new name exists; a change
  // of case only asks nothing). index, or -1 when the panel stays in editing.
  int ApplyChanged(IFileConflictPrompt& conflict, size_t index, const std::string& name,
                   const std::string& path, bool separateFolders);

  // Delete after its question: the mark, the selection file (kept while another volume's name
  // uses it), the record. The caller updates its views, then calls OfferClearUp.
  TDeleteVolumeResult Delete(size_t index, TVolumeRec*& currentVolume);
  // Asks whether to clear up the deleted volume's folder, or says why it is kept: a drive or
  // share root, a folder holding the program, or one equal to, inside or holding another
  // volume's path.
  void OfferClearUp(const std::string& folder, IFolderClearUp& clearUp);
  // The volume's folder was found on another drive and the user took it: the new backup path
  // is saved at once (the volume keeps its identity).
  void UseMovedPath(size_t index, const std::string& path);
  // Forgets a volume after the question; its files, folder and mark stay. True when removed.
  bool RemoveFromList(size_t index, TVolumeRec*& currentVolume);

  // The clear-up question is not offered for this backup path (see OfferClearUp).
  bool MustKeepFolder(const std::string& backupPath) const;

 private:
  bool Refuse(const std::string& text);
  void Saved();

  IFileSystem& fs_;
  TVolumeStore& store_;
  TSettingsStore& settings_;
  IPrompts& prompts_;
  std::string appDir_;
};

}  // namespace tw
