#include "app/WLVolumePage.h"

#include <commctrl.h>
#include <shellapi.h>

#include "app/WLAddPage.h"
#include "app/WLContentsPage.h"
#include "app/WLFileConfirm.h"
#include "app/WLMain.h"
#include "app/res/resource.h"
#include "engine/layout.h"
#include "engine/volumeedit.h"
#include "engine/volumeidentity.h"
#include "platform/win32/Utf.h"
#include "platform/win32/NoDiskPrompts.h"

namespace tw {

namespace {
constexpr int kDetailsW = 290, kDetailsH = 190;

// The window title's part that names the open volume.
std::string TitleSuffix(const TVolumeRec& volume) {
  return " - " + volume.Name + " (" + volume.BackupPath + ")";
}

// The shell deletes the folder with everything in it, showing its own progress; its own
// questions are suppressed and nothing goes to the recycle bin.
class TShellFolderClearUp : public IFolderClearUp {
 public:
  explicit TShellFolderClearUp(HWND owner) : owner_(owner) {}
  void ClearUpFolder(const std::string& folder) override {
    std::wstring from = Widen(folder);
    from.push_back(L'\0');  // the list ends with two zero characters
    SHFILEOPSTRUCTW op{};
    op.hwnd = owner_;
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION;
    SHFileOperationW(&op);
  }

 private:
  HWND owner_;
};
}  // namespace

TVolumePage::~TVolumePage() {
  if (images_) ImageList_Destroy(images_);
  if (VolumeListPopup) DestroyMenu(VolumeListPopup);
}

std::unique_ptr<IFileConflictPrompt> TVolumePage::NewFileConflictPrompt() {
  if (main_.Env().FileConflict) return main_.Env().FileConflict(main_.Handle());
  return std::make_unique<TfWLFileConfirm>(main_.Handle(), main_.Fs(), main_.Prompts(),
                                           main_.Env().AppDir);
}

TVolumeManager TVolumePage::Manager() {
  return TVolumeManager(main_.Fs(), main_.Volumes, main_.Settings, main_.Prompts(),
                        main_.Env().AppDir);
}

void TVolumePage::Build(HWND sheet) {
  sheet_ = sheet;
  HWND list = list_ = main_.AddControl(sheet, WC_LISTVIEWW, "VolumeListLV", "",
                               WS_VISIBLE | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL |
                                   LVS_SHOWSELALWAYS | LVS_NOSORTHEADER,
                               8, 8, 380, 250);
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
  struct {
    const wchar_t* caption;
    int width;
  } columns[] = {{L"Name", 140}, {L"Path", 220}};
  for (int i = 0; i < 2; ++i) {
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = const_cast<wchar_t*>(columns[i].caption);
    col.cx = main_.Scale(columns[i].width);
    ListView_InsertColumn(list, i, &col);
  }
  // The volume rows use image 2 of the list's images.
  images_ = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                             ILC_COLOR32 | ILC_MASK, 3, 0);
  HICON fallback = static_cast<HICON>(LoadImageW(nullptr, MAKEINTRESOURCEW(32512), IMAGE_ICON,
                                                 0, 0, LR_SHARED | LR_DEFAULTSIZE));
  HICON volume = static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TIDEWELL), IMAGE_ICON,
                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  for (int i = 0; i < 3; ++i) ImageList_AddIcon(images_, volume ? volume : fallback);
  ListView_SetImageList(list, images_, LVSIL_SMALL);

  main_.AddButton(sheet, "NewBTN", "New", 400, 8, 75, 25, [this] { NewBTNClick(); });
  HWND modify = main_.AddButton(sheet, "ModifyBTN", "Modify", 480, 8, 75, 25,
                                [this] { ModifyBTNClick(); });
  HWND del = main_.AddButton(sheet, "DeleteVolumeBTN", "Delete", 560, 8, 75, 25,
                             [this] { DeleteVolumeBTNClick(); });
  EnableWindow(modify, FALSE);
  EnableWindow(del, FALSE);
  VolumeListPopup = CreatePopupMenu();
  AppendMenuW(VolumeListPopup, MF_STRING, IDM_VOLUME_REMOVE_FROM_LIST, L"&Remove From List");
  main_.OnCommand(IDM_VOLUME_REMOVE_FROM_LIST, [this] { RemoveFromList1Click(); });

  HWND panel = main_.AddPanel(sheet, "VolumeDetailsPA", 400, 44, kDetailsW, kDetailsH);
  // The labels' accelerators move the focus to their edits (the next control in tab order).
  main_.AddControl(panel, WC_STATICW, "NameLBL", "&Name", WS_VISIBLE | SS_LEFT, 0, 4, 60, 18);
  HWND name = main_.AddControl(panel, WC_EDITW, "NameSLE", "",
                               WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0, 24,
                               kDetailsW - 10, 22, WS_EX_CLIENTEDGE);
  main_.AddControl(panel, WC_STATICW, "PathLBL", "&Path", WS_VISIBLE | SS_LEFT, 0, 54, 60, 18);
  HWND path = main_.AddControl(panel, WC_EDITW, "PathSLE", "",
                               WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0, 74,
                               kDetailsW - 44, 22, WS_EX_CLIENTEDGE);
  HWND browse = main_.AddButton(panel, "BrowseBTN", "...", kDetailsW - 38, 73, 28, 24,
                                [this] { BrowseBTNClick(); });
  main_.SetHint(browse, "Browse for Folder");
  main_.AddControl(panel, WC_BUTTONW, "SeparateFolderCB", "&Separate folder for each drive",
                   WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 106, kDetailsW - 10, 22);
  main_.AddButton(panel, "ApplyBTN", "Apply", kDetailsW - 170, 140, 75, 25,
                  [this] { ApplyBTNClick(); }, true);
  main_.AddButton(panel, "CancelBTN", "Cancel", kDetailsW - 88, 140, 75, 25,
                  [this] { CancelBTNClick(); });
  for (HWND edit : {name, path}) SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
  nameEdit_ = name;
  pathEdit_ = path;

  HWND orphaned = main_.AddButton(sheet, "OrphanedRestoreBTN", "&Orphaned Restore", 8, 270, 130,
                                  25, [this] { OrphanedRestoreBTNClick(); });
  main_.SetHint(orphaned, "Restore a backup which is not listed below");
  ShowWindow(orphaned, SW_HIDE);

  main_.AddBackNext(sheet, "BackVolumeBTN", "&Back", [this] { BackVolumeBTNClick(); },
                    "NextVolumeBTN", "&Next", "Starts the operation",
                    [this] { NextVolumeBTNClick(); }, true);
  SetEditing(false);
}

void TVolumePage::Layout(int w, int h, int sheetH) {
  auto s = [this](int v) { return main_.Scale(v); };
  MoveWindow(Control("VolumeListLV"), s(8), s(8), w - s(320), h - s(330), TRUE);
  MoveWindow(Control("NewBTN"), w - s(300), s(8), s(75), s(25), TRUE);
  MoveWindow(Control("ModifyBTN"), w - s(220), s(8), s(75), s(25), TRUE);
  MoveWindow(Control("DeleteVolumeBTN"), w - s(140), s(8), s(75), s(25), TRUE);
  MoveWindow(Control("VolumeDetailsPA"), w - s(300), s(44), s(kDetailsW), s(kDetailsH), TRUE);
  MoveWindow(Control("OrphanedRestoreBTN"), s(8), h - s(330 - 16), s(130), s(25), TRUE);
}

void TVolumePage::Shown() { VolumeListLVClick(); }

bool TVolumePage::Command(HWND control, int code) {
  if (code != EN_CHANGE || (control != nameEdit_ && control != pathEdit_)) return false;
  Name_PathChange();
  return true;
}

void TVolumePage::FillVolumeList(int selected) {
  HWND list = Control("VolumeListLV");
  ListView_DeleteAllItems(list);
  int row = 0;
  for (const auto& volume : main_.VolumeList) {
    std::wstring name = Widen(volume->Name), path = Widen(volume->BackupPath);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = row;
    item.pszText = name.data();
    item.iImage = 2;
    ListView_InsertItem(list, &item);
    ListView_SetItemText(list, row, 1, path.data());
    ++row;
  }
  if (selected >= 0 && selected < row) SelectRow(selected);
}

void TVolumePage::SelectRow(int row) {
  HWND list = Control("VolumeListLV");
  ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(list, row, FALSE);
}

int TVolumePage::SelectedIndex() const {
  return ListView_GetNextItem(Control("VolumeListLV"), -1, LVNI_SELECTED);
}

HWND TVolumePage::DefaultButton() const {
  return Control(editing_ ? "ApplyBTN" : "NextVolumeBTN");
}

bool TVolumePage::Notify(NMHDR* hdr, LRESULT& result) {
  if (!list_ || hdr->hwndFrom != list_) return false;
  switch (hdr->code) {
    case LVN_BEGINLABELEDITW:
      result = TRUE;  // rows are not edited in place
      return true;
    case NM_CLICK:
    case LVN_ITEMCHANGED:
      VolumeListLVClick();
      result = 0;
      return true;
    case NM_RCLICK: {
      // The popup's command comes back to the window as WM_COMMAND.
      POINT at;
      GetCursorPos(&at);
      TrackPopupMenu(VolumeListPopup, TPM_RIGHTBUTTON, at.x, at.y, 0, main_.Handle(), nullptr);
      result = 0;
      return true;
    }
    case NM_DBLCLK:
      // Only on a row, not on the empty part of the list.
      if (reinterpret_cast<NMITEMACTIVATE*>(hdr)->iItem >= 0) VolumeListLVDblClick();
      result = 0;
      return true;
  }
  return false;
}

void TVolumePage::VolumeListLVClick() {
  // While a volume is edited the buttons stay as the editing state set them.
  if (editing_) return;
  const bool selected = SelectedIndex() >= 0;
  Enable("ModifyBTN", selected);
  Enable("DeleteVolumeBTN", selected);
  Enable("NewBTN", true);
}

void TVolumePage::VolumeListLVDblClick() {
  HWND next = Control("NextVolumeBTN");
  if (SelectedIndex() >= 0 && IsWindowEnabled(next) && IsWindowVisible(next)) NextVolumeBTNClick();
}

void TVolumePage::SetEditing(bool on) {
  editing_ = on;
  for (const char* name : {"NewBTN", "VolumeListLV", "NextVolumeBTN"}) Enable(name, !on);
  Enable("ModifyBTN", false);
  Enable("DeleteVolumeBTN", false);
  for (const char* name : {"NameSLE", "PathSLE", "BrowseBTN", "CancelBTN", "SeparateFolderCB"})
    Enable(name, on);
  Enable("ApplyBTN", false);
  // The default button of the page follows the state.
  SendMessageW(Control("ApplyBTN"), BM_SETSTYLE, on ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
  SendMessageW(Control("NextVolumeBTN"), BM_SETSTYLE, on ? BS_PUSHBUTTON : BS_DEFPUSHBUTTON, TRUE);
}

void TVolumePage::NewBTNClick() {
  SetEditing(true);
  SetChecked("SeparateFolderCB", true);
  SetText("NameSLE", "");
  SetText("PathSLE", "");
  EditingNewVolume = true;
  SetFocus(Control("NameSLE"));
}

void TVolumePage::Name_PathChange() {
  if (editing_) Enable("ApplyBTN", VolumeInputComplete(Text("NameSLE"), Text("PathSLE")));
}

void TVolumePage::BrowseBTNClick() {
  if (auto folder = main_.Prompts().BrowseForFolder("Select path for backup..."))
    SetText("PathSLE", *folder);
}

void TVolumePage::ModifyBTNClick() {
  const int row = SelectedIndex();
  if (editing_ || row < 0 || row >= static_cast<int>(main_.VolumeList.size())) return;
  const TVolumeRec& volume = *main_.VolumeList[static_cast<size_t>(row)];
  SetEditing(true);
  CurrentItem = row;
  SetText("NameSLE", volume.Name);
  SetText("PathSLE", volume.BackupPath);
  SetChecked("SeparateFolderCB", volume.SeparateFolders);
  EditingNewVolume = false;
  Name_PathChange();
  SetFocus(Control("NameSLE"));
}

void TVolumePage::ApplyBTNClick() {
  if (!editing_) return;
  const std::string path = AddBackslash(TrimBlanksAndControls(Text("PathSLE")));
  SetText("PathSLE", path);
  auto conflict = NewFileConflictPrompt();
  TVolumeManager manager = Manager();
  int row = -1;
  std::string oldName, oldTitle;
  if (EditingNewVolume) {
    row = manager.ApplyNew(*conflict, Text("NameSLE"), path, Checked("SeparateFolderCB"));
  } else if (CurrentItem >= 0 && CurrentItem < static_cast<int>(main_.VolumeList.size())) {
    const TVolumeRec& volume = *main_.VolumeList[static_cast<size_t>(CurrentItem)];
    oldName = volume.Name;
    oldTitle = kAppTitle + TitleSuffix(volume);
    row = manager.ApplyChanged(*conflict, static_cast<size_t>(CurrentItem), Text("NameSLE"), path,
                               Checked("SeparateFolderCB"));
  }
  if (row < 0) return;  // refused or cancelled: still editing
  // The last opened volume follows a rename, so the next start selects it again.
  if (!oldName.empty() && UpperCaseName(main_.Options.LastVolumeName) == UpperCaseName(oldName))
    main_.Options.LastVolumeName = main_.VolumeList[static_cast<size_t>(row)]->Name;
  // A title that names the changed volume names it as it is now.
  if (!oldTitle.empty() && forms::WindowText(main_.Handle()) == oldTitle)
    main_.SetTitleSuffix(TitleSuffix(*main_.VolumeList[static_cast<size_t>(row)]));
  FillVolumeList(row);
  CurrentItem = row;
  BackToBrowsing();
  main_.EnableMainButtons();
}

void TVolumePage::BackToBrowsing() {
  SetEditing(false);
  VolumeListLVClick();
  SetText("NameSLE", "");
  SetText("PathSLE", "");
  SetFocus(Control("VolumeListLV"));
}

void TVolumePage::CancelBTNClick() { BackToBrowsing(); }

void TVolumePage::DeleteVolumeBTNClick() {
  const int row = SelectedIndex();
  if (editing_ || row < 0) return;
  CurrentItem = row;
  TVolumeManager manager = Manager();
  TDeleteVolumeResult deleted = manager.Delete(static_cast<size_t>(row), state_.CurrentVolume);
  if (!deleted.Deleted) return;
  if (deleted.WasCurrent) {
    main_.ResetContentsView();
    main_.SetTitleSuffix("");
  }
  FillVolumeList(-1);
  CurrentItem = -1;
  VolumeListLVClick();
  TShellFolderClearUp clearUp(main_.Handle());
  manager.OfferClearUp(deleted.BackupFolder, clearUp);
  SetFocus(Control("VolumeListLV"));
  main_.EnableMainButtons();
}

void TVolumePage::RemoveFromList1Click() {
  const int row = SelectedIndex();
  if (editing_ || row < 0) return;
  if (!Manager().RemoveFromList(static_cast<size_t>(row), state_.CurrentVolume)) return;
  FillVolumeList(-1);
  CurrentItem = -1;
  // Modify and Delete have no row left to work on.
  VolumeListLVClick();
  main_.EnableMainButtons();
}

void TVolumePage::OrphanedRestoreBTNClick() {
  state_.WizardMode = wmOrphanSelect;
  main_.ShowPage(pgOrphanedRestore);
}

void TVolumePage::BackVolumeBTNClick() {
  main_.ShowPage(state_.WizardMode == wmBackup ? pgAdd : pgMain);
}

void TVolumePage::NextVolumeBTNClick() {
  if (main_.VolumeList.empty()) {
    main_.Message("There are no volumes created. Please create and select a volume before "
                  "clicking on the Next button.",
                  mb::Ok | mb::IconInformation);
    return;
  }
  int row = SelectedIndex();
  if (row < 0 || row >= static_cast<int>(main_.VolumeList.size())) {
    main_.Message("Please select a volume to perform the operation on.",
                  mb::Ok | mb::IconInformation);
    return;
  }
  TVolumeRec* volume = main_.VolumeList[static_cast<size_t>(row)].get();
  // Before anything looks at its path or builds its selection file's name.
  if (std::string refused = CheckVolumeRecord(*volume); !refused.empty()) {
    main_.Message(refused, mb::Ok | mb::IconError);
    return;
  }
  if (!FindMovedVolume(row)) return;
  main_.LeaveOrphanedRoad();
  state_.CurrentVolume = volume;
  uint8_t mode = state_.WizardMode;
  if (mode == wmBrowse || mode == wmBackup || mode == wmRestore || mode == wmDelete) {
    FindData info;
    if (main_.Fs().Stat(volume->BackupPath, info) != winerr::Success || !info.IsDirectory()) {
      main_.Message("Cannot continue as this path does not exist", mb::Ok | mb::IconError);
      return;
    }
  }
  if (mode == wmRestore && !volume->SeparateFolders) {
    main_.Message("Cannot perform action on this volume because it is a volume which does not "
                  "contain separate folders for drives",
                  mb::Ok | mb::IconError);
    return;
  }
  CurrentItem = row;
  OpenCurrentVolume();
}

bool TVolumePage::FindMovedVolume(int row) {
  TVolumeRec& volume = *main_.VolumeList[static_cast<size_t>(row)];
  const std::string knownId = main_.VolumeIds.Read(volume.Name);
  if (knownId.empty()) return true;  // a volume never written since identities exist
  // An empty card reader must not ask for a disk while the other drives are looked at.
  const TVolumeLocation where = [&] {
    TNoDiskPrompts noDiskPrompts;
    return LocateVolume(main_.Fs(), volume, knownId);
  }();
  if (where.Where == TVolumeWhere::Foreign) {
    // Whatever the page, another volume's copies must not be written, deleted or restored.
    main_.Message(ForeignFolderText(volume.Name, where.BackupPath, where.OtherName),
                  mb::Ok | mb::IconError);
    return false;
  }
  if (where.Where == TVolumeWhere::Moved &&
      main_.Message(VolumeMovedQuestion(volume.Name, volume.BackupPath, where.BackupPath),
                    mb::YesNo | mb::IconQuestion) == mb::IdYes) {
    Manager().UseMovedPath(static_cast<size_t>(row), where.BackupPath);
    FillVolumeList(row);
  }
  return true;
}

void TVolumePage::OpenCurrentVolume() {
  TVolumeRec& volume = *state_.CurrentVolume;
  main_.Options.LastVolumeName = volume.Name;
  if (state_.WizardMode != wmRefresh) main_.ContentsPage().RootAt(volume.BackupPath);
  main_.SetTitleSuffix(TitleSuffix(volume));
  switch (state_.WizardMode) {
    case wmBackup:
      main_.AddPage().BackUpIntoCurrentVolume();
      break;
    case wmRefresh:
      state_.AddFileCount = 0;
      state_.AddByteCount = 0;
      main_.ShowPage(pgAdd);
      main_.AddPage().LoadSavedSelection();
      break;
    default:
      state_.AddFileCount = 0;
      state_.AddByteCount = 0;
      state_.ContentsFileCount = 0;
      state_.ContentsByteCount = 0;
      main_.ShowPage(pgVolumeInfo);
      break;
  }
}

}  // namespace tw
