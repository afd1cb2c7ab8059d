// Runs the operations under Wine until the wizard can: a selection built from real paths, the
// add (first backup or refresh), the contents refresh, the restore and the delete on the real
// file system, with the real progress dialog and window switching.
// Message boxes go through a scripted layer (or real MessageBoxW), and a test can press the
// dialog's Cancel button by name from the message pump while the walk runs.
#pragma once
#include <windows.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/OperationWindowUI.h"
#include "app/WLProgress.h"
#include "app/forms/Forms.h"
#include "engine/operations.h"
#include "platform/win32/Win32FileSystem.h"
#include "selection/selection.h"

namespace tw::testing {

// Records every message box and answers from a script; CautiousAnswer once the script is dry.
class TScriptedBoxes : public IMessageBoxes {
 public:
  struct TBox {
    std::string ownerName;  // control name of the owner window ("fWLProgress", "fWLMain")
    std::string text, caption;
    uint32_t flags = 0;
    int answer = 0;
    bool progressVisible = false;  // the progress dialog was on screen when the box came
  };
  int Show(HWND owner, const std::string& text, const std::string& caption,
           uint32_t flags) override;
  std::deque<int> Answers;
  std::vector<TBox> Boxes;
};

// A top-level window standing in for the main window: the operation disables and hides it.
class TStandInMain : public forms::TForm {
 public:
  TStandInMain();
};

// What a test sees of the window at one moment of the walk.
struct TWalkView {
  int filesStepped = 0;
  bool progressVisible = false;
  bool mainVisible = false;
  bool mainEnabled = false;
  bool refreshTimerRunning = false;
  bool progressOwnButton = false;  // the dialog shows on the taskbar by itself
  std::string fileLabel;  // stName
  std::string volumeLabel, pathLabel, caption;
};

class TBackupHarness {
 public:
  TBackupHarness();
  ~TBackupHarness();
  TBackupHarness(const TBackupHarness&) = delete;
  TBackupHarness& operator=(const TBackupHarness&) = delete;

  // Adds a file, or a folder with everything below it, to the Add selection; false for a path
  // that is neither.
  bool Select(const std::string& path);
  int SelectedFileCount() const;

  // Presses Cancel (by name, through the test driver) when the operation lets messages run
  // after the given file's step: that file is copied, none after it.
  void CancelAfterFiles(int files) { cancelAfter_ = files; }
  // Records a TWalkView per file; off for benchmarks, since looking at the dialog after every
  // file costs more than the copy of a small file.
  bool ObserveWalk = true;
  // Real MessageBoxW instead of the script; each box is closed by a timer that reads it
  // and presses its first button (recorded in RealBoxes).
  bool RealMessageBoxes = false;
  struct TRealBox {
    std::string caption, text;
  };
  std::vector<TRealBox> RealBoxes;

  TAddResult Run(const TVolumeRec& volume);
  // The refresh of a saved selection: the file is read into a fresh selection, which is walked
  // in refresh mode and written back.
  TAddResult RefreshFromFile(const TVolumeRec& volume, const std::string& selectionFile);
  // These act on the whole volume, as "Refresh all", "Restore all files" and "Delete all
  // files" do; the restore goes to the original place or to the chosen location.
  TRefreshResult RefreshContents(const TVolumeRec& volume, int* filesChanged = nullptr);
  TRestoreResult RestoreAll(const TVolumeRec& volume,
                            std::optional<std::string> chosen = std::nullopt);
  TDeleteResult DeleteAll(const TVolumeRec& volume);

  // ---- What happened
  TScriptedBoxes Boxes;
  std::vector<std::string> Events;  // timer and contents-view calls, in order
  std::vector<std::string> OpenedLogs;
  std::vector<TWalkView> Views;     // one per file, taken when messages run after its step
  bool CancelPressed = false;
  bool AddErrors = false;
  bool RefreshTimerRunning = true;
  std::string LogText();
  std::vector<std::string> LogLines();

  Win32FileSystem Fs;
  TWLDesktopNode Selection{Fs};
  TStandInMain Main;

 private:
  class TObservedUI;
  static void CALLBACK CloseBoxTimer(HWND, UINT, UINT_PTR, DWORD);
  void AfterStep(int steps);
  // Runs body with the window side the program uses, then brings the window back as the
  // caller of an operation does.
  void RunOperation(const std::function<void(TOperationWindowUI&)>& body);

  std::optional<int> cancelAfter_;
};

// A private folder below the temporary folder, removed with everything in it at the end.
class TTempTree {
 public:
  explicit TTempTree(const std::string& tag);
  ~TTempTree();
  const std::string& Path() const { return path_; }  // with trailing backslash
  // Writes a file (folders created as needed); returns its full name.
  std::string File(const std::string& relative, const std::string& data);
  std::string Dir(const std::string& relative);

 private:
  std::string path_;
};

bool FileExists(const std::string& path);
std::string ReadFileText(const std::string& path);
DWORD Attributes(const std::string& path);
// Deletes a folder tree (read-only bits cleared first).
void RemoveTree(const std::string& path);
// Gives a file a last-write time (FILETIME ticks).
void SetLastWrite(const std::string& path, uint64_t fileTime);

}  // namespace tw::testing
