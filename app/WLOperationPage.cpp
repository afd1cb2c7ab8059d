#include "app/WLOperationPage.h"

#include "app/WLContentsPage.h"
#include "app/WLMain.h"
#include "engine/operations.h"

namespace tw {

int TOperationPage::BuildChoice(HWND sheet) {
  main_.AddControl(sheet, WC_BUTTONW, choice_.allName, choice_.allCaption,
                   WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 24, 16, 300, 22);
  main_.AddControl(sheet, WC_BUTTONW, choice_.selectedName, choice_.selectedCaption,
                   WS_VISIBLE | BS_AUTORADIOBUTTON, 24, 42, 300, 22);
  SetChecked(choice_.allName, true);
  return 76;
}

void TOperationPage::Shown() {
  // Files, not roots: nodes without files (another volume's ticks, folders above the volume)
  // would offer "selected" and then do nothing.
  bool any = CountSelectedFiles(state_.ContentsSelection) > 0;
  Enable(choice_.selectedName, any);
  SetChecked(choice_.selectedName, any);
  SetChecked(choice_.allName, !any);
  main_.Statistics.UpdateStatusBar(state_.ContentsFileCount, state_.ContentsByteCount);
}

void TOperationPage::SelectWholeVolume() { main_.ContentsPage().Events().SetFirstItemState(2); }

void TOperationPage::EndRun(bool rereadList) {
  main_.ContentsPage().Events().SetFirstItemState(3);
  if (state_.WizardMode == wmBrowse) {
    main_.ShowPage(pgVolumeInfo);
    if (rereadList) main_.ContentsPage().Views().List.Reread();
  } else {
    main_.ShowPage(pgMain);
  }
  main_.ShowAfterOperation();
}

}  // namespace tw
