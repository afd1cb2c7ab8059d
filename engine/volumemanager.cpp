#include "engine/volumemanager.h"

#include "engine/layout.h"
#include "engine/operations.h"
#include "engine/overdue.h"
#include "engine/volumeedit.h"
#include "engine/volumeidentity.h"
#include "platform/OperationUI.h"

namespace tw {

bool PathClashes(IFileSystem& fs, IPrompts& prompts, const TVolumeList& volumes,
                 const std::string& path) {
  const std::string n = UpperCaseName(AddBackslash(path));
  const std::string root = DriveRootOf(n);
  if (!root.empty() && fs.DriveKind(root) == DriveType::Removable) return false;
  for (const auto& volume : volumes) {
    if (volume->SeparateFolders) continue;
    const std::string q = UpperCaseName(volume->BackupPath);
    if (q.find(n) == std::string::npos && n.find(q) == std::string::npos) continue;
    return prompts.Message(FormatText(kPathClashText, {volume->Name}), kAppTitle,
                           mb::OkCancel | mb::IconQuestion) != mb::IdOk;
  }
  return false;
}

TVolumeManager::TVolumeManager(IFileSystem& fs, TVolumeStore& store, TSettingsStore& settings,
                               IPrompts& prompts, std::string appDir)
    : fs_(fs), store_(store), settings_(settings), prompts_(prompts), appDir_(std::move(appDir)) {}

bool TVolumeManager::Refuse(const std::string& text) {
  prompts_.Message(text, kAppTitle, mb::Ok | mb::IconWarning);
  return false;
}

void TVolumeManager::Saved() {
  // The list on disk follows every change, and the extension's default volume with it.
  store_.Save();
  settings_.WriteDefaultVolume(store_.VolumeList);
}

int TVolumeManager::ApplyNew(IFileConflictPrompt& conflict, const std::string& nameText,
                             const std::string& pathText, bool separateFolders) {
  TVolumeList& volumes = store_.VolumeList;
  const std::string name = TrimBlanksAndControls(nameText);
  const std::string path = AddBackslash(TrimBlanksAndControls(pathText));
  if (std::string refused = CheckVolumeInput(name, path, volumes); !refused.empty())
    return Refuse(refused), -1;
  if (PathClashes(fs_, prompts_, volumes, path)) return -1;

  auto rec = std::make_unique<TVolumeRec>();
  rec->Name = name;
  rec->BackupPath = path;
  rec->SeparateFolders = separateFolders;
  rec->IsDefault = volumes.empty();
  const std::string fileName = name + ".TWS";
  if (!ClearSelectionFileName(fs_, conflict, prompts_, appDir_, fileName)) return -1;
  if (fs_.WriteAtomic(appDir_ + fileName, "") != winerr::Success)
    return Refuse("Unable to write to " + appDir_ + fileName), -1;
  fs_.MakeDirPath(path);
  volumes.push_back(std::move(rec));
  Saved();
  return static_cast<int>(volumes.size()) - 1;
}

int TVolumeManager::ApplyChanged(IFileConflictPrompt& conflict, size_t index,
                                 const std::string& nameText, const std::string& pathText,
                                 bool separateFolders) {
  TVolumeList& volumes = store_.VolumeList;
  if (index >= volumes.size()) return -1;
  TVolumeRec& volume = *volumes[index];
  const std::string name = TrimBlanksAndControls(nameText);
  const std::string path = AddBackslash(TrimBlanksAndControls(pathText));
  if (std::string refused = CheckVolumeInput(name, path, volumes, &volume); !refused.empty())
    return Refuse(refused), -1;

  if (name != volume.Name) {
    // The selection goes with the name, or the volume would silently start empty.
    const std::string from = appDir_ + volume.Name + ".TWS", to = appDir_ + name + ".TWS";
    const bool caseOnly = UpperCaseName(name) == UpperCaseName(volume.Name);
    FindData info;
    const bool hasFile =
        IsUsableVolumeName(volume.Name) && fs_.Stat(from, info) == winerr::Success;
    if (!caseOnly && !ClearSelectionFileName(fs_, conflict, prompts_, appDir_, name + ".TWS"))
      return -1;
    if (hasFile && fs_.Move(from, to, false) != winerr::Success)
      return Refuse(FormatText(kRenameSelectionFailedText, {from, to})), -1;
    settings_.RenameContextMenuMark(volume.Name, name);
    TRefreshHealthStore(settings_.Registry(), settings_.ProductKey()).Rename(volume.Name, name);
    TVolumeIdStore(settings_.Registry(), settings_.ProductKey()).Rename(volume.Name, name);
  }
  // A path the user chose anew: whatever folder it names is the volume's from now on.
  if (UpperCaseName(AddBackslash(path)) != UpperCaseName(AddBackslash(volume.BackupPath)))
    TVolumeIdStore(settings_.Registry(), settings_.ProductKey()).Forget(name);
  volume.Name = name;
  volume.BackupPath = path;
  volume.SeparateFolders = separateFolders;
  fs_.MakeDirPath(path);
  Saved();
  return static_cast<int>(index);
}

void TVolumeManager::UseMovedPath(size_t index, const std::string& path) {
  if (index >= store_.VolumeList.size()) return;
  store_.VolumeList[index]->BackupPath = AddBackslash(path);
  Saved();
}

TDeleteVolumeResult TVolumeManager::Delete(size_t index, TVolumeRec*& currentVolume) {
  TDeleteVolumeResult result;
  TVolumeList& volumes = store_.VolumeList;
  if (index >= volumes.size()) return result;
  TVolumeRec* volume = volumes[index].get();
  if (prompts_.Message(FormatText(kDeleteVolumeText, {volume->Name}), kDeleteVolumeCaption,
                       mb::YesNo | mb::IconQuestion) != mb::IdYes)
    return result;
  // Another volume of the same name (a list from before names were unique) still uses the
  // mark and the selection file.
  bool shared = false;
  for (const auto& other : volumes)
    if (other.get() != volume && UpperCaseName(other->Name) == UpperCaseName(volume->Name))
      shared = true;
  if (!shared) {
    settings_.DeleteContextMenuMark(volume->Name);
    TRefreshHealthStore(settings_.Registry(), settings_.ProductKey()).Forget(volume->Name);
    TVolumeIdStore(settings_.Registry(), settings_.ProductKey()).Forget(volume->Name);
    // A damaged record's name could lead outside the program folder.
    if (IsUsableVolumeName(volume->Name)) fs_.Remove(appDir_ + volume->Name + ".TWS");
  }
  if (currentVolume == volume) {
    currentVolume = nullptr;
    result.WasCurrent = true;
  }
  result.BackupFolder = volume->BackupPath;
  if (!result.BackupFolder.empty() && result.BackupFolder.back() == '\\')
    result.BackupFolder.pop_back();
  volumes.erase(volumes.begin() + static_cast<std::ptrdiff_t>(index));
  result.Deleted = true;
  Saved();
  return result;
}

bool TVolumeManager::MustKeepFolder(const std::string& backupPath) const {
  const std::string mine = UpperCaseName(AddBackslash(backupPath));
  if (!IsUsableBackupPath(mine)) return true;
  if (UpperCaseName(DriveRootOf(mine)) == mine) return true;  // a drive or share root
  if (UpperCaseName(appDir_).starts_with(mine)) return true;   // holds the program
  for (const auto& other : store_.VolumeList) {
    const std::string theirs = UpperCaseName(AddBackslash(other->BackupPath));
    if (theirs.starts_with(mine) || mine.starts_with(theirs)) return true;
  }
  return false;
}

void TVolumeManager::OfferClearUp(const std::string& folder, IFolderClearUp& clearUp) {
  if (MustKeepFolder(folder)) {
    prompts_.Message(FormatText(kBackupPathKeptText, {folder}), kAppTitle,
                     mb::Ok | mb::IconInformation);
    return;
  }
  if (prompts_.Message(FormatText(kClearUpText, {folder}), kClearUpCaption,
                       mb::YesNo | mb::IconQuestion) == mb::IdYes)
    clearUp.ClearUpFolder(folder);
}

bool TVolumeManager::RemoveFromList(size_t index, TVolumeRec*& currentVolume) {
  TVolumeList& volumes = store_.VolumeList;
  if (index >= volumes.size()) return false;
  TVolumeRec* volume = volumes[index].get();
  if (prompts_.Message(FormatText(kRemoveVolumeText, {volume->Name}), kAppTitle,
                       mb::YesNo | mb::IconQuestion) != mb::IdYes)
    return false;
  if (currentVolume == volume) currentVolume = nullptr;
  volumes.erase(volumes.begin() + static_cast<std::ptrdiff_t>(index));
  Saved();
  return true;
}

}  // namespace tw
