// The automatic refresh: which volumes are due at a given local time, and the check that
// refreshes them one after the other from their saved selections, without the wizard.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/operations.h"
#include "engine/volumes.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/NamedMutex.h"
#include "platform/OperationUI.h"

namespace tw {

class TVolumeIdStore;

inline constexpr char kAutoRefreshCaptionPrefix[] = "Refreshing volume ";

// What started a check. Only the start-up check refreshes volumes of frequency 0.
enum class TRefreshCheck { StartUp, Tick, SessionEnd };

// Whole days since 30 December 1899 of a date value; none for a value that is no calendar date
// of the years 1 to 9999 (NaN, infinite, far out of range), so no conversion overflows.
std::optional<int64_t> DateDay(double value);
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(int64_t day);
// LastRefresh is set and falls on the date of `now`. A LastRefresh that is no date counts as
// not today.
bool RefreshedToday(double lastRefresh, double now);
// Frequency 0-2; for the timed frequencies a RefreshTime in [0, 1), and for the weekly one a
// WeekDay 1-7. A volume whose schedule fails this is never due (its values stay as read).
bool HasValidSchedule(const TVolumeRec& volume);
// The due test: a pure function of the volume, the local date and time and the kind of check.
bool IsRefreshDue(const TVolumeRec& volume, double now, TRefreshCheck kind);
// A volume refreshed at a time of day (frequency 1 or 2), so the program should keep running.
// False while automatic refresh is disabled: then nothing is refreshed at all.
bool HasTimedRefreshes(const TVolumeList& volumes, bool disableAutoRefresh);

// How one due volume's refresh went.
enum class TAutoRefreshEnd {
  Refreshed,    // walked to its end (see Errors)
  Cancelled,    // Cancel or a refused disk ended it
  Unavailable,  // the backup folder could not be reached or made: skipped without a word
  Unusable,     // its record cannot name a selection file or a folder: skipped without a word
  NoLog,        // the log could not be created: said so, nothing copied
  Busy,         // another refresh of this volume (another process) held its lock past the wait
  Foreign,      // its backup folder holds another volume's backup and its own is nowhere:
                // skipped, nothing written
};
struct TAutoRefreshOutcome {
  std::string Name;
  TAutoRefreshEnd End = TAutoRefreshEnd::Refreshed;
  bool Errors = false;
  int FilesChecked = 0;
  int FilesChanged = 0;
  std::string LogPath;  // the log the walk wrote, once it was created
  std::string MovedTo;  // the folder was found on another drive and refreshed there
  std::string LogText;  // KeepLogText: the walk's log, read while the volume was still held
};

// Opens a lock shared between processes by its name (a named mutex on Windows).
using TNamedMutexFactory = std::function<std::unique_ptr<INamedMutex>(const std::string& name)>;
// The lock every refresh of this volume holds, in the window and on the command line, so that
// two never write into one volume at once. Derived from the upper-case name, so the spellings
// that find the volume share it; hashed, so no name can reach a mutex name's limits.
// prefix + a hash of key: a lock's name that no key can take past a mutex name's limits.
std::string NamedLockName(std::string_view prefix, std::string_view key);
std::string VolumeRefreshMutexName(const TVolumeRec& volume);
// Said by the wizard when a scripted refresh holds the volume.
std::string VolumeBusyText(const std::string& volumeName);
// The temporary folder's "TW-LOG-<the lock's hash>.TMP": one log per volume, which the volume's
// lock keeps to one run at a time.
std::string VolumeLogFilePath(IFileSystem& fs, const TVolumeRec& volume);

enum class TCheckEnd {
  Ran,       // every volume was looked at (maybe none was due)
  Disabled,  // DisableAutoRefresh: nothing looked at, the timer left alone
  Busy,      // a check was running already (called from its own message loop): nothing done
};

// The refresh check over the volume list. The window calls it from its timer, at start-up and
// at the end of the session; the operation UI is the window's, so the check stops and starts
// the refresh timer, shows a progress dialog per volume and the end reports.
//
// Each due volume is stamped with the present time before anything else, so a refresh that
// fails or finds its folder unavailable still counts as that day's. Its selection file is read
// into a tree of its own, which is walked in refresh mode and never written back; the wizard's
// selections are not touched. The main window is disabled and hidden while a volume is walked;
// bringing it back as it was found is the window's part.
class TRefreshScheduler {
 public:
  // lock: the selection files' (kSelectionFilesMutex), held while a file is read.
  TRefreshScheduler(IFileSystem& fs, IClock& clock, INamedMutex& lock, std::string appDir)
      : fs_(fs), clock_(clock), lock_(lock), appDir_(std::move(appDir)) {}

  // Switches the whole automatic refresh off: no check of any kind runs.
  bool DisableAutoRefresh = false;

  TCheckEnd RefreshTimerTimer(TVolumeList& volumes, TRefreshCheck kind, IOperationUI& ui);
  bool Running() const { return running_; }

  // One volume's refresh as the check runs it (LastRefresh is the caller's).
  TAutoRefreshOutcome RefreshVolume(const TVolumeRec& volume, const TVolumeList& volumes,
                                    IOperationUI& ui);

  // Opens each volume's refresh lock (VolumeRefreshMutexName); empty: no lock is taken.
  TNamedMutexFactory VolumeLocks;
  // How long a refresh waits for its volume's lock. The window waits for none: its check would
  // stop answering, and the volume is being refreshed by the holder anyway.
  uint32_t VolumeLockWaitMs = 0;
  // Where volume identities are remembered. Set: a volume whose folder is on another drive is
  // refreshed there, one whose path holds another volume's folder is skipped, and a volume
  // folder without an identity gets its volume's. Null: paths are taken as they are.
  TVolumeIdStore* VolumeIds = nullptr;
  // Each volume's walk is logged in a file of its own (VolumeLogFilePath) instead of the
  // window's: a scripted refresh runs beside the window and other scripted refreshes.
  bool LogPerVolume = false;
  // The walk's log is read into the outcome before the volume's lock is given back.
  bool KeepLogText = false;
  // A dry run: the walk lists what it would copy in the log and writes nothing at all.
  bool ListOnly = false;

  // The due volumes of the last check that ran, in list order.
  std::vector<TAutoRefreshOutcome> LastCheck;

 private:
  IFileSystem& fs_;
  IClock& clock_;
  INamedMutex& lock_;
  std::string appDir_;
  bool running_ = false;
};

}  // namespace tw
