// IOperationUI for tests: records every call in order, answers message boxes from a script
// (CautiousAnswer when it runs dry), models the window's state (timer, main window, progress
// dialog, animation) and can press Cancel once a given number of files has been shown.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/layout.h"
#include "platform/OperationUI.h"

namespace tw {

struct UiMessage {
  std::string text;
  std::string caption;
  uint32_t flags = 0;
  MessageOwner owner = MessageOwner::MainWindow;
  int answer = 0;
  bool scripted = false;
};

class ScriptedOperationUI : public IOperationUI, public IRootPathPrompt {
 public:
  // IOperationUI
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
  IRootPathPrompt& RootPathPrompt() override { return *this; }
  void OpenLog(const std::string& logPath) override;
  // IRootPathPrompt
  // Recorded as "AskRootPath <folderName>".
  std::optional<std::string> AskRootPath(const std::string& folderName) override;

  // ---- Script
  void Answer(int id) { answers_.push_back(id); }
  void AnswerRootPath(std::optional<std::string> path) { rootPaths_.push_back(std::move(path)); }
  // Cancel is pressed once `files` files have been shown (0: before the first).
  void CancelAfterFiles(int files) { cancelAfter_ = files; }
  void PressCancel() { cancelPressed_ = true; }
  // Run inside Message before it answers (to look at the file system at that moment).
  std::function<void(const UiMessage&)> onMessage;
  // Run inside ProcessMessages (a click arriving between files).
  std::function<void()> onProcessMessages;

  // ---- What happened
  std::vector<std::string> calls;  // "ShowFile C:\a.txt", "Message <text>", ... in order
  std::vector<UiMessage> messages;
  std::vector<std::string> shownFiles;
  std::vector<std::string> openedLogs;
  size_t Unscripted() const;
  // Times a call whose record begins with prefix was made.
  int CountCalls(const std::string& prefix) const;

  // ---- Window state (as a user would see it)
  bool timerRunning = true;
  bool mainEnabled = true;
  bool mainVisible = true;
  bool progressExists = false;
  bool progressVisible = false;
  bool animationPlaying = false;
  bool deleteAnimation = false;
  std::string caption, volumeText, pathText, currentFile;
  int rangeMin = 0, rangeMax = 100, position = 0;
  uint64_t copiedBytes = 0;  // AddCopiedBytes of the dialog
  // True when everything is as before an operation: timer on, main window enabled, no dialog.
  bool AtRest() const {
    return timerRunning && mainEnabled && !progressExists && !progressVisible;
  }

 private:
  void Record(std::string call) { calls.push_back(std::move(call)); }
  std::deque<int> answers_;
  std::deque<std::optional<std::string>> rootPaths_;
  std::optional<int> cancelAfter_;
  bool cancelPressed_ = false;
};

}  // namespace tw
