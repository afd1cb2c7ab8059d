#include "app/WLContentsPage.h"

#include "app/WLMain.h"
#include "app/WLVolumePage.h"
#include "shellviews/ShellCommon.h"

namespace tw {

TContentsPage::TContentsPage(TfWLMain& main, TWizardState& state) : TWizardPage(main, state) {}
TContentsPage::~TContentsPage() = default;

void TContentsPage::Build(HWND sheet) {
  sheet_ = sheet;
  views_.Create(sheet, "VolumeNSE", "VolumeFE", true);
  views_.Tree.SetRootedAt(shellviews::raFileSystem);
  events_ = std::make_unique<TSelectionEvents>(TSelectionEvents::TPageKind::Contents, state_,
                                               views_.Tree, views_.List);
  events_->Attach();
  main_.AddBackNext(sheet, "BackContentsBTN", "&Back", [this] { BackContentsBTNClick(); },
                    "NextContentsBTN", "&Next", "continue with next step",
                    [this] { NextContentsBTNClick(); });
  struct {
    const char* name;
    const char* caption;
    const char* hint;
    void (TContentsPage::*click)();
  } buttons[] = {
      {"AddFilesBTN", "&Add", "Add files to volume", &TContentsPage::AddFilesBTNClick},
      {"RefreshFilesBTN", "&Refresh",
       "Refresh the checked folders and files or the complete backup volume",
       &TContentsPage::RefreshFilesBTNClick},
      {"RestoreFilesBTN", "&Restore", "Restore files from this volume",
       &TContentsPage::RestoreFilesBTNClick},
      {"DeleteFilesBTN", "&Delete", "Delete files from this volume",
       &TContentsPage::DeleteFilesBTNClick},
  };
  for (const auto& b : buttons) {
    auto click = b.click;
    HWND button = main_.AddButton(sheet, b.name, b.caption, 0, 0, 75, 25,
                                  [this, click] { (this->*click)(); });
    main_.SetHint(button, b.hint);
  }
}

void TContentsPage::Layout(int w, int h, int sheetH) {
  views_.Layout(w, sheetH, main_.Dpi());
  // The four Browse buttons on the left of the row that Back and Next end.
  int top = sheetH - main_.Scale(25 + 10), left = main_.Scale(8);
  for (const char* name : {"AddFilesBTN", "RefreshFilesBTN", "RestoreFilesBTN", "DeleteFilesBTN"}) {
    MoveWindow(Control(name), left, top, main_.Scale(75), main_.Scale(25), TRUE);
    left += main_.Scale(80);
  }
}

void TContentsPage::Shown() {
  main_.Statistics.UpdateStatusBar(state_.ContentsFileCount, state_.ContentsByteCount);
  Enable("RefreshFilesBTN", true);
  Enable("RestoreFilesBTN", state_.CurrentVolume && state_.CurrentVolume->SeparateFolders);
  main_.SetFilesMenuItems(true, IsWindowEnabled(Control("RestoreFilesBTN")) != FALSE);
}

void TContentsPage::RootAt(const std::string& folder) {
  std::string path = folder;
  if (path.size() > 3 && path.back() == '\\') path.pop_back();
  if (path.size() == 2 && path[1] == ':') path += '\\';
  if (!shellviews::SamePath(views_.Tree.RootFolder(), path) ||
      views_.Tree.RootedAt() != shellviews::raFileSystem) {
    state_.ContentsSelection.Clear();
    state_.ContentsFileCount = 0;
    state_.ContentsByteCount = 0;
  }
  // The folder first: a tree rooted at the file system without one falls back to My Computer
  // and would stay there.
  views_.Tree.SetRootFolder(path);
  if (views_.Tree.RootedAt() != shellviews::raFileSystem)
    views_.Tree.SetRootedAt(shellviews::raFileSystem);
  views_.Tree.Refresh();
}

void TContentsPage::BackContentsBTNClick() {
  if (state_.WizardMode == wmOrphanedRestore) {
    // Another folder may be accepted from there.
    state_.WizardMode = wmOrphanSelect;
    main_.ShowPage(pgOrphanedRestore);
  } else {
    main_.ShowPage(pgVolume);
  }
}

void TContentsPage::NextContentsBTNClick() {
  switch (state_.WizardMode) {
    case wmRestore:
    case wmOrphanedRestore:
      main_.ShowPage(pgRestore);
      break;
    case wmDelete:
      main_.ShowPage(pgDelete);
      break;
    case wmRefresh:
      main_.ShowPage(pgRefresh);
      break;
  }
}

void TContentsPage::AddFilesBTNClick() { main_.ShowPage(pgAdd); }

void TContentsPage::RefreshFilesBTNClick() {
  // As Next on the Volume page, with the volume still selected there.
  state_.WizardMode = wmRefresh;
  SetText("NextVolumeBTN", "&Next");
  SetText("NextAddBTN", "Fi&nish");
  main_.VolumePage().NextVolumeBTNClick();
}

void TContentsPage::RestoreFilesBTNClick() { main_.ShowPage(pgRestore); }

void TContentsPage::DeleteFilesBTNClick() { main_.ShowPage(pgDelete); }

void TContentsPage::FilesRefreshContentsMIClick() {
  state_.WizardMode = wmRefresh;
  // The Refresh road's captions, as choosing Refresh on the Main page sets them.
  SetText("NextVolumeBTN", "&Next");
  SetText("NextAddBTN", "Fi&nish");
  main_.ShowPage(pgRefresh);
}

}  // namespace tw
