// The Orphaned Restore page: a folder that is not in the volume list, accepted as a volume to
// restore from.
#pragma once
#include "app/WLViewPair.h"
#include "app/WLWizardPage.h"

namespace tw {

class TOrphanedRestorePage : public TWizardPage {
 public:
  using TWizardPage::TWizardPage;
  void Build(HWND sheet) override;
  void Layout(int w, int h, int sheetH) override;

  TViewPair& Views() { return views_; }
  void BackOrphanedRestoreClick();
  void NextOrphanedRestoreClick();

 private:
  TViewPair views_;
};

}  // namespace tw
