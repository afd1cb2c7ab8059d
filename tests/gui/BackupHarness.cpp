#include "tests/gui/BackupHarness.h"

#include <commctrl.h>

#include <sstream>

#include "engine/oplog.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32NamedMutex.h"

namespace tw::testing {

namespace {
TBackupHarness* g_running = nullptr;

std::wstring W(const std::string& s) { return Widen(s); }
}  // namespace

int TScriptedBoxes::Show(HWND owner, const std::string& text, const std::string& caption,
                         uint32_t flags) {
  TBox box;
  box.ownerName = owner ? forms::ControlName(owner) : std::string();
  box.text = text;
  box.caption = caption;
  box.flags = flags;
  box.progressVisible = fWLProgress && IsWindowVisible(fWLProgress->Handle());
  box.answer = Answers.empty() ? 0 : Answers.front();
  if (!Answers.empty()) Answers.pop_front();
  Boxes.push_back(box);
  return box.answer;
}

TStandInMain::TStandInMain() {
  CreateForm(L"TwStandInMain", "Tidewell", WS_OVERLAPPEDWINDOW, 120, 90, 700, 560, nullptr,
             nullptr, nullptr);
  forms::SetControlName(Handle(), "fWLMain");
  ShowWindow(Handle(), SW_SHOW);
  UpdateWindow(Handle());
}

// The window side the program uses, watched: after each file's step, when the operation lets
// messages run, the test looks at the screen and may press Cancel on the real dialog.
class TBackupHarness::TObservedUI : public TOperationWindowUI {
 public:
  TObservedUI(TOperationWindowHooks hooks, TBackupHarness& h)
      : TOperationWindowUI(std::move(hooks)), h_(h) {}
  void StepProgress() override {
    TOperationWindowUI::StepProgress();
    ++steps_;
    stepped_ = true;
  }
  void ProcessMessages() override {
    TOperationWindowUI::ProcessMessages();
    if (stepped_) {
      stepped_ = false;
      h_.AfterStep(steps_);
    }
  }

 private:
  TBackupHarness& h_;
  int steps_ = 0;
  bool stepped_ = false;
};

TBackupHarness::TBackupHarness() = default;

TBackupHarness::~TBackupHarness() {
  if (g_running == this) g_running = nullptr;
}

bool TBackupHarness::Select(const std::string& path) {
  FindData info;
  if (Fs.Stat(path, info) != winerr::Success) return false;
  if (info.IsDirectory()) {
    TWLNode* node = Selection.AddPath(path);
    return node && node->SelectAll();
  }
  size_t slash = path.find_last_of('\\');
  if (slash == std::string::npos) return false;
  TWLNode* node = Selection.AddPath(path.substr(0, slash));
  return node && node->AddFile(path.substr(slash + 1), static_cast<int64_t>(info.size)) >= 0;
}

int TBackupHarness::SelectedFileCount() const {
  int count = 0;
  WalkSelection(Selection, nullptr, [&](const TWLNode&, int) {
    ++count;
    return true;
  });
  return count;
}

void TBackupHarness::AfterStep(int steps) {
  if (!ObserveWalk) return;
  TWalkView view;
  view.filesStepped = steps;
  view.mainVisible = IsWindowVisible(Main.Handle()) != 0;
  view.mainEnabled = IsWindowEnabled(Main.Handle()) != 0;
  view.refreshTimerRunning = RefreshTimerRunning;
  if (fWLProgress) {
    HWND dlg = fWLProgress->Handle();
    view.progressVisible = IsWindowVisible(dlg) != 0;
    view.progressOwnButton = (GetWindowLongPtrW(dlg, GWL_EXSTYLE) & WS_EX_APPWINDOW) != 0;
    view.fileLabel = forms::driver::Text(dlg, "stName");
    view.volumeLabel = forms::driver::Text(dlg, "Volume");
    view.pathLabel = forms::driver::Text(dlg, "Path");
    view.caption = forms::WindowText(dlg);
  }
  Views.push_back(view);
  if (cancelAfter_ && steps == *cancelAfter_ && fWLProgress)
    CancelPressed = forms::driver::Click(fWLProgress->Handle(), "BitBtn1");
}

void CALLBACK TBackupHarness::CloseBoxTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (!g_running) return;
  struct Found {
    HWND box = nullptr;
  } found;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM lp) -> BOOL {
        wchar_t cls[16] = {};
        GetClassNameW(hwnd, cls, 16);
        if (wcscmp(cls, L"#32770") == 0 && IsWindowVisible(hwnd)) {
          reinterpret_cast<Found*>(lp)->box = hwnd;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  if (!found.box) return;
  TRealBox seen;
  seen.caption = forms::WindowText(found.box);
  seen.text = forms::WindowText(GetDlgItem(found.box, 0xFFFF));  // the message box's text
  g_running->RealBoxes.push_back(seen);
  for (int id : {IDOK, IDYES, IDNO, IDCANCEL}) {
    if (HWND button = GetDlgItem(found.box, id)) {
      SendMessageW(button, BM_CLICK, 0, 0);
      return;
    }
  }
}

TAddResult TBackupHarness::Run(const TVolumeRec& volume) {
  TAddResult result = TAddResult::Stopped;
  RunOperation([&](TOperationWindowUI& ui) {
    TAddOperation operation(Fs, ui);
    result = operation.AddSelectionToVolume(volume, Selection, SelectedFileCount());
    AddErrors = operation.AddErrors;
  });
  return result;
}

TAddResult TBackupHarness::RefreshFromFile(const TVolumeRec& volume, const std::string& file) {
  TAddResult result = TAddResult::Stopped;
  RunOperation([&](TOperationWindowUI& ui) {
    TWLDesktopNode selection(Fs);
    Win32NamedMutex lock(kSelectionFilesMutex);
    result = RefreshFromSelectionFile(Fs, ui, lock, volume, selection, file).Result;
  });
  return result;
}

TRefreshResult TBackupHarness::RefreshContents(const TVolumeRec& volume, int* filesChanged) {
  TRefreshResult result = TRefreshResult::Stopped;
  RunOperation([&](TOperationWindowUI& ui) {
    TWLDesktopNode contents(Fs);
    SelectWholeVolume(contents, volume);
    TContentsRefreshOperation operation(Fs, ui);
    result = operation.RefreshVolumeContents(volume, contents, CountSelectedFiles(contents));
    if (filesChanged) *filesChanged = operation.FilesChanged;
  });
  return result;
}

TRestoreResult TBackupHarness::RestoreAll(const TVolumeRec& volume,
                                          std::optional<std::string> chosen) {
  TRestoreResult result = TRestoreResult::Stopped;
  RunOperation([&](TOperationWindowUI& ui) {
    TWLDesktopNode contents(Fs);
    SelectWholeVolume(contents, volume);
    TRestoreOptions options;
    options.ChosenLocation = std::move(chosen);
    TRestoreOperation operation(Fs, ui);
    result = operation.RestoreSelection(volume, contents, std::move(options));
  });
  return result;
}

TDeleteResult TBackupHarness::DeleteAll(const TVolumeRec& volume) {
  TDeleteResult result{};
  RunOperation([&](TOperationWindowUI& ui) {
    TWLDesktopNode contents(Fs);
    SelectWholeVolume(contents, volume);
    TDeleteOperation operation(Fs, ui);
    result = operation.DeleteSelectionFromVolume(volume, contents, CountSelectedFiles(contents),
                                                 true);
  });
  return result;
}

void TBackupHarness::RunOperation(const std::function<void(TOperationWindowUI&)>& body) {
  TOperationWindowHooks hooks;
  hooks.MainWindow = Main.Handle();
  hooks.StopRefreshTimer = [this] {
    Events.push_back("StopRefreshTimer");
    RefreshTimerRunning = false;
  };
  hooks.StartRefreshTimer = [this] {
    Events.push_back("StartRefreshTimer");
    RefreshTimerRunning = true;
  };
  hooks.RefreshContentsViews = [this] { Events.push_back("RefreshContentsViews"); };
  hooks.MessageBoxes = RealMessageBoxes ? nullptr : &Boxes;
  hooks.OpenLog = [this](const std::string& path) { OpenedLogs.push_back(path); };

  TObservedUI ui(hooks, *this);
  g_running = this;
  UINT_PTR closer = RealMessageBoxes ? SetTimer(nullptr, 0, 200, CloseBoxTimer) : 0;
  body(ui);
  if (closer) KillTimer(nullptr, closer);
  g_running = nullptr;
  forms::driver::Pump();
  // The caller of the operation shows the main window again.
  ShowWindow(Main.Handle(), SW_SHOW);
}

std::string TBackupHarness::LogText() {
  std::string data;
  Fs.ReadAll(LogFilePath(Fs), data);
  return data;
}

std::vector<std::string> TBackupHarness::LogLines() {
  std::vector<std::string> lines;
  std::string text = LogText();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// ---- Files ----

TTempTree::TTempTree(const std::string& tag) {
  static int counter = 0;
  wchar_t temp[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  path_ = Narrow(std::wstring(temp, n));
  if (path_.empty() || path_.back() != '\\') path_ += '\\';
  path_ += "tw-" + tag + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++counter) + "\\";
  RemoveTree(path_);
  CreateDirectoryW(W(path_).c_str(), nullptr);
}

TTempTree::~TTempTree() { RemoveTree(path_); }

std::string TTempTree::Dir(const std::string& relative) {
  std::string full = path_;
  std::stringstream parts(relative);
  std::string part;
  while (std::getline(parts, part, '\\')) {
    if (part.empty()) continue;
    full += part + "\\";
    CreateDirectoryW(W(full).c_str(), nullptr);
  }
  return full.substr(0, full.size() - 1);
}

std::string TTempTree::File(const std::string& relative, const std::string& data) {
  size_t slash = relative.find_last_of('\\');
  if (slash != std::string::npos) Dir(relative.substr(0, slash));
  std::string full = path_ + relative;
  HANDLE h = CreateFileW(W(full).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    DWORD wrote = 0;
    WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &wrote, nullptr);
    CloseHandle(h);
  }
  return full;
}

bool FileExists(const std::string& path) {
  DWORD a = GetFileAttributesW(W(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

DWORD Attributes(const std::string& path) { return GetFileAttributesW(W(path).c_str()); }

std::string ReadFileText(const std::string& path) {
  std::string data;
  Win32FileSystem fs;
  fs.ReadAll(path, data);
  return data;
}

void SetLastWrite(const std::string& path, uint64_t fileTime) {
  HANDLE h = CreateFileW(W(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  FILETIME t{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
  SetFileTime(h, nullptr, nullptr, &t);
  CloseHandle(h);
}

void RemoveTree(const std::string& path) {
  std::wstring folder = W(path);
  if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring full = folder + L"\\" + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(Narrow(full));
      } else {
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(full.c_str());
      }
    } while (FindNextFileW(find, &fd));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace tw::testing
