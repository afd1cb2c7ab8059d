// The first backup of a tree, against a plain CopyFileW loop over the same files in the same
// run. Runs under Wine; tests/bench/first-backup.sh prepares the tree, adds native `cp -a` and
// prints the ratios. Prints measurements only: never a pass or fail on time.
//
// Usage: bench_first_backup.exe copy|add|engine SOURCE DESTINATION
//   copy    the CopyFileW loop over SOURCE's files into DESTINATION (a fresh folder), laid out
//           as the add lays out a volume with separate folders
//   add     Tidewell's add of SOURCE into the volume DESTINATION, with the real dialogs
//   engine  the same add with nothing on screen
// Prints "TIME <seconds> FILES <n> BYTES <n>". bench_first_backup.exe --micro prints what the
// window side costs per call and per operation.
//
// bench_first_backup.exe steps SOURCE WORK ROUNDS copies SOURCE's files into folders below WORK
// step by step (CopyFileW; open, write, set time; the same through a temporary name; the
// atomic copy; the engine's add; the add with its dialogs), interleaved round by round, and
// prints each step's mean per file against CopyFileW. TW_STEPS_ONLY=<n> runs step n alone,
// for counting its system calls.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>
#include <optional>

#include "engine/cmdline.h"
#include "engine/operations.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32FileSystem.h"
#include "tests/gui/BackupHarness.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TTree {
  std::vector<std::wstring> folders;  // relative, parents first ("" is the root)
  std::vector<std::wstring> files;    // relative
  uint64_t bytes = 0;
};

void List(const std::wstring& root, const std::wstring& rel, TTree& tree) {
  tree.folders.push_back(rel);
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileExW((root + rel + L"\\*").c_str(), FindExInfoBasic, &fd,
                                 FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return;
  std::vector<std::wstring> subs;
  do {
    std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      subs.push_back(rel + L"\\" + name);
    } else {
      tree.files.push_back(rel + L"\\" + name);
      tree.bytes += (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    }
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  for (const auto& s : subs) List(root, s, tree);
}

// The floor: what copying the listed files costs with the system's own copy and no program
// around it (the listing is not timed, as the add's selection is built before it starts). The
// copies go where the add puts them ("From Drive C\<source path>"): under Wine a longer path
// costs every file look-up more, and the floor must do the same work.
double CopyFileLoop(const std::wstring& src, const std::wstring& volume, const TTree& tree) {
  auto start = Clock::now();
  std::wstring dst = volume;
  CreateDirectoryW(dst.c_str(), nullptr);
  std::wstring below = L"\\From Drive " + src.substr(0, 1) + src.substr(2);
  for (size_t at = 1; at <= below.size(); ++at) {
    if (at == below.size() || below[at] == L'\\')
      CreateDirectoryW((volume + below.substr(0, at)).c_str(), nullptr);
  }
  dst = volume + below;
  for (const auto& f : tree.folders)
    if (!f.empty()) CreateDirectoryW((dst + f).c_str(), nullptr);
  for (const auto& f : tree.files)
    if (!CopyFileW((src + f).c_str(), (dst + f).c_str(), FALSE))
      std::fprintf(stderr, "CopyFileW failed (%lu)\n", GetLastError());
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double EngineOnly(const std::string& src, const std::string& backup) {
  tw::Win32FileSystem fs;
  tw::TWLDesktopNode selection(fs);
  selection.AddPath(src)->SelectAll();
  tw::TVolumeRec volume;
  volume.Name = "Bench";
  volume.BackupPath = backup;
  volume.SeparateFolders = true;
  tw::TQuietOperationUI ui;
  tw::TAddOperation operation(fs, ui);
  auto start = Clock::now();
  operation.AddSelectionToVolume(volume, selection, 0);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct TAddTiming {
  double seconds = 0;
  size_t boxes = 0;
  bool errors = false;
};

TAddTiming TidewellAdd(const std::string& src, const std::string& backup) {
  tw::testing::TBackupHarness h;
  h.Boxes.Answers = {tw::mb::IdOk};
  h.ObserveWalk = false;
  h.Select(src);  // selecting is the user's part, done before Finish
  {
    // By the time the user starts a backup the program has had its windows on screen, which
    // loaded the controls and fonts; the stand-in main window has not, so one dialog is shown
    // and freed first.
    tw::TOperationWindowHooks hooks;
    hooks.MainWindow = h.Main.Handle();
    tw::TOperationWindowUI warm(hooks);
    warm.CreateProgress();
    warm.ShowProgress();
    warm.ProcessMessages();
    warm.HideProgress();
    warm.FreeProgress();
  }
  tw::TVolumeRec volume;
  volume.Name = "Bench";
  volume.BackupPath = backup;
  volume.SeparateFolders = true;
  auto start = Clock::now();
  h.Run(volume);
  TAddTiming t;
  t.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  t.boxes = h.Boxes.Boxes.size();
  t.errors = h.AddErrors;
  return t;
}

// The steps of one copy, each added to the one before, over the same files and interleaved
// round by round, so that the machine's drift falls on all of them alike.
using TCopyStep = bool (*)(const std::wstring& from, const std::wstring& to);

bool StepCopyFileW(const std::wstring& from, const std::wstring& to) {
  return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

bool ManualCopy(const std::wstring& from, const std::wstring& to, bool viaTemp, bool rename) {
  static char buf[1 << 20];
  HANDLE in = CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return false;
  FILE_BASIC_INFO basic;
  GetFileInformationByHandleEx(in, FileBasicInfo, &basic, sizeof basic);
  std::wstring target = viaTemp ? to.substr(0, to.rfind(L'\\')) + L"\\~tw-bench.tmp" : to;
  HANDLE out = CreateFileW(target.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                           viaTemp ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    CloseHandle(in);
    return false;
  }
  DWORD got = 0, wrote = 0;
  while (ReadFile(in, buf, sizeof buf, &got, nullptr) && got)
    WriteFile(out, buf, got, &wrote, nullptr);
  CloseHandle(in);
  FILE_BASIC_INFO set = {};
  set.LastWriteTime = basic.LastWriteTime;
  SetFileInformationByHandle(out, FileBasicInfo, &set, sizeof set);
  bool ok = true;
  if (viaTemp && rename) {
    std::wstring nt = L"\\??\\" + to;
    std::vector<unsigned char> info(offsetof(FILE_RENAME_INFO, FileName) +
                                    (nt.size() + 1) * sizeof(wchar_t));
    auto* r = reinterpret_cast<FILE_RENAME_INFO*>(info.data());
    r->FileNameLength = static_cast<DWORD>(nt.size() * sizeof(wchar_t));
    std::memcpy(r->FileName, nt.c_str(), (nt.size() + 1) * sizeof(wchar_t));
    ok = SetFileInformationByHandle(out, FileRenameInfo, r, static_cast<DWORD>(info.size()));
  } else if (viaTemp) {
    CloseHandle(out);
    return MoveFileExW(target.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  }
  CloseHandle(out);
  return ok;
}

bool StepDirect(const std::wstring& f, const std::wstring& t) { return ManualCopy(f, t, false, false); }
bool StepTempMove(const std::wstring& f, const std::wstring& t) { return ManualCopy(f, t, true, false); }
bool StepTempRename(const std::wstring& f, const std::wstring& t) { return ManualCopy(f, t, true, true); }

void Steps(const std::wstring& src, const std::wstring& work, int rounds) {
  TTree tree;
  List(src, L"", tree);
  struct TVariant {
    const char* name;
    TCopyStep step;  // null: the engine's own copy, or the whole add
    int engine;      // 1: the add with nothing on screen, 2: with its dialogs
    double best = 1e9, total = 0;
  } variants[] = {{"CopyFileW", StepCopyFileW, 0},
                  {"open, write, set time", StepDirect, 0},
                  {"+ temporary, MoveFileEx", StepTempMove, 0},
                  {"+ temporary, rename by handle", StepTempRename, 0},
                  {"CopyFileAtomic + settle", nullptr, 0},
                  {"engine add", nullptr, 1},
                  {"add with its dialogs", nullptr, 2}};
  const int n = static_cast<int>(std::size(variants));
  for (int r = 0; r < rounds; ++r) {
    for (int k = 0; k < n; ++k) {
      TVariant& v = variants[(k + r) % n];
      if (const char* only = getenv("TW_STEPS_ONLY"); only && atoi(only) != (k + r) % n) continue;
      // Each run writes to a folder of its own and nothing is deleted until the end: files
      // created just after many were deleted cost the Linux file system a search for inodes
      // that were not freed recently, which would fall on whichever run came next.
      std::wstring dst = work + L"\\run" + std::to_wstring(r * n + k);
      tw::testing::RemoveTree(tw::Narrow(dst));
      double seconds = 0;
      if (v.engine == 1) {
        seconds = EngineOnly(tw::Narrow(src), tw::Narrow(dst + L"\\"));
      } else if (v.engine == 2) {
        seconds = TidewellAdd(tw::Narrow(src), tw::Narrow(dst + L"\\")).seconds;
      } else {
        std::wstring below = L"\\From Drive " + src.substr(0, 1) + src.substr(2);
        for (size_t at = 0; at <= below.size(); ++at)
          if (at == below.size() || below[at] == L'\\')
            CreateDirectoryW((dst + below.substr(0, at)).c_str(), nullptr);
        const std::wstring to = dst + below;
        for (const auto& f : tree.folders)
          if (!f.empty()) CreateDirectoryW((to + f).c_str(), nullptr);
        tw::Win32FileSystem fs;
        auto start = Clock::now();
        for (const auto& f : tree.files) {
          bool ok = v.step ? v.step(src + f, to + f)
                           : fs.CopyFileAtomic(tw::Narrow(src + f), tw::Narrow(to + f)) == 0;
          if (!ok) std::fprintf(stderr, "%s failed on a file (%lu)\n", v.name, GetLastError());
        }
        if (!v.step) fs.SettleCopies();
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
      }
      std::fprintf(stderr, "round %d %-32s %7.3f s\n", r + 1, v.name, seconds);
      v.best = std::min(v.best, seconds);
      v.total += seconds;
    }
  }
  for (int i = 0; i < rounds * n; ++i)
    tw::testing::RemoveTree(tw::Narrow(work + L"\\run" + std::to_wstring(i)));
  std::printf("%zu files, %d rounds: best, mean, mean per file, mean against CopyFileW\n",
              tree.files.size(), rounds);
  for (const TVariant& v : variants)
    std::printf("%-32s %7.3f s %7.3f s %7.1f us %5.2fx\n", v.name, v.best, v.total / rounds,
                v.total / rounds / tree.files.size() * 1e6, v.total / variants[0].total);
}

}  // namespace

// Per-call costs of the window side, to see where an add's time beyond the engine goes.
void Micro() {
  tw::testing::TStandInMain main;
  tw::TOperationWindowHooks hooks;
  hooks.MainWindow = main.Handle();
  // What every operation pays once: the dialog's life, with the main window hidden as an
  // operation hides it.
  ShowWindow(main.Handle(), SW_HIDE);
  for (int i = 0; i < 3; ++i) {
    tw::TOperationWindowUI once(hooks);
    auto start = Clock::now();
    once.CreateProgress();
    once.ShowProgress();
    once.ProcessMessages();
    once.HideProgress();
    once.FreeProgress();
    std::printf("dialog created, shown, hidden and freed (%d) %6.1f ms\n", i + 1,
                std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  tw::TOperationWindowUI ui(hooks);
  ui.CreateProgress();
  ui.SetProgressRange(0, 100000);
  ui.ShowProgress();
  tw::TfWLProgress& dlg = *ui.Progress();
  auto time = [](const char* what, auto op) {
    auto start = Clock::now();
    for (int i = 0; i < 2000; ++i) op(i);
    double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / 2000;
    std::printf("%-40s %8.1f us per call\n", what, us);
  };
  time("ProcessMessages", [&](int) { ui.ProcessMessages(); });
  time("progress StepIt", [&](int) { dlg.StepIt(); });
  time("progress StepIt + ProcessMessages", [&](int) { dlg.StepIt(); ui.ProcessMessages(); });
  time("dialog ShowFile", [&](int i) {
    dlg.ShowFile("C:\\twbench\\src\\small\\folder012\\file" + std::to_string(i) + ".txt");
  });
  time("dialog ShowFile + ProcessMessages", [&](int i) {
    dlg.ShowFile("C:\\twbench\\src\\small\\folder012\\file" + std::to_string(i) + ".txt");
    ui.ProcessMessages();
  });
  time("ui ShowFile + StepProgress + ProcessMessages", [&](int i) {
    ui.ShowFile("C:\\twbench\\src\\small\\folder012\\file" + std::to_string(i) + ".txt");
    ui.StepProgress();
    ui.ProcessMessages();
  });
  ui.FreeProgress();
}

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wstring(argv[1]) == L"--micro") {
    Micro();
    return 0;
  }
  if (argc == 5 && std::wstring(argv[1]) == L"steps") {
    Steps(argv[2], argv[3], _wtoi(argv[4]));
    return 0;
  }
  if (argc != 4) {
    std::fprintf(stderr, "usage: bench_first_backup copy|add|engine SOURCE DESTINATION\n"
                         "       bench_first_backup --micro\n");
    return 2;
  }
  std::wstring mode = argv[1], src = argv[2], dst = argv[3];
  while (!src.empty() && src.back() == L'\\') src.pop_back();
  while (!dst.empty() && dst.back() == L'\\') dst.pop_back();
  TTree tree;
  List(src, L"", tree);
  double seconds = 0;
  if (mode == L"copy") {
    seconds = CopyFileLoop(src, dst, tree);
  } else if (mode == L"add") {
    TAddTiming a = TidewellAdd(tw::Narrow(src), tw::Narrow(dst + L"\\"));
    if (a.errors || a.boxes != 1) std::fprintf(stderr, "the add reported errors\n");
    seconds = a.seconds;
  } else if (mode == L"engine") {
    seconds = EngineOnly(tw::Narrow(src), tw::Narrow(dst + L"\\"));
  } else {
    std::fprintf(stderr, "unknown mode\n");
    return 2;
  }
  std::printf("TIME %.3f FILES %zu BYTES %llu\n", seconds, tree.files.size(),
              static_cast<unsigned long long>(tree.bytes));
  return 0;
}
