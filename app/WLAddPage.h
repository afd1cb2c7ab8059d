// The Add page: the originals to back up, and the runs that copy them (the first backup, the
// refresh of a saved selection, adding to an opened volume).
#pragma once
#include <cstdint>
#include <memory>

#include "app/WLSelectionEvents.h"
#include "app/WLViewPair.h"
#include "app/WLWizardPage.h"
#include "engine/selectionmerge.h"
#include "platform/WinCodes.h"

namespace tw {

class TAddPage : public TWizardPage {
 public:
  TAddPage(TfWLMain& main, TWizardState& state);
  ~TAddPage() override;
  void Build(HWND sheet) override;
  void Layout(int w, int h, int sheetH) override;
  void Shown() override;

  TSelectionEvents& Events() { return *events_; }
  TViewPair& Views() { return views_; }

  void BackAddBTNClick();
  void NextAddBTNClick();
  // Finish on the Volume page in Backup mode.
  void BackUpIntoCurrentVolume();
  // Next on the Volume page in Refresh mode: the volume's saved selection, under the busy
  // dialog.
  void LoadSavedSelection();
  // After a restore: restored files show up in the views.
  void RefreshViews();
  // Whether found files may go into the selection now: the page shows and no scan or load
  // is working on the selection.
  bool ReadyForFoundFiles();
  // Found files went into the selection: the views' checks and the counts follow.
  void FoundFilesAdded();

 private:
  enum class TSave { Replace, Merge };
  // The add walk over the Add selection into the current volume; then the selection is saved.
  // False when the run stopped before it began (the window is shown again already).
  bool RunAdd(bool refreshMode, TSave save);

  TViewPair views_;
  std::unique_ptr<TSelectionEvents> events_;
  uint64_t loadMark_ = 0;        // listings before the saved selection was loaded
  TSelectionSeen seen_;          // the entries the volume's file held at that load
  bool loadedWhole_ = true;      // the saved selection was read to its end
};

}  // namespace tw
