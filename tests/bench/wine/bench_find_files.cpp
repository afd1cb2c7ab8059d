// The find-files dialog on a big tree, against a plain FindFirstFileExW walk of the same tree in
// the same run (the floor). Runs under Wine on a display; tests/bench/find-files.sh makes the
// trees and runs it. Prints measurements and ratios only: never a pass or fail on time.
//
// Usage: bench_find_files.exe FOLDER [ROUNDS]
// Each round times:
//   floor    a recursive FindFirstFileExW (basic info, large fetch) walk counting the files
//   nomatch  Go to done for "*.nomatch"
//   all      Go to done for "*.*", every row listed (rows and the list's count are checked)
//   reply    the worst reply to a WM_NULL sent to the dialog every 20 ms from another thread
//            while "all" runs
//   stop     Stop (clicked once rows arrive) to GoBTN enabled again
//   add      Add of every row, checked, into an empty selection
//   select   TWLNode::SelectAll of FOLDER into an empty selection (the peer of add)
//   walk     the search walk alone for "*.nomatch", on this thread (what the dialog adds to it)
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "app/WLFindFiles.h"
#include "app/forms/Forms.h"
#include "platform/memory/ScriptedPrompts.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32FileSystem.h"

namespace {

using Clock = std::chrono::steady_clock;
double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

long long FloorWalk(const std::wstring& folder) {
  long long files = 0;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &fd,
                              FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) return 0;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L".."))
        files += FloorWalk(folder + L"\\" + fd.cFileName);
    } else {
      ++files;
    }
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return files;
}

struct THost : tw::IFindFilesHost {
  explicit THost(tw::IFileSystem& fs) : selection(fs) {}
  bool AddPageReady() override { return true; }
  tw::TWLDesktopNode& AddSelection() override { return selection; }
  void AddSelectionChanged() override {}
  tw::TWLDesktopNode selection;
};

void Wait(tw::TfWLFindFiles& find) {
  while (find.Searching()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    tw::forms::driver::Pump();
  }
}

void Go(HWND dialog, const std::string& masks, const std::string& folder) {
  tw::forms::SetWindowTextUtf8(tw::forms::FindControl(dialog, "NamedAsCB"), masks);
  tw::forms::SetWindowTextUtf8(tw::forms::FindControl(dialog, "SearchCB"), folder);
  tw::forms::driver::Click(dialog, "GoBTN");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_find_files FOLDER [ROUNDS]\n");
    return 2;
  }
  const std::wstring folderW = argv[1];
  const std::string folder = tw::Narrow(folderW);
  const int rounds = argc > 2 ? _wtoi(argv[2]) : 2;
  tw::Win32FileSystem fs;
  tw::ScriptedPrompts prompts;
  double best[8] = {1e9, 1e9, 1e9, 1e9, 1e9, 1e9, 1e9, 1e9};
  const char* names[8] = {"floor", "nomatch", "all", "reply", "stop", "add", "select", "walk"};
  long long files = 0;
  bool mismatch = false;
  for (int round = 0; round < rounds; ++round) {
    double t[8] = {};
    auto start = Clock::now();
    files = FloorWalk(folderW);
    t[0] = Since(start);
    {
      struct : tw::find::IFindSink {
        void Found(const std::string&, const tw::FindData&) override {}
      } sink;
      std::atomic<bool> stop{false};
      start = Clock::now();
      tw::find::SearchWalk(fs, folder, {{"*.nomatch"}, true, 0}, stop, sink);
      t[7] = Since(start);
    }

    THost host(fs);
    tw::TfWLFindFiles* find = tw::TfWLFindFiles::ShowFor({&fs, &prompts, &host, nullptr, nullptr});
    if (!find) return 1;
    HWND dialog = find->Handle();
    tw::forms::driver::Pump();

    start = Clock::now();
    Go(dialog, "*.nomatch", folder);
    Wait(*find);
    t[1] = Since(start);

    // The worst reply while every row comes in.
    std::atomic<bool> probing{true}, probeDone{false};
    std::atomic<long long> worstUs{0};
    std::thread probe([&] {
      while (probing) {
        auto sent = Clock::now();
        DWORD_PTR r;
        SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
        long long us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - sent).count();
        if (us > worstUs) worstUs = us;
        Sleep(20);
      }
      probeDone = true;
    });
    start = Clock::now();
    Go(dialog, "*.*", folder);
    Wait(*find);
    t[2] = Since(start);
    probing = false;
    // The probe may be waiting on a reply: answer it while it ends.
    while (!probeDone) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
      tw::forms::driver::Pump();
    }
    probe.join();
    t[3] = worstUs / 1e6;
    const int rows = find->RowCount();
    const int listed = ListView_GetItemCount(tw::forms::FindControl(dialog, "FilesLV"));
    if (rows != files || listed != files) {
      std::printf("MISMATCH rows %d listed %d files %lld\n", rows, listed, files);
      mismatch = true;
    }

    // Add of every row against SelectAll of the tree.
    tw::forms::driver::Click(dialog, "CheckSelectedBTN");
    start = Clock::now();
    tw::forms::driver::Click(dialog, "AddToBackupBTN");
    t[5] = Since(start);
    {
      tw::TWLDesktopNode selection(fs);
      start = Clock::now();
      selection.AddPath(folder)->SelectAll();
      t[6] = Since(start);
    }

    Go(dialog, "*.*", folder);
    while (find->Searching() && find->RowCount() == 0) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
      tw::forms::driver::Pump();
    }
    start = Clock::now();
    tw::forms::driver::Click(dialog, "StopBTN");
    Wait(*find);
    t[4] = Since(start);
    DestroyWindow(dialog);
    tw::forms::driver::Pump();

    std::printf("round %d:", round + 1);
    for (int i = 0; i < 8; ++i) {
      std::printf(" %s %.3f", names[i], t[i]);
      best[i] = std::min(best[i], t[i]);
    }
    std::printf(" s (files %lld)\n", files);
  }
  std::printf("FILES %lld\n", files);
  for (int i = 0; i < 8; ++i) std::printf("BEST %s %.3f s\n", names[i], best[i]);
  std::printf("RATIO nomatch/floor %.2f\n", best[1] / best[0]);
  std::printf("RATIO all/floor %.2f\n", best[2] / best[0]);
  std::printf("RATIO walk/floor %.2f\n", best[7] / best[0]);
  std::printf("REPLY worst %.0f ms\n", best[3] * 1000);
  std::printf("STOP %.0f ms\n", best[4] * 1000);
  std::printf("RATIO add/select %.2f\n", best[5] / best[6]);
  return mismatch ? 1 : 0;
}
