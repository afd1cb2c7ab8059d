// The file conflict dialog: a new volume needs a selection file whose name is taken in the
// program folder. Delete or rename the old file, or drop the volume. Modal, one question per
// object; it has no working close box, so every way out is a choice.
#pragma once
#include <windows.h>

#include <string>

#include "app/forms/Forms.h"
#include "engine/fileconflict.h"

namespace tw {

class TfWLFileConfirm : public forms::TForm, public IFileConflictPrompt {
 public:
  enum TModalResult { mrNone, mrOk, mrCancel };

  // owner: the window disabled while the dialog shows (may be null). Delete and Rename act on
  // appDir (with trailing backslash) through fs; Rename's messages go through prompts.
  TfWLFileConfirm(HWND owner, IFileSystem& fs, IPrompts& prompts, std::string appDir);
  ~TfWLFileConfirm() override;

  bool Valid() const { return Handle() != nullptr; }

  // Set by the caller before showing: the file's name without folder ("Office.TWS").
  std::string FileName;
  // mrOk after Delete or Rename; mrCancel for Cancel, Esc and any other ending.
  TModalResult ShowModal();

  // IFileConflictPrompt
  bool ResolveFileConflict(const std::string& fileName) override;

  void DeleteBTNClick();
  void RenameBTNClick();
  void CancelBTNClick();

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void FormCreate();
  void FormShow();
  void Close(TModalResult result);

  HWND owner_;
  IFileSystem& fs_;
  IPrompts& prompts_;
  std::string appDir_;
  HWND prompt_ = nullptr;
  HWND cancel_ = nullptr;
  TModalResult result_ = mrNone;
};

}  // namespace tw
