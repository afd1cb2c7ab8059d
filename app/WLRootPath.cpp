#include "app/WLRootPath.h"

#include <commctrl.h>

namespace tw {

namespace {
constexpr int kClientW = 360, kClientH = 150;

bool IsBlank(const std::string& text) {
  for (unsigned char c : text)
    if (c > ' ') return false;
  return true;
}
}  // namespace

TfWLRootPath::TfWLRootPath(HWND owner) : owner_(owner) {
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  if (!CreateFormClient(L"TfWLRootPath", "Root for Orphaned Folder", style, WS_EX_DLGMODALFRAME,
                        kClientW, kClientH, nullptr, nullptr, nullptr))
    return;
  SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  forms::SetControlName(Handle(), "fWLRootPath");
  HWND form = Handle();
  AddLabel(form, "Label2", "Orphaned folder", 12, 10, 110, 18);
  // One line: a long name ends in an ellipsis rather than wrapping over the text below.
  folderST_ = AddControl(form, WC_STATICW, "FolderST", "",
                         WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS, 126, 10,
                         kClientW - 138, 18);
  // Word-wrapped (SS_LEFT wraps).
  AddLabel(form, "Label1", "Please specify the path to which this orphaned folder should be copied",
           12, 34, kClientW - 24, 34);
  pathSLE_ = AddControl(form, WC_EDITW, "PathSLE", "",
                        WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 12, 74,
                        kClientW - 24, 22, WS_EX_CLIENTEDGE);
  okButton_ = AddButton(form, "BitBtn1", "OK", (kClientW - 88) / 2, 112, 88, 26,
                        [this] { BitBtn1Click(); }, true);
}

TfWLRootPath::~TfWLRootPath() = default;

std::string TfWLRootPath::PathText() const { return forms::WindowText(pathSLE_); }

bool TfWLRootPath::FormCloseQuery() const { return !IsBlank(PathText()); }

void TfWLRootPath::FormShow() {
  int w = 0, h = 0;
  RECT rc{};
  GetWindowRect(Handle(), &rc);
  w = rc.right - rc.left;
  h = rc.bottom - rc.top;
  SetWindowPos(Handle(), HWND_TOPMOST, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0, SWP_NOSIZE);
}

void TfWLRootPath::BitBtn1Click() { TryClose(); }

void TfWLRootPath::TryClose() {
  if (!FormCloseQuery()) return;  // refused without a message
  EndModal();
}

bool TfWLRootPath::ShowModal() {
  if (!Handle()) return false;
  FormShow();
  SendMessageW(pathSLE_, EM_SETSEL, 0, -1);
  return RunModal(owner_, pathSLE_);
}

std::optional<std::string> TfWLRootPath::AskRootPath(const std::string& folderName) {
  forms::SetWindowTextUtf8(folderST_, folderName);
  if (!ShowModal()) return std::nullopt;
  return PathText();
}

LRESULT TfWLRootPath::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CLOSE:
      TryClose();
      return 0;
    case DM_GETDEFID:  // Enter presses OK through IsDialogMessage
      return MAKELRESULT(GetDlgCtrlID(okButton_), DC_HASDEFID);
  }
  return TForm::WndProc(msg, wp, lp);
}

}  // namespace tw
