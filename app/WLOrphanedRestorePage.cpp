#include "app/WLOrphanedRestorePage.h"

#include "app/WLContentsPage.h"
#include "app/WLMain.h"
#include "engine/orphan.h"

namespace tw {

void TOrphanedRestorePage::Build(HWND sheet) {
  sheet_ = sheet;
  views_.Create(sheet, "ORestoreNSE", "ORestoreFE", false);
  main_.AddBackNext(sheet, "BackOrphanedRestore", "&Back", [this] { BackOrphanedRestoreClick(); },
                    "NextOrphanedRestore", "&Next", "", [this] { NextOrphanedRestoreClick(); });
}

void TOrphanedRestorePage::Layout(int w, int h, int sheetH) {
  views_.Layout(w, sheetH, main_.Dpi());
}

void TOrphanedRestorePage::BackOrphanedRestoreClick() { main_.ShowPage(pgMain); }

void TOrphanedRestorePage::NextOrphanedRestoreClick() {
  auto& tree = views_.Tree;
  std::optional<std::string> folder;
  std::string path = tree.SelectedPath();
  if (!path.empty()) folder = path;
  // The sub-folders as the tree lists them once the folder is expanded.
  auto listSubfolders = [&tree] {
    std::vector<std::string> names;
    int index = tree.SelectedIndex();
    if (index < 0) return names;
    tree.Expand(index);
    for (int child : tree.ChildIndexes(tree.SelectedIndex()))
      names.push_back(tree.ItemInfo(child).Caption);
    return names;
  };
  auto ui = main_.NewOperationUI();
  auto accepted = CheckOrphanedFolder(main_.Fs(), *ui, folder, listSubfolders);
  if (!accepted) return;
  state_.WizardMode = wmOrphanedRestore;
  if (state_.CurrentVolume == state_.OrphanVolume.get()) state_.CurrentVolume = nullptr;
  state_.OrphanVolume = std::make_unique<TVolumeRec>(std::move(accepted->Volume));
  state_.PlaceholderIni = std::move(accepted->PlaceholderIni);
  state_.CurrentVolume = state_.OrphanVolume.get();
  main_.ContentsPage().RootAt(state_.CurrentVolume->BackupPath);
  main_.ShowPage(pgVolumeInfo);
}

}  // namespace tw
