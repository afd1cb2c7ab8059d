// Deleting copies from a volume: the checked files of the volume's contents, or all of them,
// and the folders that become empty. Originals are never touched; nothing is logged, and what
// cannot be deleted simply stays.
#pragma once
#include <memory>
#include <string>

#include "engine/volumes.h"
#include "platform/FileSystem.h"
#include "platform/OperationUI.h"
#include "platform/ProfileFile.h"
#include "selection/selection.h"

namespace tw {

inline constexpr char kDeleteCaption[] = "Deleting Files...";
inline constexpr char kDeleteInterrupted[] =
    "The volume's contents changed while Tidewell was deleting files, so it stopped. Some of "
    "the files may still be in the volume.";
inline constexpr char kDeleteUnreadable[] =
    "Tidewell could not read every folder of the volume, so some files may not have been "
    "deleted.";
// The end of a delete that left files it was asked to delete (in use, no access).
std::string DeleteIncompleteText(int filesLeft);

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
  int FilesLeft = 0;  // could not be deleted; they stay
  int FoldersUnread = 0;  // selected whole but could not be listed: their files stay
  int FoldersRemoved = 0;

 private:
  // Files are deleted only in folders below the volume folder; folders are removed only there.
  bool IsBelowVolume(const std::string& folderPath) const;
  bool IsVolumeFolder(const TWLNode& node) const;
  // "Delete all files" passes over a first-level folder the volume did not make.
  bool IsLeftAlone(const TWLNode& parent, const TWLNode& child) const;
  int CountFilesToDelete(const TWLDesktopNode& contents) const;
  // The node's files; false when the walk is not to enter its children (Cancel, or the tree
  // changed under it).
  bool DeleteFiles(TWLNode& node);
  // What follows the walk of child j of node: its folder removed when it was checked and is
  // empty now; j moves on unless the child went.
  void AfterChild(TWLNode* node, int& j, int start, bool wasWhole);

  IFileSystem& fs_;
  IOperationUI& ui_;
  std::string backupUpper_;  // BackupPath upper-cased, with its backslash
  std::unique_ptr<TProfileFile> placeholder_;
  bool deleteAll_ = false;
  TTreeGuard tree_;  // a window message freed nodes under the walk: it stopped
};

}  // namespace tw
