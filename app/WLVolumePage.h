// The Volume page: the list of volumes, a new volume's details, and the step that makes the
// chosen volume the current one.
#pragma once
#include <windows.h>

#include <commctrl.h>

#include "app/WLWizardPage.h"

namespace tw {

class TVolumePage : public TWizardPage {
 public:
  using TWizardPage::TWizardPage;
  ~TVolumePage() override;
  void Build(HWND sheet) override;
  void Layout(int w, int h, int sheetH) override;
  bool Command(HWND control, int code) override;
  void Shown() override;
  bool Notify(NMHDR* hdr, LRESULT& result) override;

  void FillVolumeList(int selected);
  int SelectedIndex() const;
  void SelectRow(int row);
  bool Editing() const { return editing_; }
  // The button Enter presses on this page.
  HWND DefaultButton() const;

  void VolumeListLVClick();
  void VolumeListLVDblClick();
  void NewBTNClick();
  void ApplyBTNClick();
  void CancelBTNClick();
  void BrowseBTNClick();
  void Name_PathChange();
  void BackVolumeBTNClick();
  void NextVolumeBTNClick();
  void OrphanedRestoreBTNClick();

  bool EditingNewVolume = false;
  int CurrentItem = -1;

 private:
  void SetEditing(bool on);
  void OpenCurrentVolume();

  HIMAGELIST images_ = nullptr;
  // Looked up once: every notification of the window passes through Notify and Command.
  HWND list_ = nullptr, nameEdit_ = nullptr, pathEdit_ = nullptr;
  bool editing_ = false;
};

}  // namespace tw
