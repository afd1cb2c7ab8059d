// What the wizard's pages share: the operation chosen, the volume worked on, the two selections
// and their counters. One object, owned by the main window and handed to every page.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/volumes.h"
#include "platform/FileSystem.h"
#include "platform/ProfileFile.h"
#include "selection/selection.h"

namespace tw {

enum TWizardMode : uint8_t {
  wmBrowse = 0,
  wmBackup = 1,
  wmRestore = 2,
  wmDelete = 3,
  wmRefresh = 4,
  wmOrphanSelect = 5,
  wmOrphanedRestore = 6,
};

enum TWizardPageIndex {
  pgMain = 0,
  pgVolume = 1,
  pgVolumeInfo = 2,
  pgAdd = 3,
  pgRestore = 4,
  pgDelete = 5,
  pgRefresh = 6,
  pgOrphanedRestore = 7,
};

struct TWizardState {
  explicit TWizardState(IFileSystem& fs) : AddSelection(fs), ContentsSelection(fs) {}

  uint8_t WizardMode = wmBrowse;
  int Page = -1;  // the page shown
  // The volume worked on: an entry of the volume list, or OrphanVolume, or none.
  TVolumeRec* CurrentVolume = nullptr;
  // The record made up for an accepted orphan folder; lives while the orphaned road does.
  std::unique_ptr<TVolumeRec> OrphanVolume;
  // Its VOLUME.TWV, read when it had one; the restore that follows takes it.
  std::unique_ptr<TProfileFile> PlaceholderIni;

  TWLDesktopNode AddSelection;
  TWLDesktopNode ContentsSelection;

  // Counters of the selections (file count and bytes).
  int32_t AddFileCount = 0, ContentsFileCount = 0, RefreshFileCount = 0;
  int64_t AddByteCount = 0, ContentsByteCount = 0, RefreshByteCount = 0;
  bool AutoRefreshing = false;

  // Flags of the check handlers; both pages share StateBeforeClick and Expanding.
  int StateBeforeClick = 0;
  bool Expanding = false;

  HWND MainWindow = nullptr;
  HWND StatusBar = nullptr;

  bool AddPageShown() const { return Page == pgAdd; }
};

}  // namespace tw
