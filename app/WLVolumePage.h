// The Volume page: the list of volumes, a new volume's details, and the step that makes the
// chosen volume the current one.
#pragma once
#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "app/WLWizardPage.h"
#include "engine/fileconflict.h"
#include "engine/volumemanager.h"

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
  void ModifyBTNClick();
  void DeleteVolumeBTNClick();
  void RemoveFromList1Click();
  void ApplyBTNClick();
  void CancelBTNClick();
  void BrowseBTNClick();
  void Name_PathChange();
  void BackVolumeBTNClick();
  void NextVolumeBTNClick();
  void OrphanedRestoreBTNClick();

  bool EditingNewVolume = false;
  int CurrentItem = -1;
  HMENU VolumeListPopup = nullptr;  // RemoveFromList1

  // The question about an existing selection file: the environment's, else the program's.
  std::unique_ptr<IFileConflictPrompt> NewFileConflictPrompt();

 private:
  void SetEditing(bool on);
  void OpenCurrentVolume();
  // A volume whose folder is on another drive is offered there (once per opening); false when
  // its path holds another volume's folder, which is refused.
  bool FindMovedVolume(int row);
  TVolumeManager Manager();
  void BackToBrowsing();

  HIMAGELIST images_ = nullptr;
  // Looked up once: every notification of the window passes through Notify and Command.
  HWND list_ = nullptr, nameEdit_ = nullptr, pathEdit_ = nullptr;
  bool editing_ = false;
};

}  // namespace tw
