#include "app/OperationWindowUI.h"

#include <shellapi.h>

#include "app/WLSelectionEvents.h"
#include "platform/Prompts.h"
#include "platform/win32/Utf.h"

namespace tw {

int TMessageBoxes::Show(HWND owner, const std::string& text, const std::string& caption,
                        uint32_t flags) {
  return MessageBoxW(owner && IsWindow(owner) ? owner : nullptr, Widen(text).c_str(),
                     Widen(caption).c_str(), flags);
}

TOperationWindowUI::TOperationWindowUI(TOperationWindowHooks hooks) : hooks_(std::move(hooks)) {}

TOperationWindowUI::~TOperationWindowUI() { FreeProgress(); }

HWND TOperationWindowUI::MainWindow() const {
  return hooks_.MainWindow && IsWindow(hooks_.MainWindow) ? hooks_.MainWindow : nullptr;
}

void TOperationWindowUI::StopRefreshTimer() {
  if (hooks_.StopRefreshTimer) hooks_.StopRefreshTimer();
}
void TOperationWindowUI::StartRefreshTimer() {
  if (hooks_.StartRefreshTimer) hooks_.StartRefreshTimer();
}
void TOperationWindowUI::SetMainWindowEnabled(bool enabled) {
  if (HWND main = MainWindow()) EnableWindow(main, enabled ? TRUE : FALSE);
}
void TOperationWindowUI::HideMainWindow() {
  if (HWND main = MainWindow()) ShowWindow(main, SW_HIDE);
}
void TOperationWindowUI::ShowMainWindow() {
  if (HWND main = MainWindow()) {
    ShowWindow(main, SW_SHOW);
    SetForegroundWindow(main);
  }
}
void TOperationWindowUI::RefreshContentsViews() {
  if (hooks_.RefreshContentsViews) hooks_.RefreshContentsViews();
}

void TOperationWindowUI::CreateProgress() {
  FreeProgress();
  auto dialog = std::make_unique<TfWLProgress>(MainWindow());
  if (!dialog->Valid()) return;  // the operation runs without a dialog: nothing to cancel
  progress_ = std::move(dialog);
  fWLProgress = progress_.get();
  fileDirty_ = positionDirty_ = false;
  lastRepaint_ = lastShowFile_ = lastPump_ = 0;
  position_ = progress_->Position();
  meter_.Start();
}

void TOperationWindowUI::SetCaption(const std::string& caption) {
  if (progress_) progress_->SetCaption(caption);
}
void TOperationWindowUI::SetVolumeText(const std::string& volumeName) {
  if (progress_) progress_->SetVolumeText(volumeName);
}
void TOperationWindowUI::SetPathText(const std::string& backupPath) {
  if (progress_) progress_->SetPathText(backupPath);
}

void TOperationWindowUI::Repaint(bool force) {
  if (!progress_ || (!fileDirty_ && !positionDirty_)) return;
  DWORD now = GetTickCount();
  if (!force && now - lastRepaint_ < kRepaintIntervalMs) return;
  if (fileDirty_) progress_->ShowFile(pendingFile_);
  if (positionDirty_) {
    progress_->SetPosition(position_);
    progress_->SetProgressLine(meter_.Line(WholeNumberText));
  }
  fileDirty_ = positionDirty_ = false;
  lastRepaint_ = now;
}

void TOperationWindowUI::ShowFile(const std::string& path) {
  if (!progress_) return;
  DWORD now = GetTickCount();
  bool afterSlowFile = now - lastShowFile_ >= kRepaintIntervalMs;
  lastShowFile_ = now;
  pendingFile_ = path;
  fileDirty_ = true;
  Repaint(afterSlowFile);
}

void TOperationWindowUI::SetProgressRange(int minimum, int maximum) {
  if (!progress_) return;
  Repaint(true);
  progress_->SetRange(minimum, maximum);
  position_ = progress_->Position();
  meter_.SetRange(minimum, maximum);
  meter_.SetPosition(position_);
}
void TOperationWindowUI::SetProgressPosition(int position) {
  if (!progress_) return;
  position_ = position;
  meter_.SetPosition(position);
  positionDirty_ = true;
  Repaint(true);
}
void TOperationWindowUI::StepProgress() {
  if (!progress_) return;
  ++position_;
  meter_.Step();
  positionDirty_ = true;
  Repaint(false);
}
void TOperationWindowUI::AddCopiedBytes(uint64_t bytes) {
  if (!progress_) return;
  meter_.AddBytes(bytes);
  positionDirty_ = true;  // shown with the bar's next repaint, the last one before the end too
}
void TOperationWindowUI::ShowProgress() {
  if (progress_) progress_->Show();
}
void TOperationWindowUI::HideProgress() {
  if (!progress_) return;
  Repaint(true);
  progress_->Hide();
}
void TOperationWindowUI::FreeProgress() {
  progress_.reset();  // the dialog empties fWLProgress itself
  fileDirty_ = positionDirty_ = false;
}
void TOperationWindowUI::StopAnimation() {
  if (progress_) progress_->StopAnimation();
}
void TOperationWindowUI::StartAnimation() {
  if (progress_) progress_->StartAnimation();
}
void TOperationWindowUI::UseDeleteAnimation() {
  meter_.CountBytes(false);  // a delete copies nothing
  if (progress_) progress_->UseDeleteAnimation();
}
bool TOperationWindowUI::Cancelled() { return progress_ && progress_->Cancelled; }

void TOperationWindowUI::ProcessMessages() {
  Repaint(false);
  DWORD now = GetTickCount();
  if (now - lastPump_ < kPumpIntervalMs) return;
  lastPump_ = now;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Leave the quit for the program's own loop once the operation is over.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (progress_ && progress_->Handle() && IsDialogMessageW(progress_->Handle(), &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

int TOperationWindowUI::Message(const std::string& text, const std::string& caption,
                                uint32_t flags, MessageOwner owner) {
  HWND window = owner == MessageOwner::Progress ? ActiveOwner() : MainWindow();
  IMessageBoxes& boxes = hooks_.MessageBoxes ? *hooks_.MessageBoxes : realBoxes_;
  meter_.Pause();
  int answer = boxes.Show(window, text, caption, flags);
  meter_.Resume();
  return answer ? answer : CautiousAnswer(flags);
}

HWND TOperationWindowUI::ActiveOwner() const {
  if (progress_ && IsWindowVisible(progress_->Handle())) return progress_->Handle();
  return MainWindow();
}

IRootPathPrompt& TOperationWindowUI::RootPathPrompt() { return rootPrompt_; }

std::optional<std::string> TOperationWindowUI::TRootPrompt::AskRootPath(const std::string& folderName) {
  HWND owner = ui_.ActiveOwner();
  if (!ui_.rootPath_) ui_.rootPath_ = std::make_unique<TfWLRootPath>(owner);
  if (!ui_.rootPath_->Valid()) return std::nullopt;
  ui_.rootPath_->SetOwner(owner);
  ui_.meter_.Pause();
  auto answer = ui_.rootPath_->AskRootPath(folderName);
  ui_.meter_.Resume();
  return answer;
}

bool TOperationWindowUI::OpenInNotepad(HWND owner, const std::string& path) {
  // The path is quoted: a temporary folder with blanks must reach Notepad as one argument.
  std::wstring parameter = L"\"" + Widen(path) + L"\"";
  auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(owner, L"open", L"notepad.exe", parameter.c_str(), nullptr, SW_SHOWNORMAL));
  return result > 32;
}

void TOperationWindowUI::OpenLog(const std::string& logPath) {
  if (hooks_.OpenLog) {
    hooks_.OpenLog(logPath);
    return;
  }
  OpenInNotepad(MainWindow(), logPath);
}

}  // namespace tw
