// The find-files dialog: searches folders for files by name masks and recent change on threads
// of its own, lists what they find, and adds the checked files to the Add selection of the main
// window. Modeless, at most one, reached through fWLFindFiles; it frees itself when closed.
//
// Threads never wait for the main thread: they queue what they find under a lock and post one
// message until it is taken; the main thread takes the queue whole, and tells the list its new
// length at most ten times a second. The list is owner-data: rows live here, and icons and type
// names are looked up only for the rows drawn.
#pragma once
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/forms/Forms.h"
#include "engine/find.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Prompts.h"
#include "selection/selection.h"
#include "shellviews/ShellCommon.h"

namespace tw {

// What the dialog needs of the main window.
class IFindFilesHost {
 public:
  virtual ~IFindFilesHost() = default;
  // The Add page is shown and the window is free to change its selection (enabled, no
  // operation, scan or load running).
  virtual bool AddPageReady() = 0;
  virtual TWLDesktopNode& AddSelection() = 0;
  // Files were added to AddSelection: show the checks and the counts.
  virtual void AddSelectionChanged() = 0;
  // F1 in the dialog: the program's help at the dialog's context.
  virtual void ShowHelp(int context) = 0;
};

struct TFindFilesEnv {
  IFileSystem* Fs = nullptr;
  IPrompts* Prompts = nullptr;
  IFindFilesHost* Host = nullptr;
  IClock* Clock = nullptr;  // null: the system clock
  HWND Owner = nullptr;
};

class TfWLFindFiles : public forms::TForm {
 public:
  static constexpr int kHelpContext = 320;

  // The dialog, made and shown when there is none, else brought forward.
  static TfWLFindFiles* ShowFor(const TFindFilesEnv& env);

  bool Valid() const { return Handle() != nullptr; }
  bool Searching() const { return searching_; }
  int RowCount() const { return static_cast<int>(rows_.size()); }
  bool RowChecked(int row) const;
  void SetRowChecked(int row, bool checked);
  std::string RowText(int row, int column) const;
  bool AnimationPlaying() const { return playing_; }

  void FormCreate();
  void GoBTNClick();
  void StopBTNClick();
  void BrowseBTNClick();
  void ClearBTNClick();
  void CheckSelectedBTNClick();
  void UnCheckSelectedBTNClick();
  void AddToBackupBTNClick();
  bool FormCloseQuery() const;
  void FormResize(int w);

  // Message numbers, for tests that wait for them.
  static constexpr UINT kDrainMessage = WM_APP + 31;
  static constexpr UINT kSearchDoneMessage = WM_APP + 32;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
  void Destroyed() override;

 private:
  struct TRow {
    std::shared_ptr<const std::string> folder;  // with its backslash, shared by its folder's rows
    std::string name;
    uint64_t size = 0;
    FileTime modified = 0;
    bool checked = false;
    int icon = -1;  // looked up when first drawn
  };
  class TSink;

  explicit TfWLFindFiles(const TFindFilesEnv& env);
  ~TfWLFindFiles() override;
  void Build();
  void SearchThread(std::string folder, find::TFindRequest request);
  // Threads: the queue, under its lock.
  void Deliver(std::vector<TRow>& batch);
  void Drain();
  void ShowRowCount();
  void SearchDone();
  void StopAndJoin();
  void OpenAnimation();
  void StartAnimation();
  void StopAnimation();
  bool OnNotify(NMHDR* hdr, LRESULT& result);
  void FillDisplayInfo(NMLVDISPINFOW& info);
  void ToggleCheck(int row);
  void SetAllChecks(bool checked);
  void RememberText(HWND combo, const std::string& text);

  TFindFilesEnv env_;
  std::vector<std::string> masks_;
  std::vector<TRow> rows_;
  int shownCount_ = 0;  // the list's item count
  bool searching_ = false;
  bool playing_ = false;
  int stopFrame_ = -1;  // -1: no clip
  bool countPending_ = false;
  mutable shellviews::TFileTypeCache fileTypes_;
  std::wstring textBuffer_;

  // Shared with the threads.
  std::atomic<bool> Stop{false};
  std::atomic<int> running_{0};
  std::mutex queueMutex_;
  std::vector<TRow> queue_;
  bool drainPosted_ = false;
  std::vector<std::thread> threads_;
  HWND postTarget_ = nullptr;  // the window, for the threads' posts

  HWND namedAsCB_ = nullptr, changedSLE_ = nullptr, changedUD_ = nullptr, searchCB_ = nullptr,
       includeCB_ = nullptr, animate_ = nullptr, filesLV_ = nullptr, statusBar_ = nullptr;
};

// The dialog while it exists; cleared when it is destroyed.
extern TfWLFindFiles* fWLFindFiles;

}  // namespace tw
