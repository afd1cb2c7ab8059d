// The root path prompt of a restore: asks where a first-level folder of a volume without
// per-drive folders goes back to. Modal, on top of other windows, and it cannot be closed
// while its edit holds nothing but blanks.
#pragma once
#include <windows.h>

#include <optional>
#include <string>

#include "app/forms/Forms.h"
#include "engine/layout.h"

namespace tw {

class TfWLRootPath : public forms::TForm, public IRootPathPrompt {
 public:
  // owner: the window that is modal-disabled while the prompt shows (may be null).
  explicit TfWLRootPath(HWND owner);
  ~TfWLRootPath() override;

  bool Valid() const { return Handle() != nullptr; }
  void SetOwner(HWND owner) { owner_ = owner; }

  // Shows the dialog and runs its own message loop until it is closed; false when it could not
  // be shown or the program is quitting (the quit is passed on).
  bool ShowModal();
  std::string PathText() const;

  // IRootPathPrompt: shows the folder's name in FolderST; the text as typed (untrimmed) once
  // the dialog closes.
  std::optional<std::string> AskRootPath(const std::string& folderName) override;

  void BitBtn1Click();

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void FormShow();
  bool FormCloseQuery() const;
  void TryClose();

  HWND owner_;
  HWND folderST_ = nullptr;
  HWND pathSLE_ = nullptr;
  HWND okButton_ = nullptr;
};

}  // namespace tw
