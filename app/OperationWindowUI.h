// The window side of a running operation: the real progress dialog, message boxes, the root
// path prompt, Notepad for the log, and the main window and its refresh timer.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/WLProgress.h"
#include "app/WLRootPath.h"
#include "engine/progressline.h"
#include "platform/OperationUI.h"
#include "platform/win32/Win32Clock.h"

namespace tw {

// How message boxes appear. The program shows real ones; tests answer them from a script while
// every window around them stays real.
class IMessageBoxes {
 public:
  virtual ~IMessageBoxes() = default;
  // Returns the button pressed, or 0 when no box could be shown.
  virtual int Show(HWND owner, const std::string& text, const std::string& caption,
                   uint32_t flags) = 0;
};

class TMessageBoxes : public IMessageBoxes {
 public:
  int Show(HWND owner, const std::string& text, const std::string& caption,
           uint32_t flags) override;
};

// What the main window lends to an operation. Empty functions do nothing.
struct TOperationWindowHooks {
  HWND MainWindow = nullptr;
  std::function<void()> StopRefreshTimer;
  std::function<void()> StartRefreshTimer;
  std::function<void()> RefreshContentsViews;
  // Null: real message boxes.
  IMessageBoxes* MessageBoxes = nullptr;
  // Null: the shell's "open" verb starts notepad.exe with the log.
  std::function<void(const std::string& logPath)> OpenLog;
  // The time the line under the bar goes by; null: the system clock.
  IClock* Clock = nullptr;
};

class TOperationWindowUI : public IOperationUI {
 public:
  explicit TOperationWindowUI(TOperationWindowHooks hooks);
  ~TOperationWindowUI() override;

  void StopRefreshTimer() override;
  void StartRefreshTimer() override;
  void SetMainWindowEnabled(bool enabled) override;
  void HideMainWindow() override;
  void ShowMainWindow() override;
  void RefreshContentsViews() override;

  void CreateProgress() override;
  void SetCaption(const std::string& caption) override;
  void SetVolumeText(const std::string& volumeName) override;
  void SetPathText(const std::string& backupPath) override;
  void ShowFile(const std::string& path) override;
  void SetProgressRange(int minimum, int maximum) override;
  void SetProgressPosition(int position) override;
  void StepProgress() override;
  void AddCopiedBytes(uint64_t bytes) override;
  void ShowProgress() override;
  void HideProgress() override;
  void FreeProgress() override;
  void StopAnimation() override;
  void StartAnimation() override;
  void UseDeleteAnimation() override;
  bool Cancelled() override;
  void ProcessMessages() override;

  int Message(const std::string& text, const std::string& caption, uint32_t flags,
              MessageOwner owner) override;
  IRootPathPrompt& RootPathPrompt() override;
  void OpenLog(const std::string& logPath) override;

  TfWLProgress* Progress() const { return progress_.get(); }
  // The root path dialog once a question needed it.
  TfWLRootPath* RootPathDialog() const { return rootPath_.get(); }
  // Starts notepad.exe through the shell's "open" verb; false when the shell refused.
  static bool OpenInNotepad(HWND owner, const std::string& path);

 private:
  HWND MainWindow() const;
  // The window the user sees at the moment: the progress dialog while it shows.
  HWND ActiveOwner() const;

  // Asks through the dialog, owned by whatever the user sees at the time of the question.
  class TRootPrompt : public IRootPathPrompt {
   public:
    explicit TRootPrompt(TOperationWindowUI& ui) : ui_(ui) {}
    std::optional<std::string> AskRootPath(const std::string& folderName) override;

   private:
    TOperationWindowUI& ui_;
  };

  TOperationWindowHooks hooks_;
  Win32Clock systemClock_;
  // The figures of the line under the bar, brought to the dialog with the bar.
  TProgressMeter meter_{hooks_.Clock ? *hooks_.Clock : systemClock_};
  TMessageBoxes realBoxes_;
  std::unique_ptr<TfWLProgress> progress_;
  std::unique_ptr<TfWLRootPath> rootPath_;
  TRootPrompt rootPrompt_{*this};
  // Called after every file, these cost Wine milliseconds each (every repaint of a control goes
  // to the display at once), more than the copy of a small file. So the label and the bar are
  // brought up to date at most every kRepaintIntervalMs, and pending messages run at most every
  // kPumpIntervalMs; a file that follows a slow one (longer than the interval) is shown at
  // once, so a large copy is not left under the name of the file before it.
  static constexpr DWORD kRepaintIntervalMs = 50;
  static constexpr DWORD kPumpIntervalMs = 10;
  void Repaint(bool force);
  DWORD lastRepaint_ = 0;
  DWORD lastShowFile_ = 0;
  DWORD lastPump_ = 0;
  bool fileDirty_ = false;
  bool positionDirty_ = false;
  std::string pendingFile_;
  int position_ = 0;
};

}  // namespace tw
