// The Restore page: all or the checked files, to their original place or a chosen folder.
#pragma once
#include "app/WLOperationPage.h"

namespace tw {

class TRestorePage : public TOperationPage {
 public:
  TRestorePage(TfWLMain& main, TWizardState& state);
  void Build(HWND sheet) override;
  bool Command(HWND control, int code) override;

  void rbRestoreLocationClick();
  void RestoreLocationBTNClick();
  void BackRestoreBTNClick();
  void NextRestoreBTNClick();

 private:
  HWND originalRB_ = nullptr, chosenRB_ = nullptr;
};

}  // namespace tw
