// The copying operations. Each is a class that owns the state of one run (its error flag and
// counters) and talks to the user only through IOperationUI.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "engine/changetest.h"
#include "engine/layout.h"
#include "engine/oplog.h"
#include "engine/volumes.h"
#include "platform/FileSystem.h"
#include "platform/NamedMutex.h"
#include "platform/OperationUI.h"
#include "selection/selection.h"

namespace tw {

inline constexpr char kAddCaption[] = "Refreshing volume ...";
inline constexpr char kNotAllowedToWrite[] = "You are not allowed to write ";
inline constexpr char kNoMoreConnections[] =
    "No more connections can be made to this remote computer at this time, because there are "
    "already as many connections as the computer can accept.";
inline constexpr char kDiskFullFixed[] = "Cannot copy any more files as this disk is full.";
inline constexpr char kDiskFullInsert[] =
    "Cannot copy any more files as this disk is full. Please insert another disk.";

// AppDir + Name + ".TWS": the selection of the volume's latest backup or refresh.
std::string VolumeSelectionFile(std::string_view appDir, const TVolumeRec& volume);

// "It seems that the backup path " + folder + " is not valid."
std::string PathNotValidText(std::string_view folder);
// "You are not allowed to write " + file
std::string NotAllowedToWriteText(std::string_view file);

// Refresh mode: the wizard's refresh (WizardMode 4) or an automatic refresh.
inline bool IsRefreshMode(int wizardMode, bool autoRefreshing) {
  return wizardMode == 4 || autoRefreshing;
}

class TVolumeIdStore;

// How an add operation ended.
enum class TAddResult {
  Finished,   // walked to the end (errors may have been recorded: see AddErrors)
  Cancelled,  // the user pressed Cancel or refused to insert another disk
  Stopped,    // could not start or go on: the volume was refused (CheckVolumeRecord), or the
              // log or the placeholder could not be written
};

// The add operation: copies every file of a selection into a volume, below the folder that
// MapToVolume gives for its original folder.
class TAddOperation {
 public:
  TAddOperation(IFileSystem& fs, IOperationUI& ui) : fs_(fs), ui_(ui), log_(fs) {}
  virtual ~TAddOperation() = default;

  // The whole operation for a volume and a selection; addFileCount is the progress maximum.
  // Switches the refresh timer, the progress dialog and the main window itself; afterwards the
  // main window is enabled (and shown again after a Stopped run; otherwise the caller shows it
  // once it has saved the selection).
  TAddResult AddSelectionToVolume(const TVolumeRec& volume, const TWLDesktopNode& selection,
                                  int addFileCount);

  // For a caller that prepares the progress dialog, the log and the window itself (the
  // scheduler): sets the volume and the log (may be null: no lines) and resets flags and
  // counters. Then call AddFolderToVolume for each root.
  void BeginWalk(const TVolumeRec& volume, TOperationLog* log);
  // Copies the files of the folder and of every folder below it; returns at once once
  // AddAborted is set. The volume folders the selection's environment excludes, and the
  // volume's own, are passed over.
  void AddFolderToVolume(const TWLNode& root);

  // Creates the folder with every missing parent (on a newly inserted disk, for example);
  // true when it exists afterwards.
  bool PrepareFolder(const std::string& folder);
  // Clears the read-only bit when set; true when there was nothing to do or it was cleared.
  bool ClearReadOnly(const std::string& file);
  // Waits until the copies made so far are on the disk; one that could not get there is an
  // error of this run. A caller that runs the walk itself calls it before its report.
  void SettleCopies();

  // Copy only files that fail the change test (counting FilesChecked and FilesChanged), warn
  // about missing originals. Set it from IsRefreshMode before the run; a run leaves it alone.
  bool RefreshMode = false;
  // Refresh mode: files that the selection's own scan found after this mark (the selection's
  // TWLEnvironment::listings before the scan) are compared as found then, so their folder is
  // not listed a second time. Empty: every folder of originals is listed by the walk.
  std::optional<uint64_t> FreshListingsAfter;

  // A dry run of the refresh: each file the change test would copy is logged (WouldCopy) and
  // counted in FilesChanged; no folder, copy or sweep touches the volume.
  bool ListOnly = false;

  // Where the volume's identity is remembered. Set: a folder that carries another volume's
  // identity is refused before anything is written, and one without gets the volume's. Null:
  // identities are neither checked nor written.
  TVolumeIdStore* VolumeIds = nullptr;

  // An error known before the walk (the selection could not be read whole): the run logs it
  // first and counts it, so it cannot end with the completion message.
  std::string StartError;

  // State of the run; reset when a run begins.
  bool AddErrors = false;   // once set during a run it stays set
  bool AddAborted = false;  // the user refused another disk: every further folder is skipped
  int FilesChecked = 0;     // refresh mode: files found at their original place
  int FilesChanged = 0;     // refresh mode: files copied because they differed
  bool CancelSeen = false;  // the walk stopped at the progress dialog's Cancel

  TOperationLog& Log() { return log_; }

 private:
  // Refresh mode's decision for one file, from the listings of its two folders.
  bool ShouldRefresh(const FindData* original, const TFolderIndex& copies,
                     const std::string& fileName, const std::string& folder);
  enum class Next { File, LeaveFolder };
  // One folder of the walk: its files, and whether its children follow.
  TVisit AddFolderFiles(const TWLNode& node);
  bool IsSkippedFolder(const std::string& folder) const;
  // A window message freed nodes of the selection under the walk: it stops, as an error.
  void SelectionChangedDuringWalk();
  // sourceFromScan: the source was found by the selection's scan, not by this walk.
  Next CopyOne(const std::string& folderInVolume, const std::string& source,
               const std::string& target, bool sourceFromScan = false);
  Next DiskFull(const std::string& folderInVolume, const std::string& source,
                const std::string& target);
  void Line(const std::string& text);
  int Show(const std::string& text, uint32_t flags);
  // Unwinds an operation that cannot go on: progress freed, window back, timer on.
  void StopRun(const std::string& message);

  IFileSystem& fs_;
  IOperationUI& ui_;
  TOperationLog log_;
  TOperationLog* walkLog_ = nullptr;
  TVolumeRec volume_;
  bool diskChanged_ = false;  // a new disk went in since the folder's copies were listed
  TTreeGuard tree_;  // the selection being walked
  std::string ownFolder_;  // the volume folder, folded, with a trailing backslash
};

// What the wizard's Refresh runs without further choices: the volume's saved selection is
// loaded into `selection` (whole folders scanned anew), walked in refresh mode and written back
// with every entry the extension added meanwhile (read and replaced under `lock`).
struct TSelectionRefresh {
  TAddResult Result = TAddResult::Finished;
  WinError LoadError = 0;  // the selection file could not be read whole: the walk covered what
                           // was read, and the file was not replaced, so nothing of it is lost
  WinError SaveError = 0;  // writing it back failed; the old file stays
  bool Unlocked = false;   // read or replaced without the lock (TSelectionFiles::Unlocked)
};
TSelectionRefresh RefreshFromSelectionFile(IFileSystem& fs, IOperationUI& ui, INamedMutex& lock,
                                           const TVolumeRec& volume, TWLDesktopNode& selection,
                                           const std::string& selectionFile);

// Makes scans and walks of an add selection pass over the folders of every listed volume, so
// that none is copied into itself or into another volume.
void ExcludeVolumeFolders(TWLEnvironment& env, const TVolumeList& volumes);

// Number of files in a selection: the progress maximum of a walk over it.
int CountSelectedFiles(const TWLDesktopNode& selection);

}  // namespace tw

// The other operations on a volume's contents.
#include "engine/delete.h"
#include "engine/orphan.h"
#include "engine/refresh.h"
#include "engine/restore.h"
