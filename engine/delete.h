// Deleting copies from a volume: the checked files of the volume's contents, or all of them,
// and the folders that become empty. Originals are never touched; nothing is logged, and what
// cannot be deleted simply stays.
#pragma once
#include <string>

#include "engine/volumes.h"
#include "platform/FileSystem.h"
#include "platform/OperationUI.h"
#include "selection/selection.h"

namespace tw {

inline constexpr char kDeleteCaption[] = "Deleting Files...";

// How a delete ended, and what the window does about it.
// A volume that CheckVolumeRecord refuses gives the default result: nothing was done.
struct TDeleteResult {
  bool Cancelled = false;
  // "Delete all files" went through: the window deletes the volume's entry from VolumeList and
  // its row from the list view. The volume folder, VOLUME.TWV and the selection file stay.
  bool RemoveVolumeFromList = false;
};

// Puts the whole volume folder into a contents selection, as checking the first node of the
// volume contents tree does ("Delete all files", "Refresh entire volume"). False when the
// backup path is no usable path or the scan was interrupted.
bool SelectWholeVolume(TWLDesktopNode& contents, const TVolumeRec& volume);

class TDeleteOperation {
 public:
  TDeleteOperation(IFileSystem& fs, IOperationUI& ui) : fs_(fs), ui_(ui) {}

  // The whole operation. For "Delete all files" (deleteAll) the caller has put the whole volume
  // into `contents` first (SelectWholeVolume). contents shrinks to what is left on disk.
  // contentsFileCount is the progress maximum.
  TDeleteResult DeleteSelectionFromVolume(const TVolumeRec& volume, TWLDesktopNode& contents,
                                          int contentsFileCount, bool deleteAll);

  // Deletes the node's files, then handles its children; removes emptied folders that were
  // checked. Needs a run's volume: call through DeleteSelectionFromVolume, or Begin first.
  void Begin(const TVolumeRec& volume);
  void DeleteFolderFromVolume(TWLNode& node);

  bool CancelSeen = false;
  int FilesDeleted = 0;
  int FoldersRemoved = 0;

 private:
  // Files are deleted only in folders below the volume folder; folders are removed only there.
  bool IsBelowVolume(const std::string& folderPath) const;

  IFileSystem& fs_;
  IOperationUI& ui_;
  std::string backupUpper_;  // BackupPath upper-cased, with its backslash
};

}  // namespace tw
