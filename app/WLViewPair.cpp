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

void TViewPair::Layout(int w, int sheetH) {
  int h = sheetH - kMargin - kButtonsH;
  if (h < 50) h = 50;
  int treeW = (w - 3 * kMargin) * 2 / 5;
  MoveWindow(Tree.Handle(), kMargin, kMargin, treeW, h, TRUE);
  MoveWindow(List.Handle(), 2 * kMargin + treeW, kMargin, w - 3 * kMargin - treeW, h, TRUE);
}

}  // namespace tw
