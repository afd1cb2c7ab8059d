// The INI reader: any bytes load; a save writes what a load then reads (whatever the line
// endings and byte-order marks), and a second save changes nothing.
#include <cstddef>
#include <cstdint>

#include "platform/memory/MemoryFileSystem.h"
#include "tests/fuzz/fuzz_check.h"

using namespace tw;
using tw::fuzz::Check;
using tw::fuzz::Visible;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryFileSystem fs;
  fs.AddDrive("C:", DriveType::Fixed);
  const std::string path = "C:\\Work.TWS";
  fs.WriteFile(path, std::string(reinterpret_cast<const char*>(data), size));

  TProfileFile ini(fs, path);
  Check(ini.Load() == winerr::Success, "load");
  const std::string before = Visible(ini);
  Check(ini.Save() == winerr::Success, "save unchanged");
  TProfileFile same(fs, path);
  Check(same.Load() == winerr::Success, "reload");
  Check(Visible(same) == before, "a save changed what a load reads");

  // A write, as the program makes them, shows after a reload exactly as in memory.
  Check(same.WriteString("Tidewell Volume", "Volume File", "#") == winerr::Success, "write");
  Check(same.WriteString("C:\\Fuzz", "new.txt", "#") == winerr::Success, "write");
  same.DeleteKey("C:\\", "boot.ini");
  const std::string written = Visible(same);
  Check(same.Save() == winerr::Success, "save written");
  const std::string bytes = *fs.Contents(path);
  TProfileFile again(fs, path);
  Check(again.Load() == winerr::Success, "reload written");
  Check(Visible(again) == written, "written entries read back differently");
  Check(again.Serialize() == bytes, "a second save changes the file");
  return 0;
}
