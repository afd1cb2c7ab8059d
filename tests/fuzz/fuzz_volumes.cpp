// VOLUMES.TWB: any bytes load without fault; a list read to its end saves and loads back equal.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/volumes.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/ScriptedPrompts.h"
#include "tests/fuzz/fuzz_check.h"

using namespace tw;
using tw::fuzz::Check;

namespace {

bool Same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool Same(const TVolumeRec& a, const TVolumeRec& b) {
  return a.Name == b.Name && a.BackupPath == b.BackupPath &&
         a.SeparateFolders == b.SeparateFolders && a.IsDefault == b.IsDefault &&
         a.AutoRefresh == b.AutoRefresh && a.NoFinishMessage == b.NoFinishMessage &&
         a.Frequency == b.Frequency && a.WeekDay == b.WeekDay &&
         Same(a.RefreshTime, b.RefreshTime) && Same(a.LastRefresh, b.LastRefresh);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryFileSystem fs;
  fs.AddDrive("C:", DriveType::Fixed);
  ScriptedPrompts prompts;
  TVolumeStore store(fs, prompts, "C:\\Prog\\");
  fs.WriteFile(store.FilePath(), std::string(reinterpret_cast<const char*>(data), size));
  store.Load("WORK");
  if (store.KeepAsideOnSave()) return 0;  // damaged: kept aside, not saved over

  if (!store.Save()) return 0;  // refused with a message (a record the file cannot hold)
  TVolumeStore again(fs, prompts, "C:\\Prog\\");
  again.Load("WORK");
  Check(!again.KeepAsideOnSave(), "a saved list does not read back whole");
  Check(again.VolumeList.size() == store.VolumeList.size(), "volumes lost in a save");
  for (size_t i = 0; i < store.VolumeList.size(); ++i)
    Check(Same(*again.VolumeList[i], *store.VolumeList[i]), "a volume changed in a save");
  return 0;
}
