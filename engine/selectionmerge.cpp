#include "engine/selectionmerge.h"

#include "platform/ProfileFile.h"

namespace tw {

WinError SaveSelectionMerged(IFileSystem& fs, const TWLDesktopNode& selection,
                             const std::string& file) {
  TProfileFile old(fs, file);
  if (WinError error = old.Load()) return error;
  // The selection's own encoding, written beside the file and read back as a profile.
  std::string fresh = file + ".~merge";
  if (WinError error = selection.SaveToFile(fresh)) {
    fs.Remove(fresh);
    return error;
  }
  TProfileFile merged(fs, fresh);
  WinError error = merged.Load();
  fs.Remove(fresh);
  if (error) return error;
  for (const auto& section : old.SectionNames())
    for (const auto& entry : old.ReadSection(section))
      if (!merged.HasKey(section, entry.Key)) merged.WriteString(section, entry.Key, entry.Value);
  return fs.WriteAtomic(file, merged.Serialize());
}

}  // namespace tw
