// Everything a running operation (add, refresh, restore, delete) shows or asks, and the parts of
// the main window it must switch while it runs. The main window implements it with the real
// progress dialog and message boxes; tests use ScriptedOperationUI, which records every call.
//
// An operation drives it in this order (the add operation, for example):
//   StopRefreshTimer, CreateProgress, SetCaption/SetVolumeText/SetPathText, HideMainWindow,
//   SetMainWindowEnabled(false), SetProgressRange, ShowProgress,
//   per file: Cancelled, ShowFile, StepProgress, ProcessMessages, the copy, AddCopiedBytes,
//   SetMainWindowEnabled(true), RefreshContentsViews, HideProgress, the end report (Message,
//   maybe OpenLog), FreeProgress, StartRefreshTimer.
// The caller of the operation shows the main window again afterwards; an operation that stops
// before its first file (a log or placeholder that cannot be written) shows it itself.
#pragma once
#include <cstdint>
#include <string>

#include "platform/WinCodes.h"

namespace tw {

class IRootPathPrompt;  // engine/layout.h: the restore's root path dialog

namespace mb {
// MessageBoxW's MB_SETFOREGROUND.
inline constexpr uint32_t SetForeground = 0x00010000;
}  // namespace mb

inline constexpr char kAppTitle[] = "Tidewell";

// Which window a message box belongs to (it is modal to that window).
enum class MessageOwner {
  MainWindow,  // the end-of-operation report, input errors
  Progress,    // questions in the middle of a walk (disk full, bad backup path)
};

class IOperationUI {
 public:
  virtual ~IOperationUI() = default;

  // ---- The main window ----
  virtual void StopRefreshTimer() = 0;
  virtual void StartRefreshTimer() = 0;
  virtual void SetMainWindowEnabled(bool enabled) = 0;
  virtual void HideMainWindow() = 0;
  virtual void ShowMainWindow() = 0;
  // New copies appear in the volume-contents tree and list.
  virtual void RefreshContentsViews() = 0;

  // ---- The progress dialog (one at a time, owned by the main window) ----
  // Creates it hidden, caption "Backing up files...", Cancelled false, range 0..100.
  virtual void CreateProgress() = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void SetVolumeText(const std::string& volumeName) = 0;
  virtual void SetPathText(const std::string& backupPath) = 0;
  // The current file, shortened to fit the label as paths are (inner folders become "...").
  virtual void ShowFile(const std::string& path) = 0;
  virtual void SetProgressRange(int minimum, int maximum) = 0;
  virtual void SetProgressPosition(int position) = 0;
  virtual void StepProgress() = 0;  // position + 1
  // A copy of this many bytes was made: the figures under the bar count them.
  virtual void AddCopiedBytes(uint64_t bytes) = 0;
  virtual void ShowProgress() = 0;  // modeless; starts the animation
  virtual void HideProgress() = 0;  // stops the animation
  virtual void FreeProgress() = 0;  // destroys it; harmless when there is none
  virtual void StopAnimation() = 0;
  virtual void StartAnimation() = 0;
  virtual void UseDeleteAnimation() = 0;
  // True once the user pressed the dialog's Cancel button (false when there is no dialog).
  virtual bool Cancelled() = 0;
  // Lets pending window messages run (repaint, the Cancel click). May be called often.
  virtual void ProcessMessages() = 0;

  // ---- Questions ----
  // A message box with exactly this text and caption; flags are MessageBoxW's (tw::mb, with
  // mb::SetForeground). Returns the button pressed (mb::IdOk, ...); a box that cannot be shown
  // answers CautiousAnswer(flags).
  virtual int Message(const std::string& text, const std::string& caption, uint32_t flags,
                      MessageOwner owner) = 0;
  // The root path prompt of a restore; lives as long as this object.
  virtual IRootPathPrompt& RootPathPrompt() = 0;
  // Starts "notepad.exe" through the shell's "open" verb with the log's full name as parameter,
  // in a normal window owned by the main window; does not wait. Failures are not reported.
  virtual void OpenLog(const std::string& logPath) = 0;
};

}  // namespace tw
