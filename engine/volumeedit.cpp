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

std::string CheckVolumeInput(std::string_view name, std::string_view path) {
  std::string fileName = std::string(name) + ".TWS";
  // Windows drops trailing dots and blanks from file names: "Docs." would share "Docs.TWS".
  bool trailing = !name.empty() && (name.back() == '.' || name.back() == ' ');
  if (!IsValidSelectionName(fileName) || trailing || name.empty())
    return "The name \"" + std::string(name) +
           "\" cannot be used for a volume, since its selection file would not be a valid file "
           "name. Please choose a name without \\ / : * ? \" < > |.";
  if (!IsAbsoluteFolder(path) || !IsValidSelectionPath(path))
    return "The path \"" + std::string(path) +
           "\" is not a complete path. Please enter a path that begins with a drive (C:\\) or a "
           "server (\\\\server\\share).";
  if (!FitsVolumeFile(name) || !FitsVolumeFile(path))
    return "The name or the path of this volume is too long to be stored. Please use a name "
           "and a path of at most 255 characters.";
  return {};
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
