// The Refresh Volume page: copies in the volume brought up to date from their originals.
#pragma once
#include "app/WLOperationPage.h"

namespace tw {

class TRefreshPage : public TOperationPage {
 public:
  TRefreshPage(TfWLMain& main, TWizardState& state);
  void Build(HWND sheet) override;

  void BackRefreshBTNClick();
  void NextRefreshBTNClick();
};

}  // namespace tw
