#include "app/WLRefreshPage.h"

#include "app/WLMain.h"
#include "engine/refresh.h"

namespace tw {

TRefreshPage::TRefreshPage(TfWLMain& main, TWizardState& state)
    : TOperationPage(main, state, {"RefreshAllRB", "Refresh entire volume", "RefreshSelectedRB",
                                   "Refresh selected files"}) {}

void TRefreshPage::Build(HWND sheet) {
  sheet_ = sheet;
  BuildChoice(sheet);
  main_.AddBackNext(sheet, "BackRefreshBTN", "&Back", [this] { BackRefreshBTNClick(); },
                    "NextRefreshBTN", "&Finish", "", [this] { NextRefreshBTNClick(); });
}

void TRefreshPage::BackRefreshBTNClick() { main_.ShowPage(pgVolumeInfo); }

void TRefreshPage::NextRefreshBTNClick() {
  if (!state_.CurrentVolume) return;
  auto ui = main_.NewOperationUI();
  ui->StopRefreshTimer();
  if (AllChosen()) SelectWholeVolume();
  TContentsRefreshOperation operation(main_.Fs(), *ui);
  operation.RefreshVolumeContents(*state_.CurrentVolume, state_.ContentsSelection,
                                  state_.ContentsFileCount);
  ui.reset();
  EndRun(false);
}

}  // namespace tw
