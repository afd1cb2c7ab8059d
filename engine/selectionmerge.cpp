#include "engine/selectionmerge.h"

#include "platform/ProfileFile.h"

namespace tw {
namespace {

std::string EntryId(std::string_view section, std::string_view key) {
  // Neither a section nor a key can hold a line break.
  return TProfileFile::FoldName(section) + '\n' + TProfileFile::FoldName(key);
}

}  // namespace

void TSelectionSeen::Note(const std::string& file, const TProfileFile& profile) {
  known_ = true;
  file_ = file;
  entries_.clear();
  for (const auto& section : profile.SectionNames())
    for (const auto& entry : profile.ReadSection(section)) entries_.insert(EntryId(section, entry.Key));
}

bool TSelectionSeen::Has(std::string_view section, std::string_view key) const {
  return entries_.count(EntryId(section, key)) > 0;
}

WinError TSelectionFiles::Load(TWLDesktopNode& tree, const std::string& file,
                               TSelectionSeen* seen) {
  TProfileFile profile(fs_, file);
  WinError error;
  {
    TNamedMutexLock lock(lock_, kSelectionLockWaitMs);
    if (!lock.Held()) ++Unlocked;
    error = profile.Load();
  }
  if (error != winerr::Success) {
    tree.Clear();
    if (seen) seen->Forget();
    return error;
  }
  if (seen) seen->Note(file, profile);
  return tree.LoadFrom(profile);
}

WinError TSelectionFiles::Note(const std::string& file, TSelectionSeen& seen) {
  TProfileFile profile(fs_, file);
  WinError error;
  {
    TNamedMutexLock lock(lock_, kSelectionLockWaitMs);
    if (!lock.Held()) ++Unlocked;
    error = profile.Load();
  }
  if (error != winerr::Success) {
    seen.Forget();
    return error;
  }
  seen.Note(file, profile);
  return winerr::Success;
}

WinError TSelectionFiles::Save(const TWLDesktopNode& tree, const std::string& file,
                               const TSelectionSeen& seen) {
  // Built before the lock is taken: the lock covers only the re-read and the replacement.
  TProfileFile out(fs_, file);
  if (WinError error = tree.WriteTo(out)) return error;
  const bool keepOnlyAdded = seen.Known() && seen.File() == file;

  TNamedMutexLock lock(lock_, kSelectionLockWaitMs);
  if (!lock.Held()) ++Unlocked;
  TProfileFile now(fs_, file);
  if (WinError error = now.Load()) return error;
  for (const auto& section : now.SectionNames()) {
    for (const auto& entry : now.ReadSection(section)) {
      if (keepOnlyAdded && seen.Has(section, entry.Key)) continue;
      if (out.HasKey(section, entry.Key)) continue;
      // An entry a line could not hold was never read as one.
      if (WinError error = out.WriteString(section, entry.Key, entry.Value)) return error;
    }
  }
  return out.Save();
}

std::string SavedWithoutLockText(const std::string& file) {
  return "The selection file " + file +
         " was in use by another program for too long, so Tidewell replaced it without waiting "
         "any longer. Files marked in Explorer at that moment may be missing from it.";
}

}  // namespace tw
