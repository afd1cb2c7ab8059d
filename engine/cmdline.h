// The refresh run from the command line, for the Task Scheduler and scripts:
//   Tidewell.exe /REFRESH "Docs" | /REFRESH /ALL  [/QUIET] [/LIST] [/LOG:"path"]
// Each volume is refreshed exactly as the automatic refresh does it (TRefreshScheduler), then
// the program ends with an exit code a script can act on.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "engine/overdue.h"
#include "engine/scheduler.h"
#include "platform/OperationUI.h"

namespace tw {

// The codes, from the best case to the worst; a run of several volumes ends with the worst.
namespace exitcode {
inline constexpr int NothingCopied = 0;
inline constexpr int FilesCopied = 1;  // a dry run: files would be copied
inline constexpr int Missing = 2;      // a volume, its selection file or its backup folder
inline constexpr int Errors = 8;       // the log says which
inline constexpr int CouldNotRun = 16;  // bad arguments, the volume list unreadable, busy
}  // namespace exitcode

struct TCommandLine {
  bool Refresh = false;
  bool All = false;
  bool Quiet = false;
  bool List = false;
  std::string Volume;   // the name after /REFRESH, unless /ALL
  std::string LogPath;  // /LOG:path, empty when not given
  std::string Error;    // not empty: the arguments are bad (exit code 16)
};

// True when the arguments ask for the command-line refresh rather than the window: any of its
// switches is present. Arguments of the window (its start-up switch) leave this false.
bool IsCommandLineRun(const std::vector<std::string>& args);
// Switches in any case and order; /LOG's path follows its colon (the shell's quotes are gone
// by now). Exactly one of a volume name and /ALL.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);

// How one volume of a command-line run ended.
enum class TCmdEnd {
  Done,              // walked to the end; see Errors and the counts
  VolumeMissing,     // no volume of this name
  SelectionMissing,  // it has no saved selection file
  PathUnavailable,   // its backup folder could not be reached (or made)
  Busy,              // another refresh of it ran past the wait
  Failed,            // the walk could not start (unusable record, no log) or was cancelled
  ForeignFolder,     // its backup folder holds another volume's backup: nothing written
};
struct TCmdVolumeResult {
  std::string Name;
  TCmdEnd End = TCmdEnd::Done;
  bool Errors = false;
  int FilesChecked = 0;
  int FilesChanged = 0;  // a dry run: the files it would copy
  std::string MovedTo;   // its folder was found on another drive and refreshed there
};

int ExitCodeOf(const TCmdVolumeResult& result);
// The worst of the volumes' codes; NothingCopied for none.
int RunExitCode(const std::vector<TCmdVolumeResult>& results);
// The one line per volume for the console and the log.
std::string SummaryLine(const TCmdVolumeResult& result, bool listOnly);
// The usage text printed with a bad-arguments error.
extern const char kCommandLineUsage[];

// An operation UI without any window: nothing is shown, every question gets CautiousAnswer
// (stop, never go on writing), and the log is never opened.
class TQuietOperationUI : public IOperationUI {
 public:
  void StopRefreshTimer() override {}
  void StartRefreshTimer() override {}
  void SetMainWindowEnabled(bool) override {}
  void HideMainWindow() override {}
  void ShowMainWindow() override {}
  void RefreshContentsViews() override {}
  void CreateProgress() override {}
  void SetCaption(const std::string&) override {}
  void SetVolumeText(const std::string&) override {}
  void SetPathText(const std::string&) override {}
  void ShowFile(const std::string&) override {}
  void SetProgressRange(int, int) override {}
  void SetProgressPosition(int) override {}
  void StepProgress() override {}
  void AddCopiedBytes(uint64_t) override {}
  void ShowProgress() override {}
  void HideProgress() override {}
  void FreeProgress() override {}
  void StopAnimation() override {}
  void StartAnimation() override {}
  void UseDeleteAnimation() override {}
  bool Cancelled() override { return false; }
  void ProcessMessages() override {}
  int Message(const std::string& text, const std::string& caption, uint32_t flags,
              MessageOwner owner) override;
  IRootPathPrompt& RootPathPrompt() override;
  void OpenLog(const std::string&) override {}

  // The questions that were answered, for the run's own log.
  std::vector<std::string> Asked;
};

// Runs the refreshes of a parsed command line over a loaded volume list.
class TCommandLineRefresh {
 public:
  // The wait for another refresh of the same volume to end.
  static constexpr uint32_t kVolumeWaitMs = 60000;

  TCommandLineRefresh(IFileSystem& fs, IClock& clock, INamedMutex& selectionLock,
                      TNamedMutexFactory volumeLocks, std::string appDir)
      : fs_(fs),
        clock_(clock),
        scheduler_(fs, clock, selectionLock, appDir),
        appDir_(std::move(appDir)) {
    scheduler_.VolumeLocks = volumeLocks;
    locks_ = std::move(volumeLocks);
    scheduler_.VolumeLockWaitMs = kVolumeWaitMs;
    scheduler_.LogPerVolume = true;
  }

  // Each line said to the user (one per volume, and the errors of the run itself).
  std::function<void(const std::string&)> Console;
  // Where each finished refresh is noted (not a dry run); null: nowhere.
  TRefreshHealthStore* Health = nullptr;
  // Where volume identities are remembered (see TRefreshScheduler::VolumeIds); null: none.
  TVolumeIdStore* VolumeIds = nullptr;

  // listUnreadable: the volume list exists but could not be read whole. Returns the exit code.
  int Run(const TCommandLine& cmd, const TVolumeList& volumes, bool listUnreadable,
          IOperationUI& ui);
  const std::vector<TCmdVolumeResult>& Results() const { return results_; }
  // A /LOG file that could not be written (the run's code is an error then).
  WinError LogWriteError = winerr::Success;

 private:
  TCmdVolumeResult RefreshOne(const TVolumeRec& volume, const TVolumeList& volumes,
                              const TCommandLine& cmd, IOperationUI& ui);
  // Appends lines to the /LOG file (read, then replaced whole, so a failure loses nothing).
  void AppendLog(const TCommandLine& cmd, const std::string& text);
  void Say(const TCommandLine& cmd, const std::string& line);

  IFileSystem& fs_;
  IClock& clock_;
  TRefreshScheduler scheduler_;
  std::string appDir_;
  std::vector<TCmdVolumeResult> results_;
  TNamedMutexFactory locks_;
};

}  // namespace tw
