// The layout of a volume folder: where a copy of an original folder lies below the backup path
// (MapToVolume), where a folder of a volume goes back to (MapToOriginal), and the placeholder
// VOLUME.TWV that marks a volume folder and records the roots of a volume without per-drive
// folders. Paths are Windows paths in UTF-8 and are never cut at any length.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/volumes.h"
#include "platform/FileSystem.h"
#include "platform/ProfileFile.h"

namespace tw {

inline constexpr char kPlaceholderFileName[] = "VOLUME.TWV";
inline constexpr char kPlaceholderSection[] = "Tidewell Volume";
inline constexpr char kVolumeFileKey[] = "Volume File";
inline constexpr char kVolumeFileValue[] = "#";
// A section of VOLUME.TWV of our own beside "Tidewell Volume", whose readers never look at it:
// which volume the folder belongs to (engine/volumeidentity.h).
inline constexpr char kIdentitySection[] = "Tidewell Identity";
inline constexpr char kIdentityNameKey[] = "Volume";
inline constexpr char kIdentityIdKey[] = "Id";
inline constexpr char kFromDrive[] = "From Drive ";     // followed by the drive letter
inline constexpr char kFromNetwork[] = "From Network";
inline constexpr char kUnableToWriteFormat[] = "Unable to write to %s";

// Appends "\" unless the path ends with one; an empty path becomes "\".
std::string AddBackslash(std::string_view path);

// "Unable to write to %s" with the placeholder's (or any file's) full name.
std::string UnableToWriteText(std::string_view fileName);

// ---- Forward mapping ----

// The folder below volume.BackupPath that holds the copies of the original folder (a selection
// path without trailing backslash: "C:", "C:\Windows", "\\srv", "\\srv\share\docs"). Ends with
// a backslash.
std::string MapToVolume(std::string_view originalFolder, const TVolumeRec& volume);

// ---- Reverse mapping ----

// True when a first-level folder name counts as a drive folder (begins with "FROM DRIVE" or
// "FROM NETWORK", compared without regard to case): such folders map by the drive and network
// rules and never take a root.
bool IsDriveFolderName(std::string_view name);

// The root path prompt of a restore (TfWLRootPath), as the mapping needs it.
class IRootPathPrompt {
 public:
  virtual ~IRootPathPrompt() = default;
  // Asks the user for the original folder of the first-level folder folderName (its name in the
  // volume, shown so that a user asked several times knows which folder each answer is for);
  // returns the text as typed (the dialog refuses a blank entry), or nothing when no answer
  // could be had.
  virtual std::optional<std::string> AskRootPath(const std::string& folderName) = 0;
};

// The state one restore walk keeps between calls of MapToOriginal.
struct TRestoreMapping {
  // The root in force (ends with a backslash), empty when none; the restore starts it empty.
  std::string RootMapping;
  // The orphaned restore's open placeholder; null otherwise.
  const TProfileFile* PlaceholderIni = nullptr;
  // Asked when a first-level folder has no root; null means nobody can be asked (no root).
  IRootPathPrompt* RootPrompt = nullptr;
};

// The original folder (ending with a backslash) of the volume folder `folder` (a selection path
// inside the volume or one of its ancestors, without trailing backslash), or nothing when there
// is nothing to restore at that level: the volume folder and its ancestors (they also clear the
// root in force), the bare "From Network" folder, a folder that is not below the backup path, a
// drive folder without a usable drive letter, a first-level folder whose root could not be had
// and the folders below it. chosenLocation: the "Restore to" folder, or nothing for the original
// location.
std::optional<std::string> MapToOriginal(std::string_view folder, const TVolumeRec& volume,
                                         TRestoreMapping& state,
                                         const std::optional<std::string>& chosenLocation =
                                             std::nullopt);

// The per-drive reverse mapping alone (no depth test, no root, no chosen location), as the
// refresh of the volume contents uses it: "From Drive D\Work" -> "D:\Work\",
// "From Network\srv\share" -> "\\srv\share\". Nothing for the volume folder itself, the bare
// "From Network" folder, a folder not below backupPath, or a first folder without a drive letter.
std::optional<std::string> MapDriveFolderToOriginal(std::string_view folder,
                                                    std::string_view backupPath);

// ---- The placeholder VOLUME.TWV ----

// backupPath + "VOLUME.TWV" (backupPath ends with a backslash).
std::string PlaceholderPath(std::string_view backupPath);

// A folder holds a volume when the file VOLUME.TWV exists in it (its contents are not checked).
bool IsVolumeFolder(IFileSystem& fs, std::string_view folder);

// A root value of the placeholder that may be used: a drive ("C:", "C:\", "C:\Data") or a network
// path ("\\srv", "\\srv\share\x"), absolute, without empty, "." or ".." components and without
// characters no path may hold. Anything else would lead outside its place and is ignored.
bool IsUsableRoot(std::string_view root);

// The root recorded for a first-level folder name, when the placeholder has one that is usable.
// The name is looked up escaped as WriteRoot writes it, then as it is: files written before
// names were escaped hold "a;b" or "x]y" unescaped.
std::optional<std::string> PlaceholderRoot(const TProfileFile& placeholder,
                                           std::string_view firstLevelName);

// Writing the placeholder during an add operation. Each call saves the file at once
// (atomically); a returned error means "Unable to write to " + FullName() is to be shown.
// Entries of earlier add operations are kept: the file is read before the first write, and a
// file that exists but cannot be read is not replaced (its read error is returned).
class TPlaceholderWriter {
 public:
  TPlaceholderWriter(IFileSystem& fs, std::string_view backupPath);
  const std::string& FullName() const { return ini_.Path(); }
  // "Volume File" = "#" in section "Tidewell Volume".
  WinError WriteVolumeFile();
  // One key per child of the root (the child's Name), with the root's Path as value; a later
  // key replaces an earlier one of the same name (compared without regard to case). A name a
  // key cannot carry as it is (Windows names may hold '=', ';', '[' and ']' and begin or end
  // with a blank) is written escaped as the selection file writes it (EncodeSelectionText).
  WinError WriteRoot(std::string_view rootPath, const std::vector<std::string>& childNames);
  // Section "Tidewell Identity": the volume's name and id, written once; a folder that has an
  // identity keeps it (another volume's is never replaced), so nothing is written then.
  WinError WriteIdentity(std::string_view volumeName, std::string_view id);
  // Reads the file once (a missing file reads as empty); the writes above call it themselves.
  WinError Load() { return EnsureLoaded(); }
  const TProfileFile& Ini() const { return ini_; }

 private:
  WinError EnsureLoaded();
  TProfileFile ini_;
  bool loaded_ = false;
};

}  // namespace tw
