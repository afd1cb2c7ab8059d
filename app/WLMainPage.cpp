#include "app/WLMainPage.h"

#include "app/WLAddPage.h"
#include "app/WLMain.h"
#include "app/WLVolumePage.h"

namespace tw {

namespace {
struct TChoice {
  const char* button;
  const char* caption;
  const char* label;
  const char* hint;
};
const TChoice kChoices[] = {
    {"BackupBTN", "&Create Backup", "BackupLBL", "Add files to a new volume"},
    {"RestoreBTN", "&Restore", "RestoreLBL", "Restore files from an existing volume"},
    {"DeleteBTN", "&Delete", "DeleteLBL", "Delete files from an existing volume"},
    {"RefreshBTN", "&Refresh", "RefreshLBL", "Refresh the contents of an existing volume"},
    {"OpenVolumeBTN", "&Open Volume", "OpenVolumeLBL", "Open an existing volume"},
    {"ExitBTN", "&End Session", "ExitLBL", "End this session of Tidewell"},
    {"OptionsBTN", "&Options", "OptionsLBL", "Set global options for backup sets."},
};
constexpr int kRow = 40;
}  // namespace

void TMainPage::Build(HWND sheet) {
  sheet_ = sheet;
  std::function<void()> handlers[] = {
      [this] { BackupBTNClick(); },     [this] { RestoreBTNClick(); },
      [this] { DeleteBTNClick(); },     [this] { RefreshBTNClick(); },
      [this] { OpenVolumeBTNClick(); }, [this] { main_.FileExitMIClick(); },
      [this] { main_.OptionsBTNClick(); }};
  HWND choices = main_.AddPanel(sheet, "ChoicesPA", 0, 0, 460, kRow * 7);
  int y = 0, i = 0;
  for (const auto& c : kChoices) {
    HWND button = main_.AddButton(choices, c.button, c.caption, 0, y, 130, 28, handlers[i],
                                  i == 0);
    main_.SetHint(button, c.hint);
    HWND label = main_.AddLabel(choices, c.label, c.hint, 145, y + 6, 315, 20);
    main_.SetHint(label, c.hint);
    y += kRow;
    ++i;
  }
}

void TMainPage::Layout(int w, int h, int sheetH) {
  HWND choices = Control("ChoicesPA");
  RECT rc{};
  GetWindowRect(choices, &rc);
  int cw = rc.right - rc.left, ch = rc.bottom - rc.top;
  // Centred in the window's client area; the sheet starts below the caption line.
  RECT sheet{};
  GetWindowRect(sheet_, &sheet);
  MapWindowPoints(nullptr, main_.Handle(), reinterpret_cast<POINT*>(&sheet), 2);
  MoveWindow(choices, (w - cw) / 2 - sheet.left, (h - ch) / 2 - sheet.top, cw, ch, TRUE);
}

void TMainPage::ShowVolumeControls(bool management, bool orphaned) {
  for (const char* name : {"NewBTN", "ModifyBTN", "DeleteVolumeBTN", "VolumeDetailsPA"})
    Show(name, management);
  Show("OrphanedRestoreBTN", orphaned);
}

void TMainPage::BackupBTNClick() {
  state_.WizardMode = wmBackup;
  SetText("NextVolumeBTN", "Fi&nish");
  SetText("NextAddBTN", "&Next");
  main_.ShowPage(pgAdd);
}

void TMainPage::RestoreBTNClick() {
  state_.WizardMode = wmRestore;
  SetText("NextVolumeBTN", "&Next");
  ShowVolumeControls(false, true);
  main_.ShowPage(pgVolume);
}

void TMainPage::DeleteBTNClick() {
  state_.WizardMode = wmDelete;
  SetText("NextVolumeBTN", "&Next");
  ShowVolumeControls(false, false);
  main_.ShowPage(pgVolume);
}

void TMainPage::RefreshBTNClick() {
  state_.WizardMode = wmRefresh;
  SetText("NextVolumeBTN", "&Next");
  SetText("NextAddBTN", "Fi&nish");
  ShowVolumeControls(true, false);
  main_.ShowPage(pgVolume);
}

void TMainPage::OpenVolumeBTNClick() {
  state_.WizardMode = wmBrowse;
  SetText("NextVolumeBTN", "&Next");
  ShowVolumeControls(true, false);
  main_.ShowPage(pgVolume);
}

}  // namespace tw
