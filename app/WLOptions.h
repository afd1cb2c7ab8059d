// The options dialog: the program-wide settings (start with Windows, tray icon, ejecting Zip
// disks at shutdown) and, per volume, the default mark, the automatic refresh schedule and the
// context-menu mark. Every change is live (no Cancel): the volume records and the options in
// memory are edited directly; the Zip value and the context-menu marks go to the registry at
// once. Modal, created and freed by its caller around one run.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "app/forms/Forms.h"
#include "engine/settings.h"
#include "engine/volumes.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"

namespace tw {

// What the dialog edits and reports through; all of it outlives the dialog.
struct TOptionsEnv {
  HWND Owner = nullptr;  // disabled while the dialog shows
  TVolumeList* VolumeList = nullptr;
  TGeneralOptions* Options = nullptr;  // LaunchOnStartup and RunAsTrayIcon
  TSettingsStore* Settings = nullptr;  // the context-menu marks
  IRegistry* Registry = nullptr;       // the Zip vendor's value (local-machine hive)
  IPrompts* Prompts = nullptr;
  // Opens the program's help at a context number.
  std::function<void(int context)> ShowHelp;
  // The overdue warning's days (0: off), stored at once; null: the row shows the default.
  std::function<int()> ReadWarnDays;
  std::function<bool(int days)> WriteWarnDays;
  // The Zip vendor's key; tests use one of their own.
  std::string ZipKey = WLRegStrings::ZipExtensionsKey;
};

class TfWLOptions : public forms::TForm {
 public:
  static constexpr int kHelpContext = 200;

  explicit TfWLOptions(TOptionsEnv env);
  ~TfWLOptions() override;

  bool Valid() const { return Handle() != nullptr; }
  // Runs the dialog until it is closed (Close, Esc or the close box); every change is kept.
  void ShowModal();

  // The record of the selected list item; null when none is selected.
  TVolumeRec* SelectedVolume = nullptr;

  void FormCreate();
  void FormShow();
  void FormClose();
  void VolumesLBDrawItem(const DRAWITEMSTRUCT& item);
  void VolumesLBClick();
  void DefaultCHBClick();
  void RefreshesCHBClick();
  void AutomaticCBClick();
  void FrequencyCBChange();
  void DaysCBChange();
  void TimeDTPChange();
  void LaunchCHBClick();
  void TrayIconCHBClick();
  void EjectZipCHBClick();
  void AddToContextMenuBTNClick();
  void WarnDaysEDChange();
  void BitBtn1Click();
  void CloseBTNClick();

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void Build();
  HWND AddCheckBox(const std::string& name, const std::string& text, int x, int y, int w,
                   void (TfWLOptions::*onClick)());
  // Sets a box from code; its click handler runs only when the state really changes.
  void SetChecked(HWND box, bool checked);
  static bool IsChecked(HWND box);
  void ApplyEnabling();
  void ShowRefreshTime(double refreshTime);
  void ShowError(const std::string& text);
  void WhileDisabled(const std::function<void()>& body);
  int ItemHeight() const { return Scale(16); }

  TOptionsEnv env_;
  std::unique_ptr<TZipShutdownEject> optionsRegistry_;  // open from creation until closed
  bool zipStored_ = false;  // what the Zip value holds as far as the dialog knows
  bool visible_ = false;    // between showing and closing
  bool settingTime_ = false;
  int warnDays_ = -1;  // what the days box last stored (or showed at creation)
  HFONT boldFont_ = nullptr;
  HWND launchCHB_ = nullptr, trayIconCHB_ = nullptr, ejectZipCHB_ = nullptr;
  HWND volumesLB_ = nullptr, defaultCHB_ = nullptr, refreshesCHB_ = nullptr;
  HWND automaticCB_ = nullptr, frequencyCB_ = nullptr, daysCB_ = nullptr, timeDTP_ = nullptr;
  HWND addToContextMenuBTN_ = nullptr, helpBTN_ = nullptr;
  HWND warnDaysED_ = nullptr, warnDaysUD_ = nullptr;
};

}  // namespace tw
