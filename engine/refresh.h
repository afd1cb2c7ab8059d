// The refresh of a volume's contents: starting from copies checked in the volume, each copy
// is mapped back to its original (per-drive layout) and replaced when the original differs.
// (The refresh of a volume's saved selection is the add walk in refresh mode: operations.h.)
#pragma once
#include <string>

#include "engine/changetest.h"
#include "engine/oplog.h"
#include "engine/volumes.h"
#include "platform/FileSystem.h"
#include "platform/OperationUI.h"
#include "selection/selection.h"

namespace tw {

inline constexpr char kContentsRefreshCaption[] = "Refreshing volume...";

enum class TRefreshResult {
  Finished,   // walked to the end (see RefreshErrors)
  Cancelled,  // Cancel was pressed before a changed file
  Stopped,    // the volume was refused or the log could not be created: nothing was done
};

class TContentsRefreshOperation {
 public:
  TContentsRefreshOperation(IFileSystem& fs, IOperationUI& ui) : fs_(fs), ui_(ui), log_(fs) {}

  // The whole operation. For "Refresh entire volume" the caller has put the whole volume into
  // `contents` first (SelectWholeVolume). contentsFileCount is the progress maximum. Afterwards
  // the window unchecks the contents tree's first node and shows itself again.
  TRefreshResult RefreshVolumeContents(const TVolumeRec& volume, const TWLDesktopNode& contents,
                                       int contentsFileCount);

  // For a caller that runs the walk itself: sets the volume and the log (null: no lines) and
  // resets flags and counters. Then RefreshFolderFromOriginals for each root.
  void BeginWalk(const TVolumeRec& volume, TOperationLog* log);
  // The files of the folder and of every folder below it.
  void RefreshFolderFromOriginals(const TWLNode& root);

  bool RefreshErrors = false;  // once set during a run it stays set
  int FilesChecked = 0;        // files found at their original place
  int FilesChanged = 0;        // of those, files that differed and were copied (or tried)
  bool CancelSeen = false;

 private:
  void Line(const std::string& text);
  // One folder of the walk: its files, and whether its children follow.
  TVisit RefreshFolderFiles(const TWLNode& node);

  IFileSystem& fs_;
  IOperationUI& ui_;
  TOperationLog log_;
  TOperationLog* walkLog_ = nullptr;
  TVolumeRec volume_;
  TTreeGuard tree_;  // the selection being walked
};

}  // namespace tw
