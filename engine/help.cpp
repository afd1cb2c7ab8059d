#include "engine/help.h"

namespace tw {
namespace {
struct TPage {
  int context;
  const char* page;
};
constexpr TPage kPages[] = {
    {110, "backup.html"},  {120, "refresh.html"},  {130, "restore.html"}, {140, "delete.html"},
    {150, "contents.html"}, {200, "options.html"}, {320, "find.html"},
};
}  // namespace

std::string ManualPageOf(int context) {
  for (const TPage& p : kPages)
    if (p.context == context) return p.page;
  return kManualContents;
}

const std::vector<int>& HelpContexts() {
  static const std::vector<int> contexts = [] {
    std::vector<int> all;
    for (const TPage& p : kPages) all.push_back(p.context);
    return all;
  }();
  return contexts;
}

}  // namespace tw
