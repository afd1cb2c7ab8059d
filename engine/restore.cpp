#include "engine/restore.h"

#include <algorithm>

#include "engine/orphan.h"
#include "engine/volumeedit.h"

namespace tw {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

size_t CountBackslashes(std::string_view s) { return std::count(s.begin(), s.end(), '\\'); }

// "\\server\" alone: no folder can be made there, but the shares below it can be reached.
bool IsServerRoot(std::string_view path) {
  if (path.size() < 4 || path[0] != '\\' || path[1] != '\\' || path.back() != '\\') return false;
  return path.find('\\', 2) == path.size() - 1;
}

}  // namespace

std::string LocationNotAbsoluteText(std::string_view location) {
  std::string text = "\"";
  text += location;
  text += "\" is not a complete path. Please specify a folder such as C:\\Restored or "
          "\\\\server\\share\\Restored.";
  return text;
}

std::string RootNotAbsoluteText(std::string_view root) {
  std::string text = "\"";
  text += root;
  text += "\" is not a complete path. Please enter the folder the files came from, such as C:\\ "
          "or \\\\server\\share.";
  return text;
}

bool HasMultipleSources(const TWLDesktopNode& selection, std::string_view backupPath) {
  if (selection.RootCount() == 0) return false;
  const TWLNode* node = selection.Root(0);
  while (node) {
    const size_t length = AddBackslash(node->Path()).size();
    if (length == backupPath.size()) return node->ChildCount() > 1;
    if (length > backupPath.size() || node->ChildCount() == 0) return false;
    node = node->Child(0);
  }
  return false;
}

TRestoreLocationCheck CheckRestoreLocation(IOperationUI& ui, const TWLDesktopNode& selection,
                                           std::string_view backupPath,
                                           std::string_view locationText,
                                           IFileSystem* wholeVolume) {
  const bool multiple =
      wholeVolume ? ListSubfolderNames(*wholeVolume, std::string(backupPath)).size() > 1
                  : HasMultipleSources(selection, backupPath);
  if (multiple) {
    ui.Message(kMultipleSourcesText, kAppTitle, mb::Ok | mb::IconWarning,
               MessageOwner::MainWindow);
    return {TRestoreInput::MultipleSources, {}};
  }
  if (Trim(locationText).empty()) {
    ui.Message(kSpecifyLocationText, kErrorCaption, mb::Ok | mb::IconError,
               MessageOwner::MainWindow);
    return {TRestoreInput::NoLocation, {}};
  }
  std::string location = AddBackslash(locationText);
  if (!IsUsableRoot(location)) {
    ui.Message(LocationNotAbsoluteText(locationText), kErrorCaption, mb::Ok | mb::IconError,
               MessageOwner::MainWindow);
    return {TRestoreInput::BadLocation, {}};
  }
  return {TRestoreInput::Ok, std::move(location)};
}

std::optional<std::string> TRestoreOperation::TCheckedRootPrompt::AskRootPath(const std::string& folderName) {
  ui_.StopAnimation();
  std::optional<std::string> answer;
  for (;;) {
    answer = ui_.RootPathPrompt().AskRootPath(folderName);
    // A relative answer would put the files below whatever the current folder is.
    if (!answer || IsUsableRoot(*answer)) break;
    ui_.Message(RootNotAbsoluteText(*answer), kAppTitle, mb::Ok | mb::IconError,
                MessageOwner::Progress);
  }
  ui_.StartAnimation();
  return answer;
}

TRestoreResult TRestoreOperation::RestoreSelection(const TVolumeRec& volume,
                                                   const TWLDesktopNode& selection,
                                                   TRestoreOptions options) {
  if (RefuseUnusableVolume(ui_, volume)) return TRestoreResult::Stopped;
  ui_.StopRefreshTimer();
  if (options.SelectWholeVolume) options.SelectWholeVolume();

  volume_ = volume;
  if (!volume_.BackupPath.empty()) volume_.BackupPath = AddBackslash(volume_.BackupPath);
  chosen_ = options.ChosenLocation;
  mapping_ = TRestoreMapping{};
  mapping_.PlaceholderIni = options.PlaceholderIni.get();
  mapping_.RootPrompt = &rootPrompt_;
  RestoreErrors = false;
  CancelSeen = false;
  tree_.Reset();
  FilesRestored = 0;

  int fileCount = 0;
  WalkSelection(selection, {}, [&](const TWLNode&, int) {
    ++fileCount;
    return true;
  });

  ui_.CreateProgress();
  ui_.SetCaption(kRestoreCaption);
  ui_.SetVolumeText(volume_.Name);
  ui_.SetPathText(volume_.BackupPath);
  ui_.HideMainWindow();
  ui_.SetMainWindowEnabled(false);
  ui_.SetProgressRange(0, fileCount);
  ui_.SetProgressPosition(0);
  ui_.ShowProgress();

  const std::string logPath = LogFilePath(fs_);
  if (log_.Create(logPath)) {
    StopOperation(ui_, log_, CannotCreateFileText(logPath));
    return TRestoreResult::Stopped;
  }

  for (int r = 0; r < selection.RootCount(); ++r) RestoreFolder(*selection.Root(r));
  std::string failed;
  if (const WinError e = fs_.SettleCopies(&failed)) Error(logline::OtherError(e, failed));
  // A Cancel pressed during the last file is seen by no further file; it still counts.
  if (ui_.Cancelled()) CancelSeen = true;

  ui_.SetMainWindowEnabled(true);
  mapping_.PlaceholderIni = nullptr;
  options.PlaceholderIni.reset();
  ui_.HideProgress();
  log_.Close();
  ReportEndOfOperation(ui_, RestoreErrors, CancelSeen, kRestoreFinished, kRestoreErrorQuestion,
                       logPath);
  ui_.FreeProgress();
  ui_.StartRefreshTimer();
  return CancelSeen ? TRestoreResult::Cancelled : TRestoreResult::Finished;
}

bool TRestoreOperation::IsBelowVolumeFolder(const TWLNode& node) const {
  const std::string& backup = volume_.BackupPath;
  const std::string& path = node.Path();
  if (CountBackslashes(path) + 1 <= CountBackslashes(backup)) return false;
  return path.size() > backup.size() &&
         TProfileFile::FoldName(path.substr(0, backup.size())) == TProfileFile::FoldName(backup);
}

void TRestoreOperation::RestoreFolder(const TWLNode& root) {
  // Cancel ends the whole walk: later folders would only be created empty or, in a volume
  // without drive folders, bring up the root path prompt again.
  if (CancelSeen || tree_.Changed()) return;
  tree_.Enter(root);
  if (WalkFolders(root, [this](const TWLNode& node) { return RestoreFolderFiles(node); }) ==
      TWalkEnd::TreeChanged) {
    tree_.MarkChanged();
    Error(logline::kSelectionChanged);
  }
}

TVisit TRestoreOperation::RestoreFolderFiles(const TWLNode& node) {
  if (CancelSeen) return TVisit::Stop;
  // Selected whole but not readable when scanned: its copies were never found, let alone
  // restored.
  if (node.AllSelected() && node.ListError() != winerr::Success)
    Error(logline::CouldntListFolder(node.ListError(), node.Path()));
  const std::string source = AddBackslash(node.Path());
  const std::optional<std::string> target =
      MapToOriginal(node.Path(), volume_, mapping_, chosen_);
  // The root path prompt lets window messages run.
  if (tree_.Moved()) return TVisit::Stop;

  if (!target) {
    // The volume folder and what lies above it, and the bare "From Network" folder, hold
    // nothing to restore. Anything else below the volume folder lost its way (no root could be
    // had, a drive folder without a drive letter): the user must not take it as restored.
    const bool bareNetworkFolder =
        source.size() == volume_.BackupPath.size() + std::string_view(kFromNetwork).size() + 1 &&
        source.compare(volume_.BackupPath.size(), std::string::npos,
                       std::string(kFromNetwork) + "\\") == 0;
    if (node.FileCount() > 0 && IsBelowVolumeFolder(node) && !bareNetworkFolder) {
      for (int i = 0; i < node.FileCount(); ++i) {
        Error(logline::CouldntRestore(source + node.FileName(i), kUnknownLocation));
      }
    }
    return TVisit::Children;
  }
  if (!IsServerRoot(*target)) {
    fs_.MakeDirPath(*target);
    FindData info;
    if (fs_.Stat(*target, info) != winerr::Success || !info.IsDirectory()) {
      Error(logline::UnableToCreateDirectory(*target));
      return TVisit::SkipChildren;
    }
  }
  for (int i = 0; i < node.FileCount(); ++i) {
    if (ui_.Cancelled()) {
      CancelSeen = true;
      return TVisit::Stop;
    }
    const std::string name = node.FileName(i);
    const std::string destination = *target + name;
    ui_.ShowFile(destination);
    ui_.StepProgress();
    ui_.ProcessMessages();
    if (tree_.Moved()) return TVisit::Stop;
    uint64_t bytes = 0;
    if (fs_.CopyFileAtomic(source + name, destination, nullptr, &bytes) == winerr::Success) {
      ++FilesRestored;
      ui_.AddCopiedBytes(bytes);
    } else {
      Error(logline::CouldntRestore(source + name, destination));
    }
  }
  return TVisit::Children;
}

void TRestoreOperation::Error(const std::string& line) {
  RestoreErrors = true;
  log_.Line(line);
}

}  // namespace tw
