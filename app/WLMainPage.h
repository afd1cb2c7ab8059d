// The Main page: the operation is chosen here, and the choice sets the route through the other
// pages.
#pragma once
#include "app/WLWizardPage.h"

namespace tw {

class TMainPage : public TWizardPage {
 public:
  using TWizardPage::TWizardPage;
  void Build(HWND sheet) override;
  void Layout(int w, int h, int sheetH) override;

  void BackupBTNClick();
  void RestoreBTNClick();
  void DeleteBTNClick();
  void RefreshBTNClick();
  void OpenVolumeBTNClick();

 private:
  // The Volume page's management controls and the orphaned restore's button.
  void ShowVolumeControls(bool management, bool orphaned);
};

}  // namespace tw
