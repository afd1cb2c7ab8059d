#include "engine/volumeedit.h"

#include <cctype>

#include "engine/layout.h"
#include "engine/operations.h"
#include "platform/Utf8.h"
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

std::string FormatText(std::string_view text, std::initializer_list<std::string_view> args) {
  std::string out;
  auto arg = args.begin();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's' && arg != args.end()) {
      out += *arg++;
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool IsReservedDeviceName(std::string_view name) {
  // Windows looks at the part before the first dot, trailing blanks dropped.
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  std::string upper;
  for (char c : base) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
         upper[3] >= '1' && upper[3] <= '9';
}

bool IsUsableVolumeName(std::string_view name) {
  // Windows drops trailing dots and blanks from file names: "Docs." would share "Docs.TWS".
  bool trailing = !name.empty() && (name.back() == '.' || name.back() == ' ');
  // A file name has at most 255 UTF-16 units, ".TWS" included.
  return !name.empty() && !trailing && !IsReservedDeviceName(name) &&
         utf8::Utf16Length(name) + 4 <= 255 && IsValidSelectionName(std::string(name) + ".TWS");
}

bool IsUsableBackupPath(std::string_view path) {
  return IsAbsoluteFolder(path) && IsValidSelectionPath(path);
}

bool HasPlainFolderNames(std::string_view path) {
  size_t at = 0;
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    const size_t server = path.find('\\', 2);
    at = server == std::string_view::npos ? path.size() : path.find('\\', server + 1);
    if (at == std::string_view::npos) return true;
  } else {
    at = path.find('\\');
    if (at == std::string_view::npos) return true;
  }
  while (at < path.size()) {
    const size_t begin = at + 1;
    size_t end = path.find('\\', begin);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view name = path.substr(begin, end - begin);
    if (!name.empty() &&
        (name.back() == '.' || name.back() == ' ' || IsReservedDeviceName(name)))
      return false;
    at = end;
  }
  return true;
}

std::string CheckVolumeInput(std::string_view name, std::string_view path,
                             const TVolumeList& volumes, const TVolumeRec* self) {
  if (!FitsVolumeFile(name) || !FitsVolumeFile(path)) return kVolumeTooLongText;
  if (!IsUsableVolumeName(name)) return kVolumeNameText;
  const std::string upper = UpperCaseName(name);
  for (const auto& volume : volumes) {
    if (volume.get() != self && UpperCaseName(volume->Name) == upper)
      return FormatText(kVolumeExistsText, {volume->Name});
  }
  if (!IsUsableBackupPath(path)) return kVolumePathText;
  if (!HasPlainFolderNames(path)) return kVolumePathPartText;
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

}  // namespace tw
