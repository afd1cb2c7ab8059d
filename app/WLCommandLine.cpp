#include "app/WLCommandLine.h"

#include <windows.h>

#include <memory>

#include "app/OperationWindowUI.h"
#include "engine/cmdline.h"
#include "engine/overdue.h"
#include "engine/settings.h"
#include "engine/volumeidentity.h"
#include "engine/volumes.h"
#include "platform/win32/Utf.h"
#include "platform/win32/NoDiskPrompts.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32NamedMutex.h"
#include "platform/win32/Win32Prompts.h"
#include "platform/win32/Win32Registry.h"

namespace tw {

namespace {
// The console the program was started from, or the handle a parent redirected output to.
class TConsoleOut {
 public:
  TConsoleOut() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out && out != INVALID_HANDLE_VALUE) {
      out_ = out;
      // A console handed down as standard output takes text, not the program's UTF-8 bytes.
      DWORD mode = 0;
      console_ = GetConsoleMode(out, &mode) != FALSE;
    } else if (AttachConsole(ATTACH_PARENT_PROCESS)) {
      own_ = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
      if (own_ != INVALID_HANDLE_VALUE) {
        out_ = own_;
        console_ = true;
      }
    }
  }
  ~TConsoleOut() {
    if (own_ != INVALID_HANDLE_VALUE) CloseHandle(own_);
  }
  void Line(const std::string& text) {
    if (!out_) return;
    DWORD written = 0;
    if (console_) {
      const std::wstring w = Widen(text + "\r\n");
      WriteConsoleW(out_, w.data(), static_cast<DWORD>(w.size()), &written, nullptr);
    } else {
      const std::string bytes = text + "\r\n";
      WriteFile(out_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
  }

 private:
  HANDLE out_ = nullptr;
  HANDLE own_ = INVALID_HANDLE_VALUE;
  bool console_ = false;
};
}  // namespace

int TCommandLineRun::Run(const std::vector<std::string>& args, const std::string& appDir) {
  const TCommandLine cmd = ParseCommandLine(args);
  TConsoleOut console;

  Win32FileSystem fs;
  Win32Clock clock;
  Win32Prompts prompts;  // never asked: the list is only read
  Win32NamedMutex selectionLock(kSelectionFilesMutex);

  TVolumeStore store(fs, prompts, appDir);
  if (cmd.Error.empty()) store.Load(std::string());

  // A drive without its disk must not ask for one: the volume is reported missing instead.
  TNoDiskPrompts noDiskPrompts;

  TCommandLineRefresh run(
      fs, clock, selectionLock,
      [](const std::string& name) { return std::make_unique<Win32NamedMutex>(name); }, appDir);
  run.Console = [&console](const std::string& line) { console.Line(line); };
  Win32Registry registry;
  TRefreshHealthStore health(registry, WLRegStrings::ProductKey);
  run.Health = &health;
  TVolumeIdStore ids(registry, WLRegStrings::ProductKey);
  run.VolumeIds = &ids;

  int code;
  if (cmd.Quiet) {
    TQuietOperationUI quiet;
    code = run.Run(cmd, store.VolumeList, store.KeepAsideOnSave(), quiet);
  } else {
    // The progress dialog and the questions, with no main window behind them.
    TOperationWindowUI ui{TOperationWindowHooks{}};
    code = run.Run(cmd, store.VolumeList, store.KeepAsideOnSave(), ui);
  }
  return code;
}

}  // namespace tw
