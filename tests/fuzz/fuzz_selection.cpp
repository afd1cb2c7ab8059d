// The selection file: any bytes load against a small disk without fault, and what a load gives
// is a selection that saves and loads back as the same selection.
#include <cstddef>
#include <cstdint>

#include "platform/memory/MemoryFileSystem.h"
#include "selection/selection.h"
#include "tests/fuzz/fuzz_check.h"

using namespace tw;
using tw::fuzz::Check;
using tw::fuzz::Take;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryFileSystem fs;
  fs.AddDrive("C:", DriveType::Fixed);
  fs.AddDrive("\\\\srv\\share", DriveType::Remote);
  fs.AddDrive("P:", DriveType::Fixed);
  fs.WriteFile("C:\\Data\\a.txt", "1");
  fs.WriteFile("C:\\Data\\Sub\\b=c.txt", "22");
  fs.WriteFile("C:\\a.txt", "333");
  fs.WriteFile("\\\\srv\\share\\Docs\\d.txt", "4444");
  const std::string file = "P:\\Work.TWS", saved = "P:\\Saved.TWS";
  fs.WriteFile(file, std::string(reinterpret_cast<const char*>(data), size));

  TWLDesktopNode tree(fs);
  Check(tree.LoadFromFile(file) == winerr::Success, "load");
  Check(tree.SaveToFile(saved) == winerr::Success, "save of a loaded selection");
  TWLDesktopNode back(fs);
  Check(back.LoadFromFile(saved) == winerr::Success, "reload");
  Check(Take(back, "P:") == Take(tree, "P:"), "a saved selection loads back as another one");
  return 0;
}
