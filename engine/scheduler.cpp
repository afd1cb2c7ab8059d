#include "engine/scheduler.h"

#include <cmath>

#include "engine/selectionmerge.h"
#include "engine/volumeedit.h"
#include "engine/volumeidentity.h"

namespace tw {

namespace {
// 1 January 0001 and 31 December 9999 as date values.
constexpr double kFirstDay = -693593.0;
constexpr double kLastDay = 2958465.0;

// The time of day of a date value (for dates before 1899 the fraction counts forward too).
double TimeOfDay(double value) { return std::fabs(value - std::trunc(value)); }

bool ValidTimeOfDay(double t) { return std::isfinite(t) && t >= 0.0 && t < 1.0; }
}  // namespace

std::optional<int64_t> DateDay(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const double day = std::trunc(value);
  if (day < kFirstDay || day > kLastDay) return std::nullopt;
  return static_cast<int64_t>(day);
}

int DayOfWeek(int64_t day) {
  // Day 0 was a Saturday.
  const int64_t r = ((day % 7) + 7) % 7;
  return static_cast<int>((r + 6) % 7) + 1;
}

bool RefreshedToday(double lastRefresh, double now) {
  if (lastRefresh == 0.0) return false;
  const auto last = DateDay(lastRefresh);
  const auto today = DateDay(now);
  return last && today && *last == *today;
}

bool HasValidSchedule(const TVolumeRec& volume) {
  switch (volume.Frequency) {
    case 0:
      return true;
    case 1:
      return ValidTimeOfDay(volume.RefreshTime);
    case 2:
      return ValidTimeOfDay(volume.RefreshTime) && volume.WeekDay >= 1 && volume.WeekDay <= 7;
    default:
      return false;
  }
}

bool IsRefreshDue(const TVolumeRec& volume, double now, TRefreshCheck kind) {
  if (!volume.AutoRefresh || !HasValidSchedule(volume)) return false;
  const auto today = DateDay(now);
  if (!today || RefreshedToday(volume.LastRefresh, now)) return false;
  switch (volume.Frequency) {
    case 0:
      return kind == TRefreshCheck::StartUp;
    case 1:
      return TimeOfDay(now) >= volume.RefreshTime;
    default:
      return DayOfWeek(*today) == volume.WeekDay && TimeOfDay(now) >= volume.RefreshTime;
  }
}

bool HasTimedRefreshes(const TVolumeList& volumes, bool disableAutoRefresh) {
  if (disableAutoRefresh) return false;
  for (const auto& v : volumes) {
    if (v && v->AutoRefresh && (v->Frequency == 1 || v->Frequency == 2) && HasValidSchedule(*v))
      return true;
  }
  return false;
}

TCheckEnd TRefreshScheduler::RefreshTimerTimer(TVolumeList& volumes, TRefreshCheck kind,
                                               IOperationUI& ui) {
  if (DisableAutoRefresh) return TCheckEnd::Disabled;
  // A tick or the session's end arriving while a refresh lets messages run: the running
  // check goes on and will look at every later volume itself.
  if (running_) return TCheckEnd::Busy;
  running_ = true;
  ui.StopRefreshTimer();
  LastCheck.clear();
  // The list is walked by position: nothing may change it while the main window is disabled,
  // and a volume is only looked at once.
  for (size_t i = 0; i < volumes.size(); ++i) {
    TVolumeRec* volume = volumes[i].get();
    if (!volume || !volume->AutoRefresh) continue;
    // Each volume reads the clock anew: a refresh before it may have taken past its time.
    const double now = clock_.Now();
    if (!IsRefreshDue(*volume, now, kind)) continue;
    const double before = volume->LastRefresh;
    volume->LastRefresh = now;
    LastCheck.push_back(RefreshVolume(*volume, volumes, ui));
    // A scripted refresh of it was running: the day's refresh is still to come.
    if (LastCheck.back().End == TAutoRefreshEnd::Busy) volume->LastRefresh = before;
  }
  ui.StartRefreshTimer();
  running_ = false;
  return TCheckEnd::Ran;
}

std::string NamedLockName(std::string_view prefix, std::string_view key) {
  // FNV-1a, 64 bits: stable across processes and builds.
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : key) {
    h ^= c;
    h *= 1099511628211ull;
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string name(prefix);
  for (int shift = 60; shift >= 0; shift -= 4) name += kHex[(h >> shift) & 0xF];
  return name;
}

std::string VolumeRefreshMutexName(const TVolumeRec& volume) {
  return NamedLockName("TidewellRefresh-", UpperCaseName(volume.Name));
}

std::string VolumeBusyText(const std::string& volumeName) {
  return "The volume " + volumeName +
         " is being refreshed by another run of Tidewell (from the command line or the Task "
         "Scheduler). Please try again when it has finished.";
}

std::string VolumeLogFilePath(IFileSystem& fs, const TVolumeRec& volume) {
  const std::string lock = VolumeRefreshMutexName(volume);
  const std::string name = "TW-LOG-" + lock.substr(lock.find('-') + 1) + ".TMP";
  const std::string folder = fs.TempFolder();
  return folder.empty() ? name : AddBackslash(folder) + name;
}

TAutoRefreshOutcome TRefreshScheduler::RefreshVolume(const TVolumeRec& volume,
                                                     const TVolumeList& volumes,
                                                     IOperationUI& ui) {
  TAutoRefreshOutcome out;
  out.Name = volume.Name;
  // A damaged record must never become a file name; a box per tick would help nobody.
  if (!CheckVolumeRecord(volume).empty() || volume.Name.empty()) {
    out.End = TAutoRefreshEnd::Unusable;
    return out;
  }
  std::unique_ptr<INamedMutex> volumeLock;
  if (VolumeLocks) volumeLock = VolumeLocks(VolumeRefreshMutexName(volume));
  std::optional<TNamedMutexLock> held;
  if (volumeLock) {
    held.emplace(*volumeLock, VolumeLockWaitMs);
    if (!held->Held()) {
      out.End = TAutoRefreshEnd::Busy;
      return out;
    }
  }
  // A disk that came back under another letter is refreshed where it is, for this run only
  // (changing the volume's path is the user's choice, in the wizard).
  TVolumeRec target = volume;
  std::string knownId;
  if (VolumeIds) {
    knownId = VolumeIds->Read(volume.Name);
    const TVolumeLocation where = LocateVolume(fs_, volume, knownId);
    if (where.Where == TVolumeWhere::Foreign) {
      out.End = TAutoRefreshEnd::Foreign;
      return out;
    }
    if (where.Where == TVolumeWhere::Moved) out.MovedTo = target.BackupPath = where.BackupPath;
    // Its folder was written before and is nowhere now: whatever disk holds that letter today
    // is not the volume's, and a whole new backup there would only look like one.
    if (where.Where == TVolumeWhere::Missing && IsVolumeId(knownId)) {
      out.End = TAutoRefreshEnd::Unavailable;
      return out;
    }
  }
  TAddOperation op(fs_, ui);
  op.ListOnly = ListOnly;
  // A disk not inserted or a share that is down: skipped until the next due day. A dry run
  // makes no folder: one the refresh would make is there when its drive is.
  auto exists = [this](const std::string& folder) {
    FindData info;
    return fs_.Stat(folder, info) == winerr::Success && info.IsDirectory();
  };
  if (ListOnly ? !exists(target.BackupPath) && !exists(DriveRootOf(target.BackupPath))
               : !op.PrepareFolder(target.BackupPath)) {
    out.End = TAutoRefreshEnd::Unavailable;
    return out;
  }
  // A folder the wizard has backed up into carries the volume's identity from now on. A
  // placeholder that cannot be read or written only leaves the folder as it was.
  if (VolumeIds && !ListOnly && IsVolumeFolder(fs_, target.BackupPath)) {
    TPlaceholderWriter placeholder(fs_, AddBackslash(target.BackupPath));
    if (placeholder.Load() == winerr::Success) {
      const TFolderClaim claim = ClaimVolumeFolder(placeholder.Ini(), knownId);
      if (claim.Foreign) {  // it changed since it was located
        out.End = TAutoRefreshEnd::Foreign;
        return out;
      }
      if (!claim.WriteNeeded ||
          placeholder.WriteIdentity(volume.Name, claim.Id) == winerr::Success)
        VolumeIds->Write(volume.Name, claim.Id);
    }
  }

  TWLDesktopNode tree(fs_);
  ExcludeVolumeFolders(tree.Environment(), volumes);
  const uint64_t beforeScan = tree.Environment().listings;
  const std::string selectionFile = VolumeSelectionFile(appDir_, volume);
  // Read only: the tree is never written back, so marks made meanwhile cannot be lost.
  const WinError loadError = TSelectionFiles(fs_, lock_).Load(tree, selectionFile);

  ui.CreateProgress();
  ui.SetCaption(kAutoRefreshCaptionPrefix + volume.Name);
  ui.SetVolumeText(volume.Name);
  ui.SetPathText(target.BackupPath);
  ui.SetMainWindowEnabled(false);
  ui.HideMainWindow();

  op.RefreshMode = true;
  op.FreshListingsAfter = beforeScan;
  op.BeginWalk(target, &op.Log());
  const std::string logPath = LogPerVolume ? VolumeLogFilePath(fs_, volume) : LogFilePath(fs_);
  if (op.Log().Create(logPath)) {
    ui.HideProgress();
    ui.FreeProgress();
    ui.SetMainWindowEnabled(true);
    ui.Message(CannotCreateFileText(logPath), kAppTitle, mb::Ok | mb::IconError,
               MessageOwner::MainWindow);
    out.End = TAutoRefreshEnd::NoLog;
    out.Errors = true;
    return out;
  }
  out.LogPath = logPath;
  ui.SetProgressRange(0, CountSelectedFiles(tree));
  ui.SetProgressPosition(0);
  ui.ShowProgress();
  if (!out.MovedTo.empty())
    op.Log().Line(VolumeMovedLogLine(volume.Name, AddBackslash(volume.BackupPath), out.MovedTo));
  if (loadError != winerr::Success) {
    // What could not be read was not refreshed: the run must not end as a success.
    op.AddErrors = true;
    op.Log().Line(logline::CouldntReadSelection(loadError, selectionFile));
  }
  for (int r = 0; r < tree.RootCount(); ++r) op.AddFolderToVolume(*tree.Root(r));
  op.SettleCopies();
  if (ui.Cancelled()) op.CancelSeen = true;
  ui.HideProgress();

  op.Log().Close();
  if (KeepLogText) fs_.ReadAll(logPath, out.LogText);
  // The end report may wait for the user: another refresh of the volume need not.
  held.reset();
  const bool cancelled = op.CancelSeen || op.AddAborted;
  // NoFinishMessage silences the success text only: errors are always offered.
  ReportEndOfOperation(ui, op.AddErrors, cancelled || volume.NoFinishMessage,
                       AutoRefreshFinishedText(volume.Name, op.FilesChanged, op.FilesChecked),
                       kRefreshErrorQuestion, logPath);
  ui.FreeProgress();
  ui.SetMainWindowEnabled(true);

  out.End = cancelled ? TAutoRefreshEnd::Cancelled : TAutoRefreshEnd::Refreshed;
  out.Errors = op.AddErrors;
  out.FilesChecked = op.FilesChecked;
  out.FilesChanged = op.FilesChanged;
  return out;
}

}  // namespace tw
