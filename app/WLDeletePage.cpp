#include "app/WLDeletePage.h"

#include "app/WLContentsPage.h"
#include "app/WLMain.h"
#include "app/WLVolumePage.h"
#include "engine/delete.h"

namespace tw {

TDeletePage::TDeletePage(TfWLMain& main, TWizardState& state)
    : TOperationPage(main, state, {"DeleteAllRB", "Delete &all files", "DeleteSelectedRB",
                                   "Delete s&elected files"}) {}

void TDeletePage::Build(HWND sheet) {
  sheet_ = sheet;
  BuildChoice(sheet);
  main_.AddBackNext(sheet, "BackDeleteBTN", "&Back", [this] { BackDeleteBTNClick(); },
                    "NextDeleteBTN", "&Finish", "", [this] { NextDeleteBTNClick(); });
}

void TDeletePage::BackDeleteBTNClick() { main_.ShowPage(pgVolumeInfo); }

void TDeletePage::NextDeleteBTNClick() {
  TVolumeRec* volume = state_.CurrentVolume;
  if (!volume) return;
  bool all = AllChosen();
  auto ui = main_.NewOperationUI();
  auto& tree = main_.ContentsPage().Views().Tree;
  // The tree's own selection changes must not rebuild the selection being walked.
  auto selectionChange = tree.OnSelectionChange;
  tree.OnSelectionChange = nullptr;
  tree.Select(0);
  if (all) SelectWholeVolume();
  TDeleteOperation operation(main_.Fs(), *ui);
  TDeleteResult result = operation.DeleteSelectionFromVolume(
      *volume, state_.ContentsSelection, state_.ContentsFileCount, all);
  tree.OnSelectionChange = selectionChange;
  ui.reset();
  if (result.RemoveVolumeFromList) {
    // The volume has left the list, so it leaves the wizard too: nothing may go on with a
    // record that is gone.
    main_.ContentsPage().Events().SetFirstItemState(3);
    auto& list = main_.VolumeList;
    for (auto it = list.begin(); it != list.end(); ++it)
      if (it->get() == volume) {
        state_.CurrentVolume = nullptr;
        list.erase(it);
        break;
      }
    main_.VolumePage().FillVolumeList(-1);
    main_.EnableMainButtons();
    main_.ShowPage(pgMain);
    main_.ShowAfterOperation();
    return;
  }
  EndRun(true);
}

}  // namespace tw
