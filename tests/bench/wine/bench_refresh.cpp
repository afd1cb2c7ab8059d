// The refresh of a backed-up tree, against a plain Win32 probe that lists the original and the
// copies folder by folder and compares them in memory, the least any refresh has to do. Runs
// under Wine; tests/bench/refresh.sh prepares the tree, adds native `rsync -a` and prints the
// ratios. Prints measurements only: never a pass or fail on time.
//
// Usage: bench_refresh.exe add|refresh|probe SOURCE BACKUP
//   add      the first backup of SOURCE into the volume BACKUP (separate folders)
//   refresh  the tree selected whole, then the add in refresh mode
//   probe    lists SOURCE and its copies in BACKUP and compares names, sizes and times
//   wizard   the wizard's refresh from the saved selection (BACKUP's parent + "Bench.TWS", made
//            on first use with SOURCE selected whole), which writes the selection back
//   startup  the start-up check's refresh of a volume with the same saved selection
//   volumes  writes VOLUMES.TWB beside the saved selection, naming this one volume, so that
//            Tidewell.exe copied there refreshes it with /REFRESH
// Prints "TIME <s> ..." with the counts of the run.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/layout.h"
#include "engine/operations.h"
#include "engine/scheduler.h"
#include "platform/memory/ScriptedOperationUI.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32NamedMutex.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

tw::TVolumeRec Volume(const std::string& backup) {
  tw::TVolumeRec volume;
  volume.Name = "Bench";
  volume.BackupPath = backup;
  volume.SeparateFolders = true;
  return volume;
}

struct TEntry {
  std::wstring name;
  uint64_t size;
  uint64_t time;
  bool folder;
};

void ListFolder(const std::wstring& folder, std::vector<TEntry>& out) {
  out.clear();
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &fd,
                                 FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L"..")) continue;
    out.push_back({fd.cFileName,
                   (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow,
                   (static_cast<uint64_t>(fd.ftLastWriteTime.dwHighDateTime) << 32) |
                       fd.ftLastWriteTime.dwLowDateTime,
                   (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  // Sorted so that the copies can be looked up by binary search, as the engine does.
  std::sort(out.begin(), out.end(), [](const TEntry& a, const TEntry& b) {
    return _wcsicmp(a.name.c_str(), b.name.c_str()) < 0;
  });
}

struct TProbe {
  size_t files = 0, different = 0;
};

// The floor: each folder listed once on each side, every original looked up among the copies.
void Probe(const std::wstring& src, const std::wstring& copy, TProbe& p) {
  std::vector<TEntry> originals, copies;
  ListFolder(src, originals);
  ListFolder(copy, copies);
  std::vector<std::wstring> subs;
  for (const auto& e : originals) {
    if (e.folder) {
      subs.push_back(e.name);
      continue;
    }
    ++p.files;
    auto it = std::lower_bound(copies.begin(), copies.end(), e, [](const TEntry& a, const TEntry& b) {
      return _wcsicmp(a.name.c_str(), b.name.c_str()) < 0;
    });
    if (it == copies.end() || _wcsicmp(it->name.c_str(), e.name.c_str()) || it->folder ||
        it->size != e.size || it->time != e.time)
      ++p.different;
  }
  for (const auto& s : subs) Probe(src + L"\\" + s, copy + L"\\" + s, p);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: bench_refresh add|refresh|probe SOURCE BACKUP\n");
    return 2;
  }
  std::wstring mode = argv[1], src = argv[2], dst = argv[3];
  while (!src.empty() && src.back() == L'\\') src.pop_back();
  while (!dst.empty() && dst.back() == L'\\') dst.pop_back();
  const std::string source = tw::Narrow(src);
  const tw::TVolumeRec volume = Volume(tw::Narrow(dst + L"\\"));

  if (mode == L"probe") {
    std::string copyRoot = tw::MapToVolume(source, volume);
    while (!copyRoot.empty() && copyRoot.back() == '\\') copyRoot.pop_back();
    TProbe p;
    auto start = Clock::now();
    Probe(src, tw::Widen(copyRoot), p);
    double seconds = Since(start);
    std::printf("TIME %.3f FILES %zu DIFFERENT %zu\n", seconds, p.files, p.different);
    return 0;
  }
  if (mode == L"volumes") {
    tw::Win32FileSystem fs;
    const std::string appDir = tw::Narrow(dst.substr(0, dst.find_last_of(L'\\') + 1));
    tw::TValueWriter writer;
    tw::WriteVolumeRec(writer, volume);
    return fs.WriteAtomic(appDir + tw::kVolumesFileName, writer.Data()) == tw::winerr::Success ? 0
                                                                                               : 1;
  }
  if (mode == L"wizard" || mode == L"startup") {
    tw::Win32FileSystem fs;
    tw::Win32NamedMutex lock(tw::kSelectionFilesMutex);
    const std::string appDir = tw::Narrow(dst.substr(0, dst.find_last_of(L'\\') + 1));
    const std::string tws = tw::VolumeSelectionFile(appDir, volume);
    tw::FindData info;
    if (fs.Stat(tws, info) != tw::winerr::Success)
      fs.WriteAtomic(tws, "[" + source + "]\r\n**ALL**=#\r\n");
    tw::ScriptedOperationUI ui;
    int checked = 0, changed = 0;
    bool clean = false;
    auto start = Clock::now();
    if (mode == L"wizard") {
      tw::TWLDesktopNode selection(fs);
      tw::TSelectionRefresh r = tw::RefreshFromSelectionFile(fs, ui, lock, volume, selection, tws);
      clean = r.Result == tw::TAddResult::Finished && !r.LoadError && !r.SaveError;
      // The counts are in the completion message only: read them back from it.
      if (!ui.messages.empty())
        std::sscanf(ui.messages.back().text.c_str(), "%*[^.]. %d of %d", &changed, &checked);
    } else {
      tw::Win32Clock clock;
      tw::TVolumeList volumes;
      volumes.push_back(std::make_unique<tw::TVolumeRec>(volume));
      volumes.back()->AutoRefresh = true;
      tw::TRefreshScheduler scheduler(fs, clock, lock, appDir);
      scheduler.RefreshTimerTimer(volumes, tw::TRefreshCheck::StartUp, ui);
      if (scheduler.LastCheck.size() == 1) {
        const auto& o = scheduler.LastCheck[0];
        clean = o.End == tw::TAutoRefreshEnd::Refreshed && !o.Errors;
        checked = o.FilesChecked;
        changed = o.FilesChanged;
      }
    }
    const double seconds = Since(start);
    if (!clean) {
      std::fprintf(stderr, "the %s refresh did not finish cleanly\n", tw::Narrow(mode).c_str());
      for (const auto& m : ui.messages) std::fprintf(stderr, "  message: %s\n", m.text.c_str());
    }
    std::printf("TIME %.3f CHECKED %d CHANGED %d\n", seconds, checked, changed);
    return clean ? 0 : 1;
  }
  if (mode != L"add" && mode != L"refresh") {
    std::fprintf(stderr, "unknown mode\n");
    return 2;
  }

  tw::Win32FileSystem fs;
  // Selecting is part of a refresh (the saved selection's whole folders are scanned anew), so
  // it is timed on its own and counted in the total.
  auto start = Clock::now();
  tw::TWLDesktopNode selection(fs);
  const uint64_t beforeScan = selection.Environment().listings;
  selection.AddPath(source)->SelectAll();
  const int count = tw::CountSelectedFiles(selection);
  const double selectSeconds = Since(start);

  tw::ScriptedOperationUI ui;
  tw::TAddOperation operation(fs, ui);
  operation.RefreshMode = tw::IsRefreshMode(mode == L"refresh" ? 4 : 1, false);
  operation.FreshListingsAfter = beforeScan;  // as a refresh from the saved selection does
  auto walkStart = Clock::now();
  tw::TAddResult result = operation.AddSelectionToVolume(volume, selection, count);
  const double walkSeconds = Since(walkStart);

  if (result != tw::TAddResult::Finished || operation.AddErrors) {
    std::fprintf(stderr, "the %s did not finish cleanly (result %d, errors %d)\n",
                 tw::Narrow(mode).c_str(), static_cast<int>(result), operation.AddErrors);
    for (const auto& m : ui.messages) std::fprintf(stderr, "  message: %s\n", m.text.c_str());
  }
  std::printf("TIME %.3f SELECT %.3f WALK %.3f FILES %d CHECKED %d CHANGED %d\n",
              selectSeconds + walkSeconds, selectSeconds, walkSeconds, count,
              operation.FilesChecked, operation.FilesChanged);
  return result == tw::TAddResult::Finished ? 0 : 1;
}
