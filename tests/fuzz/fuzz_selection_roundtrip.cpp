// Any legal selection, saved and loaded back, is the same selection. The input is a script, one
// command a line, that first builds a disk and then a selection on it:
//   D path    a folder on the disk          F path    a file on the disk (its size: the line's)
//   W path    select a disk folder whole    S path    select a file by name (may be missing)
//   R root    mark a root ("C:", "\\srv") whole, as a scan of a server that cannot be listed does
// Legal: a folder is selected whole before anything is selected below it, files are selected
// outside whole folders only, and the disk does not change once the selection has begun.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/memory/MemoryFileSystem.h"
#include "selection/selection.h"
#include "tests/fuzz/fuzz_check.h"

using namespace tw;
using tw::fuzz::Check;
using tw::fuzz::Take;

namespace {

bool BelowWhole(const TWLNode* node) {
  for (; node && node->Parent(); node = node->Parent())
    if (node->AllSelected()) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryFileSystem fs;
  fs.AddDrive("C:", DriveType::Fixed);
  fs.AddDrive("\\\\srv\\share", DriveType::Remote);
  fs.AddDrive("P:", DriveType::Fixed);
  TWLDesktopNode tree(fs);
  bool selecting = false;

  const std::string script(reinterpret_cast<const char*>(data), size);
  for (size_t at = 0; at < script.size();) {
    size_t end = script.find('\n', at);
    if (end == std::string::npos) end = script.size();
    const std::string line = script.substr(at, end - at);
    at = end + 1;
    if (line.size() < 3 || line[1] != ' ') continue;
    const std::string path = line.substr(2);
    try {
      switch (line[0]) {
        case 'D':
          if (!selecting && IsValidSelectionPath(path)) fs.MakeDirs(path);
          break;
        case 'F':
          if (!selecting && IsValidSelectionPath(path)) fs.WriteFile(path, line);
          break;
        case 'W':
          selecting = true;
          if (tree.FindNode(path) == nullptr && fs.IsDir(path)) {
            TWLNode* node = tree.AddPath(path);
            if (node && !BelowWhole(node->Parent())) Check(node->SelectAll(), "scan");
          }
          break;
        case 'S': {
          selecting = true;
          size_t cut = path.rfind('\\');
          if (cut == std::string::npos) break;
          TWLNode* node = tree.AddPath(path.substr(0, cut));
          if (node && !BelowWhole(node)) node->AddFile(path.substr(cut + 1), -1);
          break;
        }
        case 'R':
          selecting = true;
          if (TWLNode* root = tree.AddPath(path); root && !root->Parent())
            root->SetAllSelected(true);
          break;
        default:
          break;
      }
    } catch (const std::invalid_argument&) {
      // The disk refused the path (a name too long for it, a file in the way): no such entry.
    }
  }

  const std::string file = "P:\\Work.TWS";
  Check(tree.SaveToFile(file) == winerr::Success, "save");
  TWLDesktopNode back(fs);
  Check(back.LoadFromFile(file) == winerr::Success, "load");
  Check(Take(back, "P:") == Take(tree, "P:"), "a saved selection loads back as another one");
  return 0;
}
