// The process the kill test kills: one backup of a tree with the real file system, headless,
// as the program runs it. kill-test.py starts it under Wine and kills it at random moments.
//
// Usage: tw_killtarget.exe add|refresh SOURCE BACKUP SELECTIONFILE
//   add      SOURCE selected whole, the selection saved, then the first backup into BACKUP
//   refresh  the saved selection loaded (its whole folders scanned anew), refreshed into
//            BACKUP and saved back, as the scheduled refresh does
// Prints "WALK" once the selection is ready and the walk begins, then each message the user
// would see ("MESSAGE <text>") and "DONE <result> <errors>". Exit code 0 only for a walk that
// finished without errors.
#include <windows.h>

#include <cstdio>
#include <string>

#include "engine/operations.h"
#include "platform/memory/ScriptedOperationUI.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32NamedMutex.h"

namespace {

// Answers every question with its safe answer, and says where the run stands.
class TWalkUI : public tw::ScriptedOperationUI {
 public:
  void ShowProgress() override {
    tw::ScriptedOperationUI::ShowProgress();
    std::printf("WALK\n");
    std::fflush(stdout);
  }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: tw_killtarget add|refresh SOURCE BACKUP SELECTIONFILE\n");
    return 2;
  }
  const std::wstring mode = argv[1];
  const std::string source = tw::Narrow(argv[2]), selectionFile = tw::Narrow(argv[4]);
  tw::TVolumeRec volume;
  volume.Name = "Kill test";
  volume.BackupPath = tw::Narrow(argv[3]);
  if (volume.BackupPath.back() != '\\') volume.BackupPath += '\\';
  volume.SeparateFolders = true;

  tw::Win32FileSystem fs;
  tw::Win32NamedMutex lock(tw::kSelectionFilesMutex);
  TWalkUI ui;
  tw::TWLDesktopNode selection(fs);
  tw::TAddResult result;
  bool errors = false;
  if (mode == L"add") {
    tw::TWLNode* root = selection.AddPath(source);
    if (!root || !root->SelectAll() || selection.SaveToFile(selectionFile)) {
      std::fprintf(stderr, "cannot select %s\n", source.c_str());
      return 1;
    }
    tw::TAddOperation op(fs, ui);
    result = op.AddSelectionToVolume(volume, selection, tw::CountSelectedFiles(selection));
  } else if (mode == L"refresh") {
    const tw::TSelectionRefresh r =
        tw::RefreshFromSelectionFile(fs, ui, lock, volume, selection, selectionFile);
    result = r.Result;
    errors = r.LoadError != 0 || r.SaveError != 0;
  } else {
    std::fprintf(stderr, "unknown mode\n");
    return 2;
  }
  // A run with errors ends with the question whether to open the log instead.
  for (const auto& m : ui.messages) {
    if (!(m.flags & tw::mb::IconInformation)) errors = true;
  }
  for (const auto& m : ui.messages) std::printf("MESSAGE %s\n", m.text.c_str());
  std::printf("DONE %d %d\n", static_cast<int>(result), errors ? 1 : 0);
  std::fflush(stdout);
  return result == tw::TAddResult::Finished && !errors ? 0 : 1;
}
