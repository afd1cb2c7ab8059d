// The main window: a wizard of eight pages with hidden tabs, the caption line, the status bar
// and the File menu. It stays a controller: its handlers are short and call the engine.
#pragma once
#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "app/forms/Forms.h"
#include "engine/settings.h"
#include "engine/volumes.h"
#include "platform/FileSystem.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"

namespace tw {

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
};

enum TWizardPage {
  pgMain = 0,
  pgVolume = 1,
  pgVolumeInfo = 2,
  pgAdd = 3,
  pgRestore = 4,
  pgDelete = 5,
  pgRefresh = 6,
  pgOrphanedRestore = 7,
};

class TfWLMain : public forms::TForm {
 public:
  explicit TfWLMain(TMainEnv env);
  ~TfWLMain() override;

  // Creates the window and runs the start-up sequence; the window is shown unless the program
  // starts hidden. False when the window cannot be created.
  bool Create();

  void ShowPage(int page);
  int CurrentPage() const { return page_; }

  // Handlers bound to the controls.
  void BackupBTNClick();
  void RestoreBTNClick();
  void DeleteBTNClick();
  void RefreshBTNClick();
  void OpenVolumeBTNClick();
  void OptionsBTNClick();
  void FileExitMIClick();
  void BackVolumeBTNClick();
  void NextVolumeBTNClick();
  void BackAddBTNClick();
  void BackContentsBTNClick();
  void BackOperationBTNClick();  // Back on the Restore, Delete and Refresh Volume pages
  void BackOrphanedRestoreClick();

  // State of the running program.
  TVolumeStore Volumes;
  TVolumeList& VolumeList;
  TVolumeRec* CurrentVolume = nullptr;
  uint8_t WizardMode = 0;
  bool WinStart = false;
  bool ExitRequested = false;
  TSettingsStore Settings;
  TGeneralOptions Options;  // LaunchOnStartup, RunAsTrayIcon, DisableAutoRefresh, LastVolumeName
  bool StartupRefreshDue = false;  // a volume has automatic refresh and it is not disabled

  // Row of VolumeListLV that is selected, -1 for none.
  int SelectedVolumeIndex() const;
  const TMainEnv& Env() const { return env_; }

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void BuildMenu();
  void BuildPages();
  void BuildMainPage(HWND page);
  void BuildVolumePage(HWND page);
  void AddBackNext(HWND page, const std::string& back, const std::string& backCaption,
                   void (TfWLMain::*onBack)(), const std::string& next,
                   const std::string& nextCaption, const std::string& nextHint,
                   void (TfWLMain::*onNext)(), bool nextDefault = false);
  void FormCreate();
  void FormDestroy();
  void FormResize(int w, int h);
  void FillVolumeList(int selected);
  void EnableMainButtons();
  void ShowControl(const std::string& name, bool visible);
  void SetCaption(const std::string& name, const std::string& text);
  void SetTitleSuffix(const std::string& suffix);
  int Message(const std::string& text, uint32_t flags);

  TMainEnv env_;
  bool exitSaved_ = false;  // the exit writes ran (at the end of the session or at close)
  int page_ = -1;
  HWND pageControl_ = nullptr;
  HWND pages_[8] = {};
  HWND statusBar_ = nullptr;
  HWND captionLine_ = nullptr;
  HMENU menu_ = nullptr;
  HIMAGELIST images_ = nullptr;
};

}  // namespace tw
