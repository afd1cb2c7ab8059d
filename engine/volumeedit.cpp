#include "engine/volumeedit.h"

#include "engine/layout.h"
#include "engine/operations.h"
#include "selection/selection.h"

namespace tw {

namespace {
bool IsBlankOrControl(unsigned char c) { return c <= ' ' || c == 0x7F; }

// "X:\..." or "\\server\share..." : a path that names the same folder whatever the current
// folder and drive are.
bool IsAbsoluteFolder(std::string_view path) {
  if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
      path[2] == '\\')
    return true;
  if (path.size() >= 5 && path[0] == '\\' && path[1] == '\\') {
    size_t server = path.find('\\', 2);
    return server != std::string_view::npos && server > 2 && server + 1 < path.size() &&
           path[server + 1] != '\\';
  }
  return false;
}
}  // namespace

std::string TrimBlanksAndControls(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && IsBlankOrControl(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && IsBlankOrControl(static_cast<unsigned char>(text[e - 1]))) --e;
  return std::string(text.substr(b, e - b));
}

bool VolumeInputComplete(std::string_view name, std::string_view path) {
  return !TrimBlanksAndControls(name).empty() && !TrimBlanksAndControls(path).empty();
}

namespace {
// The name becomes AppDir + name + ".TWS": it must make one file in the program folder.
bool IsUsableVolumeName(std::string_view name) {
  // Windows drops trailing dots and blanks from file names: "Docs." would share "Docs.TWS".
  bool trailing = !name.empty() && (name.back() == '.' || name.back() == ' ');
  return !name.empty() && !trailing && IsValidSelectionName(std::string(name) + ".TWS");
}

bool IsUsableBackupPath(std::string_view path) {
  return IsAbsoluteFolder(path) && IsValidSelectionPath(path);
}
}  // namespace

std::string CheckVolumeInput(std::string_view name, std::string_view path) {
  if (!IsUsableVolumeName(name))
    return "The name \"" + std::string(name) +
           "\" cannot be used for a volume, since its selection file would not be a valid file "
           "name. Please choose a name without \\ / : * ? \" < > |.";
  if (!IsUsableBackupPath(path))
    return "The path \"" + std::string(path) +
           "\" is not a complete path. Please enter a path that begins with a drive (C:\\) or a "
           "server (\\\\server\\share).";
  if (!FitsVolumeFile(name) || !FitsVolumeFile(path))
    return "The name or the path of this volume is too long to be stored. Please use a name "
           "and a path of at most 255 characters.";
  return {};
}

std::string CheckVolumeRecord(const TVolumeRec& volume) {
  if (!volume.Name.empty() && !IsUsableVolumeName(volume.Name))
    return "The volume \"" + volume.Name +
           "\" cannot be used: its name cannot be the name of a file, so its selection could not "
           "be kept next to the program. Nothing was done. Please create a new volume for this "
           "backup.";
  if (!IsUsableBackupPath(volume.BackupPath))
    return "The volume \"" + volume.Name + "\" cannot be used: its backup path \"" +
           volume.BackupPath +
           "\" is not a complete path (one that begins with a drive, C:\\, or a server, "
           "\\\\server\\share). Nothing was done.";
  return {};
}

bool RefuseUnusableVolume(IOperationUI& ui, const TVolumeRec& volume) {
  const std::string refused = CheckVolumeRecord(volume);
  if (refused.empty()) return false;
  ui.Message(refused, kAppTitle, mb::Ok | mb::IconError, MessageOwner::MainWindow);
  return true;
}

TApplyResult ApplyNewVolume(IFileSystem& fs, TVolumeList& volumes, const std::string& appDir,
                            const std::string& name, const std::string& path, bool separate) {
  TApplyResult result;
  auto rec = std::make_unique<TVolumeRec>();
  rec->Name = name;
  rec->BackupPath = path;
  rec->SeparateFolders = separate;
  rec->IsDefault = volumes.empty();
  std::string selectionFile = VolumeSelectionFile(appDir, *rec);
  FindData info;
  if (fs.Stat(selectionFile, info) == winerr::Success) {
    result.Message = "A selection file " + selectionFile +
                     " already exists and holds the selection of another volume. Please choose "
                     "another name for the volume.";
    return result;
  }
  WinError error = fs.WriteAtomic(selectionFile, "");
  if (error != winerr::Success) {
    result.Message = std::string("Unable to write to ") + selectionFile;
    return result;
  }
  fs.MakeDirPath(path);
  volumes.push_back(std::move(rec));
  result.Volume = volumes.back().get();
  return result;
}

}  // namespace tw
