// A namespace tree linked to a folder list, set up as the wizard's pages use them: no virtual
// folders, no renaming, no automatic refresh of the tree, the list refreshing once the page has
// marked it (see TSelectionEvents).
#pragma once
#include <windows.h>

#include <string>

#include "app/forms/Forms.h"
#include "shellviews/FolderEnumerator.h"
#include "shellviews/NameSpaceEnumerator.h"

namespace tw {

struct TViewPair {
  shellviews::TNameSpaceEnumerator Tree;
  shellviews::TFolderEnumerator List;

  // checks: the check boxes of both views; the names are the controls' names.
  bool Create(HWND sheet, const std::string& treeName, const std::string& listName, bool checks);
  // The tree on the left third, the list beside it, both above the page's buttons.
  void Layout(int w, int sheetH, int dpi);
};

}  // namespace tw
