// The user's manual: HTML pages in the program folder's "manual" folder, one per help context.
// WinHelp files cannot be shown on current Windows, so the pages stand in for TIDEWELL.HLP.
#pragma once
#include <string>
#include <vector>

namespace tw {

inline constexpr char kManualFolder[] = "manual\\";
inline constexpr char kManualContents[] = "index.html";

// The page for a help context; the contents page for 0 and for contexts without a page.
std::string ManualPageOf(int context);

// Every help context the windows give their controls and dialogs.
const std::vector<int>& HelpContexts();

}  // namespace tw
