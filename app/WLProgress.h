// The progress dialog of the copying operations: volume, backup path, the current file, a
// progress bar, an animation and Cancel. Modeless; the running operation polls Cancelled.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "app/forms/Forms.h"

namespace tw {

// Names of the clips in the program's resources (resource type "AVI").
inline constexpr wchar_t kCopyFileAvi[] = L"COPYFILEAVI";
inline constexpr wchar_t kDeleteFileAvi[] = L"DELETEFILEAVI";
inline constexpr wchar_t kSelectAvi[] = L"TAGSELECTAVI";

// The path as it fits: unchanged when fits(path); else inner folders give way to "..."
// ("C:\...\Inner\file.txt", then "...\file.txt"); a name too long even so keeps its beginning
// and its end around "..." ("C:\Da...ile.txt"). Never splits a surrogate pair.
std::wstring ShortenPathToFit(const std::wstring& path,
                              const std::function<bool(const std::wstring&)>& fits);

class TfWLProgress : public forms::TForm {
 public:
  // Owned by the main window; created hidden with the caption "Backing up files...".
  explicit TfWLProgress(HWND mainWindow);
  ~TfWLProgress() override;

  bool Valid() const { return Handle() != nullptr; }
  void SetCaption(const std::string& caption);
  void SetVolumeText(const std::string& text);
  void SetPathText(const std::string& text);
  // The file being worked on, shortened to stName's width in its font.
  void ShowFile(const std::string& path);
  void SetRange(int minimum, int maximum);
  void SetPosition(int position);
  void StepIt();
  int Position() const;
  // The line under the bar: files done of files to do, bytes, rate, time left (TProgressMeter).
  void SetProgressLine(const std::string& text);

  // Shows the dialog without activating the operation's windows behind it (modeless).
  void Show();
  void Hide();
  void StartAnimation();
  void StopAnimation();
  void UseDeleteAnimation();
  // Whether the animation runs (the control itself cannot tell under every platform).
  bool AnimationPlaying() const { return playing_; }
  // False when the clip could not be loaded from the resources.
  bool ClipLoaded() const { return clipLoaded_; }

  void BitBtn1Click();

  // Set by Cancel; never goes back to false.
  bool Cancelled = false;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void FormCreate();
  void FormShow();
  void FormDestroy();
  bool OpenClip(const wchar_t* name);

  HWND main_;
  HWND aviVideo_ = nullptr;
  HWND stName_ = nullptr;
  HWND progressBar_ = nullptr;
  HWND stProgress_ = nullptr;
  bool playing_ = false;
  bool clipLoaded_ = false;
  bool mainButtonTaken_ = false;
};

// The dialog of the running operation; empty while none runs. The dialog clears it when it is
// destroyed.
extern TfWLProgress* fWLProgress;

// Centres a window on another: left = other's left + (other's width - width) / 2, same for top.
void CentreOn(HWND window, HWND other);

}  // namespace tw
