#include "app/WLMain.h"

#include <commctrl.h>

#include "app/res/resource.h"
#include "platform/win32/Utf.h"

namespace tw {

namespace {
const char* const kPageNames[8] = {"MainTS",  "VolumeTS", "VolumeInfoTS", "AddTS",
                                   "RestoreTS", "DeleteTS", "RefreshTS",   "OrphanedRestoreTS"};
const char* const kPageCaptions[8] = {"Main",          "Volume",
                                      "Volume Contents", "Add To Volume",
                                      "Restore From Volume", "Delete From Volume",
                                      "Refresh Volume", "Orphaned Restore"};
const char kStatusTitle[] = "Tidewell - backup of your files as plain copies";
const char kBackHint[] = "Go back one step";
const char kAppTitle[] = "Tidewell";

constexpr int kCaptionHeight = 44;
constexpr int kButtonW = 75, kButtonH = 25;
constexpr int kMinTrackW = 700, kMinTrackH = 578;

struct TChoice {
  const char* button;
  const char* caption;
  const char* label;
  const char* hint;
  void (TfWLMain::*onClick)();
};
}  // namespace

TfWLMain::TfWLMain(TMainEnv env)
    : Volumes(*env.Fs, *env.Prompts, env.AppDir), VolumeList(Volumes.VolumeList),
      Settings(*env.Registry, env.ProductKey), env_(std::move(env)) {}

TfWLMain::~TfWLMain() {
  if (images_) ImageList_Destroy(images_);
}

bool TfWLMain::Create() {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&icc);
  BuildMenu();
  HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TIDEWELL));
  if (!CreateForm(L"TfWLMain", kAppTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                  CW_USEDEFAULT, 760, 600, nullptr, menu_, icon))
    return false;
  forms::SetControlName(Handle(), "fWLMain");
  BuildPages();

  // The placement of the last run: position and size only, the window stays hidden.
  if (auto placement = Settings.ReadWindowPlacement()) {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof(wp);
    wp.flags = placement->flags;
    wp.showCmd = SW_HIDE;
    wp.ptMinPosition = {placement->ptMinPosition.x, placement->ptMinPosition.y};
    wp.ptMaxPosition = {placement->ptMaxPosition.x, placement->ptMaxPosition.y};
    const auto& rc = placement->rcNormalPosition;
    wp.rcNormalPosition = {rc.left, rc.top, rc.right, rc.bottom};
    SetWindowPlacement(Handle(), &wp);
  }
  ShowPage(pgMain);
  FormCreate();

  bool startHidden = WinStart && Options.RunAsTrayIcon;
  if (!startHidden) {
    ShowWindow(Handle(), SW_SHOW);
    RedrawWindow(Handle(), nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  }
  // A log-on start ends once its start-up work is done.
  if (WinStart) PostMessageW(Handle(), WM_CLOSE, 0, 0);
  return true;
}

void TfWLMain::FormCreate() {
  WinStart = !env_.Args.empty() && UpperCaseName(env_.Args[0]) == "/WINSTART";
  ExitRequested = false;
  Options = Settings.ReadOptions();
  auto loaded = Volumes.Load(Options.LastVolumeName);
  FillVolumeList(loaded.SelectedIndex);
  EnableMainButtons();
  StartupRefreshDue = loaded.AnyAutoRefresh && !Options.DisableAutoRefresh;
}

void TfWLMain::FormDestroy() {
  if (exitSaved_) return;
  exitSaved_ = true;
  WINDOWPLACEMENT wp{};
  wp.length = sizeof(wp);
  TWindowPlacement placement;
  bool havePlacement = GetWindowPlacement(Handle(), &wp) != 0;
  if (havePlacement) {
    placement.length = wp.length;
    placement.flags = wp.flags;
    placement.showCmd = wp.showCmd;
    placement.ptMinPosition = {wp.ptMinPosition.x, wp.ptMinPosition.y};
    placement.ptMaxPosition = {wp.ptMaxPosition.x, wp.ptMaxPosition.y};
    placement.rcNormalPosition = {wp.rcNormalPosition.left, wp.rcNormalPosition.top,
                                  wp.rcNormalPosition.right, wp.rcNormalPosition.bottom};
  }
  Settings.WriteAtExit(Options, havePlacement ? &placement : nullptr, env_.ExePath);
  Volumes.Save();
}

void TfWLMain::BuildMenu() {
  menu_ = CreateMenu();
  HMENU file = CreatePopupMenu();
  AppendMenuW(file, MF_STRING, IDM_FILE_EXIT, L"&End Session\tAlt+X");
  AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
  OnCommand(IDM_FILE_EXIT, [this] { FileExitMIClick(); });
}

void TfWLMain::BuildPages() {
  HWND form = Handle();
  captionLine_ = AddLabel(form, "CaptionST", "", 12, 8, 600, 30, forms::BoldFont(16));
  statusBar_ = AddControl(form, STATUSCLASSNAMEW, "StatusBar", "", WS_VISIBLE | SBARS_SIZEGRIP,
                          0, 0, 0, 0);
  pageControl_ = AddPanel(form, "WizardPC", 0, kCaptionHeight, 700, 480);
  for (int i = 0; i < 8; ++i) {
    pages_[i] = AddPanel(pageControl_, kPageNames[i], 0, 0, 700, 480, false);
    forms::SetWindowTextUtf8(pages_[i], kPageCaptions[i]);
  }
  BuildMainPage(pages_[pgMain]);
  BuildVolumePage(pages_[pgVolume]);
  AddBackNext(pages_[pgVolumeInfo], "BackContentsBTN", "&Back", &TfWLMain::BackContentsBTNClick,
              "NextContentsBTN", "&Next", "continue with next step", nullptr);
  AddBackNext(pages_[pgAdd], "BackAddBTN", "&Back", &TfWLMain::BackAddBTNClick, "NextAddBTN",
              "&Next", "Continue with next step", nullptr);
  AddBackNext(pages_[pgRestore], "BackRestoreBTN", "&Back", &TfWLMain::BackOperationBTNClick,
              "NextRestoreBTN", "&Finish", "", nullptr);
  AddBackNext(pages_[pgDelete], "BackDeleteBTN", "&Back", &TfWLMain::BackOperationBTNClick,
              "NextDeleteBTN", "&Finish", "", nullptr);
  AddBackNext(pages_[pgRefresh], "BackRefreshBTN", "&Back", &TfWLMain::BackOperationBTNClick,
              "NextRefreshBTN", "&Finish", "", nullptr);
  AddBackNext(pages_[pgOrphanedRestore], "BackOrphanedRestore", "&Back",
              &TfWLMain::BackOrphanedRestoreClick, "NextOrphanedRestore", "&Next", "", nullptr);
}

void TfWLMain::BuildMainPage(HWND page) {
  static const TChoice kChoices[] = {
      {"BackupBTN", "&Create Backup", "BackupLBL", "Add files to a new volume",
       &TfWLMain::BackupBTNClick},
      {"RestoreBTN", "&Restore", "RestoreLBL", "Restore files from an existing volume",
       &TfWLMain::RestoreBTNClick},
      {"DeleteBTN", "&Delete", "DeleteLBL", "Delete files from an existing volume",
       &TfWLMain::DeleteBTNClick},
      {"RefreshBTN", "&Refresh", "RefreshLBL", "Refresh the contents of an existing volume",
       &TfWLMain::RefreshBTNClick},
      {"OpenVolumeBTN", "&Open Volume", "OpenVolumeLBL", "Open an existing volume",
       &TfWLMain::OpenVolumeBTNClick},
      {"ExitBTN", "&End Session", "ExitLBL", "End this session of Tidewell",
       &TfWLMain::FileExitMIClick},
      {"OptionsBTN", "&Options", "OptionsLBL", "Set global options for backup sets.",
       &TfWLMain::OptionsBTNClick},
  };
  constexpr int kRow = 40;
  HWND choices = AddPanel(page, "ChoicesPA", 0, 0, 460, kRow * 7);
  int y = 0;
  for (const auto& c : kChoices) {
    auto handler = c.onClick;
    HWND button = AddButton(choices, c.button, c.caption, 0, y, 130, 28,
                            [this, handler] { (this->*handler)(); }, c.onClick == &TfWLMain::BackupBTNClick);
    SetHint(button, c.hint);
    HWND label = AddLabel(choices, c.label, c.hint, 145, y + 6, 315, 20);
    SetHint(label, c.hint);
    y += kRow;
  }
}

void TfWLMain::BuildVolumePage(HWND page) {
  HWND list = AddControl(page, WC_LISTVIEWW, "VolumeListLV", "",
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
    col.cx = columns[i].width;
    ListView_InsertColumn(list, i, &col);
  }
  // The volume rows use image 2 of the window's image list.
  images_ = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                             ILC_COLOR32 | ILC_MASK, 3, 0);
  HICON fallback = static_cast<HICON>(LoadImageW(nullptr, MAKEINTRESOURCEW(32512), IMAGE_ICON,
                                                 0, 0, LR_SHARED | LR_DEFAULTSIZE));  // IDI_APPLICATION
  HICON volume = static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TIDEWELL), IMAGE_ICON,
                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  ImageList_AddIcon(images_, volume ? volume : fallback);
  ImageList_AddIcon(images_, volume ? volume : fallback);
  ImageList_AddIcon(images_, volume ? volume : fallback);
  ListView_SetImageList(list, images_, LVSIL_SMALL);
  AddBackNext(page, "BackVolumeBTN", "&Back", &TfWLMain::BackVolumeBTNClick, "NextVolumeBTN",
              "&Next", "Starts the operation", &TfWLMain::NextVolumeBTNClick, true);
}

void TfWLMain::AddBackNext(HWND page, const std::string& back, const std::string& backCaption,
                           void (TfWLMain::*onBack)(), const std::string& next,
                           const std::string& nextCaption, const std::string& nextHint,
                           void (TfWLMain::*onNext)(), bool nextDefault) {
  HWND b = AddButton(page, back, backCaption, 0, 0, kButtonW, kButtonH, [this, onBack] {
    if (onBack) (this->*onBack)();
  });
  SetHint(b, kBackHint);
  HWND n = AddButton(page, next, nextCaption, 0, 0, kButtonW, kButtonH, [this, onNext] {
    if (onNext) (this->*onNext)();
  }, nextDefault);
  if (!nextHint.empty()) SetHint(n, nextHint);
}

void TfWLMain::FillVolumeList(int selected) {
  HWND list = Control("VolumeListLV");
  ListView_DeleteAllItems(list);
  int row = 0;
  for (const auto& volume : VolumeList) {
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
  if (selected >= 0 && selected < row) {
    ListView_SetItemState(list, selected, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(list, selected, FALSE);
  }
}

int TfWLMain::SelectedVolumeIndex() const {
  return ListView_GetNextItem(Control("VolumeListLV"), -1, LVNI_SELECTED);
}

void TfWLMain::EnableMainButtons() {
  bool any = !VolumeList.empty();
  for (const char* name : {"RestoreBTN", "DeleteBTN", "RefreshBTN", "OpenVolumeBTN"})
    EnableWindow(Control(name), any);
}

void TfWLMain::ShowControl(const std::string& name, bool visible) {
  if (HWND hwnd = Control(name)) ShowWindow(hwnd, visible ? SW_SHOW : SW_HIDE);
}

void TfWLMain::SetCaption(const std::string& name, const std::string& text) {
  if (HWND hwnd = Control(name)) forms::SetWindowTextUtf8(hwnd, text);
}

void TfWLMain::SetTitleSuffix(const std::string& suffix) {
  forms::SetWindowTextUtf8(Handle(), std::string(kAppTitle) + suffix);
}

int TfWLMain::Message(const std::string& text, uint32_t flags) {
  return env_.Prompts->Message(text, kAppTitle, flags);
}

void TfWLMain::ShowPage(int page) {
  if (page < 0 || page > 7) return;
  static const char* const kCaptionLines[8] = {
      "Tidewell Gateway", "Select Volume...", "Volume contents...", "Select files to backup...",
      "Restore files...", "Delete files...",  "Refresh files...",
      "Select an orphaned volume to restore..."};
  std::string caption = kCaptionLines[page];
  if (page == pgAdd && WizardMode == 4) caption = "Select files to backup/refresh...";
  forms::SetWindowTextUtf8(captionLine_, caption);

  if (page == pgMain) {
    int parts[] = {-1};
    SendMessageW(statusBar_, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
    SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(Widen(kStatusTitle).c_str()));
    SetTitleSuffix("");
  } else {
    int parts[] = {250, -1};
    SendMessageW(statusBar_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L""));
    SendMessageW(statusBar_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L""));
  }
  bool browse = WizardMode == 0;
  for (const char* name : {"AddFilesBTN", "RefreshFilesBTN", "RestoreFilesBTN", "DeleteFilesBTN"})
    ShowControl(name, browse);
  ShowControl("NextContentsBTN", !browse);

  for (int i = 0; i < 8; ++i)
    if (i != page) ShowWindow(pages_[i], SW_HIDE);
  ShowWindow(pages_[page], SW_SHOW);
  page_ = page;
}

// ---- Main page ----

void TfWLMain::BackupBTNClick() {
  WizardMode = 1;
  SetCaption("NextVolumeBTN", "Fi&nish");
  SetCaption("NextAddBTN", "&Next");
  ShowPage(pgAdd);
}

void TfWLMain::RestoreBTNClick() {
  WizardMode = 2;
  SetCaption("NextVolumeBTN", "&Next");
  for (const char* name : {"NewBTN", "ModifyBTN", "DeleteVolumeBTN", "VolumeDetailsPA"})
    ShowControl(name, false);
  ShowControl("OrphanedRestoreBTN", true);
  ShowPage(pgVolume);
}

void TfWLMain::DeleteBTNClick() {
  WizardMode = 3;
  SetCaption("NextVolumeBTN", "&Next");
  for (const char* name :
       {"NewBTN", "ModifyBTN", "DeleteVolumeBTN", "VolumeDetailsPA", "OrphanedRestoreBTN"})
    ShowControl(name, false);
  ShowPage(pgVolume);
}

void TfWLMain::RefreshBTNClick() {
  WizardMode = 4;
  SetCaption("NextVolumeBTN", "&Next");
  SetCaption("NextAddBTN", "Fi&nish");
  for (const char* name : {"NewBTN", "ModifyBTN", "DeleteVolumeBTN", "VolumeDetailsPA"})
    ShowControl(name, true);
  ShowControl("OrphanedRestoreBTN", false);
  ShowPage(pgVolume);
}

void TfWLMain::OpenVolumeBTNClick() {
  WizardMode = 0;
  SetCaption("NextVolumeBTN", "&Next");
  for (const char* name : {"NewBTN", "ModifyBTN", "DeleteVolumeBTN", "VolumeDetailsPA"})
    ShowControl(name, true);
  ShowControl("OrphanedRestoreBTN", false);
  ShowPage(pgVolume);
}

void TfWLMain::OptionsBTNClick() {
  // The options dialog is not part of this build yet.
}

void TfWLMain::FileExitMIClick() {
  ExitRequested = true;
  PostMessageW(Handle(), WM_CLOSE, 0, 0);
}

// ---- Volume page and the Back buttons ----

void TfWLMain::BackVolumeBTNClick() { ShowPage(WizardMode == 1 ? pgAdd : pgMain); }

void TfWLMain::NextVolumeBTNClick() {
  if (VolumeList.empty()) {
    Message("There are no volumes created. Please create and select a volume before clicking on "
            "the Next button.",
            mb::Ok | mb::IconInformation);
    return;
  }
  int row = SelectedVolumeIndex();
  if (row < 0 || row >= static_cast<int>(VolumeList.size())) {
    Message("Please select a volume to perform the operation on.", mb::Ok | mb::IconInformation);
    return;
  }
  CurrentVolume = VolumeList[static_cast<size_t>(row)].get();
  if (WizardMode <= 3) {
    FindData info;
    if (env_.Fs->Stat(CurrentVolume->BackupPath, info) != winerr::Success || !info.IsDirectory()) {
      Message("Cannot continue as this path does not exist", mb::Ok | mb::IconError);
      return;
    }
  }
  if (WizardMode == 2 && !CurrentVolume->SeparateFolders) {
    Message("Cannot perform action on this volume because it is a volume which does not contain "
            "separate folders for drives",
            mb::Ok | mb::IconError);
    return;
  }
  Options.LastVolumeName = CurrentVolume->Name;
  SetTitleSuffix(" - " + CurrentVolume->Name + " (" + CurrentVolume->BackupPath + ")");
  if (WizardMode == 1 || WizardMode == 4) {
    // The backup and the refresh walk arrive with the operations; until then stay on the road.
    ShowPage(WizardMode == 4 ? pgAdd : pgMain);
    return;
  }
  ShowPage(pgVolumeInfo);
}

void TfWLMain::BackAddBTNClick() {
  if (WizardMode == 0)
    ShowPage(pgVolumeInfo);
  else if (WizardMode == 4)
    ShowPage(pgVolume);
  else
    ShowPage(pgMain);
}

void TfWLMain::BackContentsBTNClick() { ShowPage(WizardMode == 6 ? pgOrphanedRestore : pgVolume); }

void TfWLMain::BackOperationBTNClick() { ShowPage(pgVolumeInfo); }

void TfWLMain::BackOrphanedRestoreClick() { ShowPage(pgMain); }

// ---- Window messages ----

void TfWLMain::FormResize(int w, int h) {
  SendMessageW(statusBar_, WM_SIZE, 0, 0);
  RECT sb{};
  GetWindowRect(statusBar_, &sb);
  int statusH = sb.bottom - sb.top;
  int pcH = h - kCaptionHeight - statusH;
  MoveWindow(captionLine_, 12, 8, w - 24, 30, TRUE);
  MoveWindow(pageControl_, 0, kCaptionHeight, w, pcH, TRUE);
  for (HWND page : pages_) MoveWindow(page, 0, 0, w, pcH, TRUE);

  if (HWND choices = Control("ChoicesPA")) {
    RECT rc{};
    GetWindowRect(choices, &rc);
    int cw = rc.right - rc.left, ch = rc.bottom - rc.top;
    MoveWindow(choices, (w - cw) / 2, (h - ch) / 2 - kCaptionHeight, cw, ch, TRUE);
  }
  MoveWindow(Control("VolumeListLV"), 8, 8, w - 320, h - 330, TRUE);
  if (HWND details = Control("VolumeDetailsPA")) {
    RECT rc{};
    GetWindowRect(details, &rc);
    MapWindowPoints(nullptr, GetParent(details), reinterpret_cast<POINT*>(&rc), 2);
    MoveWindow(details, w - 300, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
  }
  int buttonTop = pcH - kButtonH - 10;
  for (const char* name : {"BackAddBTN", "BackRestoreBTN", "BackDeleteBTN", "BackRefreshBTN",
                           "BackVolumeBTN", "BackContentsBTN", "BackOrphanedRestore"})
    MoveWindow(Control(name), w - 178, buttonTop, kButtonW, kButtonH, TRUE);
  for (const char* name : {"NextAddBTN", "NextRestoreBTN", "NextDeleteBTN", "NextRefreshBTN",
                           "NextVolumeBTN", "NextContentsBTN", "NextOrphanedRestore"})
    MoveWindow(Control(name), w - 98, buttonTop, kButtonW, kButtonH, TRUE);
}

LRESULT TfWLMain::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SIZE:
      FormResize(LOWORD(lp), HIWORD(lp));
      return 0;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lp);
      info->ptMinTrackSize = {kMinTrackW, kMinTrackH};
      return 0;
    }
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      if (hdr->hwndFrom == Control("VolumeListLV")) {
        if (hdr->code == LVN_BEGINLABELEDITW) return TRUE;  // rows are not edited in place
        if (hdr->code == NM_DBLCLK) {
          // Acts as Next only on a row, not on the empty part of the list.
          auto* activate = reinterpret_cast<NMITEMACTIVATE*>(lp);
          HWND next = Control("NextVolumeBTN");
          if (activate->iItem >= 0 && IsWindowEnabled(next) && IsWindowVisible(next))
            NextVolumeBTNClick();
          return 0;
        }
      }
      break;
    }
    case WM_CLOSE:
      // Without the tray every accepted close ends the program.
      FormDestroy();
      DestroyWindow(Handle());
      return 0;
    case WM_QUERYENDSESSION:
      ExitRequested = true;
      return TRUE;
    case WM_ENDSESSION:
      // Windows ends the process after this message: the exit writes happen now or never.
      if (wp) FormDestroy();
      return 0;
    case WM_DESTROY:
      if (env_.QuitOnDestroy) PostQuitMessage(0);
      return 0;
  }
  return TForm::WndProc(msg, wp, lp);
}

}  // namespace tw
