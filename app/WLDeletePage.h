// The Delete page: all copies of the volume, or the checked ones.
#pragma once
#include "app/WLOperationPage.h"

namespace tw {

class TDeletePage : public TOperationPage {
 public:
  TDeletePage(TfWLMain& main, TWizardState& state);
  void Build(HWND sheet) override;

  void BackDeleteBTNClick();
  void NextDeleteBTNClick();
};

}  // namespace tw
