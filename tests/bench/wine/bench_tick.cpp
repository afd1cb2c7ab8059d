// Ticking a big folder in the Add page's tree, against a bare scan of the same folder in the
// same run. Runs under Wine on a display; tests/bench/tick.sh prepares the folder (200
// subfolders of 100 files) and runs it. Prints measurements only: never a pass or fail on time.
//
// Usage: bench_tick.exe FOLDER [ROUNDS]
// The tree is rooted at FOLDER's parent, with FOLDER and every subfolder of it expanded and
// FOLDER shown in the list. Each round times, in turning order:
//   scan  TWLNode::SelectAll of FOLDER in a fresh selection, with nothing listening
//   tick  the tree item of FOLDER set to checked through the page's handlers (busy dialog,
//         disabled window, counting, marks of the tree and the list, carrying up), as a click
// The tick is undone, untimed, between rounds. Prints each round and the best of each, and
// "RATIO tick/scan".
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "app/WLSelecting.h"
#include "app/WLSelectionEvents.h"
#include "app/WLViewPair.h"
#include "app/forms/Forms.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32FileSystem.h"

namespace {

using Clock = std::chrono::steady_clock;
using tw::shellviews::TFolderEnumerator;
using tw::shellviews::TNameSpaceEnumerator;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class TfTickForm : public tw::forms::TForm {
 public:
  bool Create() {
    if (!CreateForm(L"TidewellTickBench", "Tidewell tick", WS_OVERLAPPEDWINDOW, 20, 20, 960, 660,
                    nullptr, nullptr, nullptr))
      return false;
    // The views as the program's pages set them up, at the size the clicks expect.
    if (!Views.Create(Handle(), "NSE", "FE", true)) return false;
    MoveWindow(NSE.Handle(), 8, 8, 320, 580, TRUE);
    MoveWindow(FE.Handle(), 336, 8, 600, 580, TRUE);
    StatusBar = AddControl(Handle(), STATUSCLASSNAMEW, "StatusBar", "", WS_VISIBLE, 0, 0, 0, 0);
    int parts[] = {250, -1};
    SendMessageW(StatusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    ShowWindow(Handle(), SW_SHOW);
    UpdateWindow(Handle());
    return true;
  }
  tw::TViewPair Views;
  TNameSpaceEnumerator& NSE = Views.Tree;
  TFolderEnumerator& FE = Views.List;
  HWND StatusBar = nullptr;
};

void PumpFor(int ms) {
  auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end) {
    tw::forms::driver::Pump();
    Sleep(5);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_tick FOLDER [ROUNDS]\n");
    return 2;
  }
  std::string folder = tw::Narrow(argv[1]);
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  const int rounds = argc > 2 ? std::max(1, _wtoi(argv[2])) : 3;
  const std::string parent = folder.substr(0, folder.rfind('\\'));

  tw::Win32FileSystem fs;
  tw::TWizardState state(fs);
  state.Page = tw::pgAdd;
  state.WizardMode = tw::wmBackup;
  tw::TfWLSelecting busy;
  TfTickForm form;
  if (!form.Create()) return 1;
  busy.SetMainWindow(form.Handle());
  state.MainWindow = form.Handle();
  state.StatusBar = form.StatusBar;
  form.NSE.SetRootFolder(parent);
  form.NSE.SetRootedAt(tw::shellviews::raFileSystem);
  tw::TSelectionStatistics stats(state);
  stats.Install();
  tw::TSelectionEvents events(tw::TSelectionEvents::TPageKind::Add, state, form.NSE, form.FE);
  events.Attach();

  form.NSE.Expand(0);
  int item = form.NSE.FindPath(folder);
  if (item < 0) {
    std::fprintf(stderr, "%s is not below the tree's root\n", folder.c_str());
    return 1;
  }
  form.NSE.Expand(item);
  for (int child : form.NSE.ChildIndexes(item)) form.NSE.Expand(child);
  item = form.NSE.FindPath(folder);
  const size_t loaded = form.NSE.ChildIndexes(item).size();
  form.NSE.SelectPath(folder);
  PumpFor(700);  // the list follows the tree's selection

  auto scan = [&] {
    tw::TWLDesktopNode bare(fs);
    auto start = Clock::now();
    bare.AddPath(folder)->SelectAll();
    return Since(start);
  };
  auto tick = [&] {
    auto start = Clock::now();
    form.NSE.SetCheckState(form.NSE.FindPath(folder), 2);
    double seconds = Since(start);
    PumpFor(200);
    return seconds;
  };
  auto untick = [&] {
    form.NSE.SetCheckState(form.NSE.FindPath(folder), 3);
    PumpFor(200);
  };

  scan();  // the first listing of each folder warms Wine's caches for both
  double bestScan = 1e9, bestTick = 1e9;
  for (int r = 0; r < rounds; ++r) {
    double s, t;
    if (r % 2 == 0) {
      s = scan();
      t = tick();
    } else {
      t = tick();
      s = scan();
    }
    const int files = state.AddFileCount;
    untick();
    std::printf("ROUND %d scan %.3f tick %.3f files %d\n", r + 1, s, t, files);
    bestScan = std::min(bestScan, s);
    bestTick = std::min(bestTick, t);
  }
  std::printf("LOADED %zu subfolders in the tree\n", loaded);
  std::printf("BEST scan %.3f tick %.3f\n", bestScan, bestTick);
  std::printf("RATIO tick/scan %.2f\n", bestTick / bestScan);
  return 0;
}
