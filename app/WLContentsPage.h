// The Volume Contents page: the copies in the volume folder, checked for a restore, a delete or
// a refresh from the originals; in Browse mode the starting point of every operation.
#pragma once
#include <memory>

#include "app/WLSelectionEvents.h"
#include "app/WLViewPair.h"
#include "app/WLWizardPage.h"

namespace tw {

class TContentsPage : public TWizardPage {
 public:
  TContentsPage(TfWLMain& main, TWizardState& state);
  ~TContentsPage() override;
  void Build(HWND sheet) override;
  void Layout(int w, int h, int sheetH) override;
  void Shown() override;

  // Shows the folder (with or without a trailing backslash) in the tree. A selection made
  // elsewhere is dropped: its paths belong to another folder.
  void RootAt(const std::string& folder);
  TSelectionEvents& Events() { return *events_; }
  TViewPair& Views() { return views_; }

  void BackContentsBTNClick();
  void NextContentsBTNClick();
  void AddFilesBTNClick();
  void RefreshFilesBTNClick();
  void RestoreFilesBTNClick();
  void DeleteFilesBTNClick();
  void FilesRefreshContentsMIClick();

 private:
  TViewPair views_;
  std::unique_ptr<TSelectionEvents> events_;
};

}  // namespace tw
