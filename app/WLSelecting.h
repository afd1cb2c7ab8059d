// The busy dialog shown while checking a folder makes the program walk and count its files.
// One instance lives for the whole run; callers show and hide it by counted calls, so nested
// scans keep it up until the outermost one ends.
#pragma once
#include <windows.h>

#include <string>

#include "app/forms/Forms.h"

namespace tw {

class TfWLSelecting : public forms::TForm {
 public:
  TfWLSelecting();
  ~TfWLSelecting() override;

  bool Valid() const { return Handle() != nullptr; }
  // The window the dialog is centred on and stays above; may come after construction, since
  // the dialog is created before the main window.
  void SetMainWindow(HWND mainWindow);

  void BeginSelecting();
  void EndSelecting();
  void SetCountText(const std::string& text);
  int ShowCount() const { return showCount_; }

  bool AnimationPlaying() const { return playing_; }
  bool ClipLoaded() const { return clipLoaded_; }

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void FormShow();
  void FormHide();

  HWND main_ = nullptr;
  HWND aviSelecting_ = nullptr;
  int showCount_ = 0;
  bool playing_ = false;
  bool clipLoaded_ = false;
};

// The program's busy dialog; empty before the entry code creates it and after it is destroyed.
extern TfWLSelecting* fWLSelecting;

}  // namespace tw
