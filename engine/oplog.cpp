#include "engine/oplog.h"

#include "engine/layout.h"

namespace tw {

std::string LogFilePath(IFileSystem& fs) {
  std::string folder = fs.TempFolder();
  if (folder.empty()) return kLogFileName;
  return AddBackslash(folder) + kLogFileName;
}

WinError TOperationLog::Create(const std::string& path) {
  Close();
  path_ = path;
  writeError_ = winerr::Success;
  lines_ = 0;
  std::unique_ptr<IFileWriter> file;
  WinError e = fs_.OpenForWriting(path, file);
  if (e == winerr::Success && !file) e = winerr::InvalidHandle;
  if (e) return e;
  file_ = std::move(file);
  return winerr::Success;
}

void TOperationLog::Line(std::string_view text) {
  if (!file_) return;
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text).append("\r\n");
  WinError e = file_->Write(line);
  if (e) {
    if (!writeError_) writeError_ = e;
    return;
  }
  ++lines_;
}

void TOperationLog::Close() { file_.reset(); }

void StopOperation(IOperationUI& ui, TOperationLog& log, const std::string& message) {
  log.Close();
  ui.HideProgress();
  ui.FreeProgress();
  ui.SetMainWindowEnabled(true);
  ui.ShowMainWindow();
  ui.Message(message, kAppTitle, mb::Ok | mb::IconError, MessageOwner::MainWindow);
  ui.StartRefreshTimer();
}

std::string CannotCreateFileText(std::string_view path) {
  return "Cannot create file " + std::string(path);
}

namespace logline {

std::string CouldntFindFile(std::string_view fileName, std::string_view originalFolder) {
  return "Warning: Couldnt find file " + std::string(fileName) + " at its original location of " +
         std::string(originalFolder) + ".";
}
std::string RetryFailed(std::string_view source, std::string_view destination) {
  return "Error occured in backing up file " + std::string(source) + " to " +
         std::string(destination);
}
std::string ErrorWriting(std::string_view destination) {
  return "Error writing file " + std::string(destination);
}
std::string AccessDenied(std::string_view destination) {
  return "Error: File " + std::string(destination) + ": Access Denied.";
}
std::string InUse(std::string_view source) {
  return "Warning: File " + std::string(source) +
         " is in use by another application and cannot be copied";
}
std::string OtherError(WinError code, std::string_view source) {
  return "Error " + std::to_string(code) + " on File " + std::string(source);
}
std::string PlaceholderNameTaken(std::string_view source) {
  return "Error: File " + std::string(source) +
         " cannot be copied: its copy would replace the volume's own VOLUME.TWV.";
}
std::string WouldCopy(std::string_view source) {
  return "Would copy " + std::string(source);
}
std::string CouldntReadSelection(WinError code, std::string_view file) {
  return "Error " + std::to_string(code) + ": Couldnt read the selection file " +
         std::string(file) + ", so only what could be read was refreshed.";
}
std::string CouldntListFolder(WinError code, std::string_view folder) {
  return "Error " + std::to_string(code) + ": Couldnt read the folder " + std::string(folder) +
         ", so none of its files were copied.";
}
std::string UnableToCreateDirectory(std::string_view folder) {
  return "Unable to create directory with path " + std::string(folder);
}
std::string CouldntRestore(std::string_view volumeFile, std::string_view destination) {
  return "Couldnt restore file " + std::string(volumeFile) + " to " + std::string(destination);
}
std::string ContentsCouldntFind(std::string_view fileName, std::string_view originalFolder) {
  return "Couldnt find file " + std::string(fileName) + " at its original location of " +
         std::string(originalFolder) + ".";
}
std::string ContentsRefreshError(std::string_view fileName) {
  return "An error occured while refreshing file " + std::string(fileName) + ".";
}

}  // namespace logline

std::string AddFinishedText(std::string_view volumeName, int changed, int checked) {
  return "Tidewell has finished refreshing the volume \"" + std::string(volumeName) + "\". " +
         std::to_string(changed) + " of " + std::to_string(checked) + " files have changed.";
}

std::string ContentsRefreshFinishedText(int changed, int checked) {
  return "Tidewell has finished refreshing the volume. " + std::to_string(changed) + " of " +
         std::to_string(checked) + " files have changed.";
}

std::string AutoRefreshFinishedText(std::string_view volumeName, int changed, int checked) {
  return "Tidewell has finished refreshing the volume: " + std::string(volumeName) + ". " +
         std::to_string(changed) + " of " + std::to_string(checked) + " files have changed.";
}

void ReportEndOfOperation(IOperationUI& ui, bool errors, bool cancelled,
                          const std::string& completionText, const std::string& errorQuestion,
                          const std::string& logPath) {
  if (errors) {
    int answer = ui.Message(errorQuestion, kAppTitle, mb::YesNo | mb::IconQuestion,
                            MessageOwner::MainWindow);
    if (answer == mb::IdYes) ui.OpenLog(logPath);
    return;
  }
  if (cancelled) return;
  ui.Message(completionText, kAppTitle, mb::Ok | mb::IconInformation, MessageOwner::MainWindow);
}

}  // namespace tw
