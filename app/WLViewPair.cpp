#include "app/WLViewPair.h"

namespace tw {

namespace {
constexpr int kMargin = 8, kButtonsH = 45;
}

bool TViewPair::Create(HWND sheet, const std::string& treeName, const std::string& listName,
                       bool checks) {
  if (!Tree.Create(sheet, kMargin, kMargin, 240, 300) || !List.Create(sheet, 256, kMargin, 400, 300))
    return false;
  forms::SetControlName(Tree.Handle(), treeName);
  forms::SetControlName(List.Handle(), listName);
  Tree.SetIndent(19);
  Tree.SetShowVirtualFolders(false);
  Tree.AllowRename = false;
  Tree.AutoRefresh = false;
  Tree.SetCheckBoxes(checks);
  List.SetViewStyle(shellviews::vsReport);
  List.SetMultiSelect(true);
  List.SetShowHidden(true);
  List.SetShowVirtualFolders(false);
  List.AllowRename = false;
  List.AutoRefresh = false;
  List.SetFileMask("*.*");
  List.SetChecks(checks);
  Tree.SetFolderEnumerator(&List);
  return true;
}

void TViewPair::Layout(int w, int sheetH, int dpi) {
  int margin = MulDiv(kMargin, dpi, forms::kDesignDpi);
  int h = sheetH - margin - MulDiv(kButtonsH, dpi, forms::kDesignDpi);
  if (h < margin) h = margin;
  int treeW = (w - 3 * margin) * 2 / 5;
  MoveWindow(Tree.Handle(), margin, margin, treeW, h, TRUE);
  MoveWindow(List.Handle(), 2 * margin + treeW, margin, w - 3 * margin - treeW, h, TRUE);
}

}  // namespace tw
