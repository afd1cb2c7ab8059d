// What the Explorer context-menu handler decides, without COM or <windows.h>: the menu's items,
// the commands' help texts, and the marking of files and folders in a volume's selection file.
// The COM class TWLContextMenu only converts between the shell's types and these calls, so the
// whole behaviour is tested on the host with the in-memory registry, file system and mutex.
//
// Marking reads the selection file, changes it in memory and replaces it once, atomically, all
// under the named mutex kSelectionFilesMutex, so Tidewell never saves over marks it did not see
// and a crash never leaves half a file. Every refusal tells the user why in a box captioned
// "Tidewell": a silent failure would let them think their files are marked.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/NamedMutex.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"

namespace tw {

// What the handler does outside the registry and the files; the DLL uses the system's beep and
// CreateProcess, tests record the calls.
class IContextMenuHost {
 public:
  virtual ~IContextMenuHost() = default;
  virtual void Beep() = 0;
  // Starts the program file; false when it could not be started.
  virtual bool StartProgram(const std::string& exePath) = 0;
};

// HRESULT values the COM methods return, so both sides speak the same codes.
namespace hres {
inline constexpr int32_t Ok = 0;
inline constexpr int32_t False = 1;
inline constexpr int32_t Fail = static_cast<int32_t>(0x80004005);
inline constexpr int32_t InvalidArg = static_cast<int32_t>(0x80070057);
}  // namespace hres

struct TMenuItem {
  uint32_t offset;  // added to the first command id
  std::string text;
};

// The section and key of one marked item, as the selection file holds them.
struct TMark {
  std::string section;
  std::string key;  // empty for a folder marked whole
};

class TWLContextMenuCore {
 public:
  static constexpr char kMarkText[] = "Mark for Tidewell";
  static constexpr char kMarkVolumeText[] = "Mark for Backup to Volume - %s";
  static constexpr char kMarkHelp[] = "Mark the selected files to be added to a Tidewell volume";
  static constexpr char kMarkVolumeHelp[] =
      "Mark the selected files to be added to Tidewell volume - %s";
  static constexpr char kCaption[] = "Tidewell";
  static constexpr char kNoDefaultText[] =
      "There is no default volume selected. Please create a new backup volume now.";
  // Followed by the reason (one of the k...Reason texts).
  static constexpr char kCannotMarkText[] =
      "Tidewell could not mark the selected items for volume \"%s\": ";
  static constexpr char kNoProgramReason[] =
      "the folder of Tidewell is not known. Please start and close Tidewell once.";
  static constexpr char kBadNameReason[] = "the name cannot be used as a file name.";
  static constexpr char kNoVolumeReason[] = "there is no volume of that name.";
  static constexpr char kBusyReason[] =
      "its selection file is in use by Tidewell. Please try again in a moment.";
  static constexpr char kReadReason[] = "its selection file %s could not be read (error %s).";
  static constexpr char kSaveReason[] = "its selection file %s could not be saved (error %s).";
  static constexpr uint32_t kMutexWaitMs = 3000;
  static constexpr char kSelectionExtension[] = ".tws";
  static constexpr char kProgramFile[] = "Tidewell.exe";

  // productKey lets tests work below a key of their own.
  TWLContextMenuCore(IRegistry& registry, IFileSystem& fs, INamedMutex& mutex, IPrompts& prompts,
                     IContextMenuHost& host, std::string productKey = "");

  // Algorithm of Initialize without the data object: the program folder (once per object) and
  // the default volume. hasFileList: the data object gave a file list.
  void Initialize(bool hasFileList);
  bool HasFileList() const { return hasFileList_; }

  // The items for a menu with `available` free command ids (the shell's last id - first id + 1).
  // Returns how many ids are used: the volume names + 1, fewer when fewer are free, 0 without a
  // file list. Volume items for the default volume or an empty name are left out but keep
  // their ids.
  uint32_t QueryMenu(uint32_t available, std::vector<TMenuItem>& items);

  // The help text of a command; false for an id past the last volume name.
  bool CommandHelp(uint32_t offset, std::string& text) const;

  // InvokeCommand by offset, with the file list fetched only when it is needed (a failing fetch
  // gives false). Returns the HRESULT.
  using FileListSource = std::function<bool(std::vector<std::string>& paths)>;
  int32_t Invoke(uint32_t offset, const FileListSource& source);
  // A verb given as text: refused with a beep.
  int32_t InvokeVerb();

  // Marks the paths for the volume (the selection file in the program folder); false when
  // refused or failed, after the message box. Paths that are not absolute, hold wildcards or
  // "." / ".." components, or are not found on disk are skipped.
  bool Mark(const std::string& volume, const std::vector<std::string>& paths);

  const std::string& ProgramFolder() const { return programFolder_; }
  const std::string& DefaultVolume() const { return defaultVolume_; }
  const std::vector<std::string>& VolumeNames() const { return volumeNames_; }

 private:
  void Refuse(const std::string& volume, const std::string& reason);
  // Whether marks may create the volume's selection file: VOLUMES.TWB lists the volume, or
  // could not be read whole (it may list it behind the damage).
  bool VolumeKnown(const std::string& volume);
  // The marks into the volume's selection file, with the mutex held; the reason when refused.
  std::string WriteMarks(const std::string& volume, const std::vector<TMark>& marks);

  IRegistry& registry_;
  IFileSystem& fs_;
  INamedMutex& mutex_;
  IPrompts& prompts_;
  IContextMenuHost& host_;
  std::string productKey_;
  bool programFolderRead_ = false;
  bool hasFileList_ = false;
  std::string programFolder_;
  std::string defaultVolume_;
  std::vector<std::string> volumeNames_;
};

// ---- Registration of the COM class ----

inline constexpr char kContextMenuClsid[] = "{6B0E2D71-4C3A-4F58-9E21-7A5C3D90B1E4}";
inline constexpr char kContextMenuDescription[] = "Tidewell Context Menu Extension";

// The library's path as InprocServer32 holds it: in double quotes when it holds a blank.
std::string InprocServerPath(const std::string& dllPath);
// Writes the class key (description) and its InprocServer32 key (path, ThreadingModel
// "Apartment") below the classes root; false on any failure.
bool RegisterContextMenuServer(IRegistry& registry, const std::string& dllPath);
// Deletes InprocServer32, then the class key; missing keys are no failure.
bool UnregisterContextMenuServer(IRegistry& registry);

}  // namespace tw
