// "Mark for Tidewell" on 10,000 files through the registered COM object, into a selection file
// that already holds 100,000 entries, against the floor measured in the same run: one
// GetFileAttributesExW per path, one read and one write of the resulting file's size. Runs under
// Wine; tests/bench/context-menu.sh makes the files and registers the DLL. Prints measurements
// and ratios only, never a pass or fail on time; a wrong entry count prints MISMATCH.
//
// Usage: bench_context_menu.exe DATA_FOLDER PROGRAM_FOLDER ROUNDS
//   DATA_FOLDER holds folder000..folder099 of file000.txt..file099.txt; PROGRAM_FOLDER (with a
//   trailing backslash) holds Base.tws, the 100,000 entries each round starts from.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/ProfileFile.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Registry.h"
#include "tests/win/ContextMenuDll.h"

namespace {

using Clock = std::chrono::steady_clock;
double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

HRESULT MarkThroughCom(const std::vector<std::wstring>& paths) {
  IShellExtInit* init = nullptr;
  HRESULT hr = CoCreateInstance(tw::test::kTWContextClsid, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IShellExtInit, reinterpret_cast<void**>(&init));
  if (FAILED(hr)) return hr;
  IContextMenu* menu = nullptr;
  init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
  auto* data = new tw::test::THDropData(tw::test::DropFilesBytes(paths));
  hr = init->Initialize(nullptr, data, nullptr);
  data->Release();
  HMENU popup = CreatePopupMenu();
  if (SUCCEEDED(hr)) hr = menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL);
  if (SUCCEEDED(hr)) {
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof(info);
    info.lpVerb = MAKEINTRESOURCEA(0);
    hr = menu->InvokeCommand(&info);
  }
  DestroyMenu(popup);
  menu->Release();
  init->Release();
  return hr;
}

// What marking cannot do without: look each path up, read the file, write it.
// With flush, the write also reaches the disk, as every replacement of a selection file must.
double Floor(const std::vector<std::wstring>& paths, const std::wstring& result,
             const std::wstring& scratch, bool flush) {
  auto start = Clock::now();
  WIN32_FILE_ATTRIBUTE_DATA d;
  size_t found = 0;
  for (const auto& p : paths) found += GetFileAttributesExW(p.c_str(), GetFileExInfoStandard, &d);
  HANDLE in = CreateFileW(result.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          0, nullptr);
  DWORD size = GetFileSize(in, nullptr);
  std::string bytes(size, '\0');
  DWORD moved = 0;
  ReadFile(in, bytes.data(), size, &moved, nullptr);
  CloseHandle(in);
  HANDLE out = CreateFileW(scratch.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  WriteFile(out, bytes.data(), size, &moved, nullptr);
  if (flush) FlushFileBuffers(out);
  CloseHandle(out);
  double t = Since(start);
  if (found != paths.size()) std::printf("MISMATCH floor found %zu\n", found);
  return t;
}

size_t Entries(const std::string& file) {
  tw::Win32FileSystem fs;
  tw::TProfileFile profile(fs, file);
  if (profile.Load() != tw::winerr::Success) return 0;
  size_t n = 0;
  for (const auto& s : profile.SectionNames()) n += profile.EntryCount(s);
  return n;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::printf("usage: bench_context_menu DATA_FOLDER PROGRAM_FOLDER ROUNDS\n");
    return 2;
  }
  const std::wstring data = argv[1], program = argv[2];
  const int rounds = std::max(1, _wtoi(argv[3]));
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  tw::Win32Registry reg;
  const std::string product = "\\Software\\Corvane\\Tidewell";
  reg.Open(tw::RegRoot::LocalMachine, product + "\\AppPath", true)
      ->WriteString("", tw::Narrow(program) + "Tidewell.exe");
  reg.Open(tw::RegRoot::CurrentUser, product, true)->WriteString("DefaultVolume", "Work");

  std::vector<std::wstring> paths;
  for (int d = 0; d < 100; ++d) {
    for (int f = 0; f < 100; ++f) {
      wchar_t name[64];
      swprintf(name, 64, L"\\folder%03d\\file%03d.txt", d, f);
      paths.push_back(data + name);
    }
  }
  const std::wstring base = program + L"Base.tws", work = program + L"Work.tws",
                     scratch = program + L"Scratch.tws";
  const size_t before = Entries(tw::Narrow(base));
  double bestMark = 1e9, bestFloor = 1e9, bestFlushed = 1e9;
  for (int r = 1; r <= rounds; ++r) {
    CopyFileW(base.c_str(), work.c_str(), FALSE);
    auto start = Clock::now();
    HRESULT hr = MarkThroughCom(paths);
    double mark = Since(start);
    double floor = Floor(paths, work, scratch, false);
    double flushed = Floor(paths, work, scratch, true);
    const size_t after = Entries(tw::Narrow(work));
    if (hr != S_OK || after != before + paths.size())
      std::printf("MISMATCH hr 0x%08lx entries %zu, expected %zu\n", static_cast<unsigned long>(hr),
                  after, before + paths.size());
    std::printf("ROUND %d mark %.3f floor %.3f floor+flush %.3f\n", r, mark, floor, flushed);
    bestMark = std::min(bestMark, mark);
    bestFloor = std::min(bestFloor, floor);
    bestFlushed = std::min(bestFlushed, flushed);
  }
  std::printf("BEST mark %.3f\nBEST floor %.3f\nBEST floor+flush %.3f\nRATIO mark/floor %.2f\n"
              "RATIO mark/(floor+flush) %.2f\n",
              bestMark, bestFloor, bestFlushed, bestMark / bestFloor, bestMark / bestFlushed);
  DeleteFileW(scratch.c_str());
  CoUninitialize();
  return 0;
}
