// Program entry: the platform objects, the main window and the message loop.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include "app/WLCommandLine.h"
#include "app/WLFindFiles.h"
#include "app/WLMain.h"
#include "app/WLSelecting.h"
#include "app/WLSingleInstance.h"
#include "app/res/resource.h"
#include "engine/cmdline.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Prompts.h"
#include "platform/win32/Win32Registry.h"

namespace {
std::string ExePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return tw::Narrow(path);
    }
    path.resize(path.size() * 2);
  }
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}
}  // namespace

std::vector<std::string> Arguments() {
  std::vector<std::string> args;
  int argc = 0;
  if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc)) {
    for (int i = 1; i < argc; ++i) args.push_back(tw::Narrow(argv[i]));
    LocalFree(argv);
  }
  return args;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // A refresh for a script runs without the window, so the single-instance rule (the
  // window's) does not apply: it neither hands itself to a running copy nor blocks one.
  const std::vector<std::string> args = Arguments();
  if (tw::IsCommandLineRun(args)) {
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    return tw::TCommandLineRun::Run(args, FolderOf(ExePath()));
  }
  // Before anything else. A second copy brings the running one forward and ends at once: its
  // start-up check would refresh the same volumes, and its exit would write over the settings.
  tw::TPreviousInstance previous(tw::DefaultApplicationTitle(tw::Widen(ExePath())));
  if (previous.Exists()) {
    tw::TJustOne32(tw::Widen(tw::kAppTitle));
    return 0;
  }
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  OleInitialize(nullptr);

  tw::Win32FileSystem fs;
  tw::Win32Registry registry;
  tw::Win32Prompts prompts;

  tw::TMainEnv env;
  env.Fs = &fs;
  env.Registry = &registry;
  env.Prompts = &prompts;
  env.ExePath = ExePath();
  env.AppDir = FolderOf(env.ExePath);
  env.Args = args;

  // The busy dialog lives for the whole run and exists before the main window.
  tw::TfWLSelecting selecting;
  tw::TfWLMain main(env);
  if (!main.Create()) {
    MessageBoxW(nullptr, L"The main window could not be created.", L"Tidewell", MB_ICONERROR);
    return 1;
  }
  selecting.SetMainWindow(main.Handle());
  prompts.SetOwner(main.Handle());

  HACCEL accel = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINACCEL));
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    HWND form = main.Handle();
    // Keys in the find-files dialog work that dialog's controls.
    HWND find = tw::fWLFindFiles ? tw::fWLFindFiles->Handle() : nullptr;
    if (find && msg.hwnd && GetAncestor(msg.hwnd, GA_ROOT) == find) form = find;
    if (form && form == main.Handle() && TranslateAcceleratorW(form, accel, &msg)) continue;
    // F1 there is that dialog's help.
    if (form && form == find && msg.message == WM_KEYDOWN && msg.wParam == VK_F1) {
      SendMessageW(find, WM_HELP, 0, 0);
      continue;
    }
    if (form && tw::forms::HandleEnterKey(form, msg)) continue;
    if (form && IsDialogMessageW(form, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  OleUninitialize();
  return static_cast<int>(msg.wParam);
}
