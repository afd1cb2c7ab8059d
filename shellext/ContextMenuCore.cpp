#include "shellext/ContextMenuCore.h"

#include "engine/settings.h"
#include "engine/volumeedit.h"
#include "engine/volumes.h"
#include "platform/ProfileFile.h"
#include "selection/selection.h"

namespace tw {

TWLContextMenuCore::TWLContextMenuCore(IRegistry& registry, IFileSystem& fs, INamedMutex& mutex,
                                       IPrompts& prompts, IContextMenuHost& host,
                                       std::string productKey)
    : registry_(registry),
      fs_(fs),
      mutex_(mutex),
      prompts_(prompts),
      host_(host),
      productKey_(productKey.empty() ? WLRegStrings::ProductKey : std::move(productKey)) {}

void TWLContextMenuCore::Initialize(bool hasFileList) {
  hasFileList_ = hasFileList;
  if (!programFolderRead_) {
    programFolderRead_ = true;
    std::string exe;
    if (auto key = registry_.Open(RegRoot::LocalMachine, productKey_ + WLRegStrings::AppPathSubkey,
                                  false);
        key && key->ReadString(WLRegStrings::AppPathValue, exe) == winerr::Success) {
      exe = TrimBlanksAndControls(exe);
      if (exe.size() >= 2 && exe.front() == '"' && exe.back() == '"')
        exe = exe.substr(1, exe.size() - 2);
      std::string folder = exe.substr(0, exe.find_last_of('\\') + 1);
      // Only a full path: a bare or relative name would resolve in the host's current folder.
      if (IsValidSelectionPath(folder)) programFolder_ = folder;
    }
  }
  if (auto key = registry_.Open(RegRoot::CurrentUser, productKey_, false)) {
    defaultVolume_.clear();
    std::string name;
    if (key->ReadString(WLRegStrings::DefaultVolume, name) == winerr::Success)
      defaultVolume_ = name;
  }
}

uint32_t TWLContextMenuCore::QueryMenu(uint32_t available, std::vector<TMenuItem>& items) {
  items.clear();
  if (!hasFileList_ || available == 0) return 0;
  items.push_back({0, kMarkText});
  if (auto key = registry_.Open(RegRoot::CurrentUser,
                                productKey_ + WLRegStrings::ContextMenuSubkey, false)) {
    volumeNames_ = key->ValueNames();
    const std::string defaultFolded = UpperCaseName(defaultVolume_);
    for (size_t i = 0; i < volumeNames_.size() && i + 1 < available; ++i) {
      const std::string& name = volumeNames_[i];
      if (name.empty() || UpperCaseName(name) == defaultFolded) continue;
      items.push_back({static_cast<uint32_t>(i + 1), FormatText(kMarkVolumeText, {name})});
    }
  }
  const uint64_t wanted = volumeNames_.size() + 1;
  return static_cast<uint32_t>(wanted < available ? wanted : available);
}

bool TWLContextMenuCore::CommandHelp(uint32_t offset, std::string& text) const {
  if (offset == 0) {
    text = kMarkHelp;
    return true;
  }
  if (offset > volumeNames_.size()) return false;
  text = FormatText(kMarkVolumeHelp, {volumeNames_[offset - 1]});
  return true;
}

int32_t TWLContextMenuCore::InvokeVerb() {
  host_.Beep();
  return hres::Fail;
}

int32_t TWLContextMenuCore::Invoke(uint32_t offset, const FileListSource& source) {
  if (offset > volumeNames_.size()) {
    host_.Beep();
    return hres::InvalidArg;
  }
  if (!hasFileList_) return hres::Fail;
  std::string volume;
  if (offset == 0) {
    if (defaultVolume_.empty()) {
      prompts_.Message(kNoDefaultText, kCaption, mb::Ok | mb::IconError);
      if (!programFolder_.empty()) host_.StartProgram(programFolder_ + kProgramFile);
      return hres::Fail;
    }
    volume = defaultVolume_;
  } else {
    volume = volumeNames_[offset - 1];
  }
  std::vector<std::string> paths;
  if (!source || !source(paths)) return hres::Fail;
  return Mark(volume, paths) ? hres::Ok : hres::Fail;
}

void TWLContextMenuCore::Refuse(const std::string& volume, const std::string& reason) {
  prompts_.Message(FormatText(kCannotMarkText, {volume}) + reason, kCaption,
                   mb::Ok | mb::IconError);
}

bool TWLContextMenuCore::VolumeKnown(const std::string& volume) {
  TVolumeStore store(fs_, prompts_, programFolder_);  // read only: Load never asks anything
  store.Load("");
  const std::string folded = UpperCaseName(volume);
  for (const auto& rec : store.VolumeList) {
    if (UpperCaseName(rec->Name) == folded) return true;
  }
  return store.KeepAsideOnSave();
}

namespace {

// False for a path that is not absolute and plain (relative, wildcards, "." or "..").
bool MarkOf(IFileSystem& fs, std::string path, TMark& mark) {
  if (!IsValidSelectionPath(path)) return false;
  FindData info;
  if (fs.Stat(path, info) != winerr::Success) return false;
  const bool driveRoot = path.size() <= 3 && path.size() >= 2 && path[1] == ':';
  if (info.IsDirectory()) {
    // A folder's section is its path without the trailing backslash, as Tidewell saves it;
    // a drive root's is "C:\".
    if (driveRoot) {
      path = path.substr(0, 2) + "\\";
    } else if (path.back() == '\\') {
      path.pop_back();
    }
    mark.section = EncodeSelectionText(path);
    mark.key.clear();
    return true;
  }
  if (path.back() == '\\') return false;
  const size_t slash = path.find_last_of('\\');
  // A file's section is its folder with the trailing backslash, which differs from a folder's
  // own section, so a folder marked whole stays marked whole.
  mark.section = EncodeSelectionText(path.substr(0, slash + 1));
  mark.key = EncodeSelectionText(path.substr(slash + 1));
  return true;
}

std::string ErrorText(WinError e) { return std::to_string(e); }

}  // namespace

bool TWLContextMenuCore::Mark(const std::string& volume, const std::vector<std::string>& paths) {
  if (programFolder_.empty()) {
    Refuse(volume, kNoProgramReason);
    return false;
  }
  // A name with "\" or ".." would write outside the program folder; "CON" names a device.
  if (!IsUsableVolumeName(volume) ||
      !IsValidSelectionPath(programFolder_ + volume + kSelectionExtension)) {
    Refuse(volume, kBadNameReason);
    return false;
  }
  // Looked up before taking the mutex, so Tidewell never waits on the disk's work.
  std::vector<TMark> marks;
  marks.reserve(paths.size());
  for (const std::string& path : paths) {
    TMark mark;
    if (MarkOf(fs_, path, mark)) marks.push_back(std::move(mark));
  }
  std::string refusal;
  {
    TNamedMutexLock lock(mutex_, kMutexWaitMs);
    refusal = lock.Held() ? WriteMarks(volume, marks) : kBusyReason;
  }
  // The box waits for the user: Tidewell and other marks must not wait with it.
  if (refusal.empty()) return true;
  Refuse(volume, refusal);
  return false;
}

std::string TWLContextMenuCore::WriteMarks(const std::string& volume,
                                           const std::vector<TMark>& marks) {
  const std::string fileName = programFolder_ + volume + kSelectionExtension;
  FindData info;
  WinError found = fs_.Stat(fileName, info);
  if (found == winerr::FileNotFound || found == winerr::PathNotFound) {
    // Tidewell leaves DefaultVolume naming a deleted volume: marks for it would go nowhere.
    if (!VolumeKnown(volume)) return kNoVolumeReason;
  }
  TProfileFile file(fs_, fileName);
  // An existing file that cannot be read is never replaced: the marks alone would drop it.
  if (WinError e = found == winerr::Success || found == winerr::FileNotFound ||
                           found == winerr::PathNotFound
                       ? file.Load()
                       : found)
    return FormatText(kReadReason, {fileName, ErrorText(e)});
  const std::string allKey(kAllMarker);
  const std::string value(kEntryValue);
  for (const TMark& mark : marks) {
    WinError e = winerr::Success;
    if (mark.key.empty()) {
      file.EraseSection(mark.section);
      e = file.WriteString(mark.section, allKey, value);
    } else {
      std::string whole;
      // Already marked as part of its folder ("C:\" marked whole holds its files).
      if (file.ReadString(mark.section, allKey, whole) && whole == value) continue;
      file.DeleteKey(mark.section, allKey);
      e = file.WriteString(mark.section, mark.key, value);
    }
    if (e != winerr::Success) return FormatText(kSaveReason, {fileName, ErrorText(e)});
  }
  if (!file.Modified()) return {};
  if (WinError e = file.Save()) return FormatText(kSaveReason, {fileName, ErrorText(e)});
  return {};
}

// ---- Registration ----

namespace {
std::string ClassKey() { return std::string("\\CLSID\\") + kContextMenuClsid; }
std::string ServerKey() { return ClassKey() + "\\InprocServer32"; }
}  // namespace

std::string InprocServerPath(const std::string& dllPath) {
  if (dllPath.find(' ') == std::string::npos) return dllPath;
  return "\"" + dllPath + "\"";
}

bool RegisterContextMenuServer(IRegistry& registry, const std::string& dllPath) {
  auto classKey = registry.Open(RegRoot::ClassesRoot, ClassKey(), true);
  if (!classKey || classKey->WriteString("", kContextMenuDescription) != winerr::Success)
    return false;
  auto serverKey = registry.Open(RegRoot::ClassesRoot, ServerKey(), true);
  // Without "Apartment" COM calls the object through the host's main apartment, and the
  // shell's window threads can fail to load it.
  return serverKey && serverKey->WriteString("", InprocServerPath(dllPath)) == winerr::Success &&
         serverKey->WriteString("ThreadingModel", "Apartment") == winerr::Success;
}

bool UnregisterContextMenuServer(IRegistry& registry) {
  for (const std::string& key : {ServerKey(), ClassKey()}) {
    WinError e = registry.DeleteTree(RegRoot::ClassesRoot, key);
    if (e != winerr::Success && e != winerr::FileNotFound) return false;
  }
  return true;
}

}  // namespace tw
