// The operation log TW-LOG.TMP in the temporary folder, its line texts, and the one message box
// that ends a copying operation (a completion message, or the offer to open the log).
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"
#include "platform/OperationUI.h"

namespace tw {

inline constexpr char kLogFileName[] = "TW-LOG.TMP";

// The temporary folder with a trailing backslash, then "TW-LOG.TMP"; the bare name when the
// system reports no temporary folder.
std::string LogFilePath(IFileSystem& fs);

// The log of one running operation. Lines go straight to the file, each ending in CR LF.
// A line that cannot be written is dropped (the operation goes on); the first such error is
// kept for inspection.
class TOperationLog {
 public:
  explicit TOperationLog(IFileSystem& fs) : fs_(fs) {}
  ~TOperationLog() { Close(); }
  TOperationLog(const TOperationLog&) = delete;
  TOperationLog& operator=(const TOperationLog&) = delete;

  // Creates the file, emptying a log of an earlier operation. On failure the log stays closed.
  WinError Create(const std::string& path);
  void Line(std::string_view text);
  // Must come before any message box, so that Notepad can open the file.
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  const std::string& Path() const { return path_; }
  WinError FirstWriteError() const { return writeError_; }
  int LinesWritten() const { return lines_; }

 private:
  IFileSystem& fs_;
  std::unique_ptr<IFileWriter> file_;
  std::string path_;
  WinError writeError_ = winerr::Success;
  int lines_ = 0;
};

// "Cannot create file %s" with the log's full name: the message of an operation that cannot
// start because its log cannot be created.
std::string CannotCreateFileText(std::string_view path);

// ---- Line texts ----
namespace logline {
// Add and automatic refresh.
std::string CouldntFindFile(std::string_view fileName, std::string_view originalFolder);
inline constexpr char kDiskFullTerminated[] = "Error: Disk full. User terminated process";
std::string RetryFailed(std::string_view source, std::string_view destination);
inline constexpr char kDiskFull[] = "Error: Cannot copy any more files as this disk is full.";
std::string ErrorWriting(std::string_view destination);
std::string AccessDenied(std::string_view destination);
std::string InUse(std::string_view source);
std::string OtherError(WinError code, std::string_view source);
// Add: a file of a drive root that a flat volume would copy over its own placeholder.
std::string PlaceholderNameTaken(std::string_view source);
// A dry run of a refresh: a file the refresh would copy.
std::string WouldCopy(std::string_view source);
// Refresh from a selection file that could not be read whole.
std::string CouldntReadSelection(WinError code, std::string_view file);
// Any walk: a folder of originals that exists but cannot be read (no access, share down).
std::string CouldntListFolder(WinError code, std::string_view folder);
// Any walk: the selection was changed under it by a window message, so it stopped.
inline constexpr char kSelectionChanged[] =
    "Error: The selection changed while the operation ran; the operation stopped.";
// Restore.
std::string UnableToCreateDirectory(std::string_view folder);
std::string CouldntRestore(std::string_view volumeFile, std::string_view destination);
// Refresh of the volume contents.
std::string ContentsCouldntFind(std::string_view fileName, std::string_view originalFolder);
std::string ContentsRefreshError(std::string_view fileName);
}  // namespace logline

// ---- End-of-operation report ----
inline constexpr char kAddErrorQuestion[] =
    "Errors have occured while backing up files. Would you like to view the log file ?";
inline constexpr char kRestoreErrorQuestion[] =
    "Errors have occured while restoring files. Would you like to view the log file ?";
inline constexpr char kRefreshErrorQuestion[] =
    "Errors have occured while refreshing files. Would you like to view the log file ?";
inline constexpr char kRestoreFinished[] = "Tidewell has finished restoring the files.";
inline constexpr char kDeleteFinished[] = "Tidewell has finished deleting the files.";

// "Tidewell has finished refreshing the volume "%s". %d of %d files have changed."
std::string AddFinishedText(std::string_view volumeName, int changed, int checked);
// Refresh of the volume contents.
std::string ContentsRefreshFinishedText(int changed, int checked);
// Automatic refresh.
std::string AutoRefreshFinishedText(std::string_view volumeName, int changed, int checked);

// The one message box at the end (the log must be closed already). errors: the operation's
// error flag; cancelled: the user pressed Cancel. With errors: the error question (Yes/No,
// question icon), and on Yes the log is opened in Notepad. Without errors: nothing after a
// cancel, else the completion message (OK, information icon). Owned by the main window,
// caption "Tidewell".
// Ends an operation that cannot go on (no log, no placeholder) before or between its files:
// closes the log, takes down the progress dialog, gives the window back, says why in an error
// message owned by the main window and restarts the refresh timer.
void StopOperation(IOperationUI& ui, TOperationLog& log, const std::string& message);

void ReportEndOfOperation(IOperationUI& ui, bool errors, bool cancelled,
                          const std::string& completionText, const std::string& errorQuestion,
                          const std::string& logPath);

}  // namespace tw
