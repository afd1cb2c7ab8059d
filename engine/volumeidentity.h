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
};

// Looks for the volume's folder. knownId is the id remembered for the volume; without one the
// backup path is taken as it is (Here), or is Missing when it holds no placeholder. With one,
// a placeholder at the backup path that has no identity or the same id is Here; otherwise the
// same folder path is tried on every other drive letter, and the first whose placeholder has
// the id is taken (Moved). Only drive paths ("E:\...") can move.
TVolumeLocation LocateVolume(IFileSystem& fs, const TVolumeRec& volume, std::string_view knownId);

}  // namespace tw
