#include "engine/refresh.h"

#include <optional>

#include "engine/layout.h"
#include "engine/volumeedit.h"

namespace tw {

TRefreshResult TContentsRefreshOperation::RefreshVolumeContents(const TVolumeRec& volume,
                                                                const TWLDesktopNode& contents,
                                                                int contentsFileCount) {
  if (RefuseUnusableVolume(ui_, volume)) return TRefreshResult::Stopped;
  ui_.StopRefreshTimer();
  ui_.CreateProgress();
  ui_.SetCaption(kContentsRefreshCaption);
  ui_.SetVolumeText(volume.Name);
  ui_.SetPathText(volume.BackupPath);
  ui_.SetMainWindowEnabled(false);
  ui_.HideMainWindow();
  ui_.ShowProgress();
  ui_.SetProgressRange(0, contentsFileCount);
  ui_.SetProgressPosition(0);

  BeginWalk(volume, &log_);
  const std::string logPath = LogFilePath(fs_);
  if (log_.Create(logPath)) {
    // Nothing has been done yet: unwind to the window's normal state with a clear message.
    StopOperation(ui_, log_, CannotCreateFileText(logPath));
    return TRefreshResult::Stopped;
  }

  for (int r = 0; r < contents.RootCount(); ++r) RefreshFolderFromOriginals(*contents.Root(r));
  std::string failed;
  if (const WinError e = fs_.SettleCopies(&failed)) {
    RefreshErrors = true;
    Line(logline::ContentsRefreshError(failed.substr(failed.find_last_of('\\') + 1)));
  }
  // A Cancel pressed during the last file is seen by no further file; it still counts.
  if (ui_.Cancelled()) CancelSeen = true;

  ui_.SetMainWindowEnabled(true);
  ui_.RefreshContentsViews();
  ui_.HideProgress();
  log_.Close();
  ReportEndOfOperation(ui_, RefreshErrors, CancelSeen,
                       ContentsRefreshFinishedText(FilesChanged, FilesChecked),
                       kRefreshErrorQuestion, logPath);
  ui_.FreeProgress();
  ui_.StartRefreshTimer();
  return CancelSeen ? TRefreshResult::Cancelled : TRefreshResult::Finished;
}

void TContentsRefreshOperation::BeginWalk(const TVolumeRec& volume, TOperationLog* log) {
  volume_ = volume;
  walkLog_ = log;
  RefreshErrors = false;
  CancelSeen = false;
  tree_.Reset();
  FilesChecked = 0;
  FilesChanged = 0;
}

void TContentsRefreshOperation::RefreshFolderFromOriginals(const TWLNode& root) {
  if (tree_.Changed()) return;
  tree_.Enter(root);
  if (WalkFolders(root, [this](const TWLNode& node) { return RefreshFolderFiles(node); }) ==
      TWalkEnd::TreeChanged) {
    tree_.MarkChanged();
    RefreshErrors = true;
    Line(logline::kSelectionChanged);
  }
}

TVisit TContentsRefreshOperation::RefreshFolderFiles(const TWLNode& node) {
  // Selected whole but not readable when scanned: none of its copies was compared.
  if (node.AllSelected() && node.ListError() != winerr::Success) {
    RefreshErrors = true;
    Line(logline::CouldntListFolder(node.ListError(), node.Path()));
  }
  // Nothing maps back from the volume folder itself (VOLUME.TWV), the bare From Network folder
  // or a first-level folder that is no drive folder: their files are passed over silently.
  const std::optional<std::string> originalFolder =
      node.FileCount() > 0 ? MapDriveFolderToOriginal(node.Path(), volume_.BackupPath)
                           : std::nullopt;
  if (!originalFolder) return TVisit::Children;
  // Lets the window repaint during long stretches of unchanged files; Cancel itself is only
  // acted on before a changed file.
  ui_.ProcessMessages();
  if (tree_.Moved()) return TVisit::Stop;
  const std::string volumeFolder = AddBackslash(node.Path());
  TFolderIndex copies, originals;
  copies.Load(fs_, volumeFolder);
  if (copies.HeldTemporaries()) fs_.SweepTemporaries(volumeFolder);
  originals.Load(fs_, *originalFolder);
  for (int i = 0; i < node.FileCount(); ++i) {
    const std::string name = node.FileName(i);
    const FindData* original = originals.FindFile(name);
    if (!original) {
      RefreshErrors = true;
      Line(logline::ContentsCouldntFind(name, *originalFolder));
      continue;
    }
    ++FilesChecked;
    if (!FileHasChanged(fs_, *original, copies.FindFile(name))) continue;
    if (ui_.Cancelled()) {
      // Only this folder and the ones below it are left: the rest of the walk still compares,
      // meeting the same flag at its next changed file.
      CancelSeen = true;
      return TVisit::SkipChildren;
    }
    ++FilesChanged;
    const std::string source = *originalFolder + name;
    const std::string target = volumeFolder + name;
    ui_.ShowFile(source);
    ui_.StepProgress();
    ui_.ProcessMessages();
    if (tree_.Moved()) return TVisit::Stop;
    uint32_t copied = 0;
    uint64_t bytes = 0;
    if (fs_.CopyFileAtomic(source, target, &copied, &bytes) != winerr::Success) {
      RefreshErrors = true;
      Line(logline::ContentsRefreshError(name));
      continue;
    }
    ui_.AddCopiedBytes(bytes);
    // A read-only original gives a read-only copy, which the next refresh could not replace.
    if (copied & fileattr::ReadOnly)
      fs_.SetAttrs(target, copied & ~static_cast<uint32_t>(fileattr::ReadOnly));
  }
  return TVisit::Children;
}

void TContentsRefreshOperation::Line(const std::string& text) {
  if (walkLog_) walkLog_->Line(text);
}

}  // namespace tw
