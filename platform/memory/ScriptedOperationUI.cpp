#include "platform/memory/ScriptedOperationUI.h"

#include <algorithm>

#include "platform/Prompts.h"

namespace tw {

void ScriptedOperationUI::StopRefreshTimer() {
  Record("StopRefreshTimer");
  timerRunning = false;
}
void ScriptedOperationUI::StartRefreshTimer() {
  Record("StartRefreshTimer");
  timerRunning = true;
}
void ScriptedOperationUI::SetMainWindowEnabled(bool enabled) {
  Record(enabled ? "EnableMainWindow" : "DisableMainWindow");
  mainEnabled = enabled;
}
void ScriptedOperationUI::HideMainWindow() {
  Record("HideMainWindow");
  mainVisible = false;
}
void ScriptedOperationUI::ShowMainWindow() {
  Record("ShowMainWindow");
  mainVisible = true;
}
void ScriptedOperationUI::RefreshContentsViews() { Record("RefreshContentsViews"); }

void ScriptedOperationUI::CreateProgress() {
  Record("CreateProgress");
  progressExists = true;
  progressVisible = false;
  cancelPressed_ = false;
  caption = "Backing up files...";
  rangeMin = 0;
  rangeMax = 100;
  position = 0;
  copiedBytes = 0;
}
void ScriptedOperationUI::SetCaption(const std::string& text) {
  Record("SetCaption " + text);
  caption = text;
}
void ScriptedOperationUI::SetVolumeText(const std::string& text) {
  Record("SetVolumeText " + text);
  volumeText = text;
}
void ScriptedOperationUI::SetPathText(const std::string& text) {
  Record("SetPathText " + text);
  pathText = text;
}
void ScriptedOperationUI::ShowFile(const std::string& path) {
  Record("ShowFile " + path);
  currentFile = path;
  shownFiles.push_back(path);
}
void ScriptedOperationUI::SetProgressRange(int minimum, int maximum) {
  Record("SetProgressRange " + std::to_string(minimum) + " " + std::to_string(maximum));
  rangeMin = minimum;
  rangeMax = maximum;
}
void ScriptedOperationUI::SetProgressPosition(int value) {
  Record("SetProgressPosition " + std::to_string(value));
  position = value;
}
void ScriptedOperationUI::StepProgress() {
  Record("StepProgress");
  position = std::min(position + 1, rangeMax);  // a bar stops at its maximum
}
void ScriptedOperationUI::AddCopiedBytes(uint64_t bytes) {
  Record("AddCopiedBytes " + std::to_string(bytes));
  copiedBytes += bytes;
}
void ScriptedOperationUI::ShowProgress() {
  Record("ShowProgress");
  progressVisible = true;
  animationPlaying = true;
}
void ScriptedOperationUI::HideProgress() {
  Record("HideProgress");
  progressVisible = false;
  animationPlaying = false;
}
void ScriptedOperationUI::FreeProgress() {
  Record("FreeProgress");
  progressExists = false;
  progressVisible = false;
  animationPlaying = false;
}
void ScriptedOperationUI::StopAnimation() {
  Record("StopAnimation");
  animationPlaying = false;
}
void ScriptedOperationUI::StartAnimation() {
  Record("StartAnimation");
  animationPlaying = progressVisible;
}
void ScriptedOperationUI::UseDeleteAnimation() {
  Record("UseDeleteAnimation");
  deleteAnimation = true;
}

bool ScriptedOperationUI::Cancelled() {
  if (!progressExists) return false;
  if (cancelAfter_ && static_cast<int>(shownFiles.size()) >= *cancelAfter_) cancelPressed_ = true;
  return cancelPressed_;
}

void ScriptedOperationUI::ProcessMessages() {
  Record("ProcessMessages");
  if (onProcessMessages) onProcessMessages();
}

int ScriptedOperationUI::Message(const std::string& text, const std::string& cap, uint32_t flags,
                                 MessageOwner owner) {
  Record("Message " + text);
  UiMessage m;
  m.text = text;
  m.caption = cap;
  m.flags = flags;
  m.owner = owner;
  if (onMessage) onMessage(m);
  if (!answers_.empty()) {
    m.answer = answers_.front();
    answers_.pop_front();
    m.scripted = true;
  } else {
    m.answer = CautiousAnswer(flags);
  }
  messages.push_back(m);
  return m.answer;
}

void ScriptedOperationUI::OpenLog(const std::string& logPath) {
  Record("OpenLog " + logPath);
  openedLogs.push_back(logPath);
}

std::optional<std::string> ScriptedOperationUI::AskRootPath(const std::string& folderName) {
  Record("AskRootPath " + folderName);
  if (rootPaths_.empty()) return std::nullopt;
  auto answer = rootPaths_.front();
  rootPaths_.pop_front();
  return answer;
}

size_t ScriptedOperationUI::Unscripted() const {
  return static_cast<size_t>(
      std::count_if(messages.begin(), messages.end(), [](const UiMessage& m) { return !m.scripted; }));
}

int ScriptedOperationUI::CountCalls(const std::string& prefix) const {
  return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) {
    return c.rfind(prefix, 0) == 0;
  }));
}

}  // namespace tw
