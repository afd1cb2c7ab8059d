// The restore operation: copies files of a volume back to where they came from, or into a folder
// the user names, and the input checks the Restore page makes before it starts one.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/layout.h"
#include "engine/oplog.h"
#include "engine/volumes.h"
#include "platform/FileSystem.h"
#include "platform/OperationUI.h"
#include "platform/ProfileFile.h"
#include "selection/selection.h"

namespace tw {

inline constexpr char kRestoreCaption[] = "Restoring Files...";
inline constexpr char kErrorCaption[] = "Error";
inline constexpr char kMultipleSourcesText[] =
    "Tidewell cannot restore files from multiple sources to an alternate location.";
inline constexpr char kSpecifyLocationText[] =
    "Please specify the location you want to restore the files to.";
// The second part of a log line for a file whose original folder could not be determined.
inline constexpr char kUnknownLocation[] = "an unknown location";

// "Restore to" would put files below whatever the current folder happens to be when the location
// is relative; such a location is refused.
std::string LocationNotAbsoluteText(std::string_view location);
// The same for an answer of the root path prompt.
std::string RootNotAbsoluteText(std::string_view root);

// ---- Input checks of the Restore page (NextRestoreBTNClick), for "Restore to" ----

enum class TRestoreInput {
  Ok,
  MultipleSources,  // message shown; the window shows the Volume Contents page
  NoLocation,       // message shown (caption "Error"); the window focuses the edit
  BadLocation,      // message shown (caption "Error"); the window focuses the edit
};

struct TRestoreLocationCheck {
  TRestoreInput Result = TRestoreInput::Ok;
  // With Ok: the edit's text with a trailing backslash; the window puts it back into the edit
  // and hands it to RestoreSelection.
  std::string Location;
};

// selection: the Volume Contents selection as it is when Next is pressed. Messages are owned by
// the main window. wholeVolume: "Restore all files" is chosen, so the sources are the volume
// folder's first-level folders on disk (the selection is filled only once the restore runs).
TRestoreLocationCheck CheckRestoreLocation(IOperationUI& ui, const TWLDesktopNode& selection,
                                           std::string_view backupPath,
                                           std::string_view locationText,
                                           IFileSystem* wholeVolume = nullptr);

// True when the selection holds files below more than one first-level folder of the volume
// (the volume folder's node has more than one child).
bool HasMultipleSources(const TWLDesktopNode& selection, std::string_view backupPath);

// ---- The operation ----

enum class TRestoreResult {
  Finished,   // walked to the end (errors may have been recorded: see RestoreErrors)
  Cancelled,  // the user pressed Cancel
  Stopped,    // the volume was refused or the log could not be created; nothing was restored
};

struct TRestoreOptions {
  // "Restore to": the checked location (ends with a backslash); none: the original location.
  std::optional<std::string> ChosenLocation;
  // "Restore all files": run once the refresh timer is off; checks the volume folder in the
  // contents tree so that the selection holds the whole volume.
  std::function<void()> SelectWholeVolume;
  // The orphaned restore's placeholder; the restore frees it when it ends.
  std::unique_ptr<TProfileFile> PlaceholderIni;
};

class TRestoreOperation {
 public:
  TRestoreOperation(IFileSystem& fs, IOperationUI& ui) : fs_(fs), ui_(ui), log_(fs) {}

  // The whole restore from the volume of the files in selection. Switches the refresh timer,
  // the progress dialog and the main window itself; afterwards the main window is enabled but
  // still hidden: the caller shows its page and the window, and refreshes the Add page's views
  // so that restored files appear there.
  TRestoreResult RestoreSelection(const TVolumeRec& volume, const TWLDesktopNode& selection,
                                  TRestoreOptions options);

  // Restores the files of the folder and of every folder below it. Used by RestoreSelection
  // for each root.
  void RestoreFolder(const TWLNode& root);

  bool RestoreErrors = false;  // an error line was written; once set it stays set
  bool CancelSeen = false;     // the walk stopped at the progress dialog's Cancel
  int FilesRestored = 0;
  // The root in force for the first-level folder being walked (see MapToOriginal).
  const std::string& RootMapping() const { return mapping_.RootMapping; }

 private:
  // Asks the window's root path prompt until it gets an absolute root (or no answer at all),
  // with the dialog's animation paused meanwhile.
  class TCheckedRootPrompt : public IRootPathPrompt {
   public:
    explicit TCheckedRootPrompt(IOperationUI& ui) : ui_(ui) {}
    std::optional<std::string> AskRootPath(const std::string& folderName) override;

   private:
    IOperationUI& ui_;
  };

  void Error(const std::string& line);
  bool IsBelowVolumeFolder(const TWLNode& node) const;
  // One folder of the walk: its files, and whether its children follow.
  TVisit RestoreFolderFiles(const TWLNode& node);

  IFileSystem& fs_;
  IOperationUI& ui_;
  TOperationLog log_;
  TVolumeRec volume_;
  std::optional<std::string> chosen_;
  TRestoreMapping mapping_;
  TCheckedRootPrompt rootPrompt_{ui_};
  TTreeGuard tree_;  // the selection being walked
};

}  // namespace tw
