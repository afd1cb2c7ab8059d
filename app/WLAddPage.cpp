#include "app/WLAddPage.h"

#include "app/WLMain.h"
#include "app/WLOverdue.h"
#include "app/WLSelecting.h"
#include "app/WLVolumePage.h"
#include "app/WLContentsPage.h"
#include "engine/operations.h"
#include "engine/selectionmerge.h"
#include "engine/volumeedit.h"
#include "platform/win32/Win32NamedMutex.h"

namespace tw {

TAddPage::TAddPage(TfWLMain& main, TWizardState& state) : TWizardPage(main, state) {}
TAddPage::~TAddPage() = default;

void TAddPage::Build(HWND sheet) {
  sheet_ = sheet;
  views_.Create(sheet, "AddNSE", "AddFE", true);
  events_ = std::make_unique<TSelectionEvents>(TSelectionEvents::TPageKind::Add, state_,
                                               views_.Tree, views_.List);
  events_->Attach();
  HWND find = main_.AddButton(sheet, "FindBTN", "Fin&d", 8, 0, 75, 25,
                              [this] { main_.FindBTNClick(); });
  main_.SetHint(find, "Search for files which should be backed up");
  main_.AddBackNext(sheet, "BackAddBTN", "&Back", [this] { BackAddBTNClick(); }, "NextAddBTN",
                    "&Next", "Continue with next step", [this] { NextAddBTNClick(); });
}

void TAddPage::Layout(int w, int h, int sheetH) {
  views_.Layout(w, sheetH, main_.Dpi());
  MoveWindow(Control("FindBTN"), main_.Scale(8), sheetH - main_.Scale(25 + 10), main_.Scale(75),
             main_.Scale(25), TRUE);
}

void TAddPage::Shown() {
  ExcludeVolumeFolders(state_.AddSelection.Environment(), main_.VolumeList);
  main_.Statistics.UpdateStatusBar(state_.AddFileCount, state_.AddByteCount);
}

void TAddPage::RefreshViews() {
  views_.Tree.Refresh();
  views_.List.Reread();
}

bool TAddPage::ReadyForFoundFiles() {
  return state_.AddPageShown() && state_.AddSelection.Environment().walking == 0 &&
         !(fWLSelecting && fWLSelecting->ShowCount() > 0);
}

void TAddPage::FoundFilesAdded() {
  events_->TreeRefresh();
  events_->SelectionChange();
  main_.Statistics.UpdateStatusBar(state_.AddFileCount, state_.AddByteCount);
}

void TAddPage::BackAddBTNClick() {
  switch (state_.WizardMode) {
    case wmBrowse:
      main_.ShowPage(pgVolumeInfo);
      break;
    case wmRefresh:
      events_->ResetAddSelection();
      main_.ShowPage(pgVolume);
      break;
    default:
      events_->ResetAddSelection();
      main_.ShowPage(pgMain);
      break;
  }
}

void TAddPage::NextAddBTNClick() {
  switch (state_.WizardMode) {
    case wmBackup: {
      for (const char* name : {"NewBTN", "ModifyBTN", "DeleteVolumeBTN", "VolumeDetailsPA"})
        Show(name, true);
      Show("OrphanedRestoreBTN", false);
      main_.ShowPage(pgVolume);
      if (!forms::ProcessMessages() || !main_.Handle()) return;
      if (main_.VolumeList.empty()) {
        main_.Message("Please enter the name and the path of the backup volume on the right side "
                      "of the window.",
                      mb::Ok | mb::IconInformation);
        main_.VolumePage().NewBTNClick();
      }
      break;
    }
    case wmRefresh:
      if (!state_.CurrentVolume) return;
      // A selection file read only in part keeps what could not be read.
      if (RunAdd(true, loadedWhole_ ? TSave::Replace : TSave::Merge)) {
        events_->ResetAddSelection();
        main_.ShowPage(pgMain);
        main_.ShowAfterOperation();
      }
      break;
    case wmBrowse:
      if (!state_.CurrentVolume) return;
      // Adding to an opened volume must keep what it backed up before.
      if (RunAdd(false, TSave::Merge)) {
        events_->ResetAddSelection();
        main_.ShowPage(pgVolumeInfo);
        main_.ContentsPage().Views().List.Reread();
        main_.ShowAfterOperation();
      }
      break;
  }
}

void TAddPage::BackUpIntoCurrentVolume() {
  if (!state_.CurrentVolume) return;
  if (!RunAdd(false, TSave::Replace)) return;
  events_->ResetAddSelection();
  main_.ShowPage(pgMain);
  main_.ShowAfterOperation();
  state_.AddFileCount = 0;
  state_.AddByteCount = 0;
}

bool TAddPage::RunAdd(bool refreshMode, TSave save) {
  const TVolumeRec& volume = *state_.CurrentVolume;
  // Two walks never write into one volume at once, nor rewrite its VOLUME.TWV from two copies.
  Win32NamedMutex volumeLock(VolumeRefreshMutexName(volume));
  TNamedMutexLock held(volumeLock, 0);
  if (!held.Held()) {
    main_.Message(VolumeBusyText(volume.Name), mb::Ok | mb::IconInformation);
    return false;
  }
  const std::string file = VolumeSelectionFile(main_.Env().AppDir, volume);
  TSelectionFiles files(main_.Fs(), main_.SelectionLock());
  // A backup replaces the file with this page's selection, but marks the extension makes from
  // now on are kept. A refresh keeps those made since its selection was loaded.
  if (save == TSave::Replace && !(refreshMode && seen_.File() == file)) files.Note(file, seen_);
  // A volume made since the page was shown is passed over too.
  ExcludeVolumeFolders(state_.AddSelection.Environment(), main_.VolumeList);
  auto ui = main_.NewOperationUI();
  TAddOperation operation(main_.Fs(), *ui);
  operation.RefreshMode = refreshMode;
  operation.VolumeIds = &main_.VolumeIds;
  if (refreshMode) operation.FreshListingsAfter = loadMark_;
  TAddResult result =
      operation.AddSelectionToVolume(volume, state_.AddSelection, state_.AddFileCount);
  if (result == TAddResult::Stopped) {
    main_.ShowAfterOperation();
    return false;
  }
  if (result == TAddResult::Finished) main_.Overdue().NoteRun(volume.Name, operation.AddErrors);
  WinError error = save == TSave::Replace ? files.Save(state_.AddSelection, file, seen_)
                                          : files.SaveMerged(state_.AddSelection, file);
  seen_.Forget();
  if (error != winerr::Success)
    main_.Message(std::string("Unable to write to ") + file, mb::Ok | mb::IconError);
  else if (files.Unlocked > 0)
    main_.Message(SavedWithoutLockText(file), mb::Ok | mb::IconWarning);
  return true;
}

void TAddPage::LoadSavedSelection() {
  // The volume page refuses such a volume first; its name must never become a file name.
  if (!state_.CurrentVolume || !CheckVolumeRecord(*state_.CurrentVolume).empty()) return;
  // The counters of a selection loaded over an old one must start from nothing.
  events_->ResetAddSelection();
  HCURSOR old = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  if (fWLSelecting) fWLSelecting->BeginSelecting();
  loadMark_ = state_.AddSelection.Environment().listings;
  ExcludeVolumeFolders(state_.AddSelection.Environment(), main_.VolumeList);
  std::string file = VolumeSelectionFile(main_.Env().AppDir, *state_.CurrentVolume);
  TSelectionFiles files(main_.Fs(), main_.SelectionLock());
  loadedWhole_ = files.Load(state_.AddSelection, file, &seen_) == winerr::Success;
  views_.Tree.Refresh();
  if (fWLSelecting) fWLSelecting->EndSelecting();
  SetCursor(old);
  main_.Statistics.UpdateStatusBar(state_.AddFileCount, state_.AddByteCount);
}

}  // namespace tw
