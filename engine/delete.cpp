#include "engine/delete.h"

#include "engine/layout.h"
#include "engine/oplog.h"
#include "engine/volumeedit.h"

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
  // The volume's own files (its placeholder) are not part of what it holds for the user.
  node->ClearFiles();
  node->SetAllSelected(true);
  node->SetTreeState(2);
  return true;
}

std::string DeleteIncompleteText(int filesLeft) {
  return "Tidewell could not delete " + std::to_string(filesLeft) +
         (filesLeft == 1 ? " file. It stays" : " files. They stay") + " in the volume.";
}

void TDeleteOperation::Begin(const TVolumeRec& volume) {
  backupUpper_ = FoldSelectionName(volume.BackupPath);
  if (backupUpper_.empty() || backupUpper_.back() != '\\') backupUpper_ += '\\';
  placeholder_ = std::make_unique<TProfileFile>(fs_, PlaceholderPath(AddBackslash(volume.BackupPath)));
  // Unreadable: only drive and network folders count as the volume's own.
  placeholder_->Load();
  CancelSeen = false;
  tree_.Reset();
  deleteAll_ = false;
  FilesDeleted = 0;
  FilesLeft = 0;
  FoldersUnread = 0;
  FoldersRemoved = 0;
}

TDeleteResult TDeleteOperation::DeleteSelectionFromVolume(const TVolumeRec& volume,
                                                          TWLDesktopNode& contents,
                                                          int contentsFileCount,
                                                          bool deleteAll) {
  if (RefuseUnusableVolume(ui_, volume)) return {};
  ui_.StopRefreshTimer();
  Begin(volume);
  deleteAll_ = deleteAll;
  // All files: the bar counts what will really be deleted, not the placeholder or folders the
  // volume does not hold.
  if (deleteAll) contentsFileCount = CountFilesToDelete(contents);

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

  // Children may go while the walk runs, so roots are taken by index from a fresh count.
  for (int r = 0; r < contents.RootCount() && !tree_.Changed(); ++r)
    DeleteFolderFromVolume(*contents.Root(r));
  // A Cancel pressed during the last file is seen by no further file; it still counts.
  if (ui_.Cancelled()) CancelSeen = true;

  ui_.SetMainWindowEnabled(true);
  TDeleteResult result;
  result.Cancelled = CancelSeen;
  // Copies left behind (cancelled, in use, no access) keep the volume in the list with them.
  const bool incomplete = CancelSeen || tree_.Changed() || FilesLeft > 0 || FoldersUnread > 0;
  result.RemoveVolumeFromList = deleteAll && !incomplete;
  ui_.RefreshContentsViews();
  ui_.HideProgress();
  if (tree_.Changed()) {
    ui_.Message(kDeleteInterrupted, kAppTitle, mb::Ok | mb::IconWarning, MessageOwner::MainWindow);
  } else if (FoldersUnread > 0) {
    ui_.Message(kDeleteUnreadable, kAppTitle, mb::Ok | mb::IconWarning, MessageOwner::MainWindow);
  } else if (FilesLeft > 0) {
    ui_.Message(DeleteIncompleteText(FilesLeft), kAppTitle, mb::Ok | mb::IconWarning,
                MessageOwner::MainWindow);
  } else if (!CancelSeen) {
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

bool TDeleteOperation::IsVolumeFolder(const TWLNode& node) const {
  std::string d = FoldSelectionName(node.Path());
  d += '\\';
  return d == backupUpper_;
}

bool TDeleteOperation::IsLeftAlone(const TWLNode& parent, const TWLNode& child) const {
  // "Delete all files" takes what the volume put there: its drive and network folders and the
  // first-level folders its placeholder records, never whatever else shares the folder (for a
  // volume at a drive root, the rest of the disk).
  if (!deleteAll_ || !IsVolumeFolder(parent)) return false;
  if (IsDriveFolderName(child.Name())) return false;
  return !PlaceholderRoot(*placeholder_, child.Name());
}

int TDeleteOperation::CountFilesToDelete(const TWLDesktopNode& contents) const {
  int count = 0;
  for (int r = 0; r < contents.RootCount(); ++r) {
    WalkFolders(*contents.Root(r), [&](const TWLNode& node) {
      if (node.Parent() && IsLeftAlone(*node.Parent(), node)) return TVisit::SkipChildren;
      if (IsBelowVolume(node.Path())) count += node.FileCount();
      return TVisit::Children;
    });
  }
  return count;
}

bool TDeleteOperation::DeleteFiles(TWLNode& node) {
  // Selected whole but not readable when scanned: whatever it holds is still there.
  if (node.AllSelected() && node.ListError() != winerr::Success) ++FoldersUnread;
  // Files lying directly in the volume folder (VOLUME.TWV among them) are never deleted, nor
  // anything outside the volume.
  if (node.FileCount() == 0 || !IsBelowVolume(node.Path())) return true;
  const int start = node.FileCount();
  int i = 0;
  while (i < start && i < node.FileCount()) {
    if (ui_.Cancelled()) {
      CancelSeen = true;
      return false;
    }
    const std::string name = node.FileName(i);
    const std::string path = node.Path() + "\\" + name;
    ui_.ShowFile(path);
    ui_.StepProgress();
    ui_.ProcessMessages();
    if (tree_.Moved()) {
      tree_.MarkChanged();
      return false;
    }
    // Read-only, hidden and system copies go like any other.
    fs_.SetAttrs(path, fileattr::Normal);
    const WinError e = fs_.Remove(path);
    // A copy already gone is as good as deleted: its folder may still be cleared up.
    if (e == winerr::Success || e == winerr::FileNotFound) {
      if (e == winerr::Success) ++FilesDeleted;
      node.RemoveFile(name);
    } else {
      ++FilesLeft;
      ++i;
    }
  }
  return true;
}

void TDeleteOperation::DeleteFolderFromVolume(TWLNode& top) {
  // Depth first without recursion, so a tree of any depth is deleted. Each frame is a folder
  // whose children are being handled; a child's folder is removed once its own walk is done.
  struct Frame {
    TWLNode* node;
    int j;
    int start;
    bool childWasWhole;  // deleting its files clears the mark
    bool childDone;
  };
  tree_.Enter(top);
  TWalking walking(top.Environment());
  std::vector<Frame> stack;
  if (!DeleteFiles(top) || tree_.Changed()) return;
  stack.push_back({&top, 0, top.ChildCount(), false, false});
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.childDone) {
      f.childDone = false;
      if (tree_.Changed()) return;
      AfterChild(f.node, f.j, f.start, f.childWasWhole);
      continue;
    }
    if (f.j >= f.start || f.j >= f.node->ChildCount()) {
      stack.pop_back();
      if (!stack.empty()) stack.back().childDone = true;
      continue;
    }
    TWLNode& child = *f.node->Child(f.j);
    if (IsLeftAlone(*f.node, child)) {
      ++f.j;
      continue;
    }
    f.childWasWhole = child.AllSelected();
    const bool enter = DeleteFiles(child);
    if (tree_.Changed()) return;
    if (enter) {
      stack.push_back({&child, 0, child.ChildCount(), false, false});
    } else {
      f.childDone = true;  // cancelled in its files: its folders are left, its own step runs
    }
  }
}

void TDeleteOperation::AfterChild(TWLNode* node, int& j, int start, bool wasWhole) {
  TWLNode& child = *node->Child(j);
  if (!wasWhole && child.TreeState() != 2) {
    ++j;
    return;
  }
  // The volume folder is never removed, nor any folder at or above it (a drive root least).
  if (!IsBelowVolume(child.Path())) {
    if (IsVolumeFolder(child)) j = start;
    else ++j;
    return;
  }
  if (child.FileCount() > 0 || child.ChildCount() > 0) {
    ++j;
    return;
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
    node->RemoveChild(name);
    tree_.Rebase();  // our own doing
  } else {
    ++j;
  }
}

}  // namespace tw
