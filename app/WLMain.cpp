#include "app/WLMain.h"

#include <commctrl.h>
#include <shellapi.h>

#include "app/WLAddPage.h"
#include "app/WLAutoRefresh.h"
#include "app/WLContentsPage.h"
#include "app/WLDeletePage.h"
#include "app/WLMainPage.h"
#include "app/WLOptions.h"
#include "app/WLOverdue.h"
#include "app/WLOrphanedRestorePage.h"
#include "app/WLRefreshPage.h"
#include "app/WLRestorePage.h"
#include "app/WLProgress.h"
#include "app/WLSingleInstance.h"
#include "app/WLTaskbar.h"
#include "app/WLTray.h"
#include "app/WLVolumePage.h"
#include "app/res/resource.h"
#include "engine/help.h"
#include "engine/startup.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32NamedMutex.h"
#include "platform/win32/Win32StartupShortcuts.h"

namespace tw {

namespace {
const char* const kPageNames[8] = {"MainTS",  "VolumeTS", "VolumeInfoTS", "AddTS",
                                   "RestoreTS", "DeleteTS", "RefreshTS",   "OrphanedRestoreTS"};
const char* const kPageCaptions[8] = {"Main",          "Volume",
                                      "Volume Contents", "Add To Volume",
                                      "Restore From Volume", "Delete From Volume",
                                      "Refresh Volume", "Orphaned Restore"};
const char* const kCaptionLines[8] = {
    "Tidewell Gateway", "Select Volume...", "Volume contents...", "Select files to backup...",
    "Restore files...", "Delete files...",  "Refresh files...",
    "Select an orphaned volume to restore..."};
const char kStatusTitle[] = "Tidewell - backup of your files as plain copies";
const char kBackHint[] = "Go back one step";
const char kHelpFile[] = "TIDEWELL.HLP";
const char kManualFile[] = "Tidewell_manual.doc";
const char kHomePage[] = "https://www.corvane.com/tidewell/";

constexpr int kCaptionHeight = 44;
constexpr int kButtonW = 75, kButtonH = 25;
constexpr int kMinTrackW = 700, kMinTrackH = 578;
constexpr UINT_PTR kDrawUpdateTimer = 1, kRefreshTimer = 2;
constexpr UINT kDrawUpdateMs = 1000, kRefreshMs = 30000;

const char* const kBackButtons[] = {"BackAddBTN",    "BackRestoreBTN",  "BackDeleteBTN",
                                    "BackRefreshBTN", "BackVolumeBTN",  "BackContentsBTN",
                                    "BackOrphanedRestore"};
const char* const kNextButtons[] = {"NextAddBTN",    "NextRestoreBTN",  "NextDeleteBTN",
                                    "NextRefreshBTN", "NextVolumeBTN",  "NextContentsBTN",
                                    "NextOrphanedRestore"};
}  // namespace

TfWLMain::TfWLMain(TMainEnv env)
    : Volumes(*env.Fs, *env.Prompts, env.AppDir), VolumeList(Volumes.VolumeList), State(*env.Fs),
      WizardMode(State.WizardMode), CurrentVolume(State.CurrentVolume),
      Settings(*env.Registry, env.ProductKey), VolumeIds(*env.Registry, env.ProductKey),
      Statistics(State), env_(std::move(env)) {
  if (!env_.SelectionLock) {
    ownSelectionLock_ = std::make_unique<Win32NamedMutex>(kSelectionFilesMutex);
    env_.SelectionLock = ownSelectionLock_.get();
  }
  mainPage_ = std::make_unique<TMainPage>(*this, State);
  volumePage_ = std::make_unique<TVolumePage>(*this, State);
  contentsPage_ = std::make_unique<TContentsPage>(*this, State);
  addPage_ = std::make_unique<TAddPage>(*this, State);
  restorePage_ = std::make_unique<TRestorePage>(*this, State);
  deletePage_ = std::make_unique<TDeletePage>(*this, State);
  refreshPage_ = std::make_unique<TRefreshPage>(*this, State);
  orphanedPage_ = std::make_unique<TOrphanedRestorePage>(*this, State);
  pageList_ = {mainPage_.get(),    volumePage_.get(),  contentsPage_.get(), addPage_.get(),
               restorePage_.get(), deletePage_.get(), refreshPage_.get(),  orphanedPage_.get()};
  autoRefresh_ = std::make_unique<TAutoRefresh>(*this, env_.Clock);
  overdue_ = std::make_unique<TOverdueWatch>(*this, env_.Clock);
}

TfWLMain::~TfWLMain() {
  tray_.reset();  // out of the tray and unhooked while the window still exists
  pageList_.clear();  // messages that still arrive find no page
  Statistics.Uninstall();
  // The views go before the window that holds them.
  if (Handle()) {
    KillTimer(Handle(), kDrawUpdateTimer);
    KillTimer(Handle(), kRefreshTimer);
  }
  orphanedPage_.reset();
  addPage_.reset();
  contentsPage_.reset();
  if (filesMenu_ && !filesMenuShown_) DestroyMenu(filesMenu_);
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
  State.MainWindow = Handle();
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
  try {
    FormCreate();
  } catch (const EicNotifyIconError&) {
    return false;
  }
  if (!startHidden_) {
    ShowWindow(Handle(), SW_SHOW);
    RedrawWindow(Handle(), nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  }
  // A log-on start ends once its start-up work is done, unless the tray keeps it for timed
  // refreshes (FormCloseQuery).
  if (WinStart) PostMessageW(Handle(), WM_CLOSE, 0, 0);
  return true;
}

void TfWLMain::FormCreate() {
  WinStart = IsWinStart(env_.Args);
  ExitRequested = false;
  // Minimising reaches FormMinimize through WM_SYSCOMMAND from here on.
  Options = Settings.ReadOptions();

  // The tray state comes before the volume list, so a log-on start in tray mode never shows
  // the window, not even during its start-up check: minimised, hidden, without a button.
  tray_ = std::make_unique<TWLTray>(*this, fileMenu_);
  tray_->ApplyTrayState(Options.RunAsTrayIcon);
  tray_->NotifyIcon->OnBalloonClick = [this] { overdue_->BalloonClick(); };
  // A second start brings this copy out of the tray, even one started elevated.
  ChangeWindowMessageFilterEx(Handle(), ActivateMessage(), MSGFLT_ALLOW, nullptr);
  startHidden_ = Options.RunAsTrayIcon && WinStart;
  if (startHidden_) {
    SetWindowLongPtrW(Handle(), GWL_STYLE, GetWindowLongPtrW(Handle(), GWL_STYLE) | WS_MINIMIZE);
    SetTaskbarButton(false);
  }

  auto loaded = Volumes.Load(Options.LastVolumeName);
  overdue_->Store().AdoptStamps(VolumeList);
  volumePage_->FillVolumeList(loaded.SelectedIndex);
  Statistics.Install();
  addPage_->Events().ExpandFirstItems();
  EnableMainButtons();
  SetTimer(Handle(), kDrawUpdateTimer, kDrawUpdateMs, nullptr);
  // The timer starts at the end of the start-up check, or of the first operation.
  StartupRefreshDue = loaded.AnyAutoRefresh && !Options.DisableAutoRefresh;
  if (StartupRefreshDue) {
    HCURSOR old = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    RefreshTimerTimer(TRefreshCheck::StartUp);
    SetCursor(old);
  }
  overdue_->Update();
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
  fileMenu_ = file;  // "&Hide" joins it in tray mode
  AppendMenuW(file, MF_STRING, IDM_FILE_EXIT, L"&End Session\tAlt+X");
  AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
  OnCommand(IDM_FILE_EXIT, [this] { FileExitMIClick(); });
  OnCommand(IDM_FILE_HIDE, [this] { FileHideMIClick(); });

  filesMenu_ = CreatePopupMenu();
  AppendMenuW(filesMenu_, MF_STRING, IDM_FILES_ADD, L"&Add");
  AppendMenuW(filesMenu_, MF_STRING, IDM_FILES_REFRESH, L"Re&fresh");
  AppendMenuW(filesMenu_, MF_STRING, IDM_FILES_RESTORE, L"&Restore");
  AppendMenuW(filesMenu_, MF_STRING, IDM_FILES_DELETE, L"&Delete");
  AppendMenuW(filesMenu_, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(filesMenu_, MF_STRING, IDM_FILES_REFRESH_CONTENTS, L"Refresh from &Originals");
  OnCommand(IDM_FILES_ADD, [this] { contentsPage_->AddFilesBTNClick(); });
  OnCommand(IDM_FILES_REFRESH, [this] { contentsPage_->RefreshFilesBTNClick(); });
  OnCommand(IDM_FILES_RESTORE, [this] { contentsPage_->RestoreFilesBTNClick(); });
  OnCommand(IDM_FILES_DELETE, [this] { contentsPage_->DeleteFilesBTNClick(); });
  OnCommand(IDM_FILES_REFRESH_CONTENTS, [this] { contentsPage_->FilesRefreshContentsMIClick(); });

  HMENU help = CreatePopupMenu();
  AppendMenuW(help, MF_STRING, IDM_HELP_CONTENTS, L"&Contents\tF1");
  AppendMenuW(help, MF_STRING, IDM_HELP_SEARCH, L"&Search");
  AppendMenuW(help, MF_STRING, IDM_HELP_MANUAL, L"User's &Manual");
  AppendMenuW(help, MF_STRING, IDM_HELP_HOMEPAGE, L"Internet &Homepage");
  AppendMenuW(help, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(help, MF_STRING, IDM_HELP_ABOUT, L"&About...");
  AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"&Help");
  OnCommand(IDM_HELP_CONTENTS, [this] { ShowHelp(HelpContext()); });
  OnCommand(IDM_HELP_SEARCH, [this] { HelpSearchMIClick(); });
  OnCommand(IDM_HELP_MANUAL, [this] { UsersManual1Click(); });
  OnCommand(IDM_HELP_HOMEPAGE, [this] { HelpHomePageMIClick(); });
  OnCommand(IDM_HELP_ABOUT, [this] { HelpAboutMIClick(); });
}

void TfWLMain::ShowFilesMenu(bool visible) {
  if (visible == filesMenuShown_ || !menu_) return;
  if (visible)
    InsertMenuW(menu_, 1, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(filesMenu_),
                L"&Files");
  else
    RemoveMenu(menu_, 1, MF_BYPOSITION);  // keeps the popup for the next time
  filesMenuShown_ = visible;
  if (Handle()) DrawMenuBar(Handle());
}

void TfWLMain::SetFilesMenuItems(bool refreshEnabled, bool restoreEnabled) {
  EnableMenuItem(filesMenu_, IDM_FILES_REFRESH, refreshEnabled ? MF_ENABLED : MF_GRAYED);
  EnableMenuItem(filesMenu_, IDM_FILES_RESTORE, restoreEnabled ? MF_ENABLED : MF_GRAYED);
}

void TfWLMain::BuildPages() {
  HWND form = Handle();
  captionLine_ = AddLabel(form, "CaptionST", "", 12, 8, 600, 30, forms::BoldFont(16, Dpi()));
  State.StatusBar = AddControl(form, STATUSCLASSNAMEW, "StatusBar", "",
                               WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0);
  pageControl_ = AddPanel(form, "WizardPC", 0, kCaptionHeight, 700, 480);
  for (int i = 0; i < 8; ++i) {
    pages_[i] = AddPanel(pageControl_, kPageNames[i], 0, 0, 700, 480, false);
    forms::SetWindowTextUtf8(pages_[i], kPageCaptions[i]);
  }
  for (int i = 0; i < 8; ++i) pageList_[static_cast<size_t>(i)]->Build(pages_[i]);
}

void TfWLMain::AddBackNext(HWND page, const std::string& back, const std::string& backCaption,
                           std::function<void()> onBack, const std::string& next,
                           const std::string& nextCaption, const std::string& nextHint,
                           std::function<void()> onNext, bool nextDefault) {
  HWND b = AddButton(page, back, backCaption, 0, 0, kButtonW, kButtonH, std::move(onBack));
  SetHint(b, kBackHint);
  HWND n = AddButton(page, next, nextCaption, 0, 0, kButtonW, kButtonH, std::move(onNext),
                     nextDefault);
  if (!nextHint.empty()) SetHint(n, nextHint);
}

int TfWLMain::SelectedVolumeIndex() const { return volumePage_->SelectedIndex(); }

void TfWLMain::EnableMainButtons() {
  bool any = !VolumeList.empty();
  // Restore stays open without volumes: the orphaned restore is reached through it.
  EnableWindow(Control("RestoreBTN"), TRUE);
  for (const char* name : {"DeleteBTN", "RefreshBTN", "OpenVolumeBTN"})
    EnableWindow(Control(name), any);
}

void TfWLMain::SetTitleSuffix(const std::string& suffix) {
  forms::SetWindowTextUtf8(Handle(), std::string(kAppTitle) + suffix);
}

int TfWLMain::Message(const std::string& text, uint32_t flags) {
  return env_.Prompts->Message(text, kAppTitle, flags);
}

std::unique_ptr<TOperationWindowUI> TfWLMain::NewOperationUI(IMessageBoxes* boxes) {
  TOperationWindowHooks hooks;
  hooks.MainWindow = Handle();
  hooks.StopRefreshTimer = [this] { StopRefreshTimer(); };
  hooks.StartRefreshTimer = [this] { StartRefreshTimer(); };
  hooks.RefreshContentsViews = [this] { addPage_->RefreshViews(); };
  hooks.MessageBoxes = boxes ? boxes : env_.OperationBoxes;
  hooks.OpenLog = env_.OpenLog;
  hooks.Clock = env_.Clock;
  return std::make_unique<TOperationWindowUI>(std::move(hooks));
}

void TfWLMain::ShowAfterOperation() {
  if (!Handle()) return;
  EnableWindow(Handle(), TRUE);
  ShowWindow(Handle(), SW_SHOW);
}

void TfWLMain::ResetContentsView() { contentsPage_->RootAt("C:\\"); }

void TfWLMain::LeaveOrphanedRoad() {
  if (State.OrphanVolume && State.CurrentVolume == State.OrphanVolume.get())
    State.CurrentVolume = nullptr;
  State.OrphanVolume.reset();
  State.PlaceholderIni.reset();
}

void TfWLMain::StartRefreshTimer() {
  // Switched off, automatic refresh needs no timer at all.
  if (Options.DisableAutoRefresh) {
    StopRefreshTimer();
    return;
  }
  if (Handle() && SetTimer(Handle(), kRefreshTimer, kRefreshMs, nullptr)) refreshTimerOn_ = true;
}

void TfWLMain::StopRefreshTimer() {
  if (Handle()) KillTimer(Handle(), kRefreshTimer);
  refreshTimerOn_ = false;
}

void TfWLMain::ShowPage(int page) {
  if (page < 0 || page > 7) return;
  // An edit left open would keep the list and Next disabled where its Cancel may be hidden.
  if (State.Page == pgVolume && page != pgVolume && volumePage_->Editing())
    volumePage_->CancelBTNClick();
  std::string caption = kCaptionLines[page];
  if (page == pgAdd && WizardMode == wmRefresh) caption = "Select files to backup/refresh...";
  forms::SetWindowTextUtf8(captionLine_, caption);

  HWND status = State.StatusBar;
  if (page == pgMain) {
    int parts[] = {-1};
    SendMessageW(status, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
    SendMessageW(status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(Widen(kStatusTitle).c_str()));
    SetTitleSuffix("");
    LeaveOrphanedRoad();
  } else {
    int parts[] = {Scale(250), -1};
    SendMessageW(status, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    SendMessageW(status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L""));
    SendMessageW(status, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L""));
  }
  bool browse = WizardMode == wmBrowse;
  for (const char* name : {"AddFilesBTN", "RefreshFilesBTN", "RestoreFilesBTN", "DeleteFilesBTN"})
    if (HWND hwnd = Control(name)) ShowWindow(hwnd, browse ? SW_SHOW : SW_HIDE);
  if (HWND next = Control("NextContentsBTN")) ShowWindow(next, browse ? SW_HIDE : SW_SHOW);
  ShowFilesMenu(browse && page == pgVolumeInfo);

  for (int i = 0; i < 8; ++i)
    if (i != page) ShowWindow(pages_[i], SW_HIDE);
  ShowWindow(pages_[page], SW_SHOW);
  State.Page = page;
  if (!pageList_.empty()) pageList_[static_cast<size_t>(page)]->Shown();
}

// ---- Commands ----

void TfWLMain::FileExitMIClick() {
  if (HasTimedRefreshes(VolumeList, Options.DisableAutoRefresh) &&
      env_.Prompts->Message(kExitQuestion, kExitCaption, mb::YesNo | mb::IconQuestion) !=
          mb::IdYes)
    return;
  ExitRequested = true;
  PostMessageW(Handle(), WM_CLOSE, 0, 0);
}

void TfWLMain::FileHideMIClick() { tray_->FileHideMIClick(); }

void TfWLMain::SetTaskbarButton(bool show) { tw::SetTaskbarButton(Handle(), show); }

bool TfWLMain::FormCloseQuery() {
  return CloseEndsProgram(ExitRequested, Options.RunAsTrayIcon, VolumeList,
                          Options.DisableAutoRefresh);
}

void TfWLMain::OptionsBTNClick() {
  // The tray menu offers Options only while nothing runs; a command left over must not nest.
  if (!IsWindowEnabled(Handle())) return;
  StopRefreshTimer();
  {
    TOptionsEnv env;
    env.Owner = Handle();
    env.VolumeList = &VolumeList;
    env.Options = &Options;
    env.Settings = &Settings;
    env.Registry = env_.Registry;
    env.Prompts = env_.Prompts;
    env.ShowHelp = [this](int context) { ShowHelp(context); };
    env.ReadWarnDays = [this] { return overdue_->Store().ReadWarnDays(); };
    env.WriteWarnDays = [this](int days) { return overdue_->Store().WriteWarnDays(days); };
    TfWLOptions options(std::move(env));
    options.ShowModal();
  }
  AfterOptionsDialog();
  StartRefreshTimer();
}

void TfWLMain::AfterOptionsDialog() {
  IStartupShortcuts* shortcuts = env_.Shortcuts;
  if (!shortcuts) {
    if (!realShortcuts_) realShortcuts_ = std::make_unique<Win32StartupShortcuts>();
    shortcuts = realShortcuts_.get();
  }
  UpdateStartupShortcut(*shortcuts, Options.LaunchOnStartup, env_.ExePath);
  Settings.WriteDefaultVolume(VolumeList);
  tray_->ApplyTrayState(Options.RunAsTrayIcon);
  if (!Options.RunAsTrayIcon)
    ActivateTidewellMIClick();  // a window hidden in the tray comes back with its button
  else if (!IsWindowVisible(Handle()))
    SetTaskbarButton(false);
}

void TfWLMain::FindBTNClick() {
  TfWLFindFiles::ShowFor({env_.Fs, env_.Prompts, this, nullptr, Handle()});
}

bool TfWLMain::AddPageReady() {
  return IsWindowEnabled(Handle()) && AddPage().ReadyForFoundFiles();
}

void TfWLMain::AddSelectionChanged() { AddPage().FoundFilesAdded(); }

void TfWLMain::RefreshTimerTimer(TRefreshCheck kind) {
  if (autoRefresh_->Run(kind) == TCheckEnd::Ran)
    overdue_->NoteCheck(autoRefresh_->Scheduler().LastCheck);
  if (kind != TRefreshCheck::SessionEnd && IsWindow(Handle())) overdue_->Update();
}

TicNotifyIcon* TfWLMain::TrayIcon() { return tray_ ? tray_->NotifyIcon.get() : nullptr; }

void TfWLMain::OpenVolumeFromTray(const std::string& volumeName) {
  // Something runs on the window (it is disabled): it only comes forward.
  if (!IsWindowEnabled(Handle())) return;
  ActivateTidewellMIClick();
  // Elsewhere in the wizard the user is in the middle of something of their own.
  if (State.Page != pgMain) return;
  for (size_t i = 0; i < VolumeList.size(); ++i) {
    if (VolumeList[i]->Name != volumeName) continue;
    mainPage_->OpenVolumeBTNClick();
    volumePage_->SelectRow(static_cast<int>(i));
    volumePage_->NextVolumeBTNClick();
    return;
  }
}

void TfWLMain::ActivateTidewellMIClick() { tray_->ActivateTidewellMIClick(); }

int TfWLMain::HelpContext() const {
  auto byMode = [this] {
    switch (WizardMode) {
      case wmBackup: return 110;
      case wmRefresh: return 120;
      case wmRestore:
      case wmOrphanSelect:
      case wmOrphanedRestore: return 130;
      case wmDelete: return 140;
      default: return 150;
    }
  };
  switch (State.Page) {
    case pgVolume: return byMode();
    case pgVolumeInfo: return 150;
    case pgAdd: return WizardMode == wmRefresh ? 120 : 110;
    case pgRestore:
    case pgOrphanedRestore: return 130;
    case pgDelete: return 140;
    case pgRefresh: return 120;
    default: return 0;
  }
}

namespace {
bool ExistsAsFile(IFileSystem& fs, const std::string& path) {
  FindData info;
  return fs.Stat(path, info) == winerr::Success && !info.IsDirectory();
}

// Opens the help file with a WinHelp command; without the file the user is told so.
void OpenHelp(TfWLMain& main, UINT command, ULONG_PTR data) {
  std::string file = main.Env().AppDir + kHelpFile;
  if (!ExistsAsFile(main.Fs(), file)) {
    main.Message("The help file " + file + " could not be found.", mb::Ok | mb::IconError);
    return;
  }
  WinHelpW(main.Handle(), Widen(file).c_str(), command, data);
}
}  // namespace

bool TfWLMain::OpenDocument(const std::string& file, int show) {
  return env_.OpenDocument ? env_.OpenDocument(file)
                           : reinterpret_cast<INT_PTR>(ShellExecuteW(
                                 Handle(), L"open", Widen(file).c_str(), nullptr, nullptr,
                                 show)) > 32;
}

bool TfWLMain::OpenManualPage(int context) {
  // Current Windows has no WinHelp: the manual's page stands in for the help file's topic.
  std::string page = env_.AppDir + kManualFolder + ManualPageOf(context);
  if (!ExistsAsFile(*env_.Fs, page)) return false;
  if (!OpenDocument(page, SW_SHOWNORMAL))
    Message("The help page " + page + " could not be opened.", mb::Ok | mb::IconError);
  return true;
}

void TfWLMain::ShowHelp(int context) {
  if (OpenManualPage(context)) return;
  OpenHelp(*this, context ? HELP_CONTEXT : HELP_CONTENTS, static_cast<ULONG_PTR>(context));
}

void TfWLMain::HelpSearchMIClick() {
  if (OpenManualPage(0)) return;
  OpenHelp(*this, HELP_FINDER, 0);
}

void TfWLMain::UsersManual1Click() {
  std::string file = env_.AppDir + kManualFile;
  if (!ExistsAsFile(*env_.Fs, file)) {
    if (OpenManualPage(0)) return;
    Message("The user's manual " + file + " could not be found.", mb::Ok | mb::IconError);
    return;
  }
  if (!OpenDocument(file, SW_SHOWMAXIMIZED))
    Message("The user's manual " + file + " could not be opened.", mb::Ok | mb::IconError);
}

void TfWLMain::HelpHomePageMIClick() {
  if (!OpenDocument(kHomePage, SW_SHOWNORMAL))
    Message(std::string("The home page ") + kHomePage + " could not be opened.",
            mb::Ok | mb::IconError);
}

void TfWLMain::HelpAboutMIClick() {
  env_.Prompts->Message("Tidewell 1.0\n\nBackup of your files as plain copies.\nCorvane",
                        "About Tidewell", mb::Ok | mb::IconInformation);
}

// ---- Window messages ----

void TfWLMain::FormResize(int w, int h) {
  SendMessageW(State.StatusBar, WM_SIZE, 0, 0);
  RECT sb{};
  GetWindowRect(State.StatusBar, &sb);
  int statusH = sb.bottom - sb.top;
  int pcH = h - Scale(kCaptionHeight) - statusH;
  MoveWindow(captionLine_, Scale(12), Scale(8), w - Scale(24), Scale(30), TRUE);
  MoveWindow(pageControl_, 0, Scale(kCaptionHeight), w, pcH, TRUE);
  for (HWND page : pages_) MoveWindow(page, 0, 0, w, pcH, TRUE);
  int buttonTop = pcH - Scale(kButtonH + 10);
  for (const char* name : kBackButtons)
    MoveWindow(Control(name), w - Scale(178), buttonTop, Scale(kButtonW), Scale(kButtonH), TRUE);
  for (const char* name : kNextButtons)
    MoveWindow(Control(name), w - Scale(98), buttonTop, Scale(kButtonW), Scale(kButtonH), TRUE);
  for (TWizardPage* page : Pages()) page->Layout(w, h, pcH);
}

LRESULT TfWLMain::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == ActivateMessage()) {
    ActivateTidewellMIClick();
    return 0;
  }
  switch (msg) {
    case WM_SIZE:
      FormResize(LOWORD(lp), HIWORD(lp));
      return 0;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lp);
      info->ptMinTrackSize = {Scale(kMinTrackW), Scale(kMinTrackH)};
      return 0;
    }
    case WM_NOTIFY: {
      LRESULT result = 0;
      for (TWizardPage* page : Pages())
        if (page && page->Notify(reinterpret_cast<NMHDR*>(lp), result)) return result;
      break;
    }
    case WM_COMMAND:
      if (lp) {
        for (TWizardPage* page : Pages())
          if (page && page->Command(reinterpret_cast<HWND>(lp), HIWORD(wp))) return 0;
      }
      break;
    case DM_GETDEFID: {
      HWND button = nullptr;
      if (State.Page == pgMain) button = Control("BackupBTN");
      else if (State.Page == pgVolume) button = volumePage_->DefaultButton();
      if (button) return MAKELRESULT(GetDlgCtrlID(button), DC_HASDEFID);
      return 0;
    }
    case WM_TIMER:
      if (wp == kDrawUpdateTimer) Statistics.DrawUpdateTimerTimer();
      else if (wp == kRefreshTimer) RefreshTimerTimer();
      return 0;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == SC_MINIMIZE && tray_ && tray_->FormMinimize()) return 0;
      break;
    case WM_INITMENUPOPUP:
      if (tray_ && tray_->InitMenuPopup(reinterpret_cast<HMENU>(wp))) return 0;
      break;
    case WM_CLOSE:
      // Disabled, the window has an operation, a check or a modal dialog running on it: a
      // close from outside (the taskbar's "Close window") would destroy it under them.
      if (!IsWindowEnabled(Handle())) return 0;
      if (!FormCloseQuery()) {
        FileHideMIClick();  // the tray keeps the program for its timed refreshes
        return 0;
      }
      FormDestroy();
      DestroyWindow(Handle());
      return 0;
    case WM_QUERYENDSESSION:
      ExitRequested = true;
      return TRUE;
    case WM_ENDSESSION:
      if (!wp) {
        // The sign-out was cancelled: the next close is an ordinary one.
        ExitRequested = false;
        return 0;
      }
      // Windows may end the process at any moment now: the exit writes come first, then the
      // last due refreshes (without a box), then the volume list with their new dates.
      FormDestroy();
      RefreshTimerTimer(TRefreshCheck::SessionEnd);
      Volumes.Save();
      return 0;
    case WM_DESTROY:
      if (tray_) tray_->NotifyIcon->SetIconVisible(false);
      KillTimer(Handle(), kDrawUpdateTimer);
      KillTimer(Handle(), kRefreshTimer);
      if (env_.QuitOnDestroy) PostQuitMessage(0);
      return 0;
  }
  return TForm::WndProc(msg, wp, lp);
}

}  // namespace tw
