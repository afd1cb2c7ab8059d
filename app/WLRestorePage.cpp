#include "app/WLRestorePage.h"

#include "app/WLContentsPage.h"
#include "app/WLMain.h"
#include "engine/restore.h"

namespace tw {

TRestorePage::TRestorePage(TfWLMain& main, TWizardState& state)
    : TOperationPage(main, state, {"RestoreAllRB", "Restore &all files", "RestoreSelectedRB",
                                   "Restore s&elected files"}) {}

void TRestorePage::Build(HWND sheet) {
  sheet_ = sheet;
  int y = BuildChoice(sheet);
  originalRB_ = main_.AddControl(sheet, WC_BUTTONW, "OriginalLocationRB",
                                 "Restore to &original location",
                                 WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 24, y,
                                 300, 22);
  chosenRB_ = main_.AddControl(sheet, WC_BUTTONW, "RestoreToChosenLocationRB", "&Restore to",
                               WS_VISIBLE | BS_AUTORADIOBUTTON, 24, y + 26, 100, 22);
  main_.AddControl(sheet, WC_EDITW, "RestoreLocationSLE", "",
                   WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 130, y + 26, 330, 22,
                   WS_EX_CLIENTEDGE);
  HWND browse = main_.AddButton(sheet, "RestoreLocationBTN", "...", 466, y + 25, 28, 24,
                                [this] { RestoreLocationBTNClick(); });
  main_.SetHint(browse, "Browse for Folder");
  HWND del = main_.AddControl(sheet, WC_BUTTONW, "DeleteOnRestoreCHB",
                              "&Delete files after restoration",
                              WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 24, y + 64, 300, 22);
  // A restore never deletes anything from the volume.
  EnableWindow(del, FALSE);
  SetChecked("OriginalLocationRB", true);
  rbRestoreLocationClick();
  main_.AddBackNext(sheet, "BackRestoreBTN", "&Back", [this] { BackRestoreBTNClick(); },
                    "NextRestoreBTN", "&Finish", "", [this] { NextRestoreBTNClick(); });
}

bool TRestorePage::Command(HWND control, int code) {
  if (code != BN_CLICKED || (control != originalRB_ && control != chosenRB_)) return false;
  rbRestoreLocationClick();
  return true;
}

void TRestorePage::rbRestoreLocationClick() {
  bool chosen = Checked("RestoreToChosenLocationRB");
  Enable("RestoreLocationSLE", chosen);
  Enable("RestoreLocationBTN", chosen);
  if (chosen) SetFocus(Control("RestoreLocationSLE"));
}

void TRestorePage::RestoreLocationBTNClick() {
  if (auto folder = main_.Prompts().BrowseForFolder("Select location to restore files to..."))
    SetText("RestoreLocationSLE", *folder);
}

void TRestorePage::BackRestoreBTNClick() { main_.ShowPage(pgVolumeInfo); }

void TRestorePage::NextRestoreBTNClick() {
  if (!state_.CurrentVolume) return;
  const TVolumeRec& volume = *state_.CurrentVolume;
  auto ui = main_.NewOperationUI();
  TRestoreOptions options;
  if (Checked("RestoreToChosenLocationRB")) {
    // "Restore all files" fills the selection only once the restore runs: the check looks at
    // the volume on disk then.
    auto check = CheckRestoreLocation(*ui, state_.ContentsSelection, volume.BackupPath,
                                      Text("RestoreLocationSLE"),
                                      AllChosen() ? &main_.Fs() : nullptr);
    switch (check.Result) {
      case TRestoreInput::MultipleSources:
        main_.ShowPage(pgVolumeInfo);
        return;
      case TRestoreInput::NoLocation:
      case TRestoreInput::BadLocation:
        SetFocus(Control("RestoreLocationSLE"));
        return;
      case TRestoreInput::Ok:
        SetText("RestoreLocationSLE", check.Location);
        options.ChosenLocation = check.Location;
        break;
    }
  }
  if (AllChosen()) options.SelectWholeVolume = [this] { SelectWholeVolume(); };
  options.PlaceholderIni = std::move(state_.PlaceholderIni);
  TRestoreOperation operation(main_.Fs(), *ui);
  operation.RestoreSelection(volume, state_.ContentsSelection, std::move(options));
  ui.reset();
  EndRun(false);
}

}  // namespace tw
