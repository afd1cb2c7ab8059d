// Which folder is a volume's. A volume folder carries an identity in its VOLUME.TWV (section
// "Tidewell Identity": the volume's name and a random id), so that a backup disk that comes back
// under another drive letter is found there, and a folder that merely has the same path on some
// disk is never taken for the volume. Folders written before identities existed have none and
// are taken as they are.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "engine/layout.h"
#include "engine/volumes.h"
#include "platform/FileSystem.h"
#include "platform/ProfileFile.h"
#include "platform/Registry.h"

namespace tw {

struct TVolumeIdentity {
  std::string Name;
  std::string Id;
};

// A new id: "{XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX}", random (a version 4 GUID), upper case.
std::string NewVolumeId();
// The form NewVolumeId gives, in either case.
bool IsVolumeId(std::string_view id);
bool SameVolumeId(std::string_view a, std::string_view b);

// The identity a placeholder records, when it has a well-formed id.
std::optional<TVolumeIdentity> ReadIdentity(const TProfileFile& placeholder);

enum class TVolumeWhere {
  Here,     // the backup path holds the volume (or a folder without identity, or none is known)
  Moved,    // the volume's folder was found at the same path on another drive: BackupPath
  Foreign,  // the backup path holds another volume's folder and the volume is nowhere else:
            // nothing may be written there
  Missing,  // the backup path is unavailable and the volume is nowhere else
};
struct TVolumeLocation {
  TVolumeWhere Where = TVolumeWhere::Here;
  std::string BackupPath;  // where the volume is (Here, Moved); the path it had otherwise
  std::string OtherName;   // Foreign: the volume name the folder's identity records
};

// Looks for the volume's folder. knownId is the id remembered for the volume; without one the
// backup path is taken as it is (Here), or is Missing when it holds no placeholder. With one,
// a placeholder at the backup path with the same id is Here; otherwise the same folder path is
// tried on every other drive letter, and the first whose placeholder has the id is taken
// (Moved); failing that, a placeholder without identity at the backup path is Here. Only drive
// paths ("E:\...") can move.
TVolumeLocation LocateVolume(IFileSystem& fs, const TVolumeRec& volume, std::string_view knownId);

// The id each volume's folder carries, remembered per volume name in the registry (current
// user) beside the options: VOLUMES.TWB keeps its format.
inline constexpr char kVolumeIdsSubkey[] = "\\VolumeIds";
class TVolumeIdStore {
 public:
  TVolumeIdStore(IRegistry& registry, std::string productKey);
  // Empty when none is remembered (or what is stored is no id).
  std::string Read(const std::string& volumeName);
  bool Write(const std::string& volumeName, const std::string& id);
  void Rename(const std::string& oldName, const std::string& newName);
  void Forget(const std::string& volumeName);

 private:
  IRegistry& registry_;
  std::string key_;
};

// What a run that is about to write into a volume's folder makes of the folder's identity.
struct TFolderClaim {
  bool Foreign = false;      // the folder carries another id: nothing may be written there
  std::string OtherName;     // the name that other identity records
  std::string Id;            // the id the folder carries from now on (to be remembered)
  bool WriteNeeded = false;  // the folder has no identity yet: Id is to be written into it
};
// The folder's own id when it has one (taken over when the volume has none remembered, as after
// a reinstall or for a second volume of the same folder); otherwise the remembered id, or a new
// one for a volume that never had one.
TFolderClaim ClaimVolumeFolder(const TProfileFile& placeholder, std::string_view knownId);

// Asked by the wizard when a volume's folder was found on another drive.
std::string VolumeMovedQuestion(const std::string& volumeName, std::string_view fromPath,
                                std::string_view toPath);
// A folder at the backup path that belongs to another volume.
std::string ForeignFolderText(const std::string& volumeName, std::string_view folder,
                              const std::string& otherName);
// The log's line for a refresh that found its volume on another drive.
std::string VolumeMovedLogLine(const std::string& volumeName, std::string_view fromPath,
                               std::string_view toPath);

}  // namespace tw
