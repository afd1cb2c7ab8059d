// The command-line refresh's process: the real file system, named mutexes, the volume list and
// the console; the work is the engine's (TCommandLineRefresh). No main window is made, and the
// single-instance rule (which is the window's) is not applied.
#pragma once
#include <string>
#include <vector>

namespace tw {

class TCommandLineRun {
 public:
  // args: the arguments after the program name; appDir ends with a backslash. Returns the
  // process's exit code.
  static int Run(const std::vector<std::string>& args, const std::string& appDir);
};

}  // namespace tw
