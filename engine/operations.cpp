#include "engine/operations.h"

#include "engine/selectionmerge.h"
#include "engine/volumeedit.h"
#include "engine/volumeidentity.h"

namespace tw {

std::string VolumeSelectionFile(std::string_view appDir, const TVolumeRec& volume) {
  return std::string(appDir) + volume.Name + ".TWS";
}

void ExcludeVolumeFolders(TWLEnvironment& env, const TVolumeList& volumes) {
  std::vector<std::string> folders;
  for (const auto& v : volumes) {
    if (v && !v->BackupPath.empty()) folders.push_back(v->BackupPath);
  }
  env.ExcludeFolders(folders);
}

int CountSelectedFiles(const TWLDesktopNode& selection) {
  int count = 0;
  WalkSelection(selection, [&](const TWLNode& node) {
    count += node.FileCount();
    return true;
  }, nullptr);
  return count;
}

TSelectionRefresh RefreshFromSelectionFile(IFileSystem& fs, IOperationUI& ui, INamedMutex& lock,
                                           const TVolumeRec& volume, TWLDesktopNode& selection,
                                           const std::string& selectionFile) {
  if (RefuseUnusableVolume(ui, volume)) return {TAddResult::Stopped};
  TSelectionRefresh out;
  TSelectionFiles files(fs, lock);
  TSelectionSeen seen;
  const uint64_t beforeScan = selection.Environment().listings;
  out.LoadError = files.Load(selection, selectionFile, &seen);
  TAddOperation op(fs, ui);
  op.RefreshMode = true;
  op.FreshListingsAfter = beforeScan;
  // What could not be read was not refreshed: the run must not end as a success.
  if (out.LoadError != winerr::Success)
    op.StartError = logline::CouldntReadSelection(out.LoadError, selectionFile);
  out.Result = op.AddSelectionToVolume(volume, selection, CountSelectedFiles(selection));
  // Writing back a selection that was read only in part would lose the rest for good. Marks
  // the extension made during the walk are in the file now, not in the tree: they stay.
  if (out.LoadError == winerr::Success) out.SaveError = files.Save(selection, selectionFile, seen);
  out.Unlocked = files.Unlocked > 0;
  return out;
}

std::string PathNotValidText(std::string_view folder) {
  return "It seems that the backup path " + std::string(folder) + " is not valid.";
}

std::string NotAllowedToWriteText(std::string_view file) {
  return kNotAllowedToWrite + std::string(file);
}

TAddResult TAddOperation::AddSelectionToVolume(const TVolumeRec& volume,
                                               const TWLDesktopNode& selection,
                                               int addFileCount) {
  if (RefuseUnusableVolume(ui_, volume)) return TAddResult::Stopped;
  ui_.StopRefreshTimer();
  ui_.CreateProgress();
  ui_.SetCaption(kAddCaption);
  ui_.SetVolumeText(volume.Name);
  ui_.SetPathText(volume.BackupPath);

  // A failure here shows up as the placeholder that cannot be written, just below.
  fs_.MakeDirPath(volume.BackupPath);
  TPlaceholderWriter placeholder(fs_, volume.BackupPath);
  std::optional<TFolderClaim> claim;
  if (VolumeIds) {
    if (placeholder.Load()) {
      StopRun(UnableToWriteText(placeholder.FullName()));
      return TAddResult::Stopped;
    }
    claim = ClaimVolumeFolder(placeholder.Ini(), VolumeIds->Read(volume.Name));
    if (claim->Foreign) {
      StopRun(ForeignFolderText(volume.Name, volume.BackupPath, claim->OtherName));
      return TAddResult::Stopped;
    }
  }
  if (placeholder.WriteVolumeFile() ||
      (claim && claim->WriteNeeded && placeholder.WriteIdentity(volume.Name, claim->Id))) {
    StopRun(UnableToWriteText(placeholder.FullName()));
    return TAddResult::Stopped;
  }
  if (claim) VolumeIds->Write(volume.Name, claim->Id);

  ui_.HideMainWindow();
  ui_.SetMainWindowEnabled(false);
  ui_.SetProgressRange(0, addFileCount);
  ui_.SetProgressPosition(0);
  BeginWalk(volume, &log_);

  const std::string logPath = LogFilePath(fs_);
  if (log_.Create(logPath)) {
    StopRun(CannotCreateFileText(logPath));
    return TAddResult::Stopped;
  }
  ui_.ShowProgress();
  if (!StartError.empty()) {
    AddErrors = true;
    Line(StartError);
  }

  for (int r = 0; r < selection.RootCount(); ++r) {
    const TWLNode& root = *selection.Root(r);
    std::vector<std::string> children;
    children.reserve(static_cast<size_t>(root.ChildCount()));
    for (int c = 0; c < root.ChildCount(); ++c) children.push_back(root.Child(c)->Name());
    if (placeholder.WriteRoot(root.Path(), children)) {
      StopRun(UnableToWriteText(placeholder.FullName()));
      return TAddResult::Stopped;
    }
    AddFolderToVolume(root);
  }
  SettleCopies();
  // A Cancel pressed during the last file is seen by no further file; it still counts.
  if (ui_.Cancelled()) CancelSeen = true;

  ui_.SetMainWindowEnabled(true);
  ui_.RefreshContentsViews();
  ui_.HideProgress();
  log_.Close();
  const bool cancelled = CancelSeen || AddAborted;
  ReportEndOfOperation(ui_, AddErrors, cancelled,
                       AddFinishedText(volume.Name, FilesChanged, FilesChecked),
                       kAddErrorQuestion, logPath);
  ui_.FreeProgress();
  ui_.StartRefreshTimer();
  return cancelled ? TAddResult::Cancelled : TAddResult::Finished;
}

void TAddOperation::BeginWalk(const TVolumeRec& volume, TOperationLog* log) {
  volume_ = volume;
  walkLog_ = log;
  AddErrors = false;
  AddAborted = false;
  CancelSeen = false;
  diskChanged_ = false;
  tree_.Reset();
  ownFolder_ = FoldSelectionName(volume.BackupPath);
  if (ownFolder_.empty() || ownFolder_.back() != '\\') ownFolder_ += '\\';
  FilesChecked = 0;
  FilesChanged = 0;
}

void TAddOperation::AddFolderToVolume(const TWLNode& root) {
  // Cancel ends the whole walk: going on would only create empty folders the user no longer
  // wants, one network round trip each.
  if (AddAborted || CancelSeen || tree_.Changed()) return;
  tree_.Enter(root);
  if (WalkFolders(root, [this](const TWLNode& node) { return AddFolderFiles(node); }) ==
      TWalkEnd::TreeChanged) {
    SelectionChangedDuringWalk();
  }
}

void TAddOperation::SelectionChangedDuringWalk() {
  tree_.MarkChanged();
  AddErrors = true;
  Line(logline::kSelectionChanged);
}

bool TAddOperation::IsSkippedFolder(const std::string& folder) const {
  // The volume's own folder, and every other volume's, below a folder selected whole: copying
  // it would put the volume into itself one level deeper at every refresh.
  if (tree_.Env().IsExcludedFolder(folder)) return true;
  std::string folded = FoldSelectionName(folder);
  folded += '\\';
  return folded == ownFolder_;
}

TVisit TAddOperation::AddFolderFiles(const TWLNode& node) {
  if (AddAborted || CancelSeen) return TVisit::Stop;
  const std::string& folder = node.Path();
  if (IsSkippedFolder(folder)) return TVisit::SkipChildren;
  const std::string dest = MapToVolume(folder, volume_);
  // A folder that cannot be made shows up as the copy's own error below.
  if (!ListOnly) fs_.MakeDirPath(dest);

  if (node.AllSelected() && node.ListError() != winerr::Success &&
      node.ListError() != winerr::FileNotFound && node.ListError() != winerr::PathNotFound) {
    // Selected whole but unreadable when scanned (no access, share down): what it holds was
    // never backed up, which an empty folder would hide.
    AddErrors = true;
    Line(logline::CouldntListFolder(node.ListError(), folder));
  }

  // Each side is listed at most once and every file looked up in memory; originals that the
  // selection's scan has just listed are not listed again.
  TFolderIndex originals, copies;
  bool originalsListed = false;
  bool originalsUnreadable = false;
  // A flat volume keeps the copies of a drive root beside its placeholder.
  const bool besidePlaceholder = FoldSelectionName(dest) == ownFolder_;
  if (RefreshMode && node.FileCount() > 0) copies.Load(fs_, dest);
  // A refresh may copy nothing here, yet a run killed here before left its temporaries.
  if (copies.HeldTemporaries() && !ListOnly) fs_.SweepTemporaries(dest);

  for (int i = 0; i < node.FileCount(); ++i) {
    if (ui_.Cancelled()) {
      CancelSeen = true;
      return TVisit::Stop;
    }
    const std::string source = folder + "\\" + node.FileName(i);
    ui_.ShowFile(source);
    ui_.StepProgress();
    ui_.ProcessMessages();
    // The node itself may be gone now.
    if (tree_.Moved()) return TVisit::Stop;
    const std::string& name = node.FileName(i);
    const std::string target = dest + name;
    if (besidePlaceholder && CompareSelectionNames(name, kPlaceholderFileName) == 0) {
      AddErrors = true;
      Line(logline::PlaceholderNameTaken(source));
      continue;
    }
    bool fromScan = false;
    if (RefreshMode) {
      FindData scanned;
      const FindData* original = nullptr;
      if (FreshListingsAfter && node.ListedFile(i, *FreshListingsAfter, scanned)) {
        original = &scanned;
        fromScan = true;
      } else {
        if (!originalsListed) {
          const WinError e = originals.Load(fs_, folder);
          // A folder that is gone holds vanished originals (warnings); one that cannot be read
          // is an error of the run, not a list of files that seem to be missing.
          if (e != winerr::Success && e != winerr::FileNotFound && e != winerr::PathNotFound) {
            originalsUnreadable = true;
            AddErrors = true;
            Line(logline::CouldntListFolder(e, folder));
          }
        }
        originalsListed = true;
        if (originalsUnreadable) continue;
        original = originals.FindFile(name);
      }
      if (!ShouldRefresh(original, copies, name, folder)) continue;
    }
    if (ListOnly) {
      Line(logline::WouldCopy(source));
      continue;
    }
    const Next next = CopyOne(dest, source, target, fromScan);
    if (tree_.Moved()) return TVisit::Stop;
    if (next == Next::LeaveFolder) return TVisit::SkipChildren;
    if (diskChanged_) {
      // The rest of the folder is compared with what the new disk holds, not the old one.
      diskChanged_ = false;
      if (RefreshMode) copies.Load(fs_, dest);
    }
  }
  return TVisit::Children;
}

bool TAddOperation::ShouldRefresh(const FindData* original, const TFolderIndex& copies,
                                  const std::string& fileName, const std::string& folder) {
  if (!original) {
    // Only a warning: a deleted original is no failure of the refresh.
    Line(logline::CouldntFindFile(fileName, folder));
    return false;
  }
  ++FilesChecked;
  // A missing copy counts as changed, so that the volume is complete again.
  if (!FileHasChanged(fs_, *original, copies.FindFile(fileName))) return false;
  ++FilesChanged;
  return true;
}

TAddOperation::Next TAddOperation::CopyOne(const std::string& dest, const std::string& source,
                                           const std::string& target, bool sourceFromScan) {
  uint32_t copied = 0;
  uint64_t bytes = 0;
  const WinError e = fs_.CopyFileAtomic(source, target, &copied, &bytes);
  FindData gone;
  if ((e == winerr::FileNotFound || e == winerr::PathNotFound) &&
      fs_.Stat(source, gone) != winerr::Success) {
    // Gone since it was selected or listed, alone or with its folder: the warning of an
    // original the walk does not find, not the backup path's error.
    const size_t slash = source.find_last_of('\\');
    if (RefreshMode) {
      --FilesChecked;
      --FilesChanged;
    }
    Line(logline::CouldntFindFile(source.substr(slash + 1), source.substr(0, slash)));
    return Next::File;
  }
  switch (e) {
    case winerr::Success:
      ui_.AddCopiedBytes(bytes);
      // So that the next add can replace it.
      if (copied & fileattr::ReadOnly) ClearReadOnly(target);
      return Next::File;
    case winerr::SharingViolation:
    case winerr::LockViolation:
      Line(logline::InUse(source));
      return Next::File;
    case winerr::AccessDenied:
      AddErrors = true;
      Line(logline::AccessDenied(target));
      ClearReadOnly(target);
      return Next::File;
    case winerr::PathNotFound:
      Show(PathNotValidText(dest), mb::Ok);
      AddErrors = true;
      Line(logline::ErrorWriting(target));
      return Next::LeaveFolder;
    case winerr::InvalidDrive:
    case winerr::WriteProtect:
    case winerr::NotReady:
    case winerr::NetworkAccessDenied:
      Show(NotAllowedToWriteText(target), mb::Ok);
      AddErrors = true;
      Line(logline::ErrorWriting(target));
      return Next::LeaveFolder;
    case winerr::ReqNotAccepted:
      Show(kNoMoreConnections, mb::Ok);
      // The rest of the folder is skipped, so the run did not do what it was asked to.
      AddErrors = true;
      Line(logline::OtherError(e, source));
      return Next::LeaveFolder;
    case winerr::HandleDiskFull:
    case winerr::DiskFull:
      return DiskFull(dest, source, target);
    default:
      AddErrors = true;
      Line(logline::OtherError(e, source));
      return Next::File;
  }
}

TAddOperation::Next TAddOperation::DiskFull(const std::string& dest, const std::string& source,
                                            const std::string& target) {
  if (fs_.DriveKind(DriveRootOf(dest)) != DriveType::Removable) {
    Show(kDiskFullFixed, mb::Ok | mb::IconError);
    AddErrors = true;
    Line(logline::kDiskFull);
    return Next::LeaveFolder;
  }
  ui_.StopAnimation();
  for (;;) {
    if (Show(kDiskFullInsert, mb::OkCancel | mb::IconError | mb::SetForeground) != mb::IdOk) {
      AddErrors = true;
      AddAborted = true;
      Line(logline::kDiskFullTerminated);
      return Next::LeaveFolder;
    }
    PrepareFolder(dest);
    diskChanged_ = true;
    uint32_t copied = 0;
    uint64_t bytes = 0;
    const WinError e = fs_.CopyFileAtomic(source, target, &copied, &bytes);
    if (e == winerr::Success) {
      ui_.AddCopiedBytes(bytes);
      if (copied & fileattr::ReadOnly) ClearReadOnly(target);
      break;
    }
    AddErrors = true;
    Line(logline::RetryFailed(source, target));
    if (e != winerr::DiskFull && e != winerr::HandleDiskFull) break;
  }
  ui_.StartAnimation();
  return Next::File;
}

bool TAddOperation::PrepareFolder(const std::string& folder) {
  fs_.MakeDirPath(folder);
  FindData info;
  return fs_.Stat(folder, info) == winerr::Success && info.IsDirectory();
}

bool TAddOperation::ClearReadOnly(const std::string& file) {
  FindData info;
  if (fs_.Stat(file, info)) return false;
  if (!(info.attributes & fileattr::ReadOnly)) return true;
  return fs_.SetAttrs(file, info.attributes & ~static_cast<uint32_t>(fileattr::ReadOnly)) ==
         winerr::Success;
}

void TAddOperation::Line(const std::string& text) {
  if (walkLog_) walkLog_->Line(text);
}

int TAddOperation::Show(const std::string& text, uint32_t flags) {
  // Before the user may take the disk out.
  SettleCopies();
  return ui_.Message(text, kAppTitle, flags, MessageOwner::Progress);
}

void TAddOperation::StopRun(const std::string& message) {
  SettleCopies();
  StopOperation(ui_, log_, message);
}

void TAddOperation::SettleCopies() {
  std::string failed;
  if (const WinError e = fs_.SettleCopies(&failed)) {
    AddErrors = true;
    Line(logline::OtherError(e, failed));
  }
}

}  // namespace tw
