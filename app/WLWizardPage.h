// One page of the main window's wizard: it builds its controls on its tab sheet, lays them out
// when the window's size changes, and holds the handlers of its buttons, which call the engine.
#pragma once
#include <windows.h>

#include <string>

#include "app/WLWizardState.h"

namespace tw {

class TfWLMain;

class TWizardPage {
 public:
  TWizardPage(TfWLMain& main, TWizardState& state) : main_(main), state_(state) {}
  virtual ~TWizardPage() = default;
  TWizardPage(const TWizardPage&) = delete;
  TWizardPage& operator=(const TWizardPage&) = delete;

  virtual void Build(HWND sheet) = 0;
  // w, h: the main window's client size; sheetH: the height of the page's sheet.
  virtual void Layout(int w, int h, int sheetH) {}
  // The page has just been made the one shown.
  virtual void Shown() {}
  // Notifications from the page's own controls; true when handled (result set).
  virtual bool Notify(NMHDR* hdr, LRESULT& result) { return false; }
  // Other commands of the page's controls (an edit's change); true when handled.
  virtual bool Command(HWND control, int code) { return false; }

 protected:
  HWND Control(const std::string& name) const;
  void Enable(const std::string& name, bool on) const;
  void Show(const std::string& name, bool visible) const;
  std::string Text(const std::string& name) const;
  void SetText(const std::string& name, const std::string& text) const;
  bool Checked(const std::string& name) const;
  void SetChecked(const std::string& name, bool on) const;

  TfWLMain& main_;
  TWizardState& state_;
  HWND sheet_ = nullptr;
};

}  // namespace tw
