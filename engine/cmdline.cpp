#include "engine/cmdline.h"

#include <algorithm>

#include "engine/layout.h"
#include "engine/operations.h"
#include "platform/Prompts.h"

namespace tw {

namespace {
constexpr char kRefreshSwitch[] = "/REFRESH";
constexpr char kAllSwitch[] = "/ALL";
constexpr char kQuietSwitch[] = "/QUIET";
constexpr char kListSwitch[] = "/LIST";
constexpr char kLogSwitch[] = "/LOG:";

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return u;
}

bool IsLogSwitch(const std::string& arg) {
  return Upper(arg.substr(0, sizeof(kLogSwitch) - 1)) == kLogSwitch;
}

class TNoRootPath : public IRootPathPrompt {
 public:
  std::optional<std::string> AskRootPath(const std::string&) override { return std::nullopt; }
};
}  // namespace

const char kCommandLineUsage[] =
    "Usage: Tidewell.exe /REFRESH \"volume\" | /REFRESH /ALL [/QUIET] [/LIST] [/LOG:\"file\"]";

bool IsCommandLineRun(const std::vector<std::string>& args) {
  return std::any_of(args.begin(), args.end(), [](const std::string& a) {
    const std::string u = Upper(a);
    return u == kRefreshSwitch || u == kAllSwitch || u == kQuietSwitch || u == kListSwitch ||
           IsLogSwitch(a);
  });
}

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  TCommandLine cmd;
  bool named = false;
  auto bad = [&](const std::string& why) {
    if (cmd.Error.empty()) cmd.Error = why;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const std::string u = Upper(a);
    if (u == kRefreshSwitch) {
      if (cmd.Refresh) bad("/REFRESH is given twice.");
      cmd.Refresh = true;
      // The name follows at once; a switch there means none was given.
      if (i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '/') {
        cmd.Volume = args[++i];
        named = true;
      }
    } else if (u == kAllSwitch) {
      cmd.All = true;
    } else if (u == kQuietSwitch) {
      cmd.Quiet = true;
    } else if (u == kListSwitch) {
      cmd.List = true;
    } else if (IsLogSwitch(a)) {
      if (!cmd.LogPath.empty()) bad("/LOG is given twice.");
      cmd.LogPath = a.substr(sizeof(kLogSwitch) - 1);
      if (cmd.LogPath.empty()) bad("/LOG: names no file.");
    } else {
      bad("Unknown argument: " + a);
    }
  }
  if (!cmd.Refresh) bad("/REFRESH is missing.");
  else if (named && cmd.All) bad("/REFRESH takes a volume name or /ALL, not both.");
  else if (!named && !cmd.All) bad("/REFRESH needs a volume name or /ALL.");
  // Blanks alone cannot be a volume's name, and a name is never cut or trimmed to match one.
  else if (named && cmd.Volume.find_first_not_of(' ') == std::string::npos)
    bad("/REFRESH names no volume.");
  return cmd;
}

int ExitCodeOf(const TCmdVolumeResult& r) {
  switch (r.End) {
    case TCmdEnd::VolumeMissing:
    case TCmdEnd::SelectionMissing:
    case TCmdEnd::PathUnavailable:
    case TCmdEnd::ForeignFolder:
      return exitcode::Missing;
    case TCmdEnd::Busy:
      return exitcode::CouldNotRun;
    case TCmdEnd::Failed:
      return exitcode::Errors;
    case TCmdEnd::Done:
      break;
  }
  if (r.Errors) return exitcode::Errors;
  return r.FilesChanged > 0 ? exitcode::FilesCopied : exitcode::NothingCopied;
}

int RunExitCode(const std::vector<TCmdVolumeResult>& results) {
  int code = exitcode::NothingCopied;
  for (const auto& r : results) code = std::max(code, ExitCodeOf(r));
  return code;
}

std::string SummaryLine(const TCmdVolumeResult& r, bool listOnly) {
  const std::string head = "Volume \"" + r.Name + "\": ";
  switch (r.End) {
    case TCmdEnd::VolumeMissing:
      return head + "no volume of this name.";
    case TCmdEnd::SelectionMissing:
      return head + "its selection file is missing.";
    case TCmdEnd::PathUnavailable:
      return head + "its backup folder is not available.";
    case TCmdEnd::Busy:
      return head + "another refresh of this volume is still running; nothing was done.";
    case TCmdEnd::Failed:
      return head + "the refresh did not run to its end.";
    case TCmdEnd::ForeignFolder:
      return head + "its backup folder holds another volume's backup; nothing was written.";
    case TCmdEnd::Done:
      break;
  }
  std::string line = head + std::to_string(r.FilesChanged) + " of " +
                     std::to_string(r.FilesChecked) +
                     (listOnly ? " files would be copied" : " files have changed");
  line += r.Errors ? ", with errors (see the log)." : ".";
  if (!r.MovedTo.empty()) line += " Its folder was found at " + r.MovedTo + ".";
  return line;
}

int TQuietOperationUI::Message(const std::string& text, const std::string&, uint32_t flags,
                               MessageOwner) {
  Asked.push_back(text);
  return CautiousAnswer(flags);
}

IRootPathPrompt& TQuietOperationUI::RootPathPrompt() {
  static TNoRootPath none;
  return none;
}

void TCommandLineRefresh::AppendLog(const TCommandLine& cmd, const std::string& text) {
  if (cmd.LogPath.empty()) return;
  // Scripted runs of other volumes may append to the same file: one at a time, or one
  // replaces the file without the other's lines. A holder that hangs past the wait does not
  // stop this run's own log.
  std::unique_ptr<INamedMutex> lock;
  if (locks_) lock = locks_(NamedLockName("TidewellLog-", UpperCaseName(cmd.LogPath)));
  std::optional<TNamedMutexLock> held;
  if (lock) held.emplace(*lock, kVolumeWaitMs);
  std::string data;
  const WinError read = fs_.ReadAll(cmd.LogPath, data);
  if (read != winerr::Success && read != winerr::FileNotFound) {
    // Replacing a file that could not be read would lose what it holds.
    if (!LogWriteError) LogWriteError = read;
    return;
  }
  data += text;
  if (const WinError e = fs_.WriteAtomic(cmd.LogPath, data); e && !LogWriteError)
    LogWriteError = e;
}

void TCommandLineRefresh::Say(const TCommandLine& cmd, const std::string& line) {
  if (Console) Console(line);
  AppendLog(cmd, line + "\r\n");
}

TCmdVolumeResult TCommandLineRefresh::RefreshOne(const TVolumeRec& volume,
                                                 const TVolumeList& volumes,
                                                 const TCommandLine& cmd, IOperationUI& ui) {
  TCmdVolumeResult r;
  r.Name = volume.Name;
  FindData info;
  const WinError sel = fs_.Stat(VolumeSelectionFile(appDir_, volume), info);
  if (sel == winerr::FileNotFound || sel == winerr::PathNotFound) {
    r.End = TCmdEnd::SelectionMissing;
    return r;
  }
  TQuietOperationUI* quiet = dynamic_cast<TQuietOperationUI*>(&ui);
  const size_t askedBefore = quiet ? quiet->Asked.size() : 0;
  const TAutoRefreshOutcome out = scheduler_.RefreshVolume(volume, volumes, ui);
  r.Errors = out.Errors;
  r.FilesChecked = out.FilesChecked;
  r.FilesChanged = out.FilesChanged;
  r.MovedTo = out.MovedTo;
  switch (out.End) {
    case TAutoRefreshEnd::Refreshed:
      r.End = TCmdEnd::Done;
      break;
    case TAutoRefreshEnd::Unavailable:
      r.End = TCmdEnd::PathUnavailable;
      break;
    case TAutoRefreshEnd::Busy:
      r.End = TCmdEnd::Busy;
      break;
    case TAutoRefreshEnd::Foreign:
      r.End = TCmdEnd::ForeignFolder;
      break;
    case TAutoRefreshEnd::Cancelled:
    case TAutoRefreshEnd::Unusable:
    case TAutoRefreshEnd::NoLog:
      r.End = TCmdEnd::Failed;
      break;
  }
  if (!cmd.LogPath.empty()) {
    std::string text = "Refreshing volume " + volume.Name + " (" + volume.BackupPath + ")\r\n";
    text += out.LogText;
    // What a quiet run was asked and answered by stopping, so the log says why it stopped.
    if (quiet) {
      // The end report's offer to open the log is no question of the walk.
      for (size_t i = askedBefore; i < quiet->Asked.size(); ++i) {
        if (quiet->Asked[i] == kRefreshErrorQuestion ||
            quiet->Asked[i] == AutoRefreshFinishedText(volume.Name, r.FilesChanged, r.FilesChecked))
          continue;
        text += "Stopped without asking: " + quiet->Asked[i] + "\r\n";
      }
    }
    AppendLog(cmd, text);
  }
  return r;
}

int TCommandLineRefresh::Run(const TCommandLine& cmd, const TVolumeList& volumes,
                             bool listUnreadable, IOperationUI& ui) {
  results_.clear();
  if (!cmd.Error.empty()) {
    Say(cmd, "Tidewell: " + cmd.Error);
    if (Console) Console(kCommandLineUsage);
    return exitcode::CouldNotRun;
  }
  if (listUnreadable) {
    Say(cmd, "Tidewell: the volume list " + appDir_ + kVolumesFileName +
                 " could not be read; nothing was refreshed.");
    return exitcode::CouldNotRun;
  }
  scheduler_.ListOnly = cmd.List;
  scheduler_.VolumeIds = VolumeIds;
  scheduler_.KeepLogText = !cmd.LogPath.empty();
  std::vector<const TVolumeRec*> chosen;
  for (const auto& v : volumes) {
    if (v && (cmd.All || UpperCaseName(v->Name) == UpperCaseName(cmd.Volume)))
      chosen.push_back(v.get());
  }
  if (cmd.All && chosen.empty()) {
    // Most likely another copy of the program, or its list was lost: nothing is backed up.
    Say(cmd, "Tidewell: there are no volumes in " + appDir_ + kVolumesFileName +
                 "; nothing was refreshed.");
    return exitcode::Missing;
  }
  if (!cmd.All && chosen.empty()) {
    TCmdVolumeResult r;
    r.Name = cmd.Volume;
    r.End = TCmdEnd::VolumeMissing;
    results_.push_back(r);
  }
  for (const TVolumeRec* v : chosen) {
    results_.push_back(RefreshOne(*v, volumes, cmd, ui));
    // A scripted refresh counts for the tray's overdue warning as the window's own do.
    if (Health && !cmd.List && results_.back().End == TCmdEnd::Done)
      Health->NoteRun(v->Name, clock_.Now(), results_.back().Errors);
    if (results_.back().End == TCmdEnd::Busy) {
      // The holder may hang; this run gives up on the volume after the wait, and says so.
      AppendLog(cmd, "Error: Another refresh of the volume " + v->Name + " held it for " +
                         std::to_string(kVolumeWaitMs / 1000) +
                         " seconds; this refresh did not run.\r\n");
    }
  }
  for (const auto& r : results_) Say(cmd, SummaryLine(r, cmd.List));
  int code = RunExitCode(results_);
  if (LogWriteError) {
    if (Console) Console("Tidewell: the log " + cmd.LogPath + " could not be written (error " +
                         std::to_string(LogWriteError) + ").");
    code = std::max(code, exitcode::Errors);
  }
  return code;
}

}  // namespace tw
