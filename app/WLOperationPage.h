// What the Restore, Delete and Refresh Volume pages share: a choice between everything in the
// volume and the files checked on the Volume Contents page, Back to that page, and the end of
// a run.
#pragma once
#include <string>

#include "app/WLWizardPage.h"

namespace tw {

class TOperationPage : public TWizardPage {
 public:
  struct TChoice {
    const char* allName;
    const char* allCaption;
    const char* selectedName;
    const char* selectedCaption;
  };
  TOperationPage(TfWLMain& main, TWizardState& state, TChoice choice)
      : TWizardPage(main, state), choice_(choice) {}
  void Shown() override;

  bool AllChosen() const { return Checked(choice_.allName); }

 protected:
  // The two radios at the top of the sheet; returns the y below them.
  int BuildChoice(HWND sheet);
  // "All files": the volume folder checked in the contents tree, so that the selection holds
  // the whole volume.
  void SelectWholeVolume();
  // After a run: the contents tree's marks cleared, the page the road goes on with, the window.
  void EndRun(bool rereadList);

  TChoice choice_;
};

}  // namespace tw
