// The main window: a wizard of eight pages with hidden tabs, the caption line, the status bar
// and the menus. It routes between the pages; each page is a class of its own that holds its
// controls and handlers and calls the engine.
#pragma once
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/OperationWindowUI.h"
#include "app/WLFindFiles.h"
#include "app/WLSelectionEvents.h"
#include "app/WLWizardState.h"
#include "app/forms/Forms.h"
#include "engine/fileconflict.h"
#include "engine/scheduler.h"
#include "engine/settings.h"
#include "engine/volumeidentity.h"
#include "engine/volumes.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/NamedMutex.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"
#include "platform/StartupShortcuts.h"

namespace tw {

class TMainPage;
class TOverdueWatch;
class TicNotifyIcon;
class TVolumePage;
class TContentsPage;
class TAddPage;
class TRestorePage;
class TDeletePage;
class TRefreshPage;
class TOrphanedRestorePage;
class TWizardPage;
class TAutoRefresh;
class TWLTray;

// What the window works with; the program passes the real platform, tests their own.
struct TMainEnv {
  IFileSystem* Fs = nullptr;
  IRegistry* Registry = nullptr;
  IPrompts* Prompts = nullptr;
  std::string AppDir;   // with trailing backslash
  std::string ExePath;  // written as AppPath at exit
  std::string ProductKey = WLRegStrings::ProductKey;
  std::vector<std::string> Args;  // command-line arguments after the program name
  bool QuitOnDestroy = true;      // end the message loop when the window is destroyed
  // The operations' message boxes; null: real ones, owned by what the user sees.
  IMessageBoxes* OperationBoxes = nullptr;
  // Opens the log after a failed operation; empty: Notepad through the shell.
  std::function<void(const std::string& logPath)> OpenLog;
  // Opens a document (the manual, the home page) with the shell's "open" verb; empty: the
  // shell. Returns false when it could not be opened.
  std::function<bool(const std::string& target)> OpenDocument;
  // The question about an existing selection file of a new or renamed volume, owned by the
  // main window; empty: the program's dialog (TVolumePage::NewFileConflictPrompt).
  std::function<std::unique_ptr<IFileConflictPrompt>(HWND owner)> FileConflict;
  // The local time the automatic refresh goes by; null: the wall clock.
  IClock* Clock = nullptr;
  // The lock shared with the Explorer extension while a selection file is read or replaced;
  // null: the session's named mutex kSelectionFilesMutex.
  INamedMutex* SelectionLock = nullptr;
  // The Startup folder that holds "Tidewell.lnk"; null: the user's real one.
  IStartupShortcuts* Shortcuts = nullptr;
};

inline constexpr char kExitCaption[] = "Exit Tidewell";
inline constexpr char kExitQuestion[] =
    "This will end Tidewell, that means automatic refreshes cannot be performed. Continue?";

class TfWLMain : public forms::TForm, public IFindFilesHost {
 public:
  explicit TfWLMain(TMainEnv env);
  ~TfWLMain() override;

  // Creates the window and runs the start-up sequence; the window is shown unless the program
  // starts hidden. False when the window cannot be created.
  bool Create();

  void ShowPage(int page);

  // Commands reached from several places.
  // End Session of the main menu and page: asks first while timed refreshes are pending.
  void FileExitMIClick();
  // Hides the window into the tray, without its taskbar button.
  void FileHideMIClick();
  // Brings the window out of the tray (another copy's start asks for it); while an operation's
  // progress dialog exists only that comes forward.
  void ActivateTidewellMIClick();
  void OptionsBTNClick();
  // The start-up and tray settings applied after the options dialog: the start-up shortcut,
  // the default volume for the context menu, the tray icon and "&Hide", the taskbar button.
  void AfterOptionsDialog();
  // Whether a close of the window ends the program (else it hides into the tray).
  bool FormCloseQuery();
  // Shows (true) or takes away (false) the program's taskbar button.
  void SetTaskbarButton(bool show);
  TWLTray& Tray() { return *tray_; }
  void FindBTNClick();
  // The automatic refresh check: the timer's tick, the start-up check or the session's end.
  void RefreshTimerTimer(TRefreshCheck kind = TRefreshCheck::Tick);
  // Opens the help file at a context number (0: its contents); says so when it is missing.
  void ShowHelp(int context) override;
  // Opens a file or address with the shell (or the environment's stand-in).
  bool OpenDocument(const std::string& file, int show);
  void HelpSearchMIClick();
  void UsersManual1Click();
  void HelpHomePageMIClick();
  void HelpAboutMIClick();

  // IFindFilesHost: the find-files dialog adds to the Add page's selection.
  bool AddPageReady() override;
  TWLDesktopNode& AddSelection() override { return State.AddSelection; }
  void AddSelectionChanged() override;

  // State of the running program.
  TVolumeStore Volumes;
  TVolumeList& VolumeList;
  TWizardState State;
  uint8_t& WizardMode;
  TVolumeRec*& CurrentVolume;
  bool WinStart = false;
  bool ExitRequested = false;
  TSettingsStore Settings;
  TVolumeIdStore VolumeIds;  // the identity each volume's folder carries
  TGeneralOptions Options;  // LaunchOnStartup, RunAsTrayIcon, DisableAutoRefresh, LastVolumeName
  bool StartupRefreshDue = false;  // a volume has automatic refresh and it is not disabled
  TSelectionStatistics Statistics;
  bool RefreshTimerRunning() const { return refreshTimerOn_; }
  TAutoRefresh& AutoRefresh() { return *autoRefresh_; }
  TOverdueWatch& Overdue() { return *overdue_; }
  // The tray icon; null before the window is created.
  TicNotifyIcon* TrayIcon();
  // A click on the overdue balloon: the window comes forward and, from the Main page, the
  // wizard opens the volume.
  void OpenVolumeFromTray(const std::string& volumeName);

  // Row of VolumeListLV that is selected, -1 for none.
  int SelectedVolumeIndex() const;
  const TMainEnv& Env() const { return env_; }
  IFileSystem& Fs() const { return *env_.Fs; }
  IPrompts& Prompts() const { return *env_.Prompts; }
  INamedMutex& SelectionLock() const { return *env_.SelectionLock; }

  TMainPage& MainPage() { return *mainPage_; }
  TVolumePage& VolumePage() { return *volumePage_; }
  TContentsPage& ContentsPage() { return *contentsPage_; }
  TAddPage& AddPage() { return *addPage_; }
  TRestorePage& RestorePage() { return *restorePage_; }
  TDeletePage& DeletePage() { return *deletePage_; }
  TRefreshPage& RefreshPage() { return *refreshPage_; }
  TOrphanedRestorePage& OrphanedRestorePage() { return *orphanedPage_; }

  // ---- For the pages ----
  // A message captioned "Tidewell", owned by the main window.
  int Message(const std::string& text, uint32_t flags);
  void SetTitleSuffix(const std::string& suffix);
  // The Volume Contents tree back at "C:\", refreshed (its volume is gone).
  void ResetContentsView();
  // Restore, Delete, Refresh and Open Volume follow whether any volume exists.
  void EnableMainButtons();
  // The window side of one operation run; a new one per run. boxes: null for the usual ones.
  std::unique_ptr<TOperationWindowUI> NewOperationUI(IMessageBoxes* boxes = nullptr);
  // After an operation: the window shown again, in front.
  void ShowAfterOperation();
  // The orphaned road's volume is dropped once the road is left.
  void LeaveOrphanedRoad();
  void AddBackNext(HWND page, const std::string& back, const std::string& backCaption,
                   std::function<void()> onBack, const std::string& next,
                   const std::string& nextCaption, const std::string& nextHint,
                   std::function<void()> onNext, bool nextDefault = false);
  void SetFilesMenuItems(bool refreshEnabled, bool restoreEnabled);
  // The help context of the page shown (0: the help file's contents).
  int HelpContext() const;
  // The manual's page for a help context; false when the page is not installed.
  bool OpenManualPage(int context);

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void BuildMenu();
  void BuildPages();
  void FormCreate();
  void FormDestroy();
  void FormResize(int w, int h);
  void ShowFilesMenu(bool visible);
  void StartRefreshTimer();
  void StopRefreshTimer();
  const std::vector<TWizardPage*>& Pages() const { return pageList_; }
  std::vector<TWizardPage*> pageList_;  // in page order; emptied before the pages go

  TMainEnv env_;
  std::unique_ptr<INamedMutex> ownSelectionLock_;  // when the environment gives none
  std::unique_ptr<IStartupShortcuts> realShortcuts_;
  bool startHidden_ = false;  // a log-on start in tray mode: only the icon shows
  bool exitSaved_ = false;  // the exit writes ran (at the end of the session or at close)
  bool refreshTimerOn_ = false;
  HWND pageControl_ = nullptr;
  HWND pages_[8] = {};
  HWND captionLine_ = nullptr;
  HMENU menu_ = nullptr;
  HMENU fileMenu_ = nullptr;
  HMENU filesMenu_ = nullptr;
  bool filesMenuShown_ = false;
  std::unique_ptr<TMainPage> mainPage_;
  std::unique_ptr<TVolumePage> volumePage_;
  std::unique_ptr<TContentsPage> contentsPage_;
  std::unique_ptr<TAddPage> addPage_;
  std::unique_ptr<TRestorePage> restorePage_;
  std::unique_ptr<TDeletePage> deletePage_;
  std::unique_ptr<TRefreshPage> refreshPage_;
  std::unique_ptr<TOrphanedRestorePage> orphanedPage_;
  std::unique_ptr<TAutoRefresh> autoRefresh_;
  std::unique_ptr<TOverdueWatch> overdue_;
  std::unique_ptr<TWLTray> tray_;
};

}  // namespace tw
