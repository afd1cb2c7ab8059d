// Reading and replacing a volume's selection file while the Explorer extension may add marks to
// it. Both programs hold the named lock kSelectionFilesMutex only while they read the file or
// replace it, never during a scan or a walk. A save re-reads the file under the lock and keeps
// what another program added since this one read it, so neither drops the other's entries.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_set>

#include "platform/FileSystem.h"
#include "platform/NamedMutex.h"
#include "platform/WinCodes.h"
#include "selection/selection.h"

namespace tw {

class TProfileFile;

// How long a read or a replacement waits for the lock. The extension holds it for one read and
// one write; the window waits on its own thread, so the wait stays well below the time after
// which Windows calls a window unresponsive.
inline constexpr uint32_t kSelectionLockWaitMs = 3000;

// The entries (section and key, compared as the file compares them) a selection file held when
// it was read: a later save keeps every entry of the file that is not among them.
class TSelectionSeen {
 public:
  // Nothing seen yet: a save keeps every entry the file holds then (a union).
  bool Known() const { return known_; }
  const std::string& File() const { return file_; }
  void Note(const std::string& file, const TProfileFile& profile);
  void Forget() { *this = TSelectionSeen(); }
  bool Has(std::string_view section, std::string_view key) const;

 private:
  bool known_ = false;
  std::string file_;
  std::unordered_set<std::string> entries_;
};

class TSelectionFiles {
 public:
  TSelectionFiles(IFileSystem& fs, INamedMutex& lock) : fs_(fs), lock_(lock) {}

  // Reads the file under the lock, then fills the tree from it (whole folders are scanned after
  // the lock is given back). seen, when given, notes its entries. As LoadFromFile otherwise.
  WinError Load(TWLDesktopNode& tree, const std::string& file, TSelectionSeen* seen = nullptr);
  // Notes the file's entries only (a backup about to replace the file). A file that cannot be
  // read leaves seen unknown, so the save keeps all the file holds then.
  WinError Note(const std::string& file, TSelectionSeen& seen);
  // Replaces the file atomically with the tree's selection plus every entry the file holds now
  // that seen lacks (all of them when seen is unknown or names another file). A file that
  // cannot be re-read is not replaced (its error is returned), so nothing of it is lost.
  [[nodiscard]] WinError Save(const TWLDesktopNode& tree, const std::string& file,
                              const TSelectionSeen& seen);
  // The union of the file and the tree: adding files to an opened volume must not stop the
  // refresh of what it backed up before.
  [[nodiscard]] WinError SaveMerged(const TWLDesktopNode& tree, const std::string& file) {
    return Save(tree, file, TSelectionSeen());
  }

  // Reads and replacements that went ahead without the lock because another program held it
  // past kSelectionLockWaitMs. A read needs no lock to be whole (every writer replaces the
  // file atomically); a replacement then still keeps what the file held a moment before, but
  // an entry the holder writes at that very moment may be lost: the caller says so.
  int Unlocked = 0;

 private:
  IFileSystem& fs_;
  INamedMutex& lock_;
};

// The line, log or message, for a selection file replaced without the lock.
std::string SavedWithoutLockText(const std::string& file);

}  // namespace tw
