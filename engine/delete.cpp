#include "engine/delete.h"

#include "engine/oplog.h"

namespace tw {
namespace {

std::string WithoutTrailingBackslash(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '\\' && !(p.size() == 3 && p[1] == ':')) p.pop_back();
  if (p.size() == 3 && p[1] == ':') p.pop_back();  // "D:\" is the root "D:"
  return p;
}

}  // namespace

bool SelectWholeVolume(TWLDesktopNode& contents, const TVolumeRec& volume) {
  TWLNode* node = contents.AddPath(WithoutTrailingBackslash(volume.BackupPath));
  if (!node) return false;
  if (!node->SelectAll()) return false;
  node->SetTreeState(2);
  return true;
}

void TDeleteOperation::Begin(const TVolumeRec& volume) {
  backupUpper_ = FoldSelectionName(volume.BackupPath);
  if (backupUpper_.empty() || backupUpper_.back() != '\\') backupUpper_ += '\\';
  CancelSeen = false;
  FilesDeleted = 0;
  FoldersRemoved = 0;
}

TDeleteResult TDeleteOperation::DeleteSelectionFromVolume(const TVolumeRec& volume,
                                                          TWLDesktopNode& contents,
                                                          int contentsFileCount,
                                                          bool deleteAll) {
  ui_.StopRefreshTimer();
  ui_.CreateProgress();
  ui_.UseDeleteAnimation();
  ui_.SetCaption(kDeleteCaption);
  ui_.SetVolumeText(volume.Name);
  ui_.SetPathText(volume.BackupPath);
  ui_.SetMainWindowEnabled(false);
  ui_.HideMainWindow();
  ui_.SetProgressRange(0, contentsFileCount);
  ui_.SetProgressPosition(0);
  ui_.ShowProgress();

  Begin(volume);
  // Children may go while the walk runs, so roots are taken by index from a fresh count.
  for (int r = 0; r < contents.RootCount(); ++r) DeleteFolderFromVolume(*contents.Root(r));

  ui_.SetMainWindowEnabled(true);
  TDeleteResult result;
  result.Cancelled = CancelSeen;
  // A cancelled "Delete all files" leaves copies behind: the volume stays in the list with them.
  result.RemoveVolumeFromList = deleteAll && !CancelSeen;
  ui_.RefreshContentsViews();
  ui_.HideProgress();
  if (!CancelSeen) {
    ui_.Message(kDeleteFinished, kAppTitle, mb::Ok | mb::IconInformation,
                MessageOwner::MainWindow);
  }
  ui_.FreeProgress();
  ui_.StartRefreshTimer();
  return result;
}

bool TDeleteOperation::IsBelowVolume(const std::string& folderPath) const {
  std::string d = FoldSelectionName(folderPath);
  d += '\\';
  return d.size() > backupUpper_.size() && d.compare(0, backupUpper_.size(), backupUpper_) == 0;
}

void TDeleteOperation::DeleteFolderFromVolume(TWLNode& node) {
  // Files lying directly in the volume folder (VOLUME.TWV among them) are never deleted, nor
  // anything outside the volume.
  if (node.FileCount() > 0 && IsBelowVolume(node.Path())) {
    const int start = node.FileCount();
    int i = 0;
    while (i < start && i < node.FileCount()) {
      if (ui_.Cancelled()) {
        CancelSeen = true;
        return;
      }
      const std::string name = node.FileName(i);
      const std::string path = node.Path() + "\\" + name;
      ui_.ShowFile(path);
      ui_.StepProgress();
      ui_.ProcessMessages();
      // Read-only, hidden and system copies go like any other.
      fs_.SetAttrs(path, fileattr::Normal);
      const WinError e = fs_.Remove(path);
      // A copy already gone is as good as deleted: its folder may still be cleared up.
      if (e == winerr::Success || e == winerr::FileNotFound) {
        if (e == winerr::Success) ++FilesDeleted;
        node.RemoveFile(name);
      } else {
        ++i;
      }
    }
  }

  const int start = node.ChildCount();
  int j = 0;
  while (j < start && j < node.ChildCount()) {
    TWLNode& child = *node.Child(j);
    const bool wasWhole = child.AllSelected();  // deleting its files clears the mark
    DeleteFolderFromVolume(child);
    if (!wasWhole && child.TreeState() != 2) {
      ++j;
      continue;
    }
    // The volume folder is never removed, nor any folder at or above it (a drive root least).
    if (!IsBelowVolume(child.Path())) {
      std::string d = FoldSelectionName(child.Path());
      d += '\\';
      if (d == backupUpper_) break;
      ++j;
      continue;
    }
    if (child.FileCount() > 0 || child.ChildCount() > 0) {
      ++j;
      continue;
    }
    // Fails while the folder holds anything not selected (a file added later): it stays.
    // Temporaries a killed run left there are no such thing.
    WinError removed = fs_.RemoveDir(child.Path());
    if (removed == winerr::DirNotEmpty) {
      fs_.SweepTemporaries(child.Path());
      removed = fs_.RemoveDir(child.Path());
    }
    if (removed == winerr::Success) {
      ++FoldersRemoved;
      const std::string name = child.Name();
      node.RemoveChild(name);
    } else {
      ++j;
    }
  }
}

}  // namespace tw
