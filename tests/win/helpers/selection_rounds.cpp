// A second process for the tests of the selection files' lock.
//   hold <mutex> <ms>   takes the named mutex, says "HELD", sleeps and ends without releasing it
//   rounds <n> <file> <folder>
//                       n rounds of what Tidewell does to a selection file: load it under the
//                       lock, add the file "engine<i>.txt" of folder, save it keeping what others
//                       added meanwhile. Ends with 0 when every round loaded and saved.
#include <windows.h>

#include <cstdio>
#include <string>

#include "engine/selectionmerge.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32NamedMutex.h"

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wstring(argv[1]) == L"hold") {
    tw::Win32NamedMutex mutex(tw::Narrow(argv[2]));
    if (!mutex.Acquire(5000)) return 2;
    std::printf("HELD\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(_wtoi(argv[3])));
    return 0;  // still holding it: the mutex is abandoned
  }
  if (argc == 5 && std::wstring(argv[1]) == L"rounds") {
    const int n = _wtoi(argv[2]);
    const std::string file = tw::Narrow(argv[3]), folder = tw::Narrow(argv[4]);
    tw::Win32FileSystem fs;
    tw::Win32NamedMutex lock(tw::kSelectionFilesMutex);
    tw::TSelectionFiles files(fs, lock);
    int failed = 0;
    for (int i = 0; i < n; ++i) {
      tw::TWLDesktopNode tree(fs);
      tw::TSelectionSeen seen;
      tw::WinError e = files.Load(tree, file, &seen);
      tw::TWLNode* node = tree.AddPath(folder);
      if (e || !node || node->AddFile("engine" + std::to_string(i) + ".txt", 1) < 0) {
        std::fprintf(stderr, "round %d: load %u\n", i, e);
        ++failed;
        continue;
      }
      if ((e = files.Save(tree, file, seen))) {
        std::fprintf(stderr, "round %d: save %u\n", i, e);
        ++failed;
      }
    }
    std::printf("ROUNDS %d FAILED %d UNLOCKED %d\n", n, failed, files.Unlocked);
    return failed ? 1 : 0;
  }
  std::fprintf(stderr, "usage: hold <mutex> <ms> | rounds <n> <file> <folder>\n");
  return 2;
}
