#include "app/WLFileConfirm.h"

#include <commctrl.h>

#include "platform/OperationUI.h"

namespace tw {

namespace {
constexpr int kClientW = 420, kClientH = 150;
constexpr char kPrompt[] =
    "A file by the name %s is required in the Tidewell directory, to maintain information about "
    "this backup volume. There already exists a file by this name. Would you like to overwrite "
    "the existing file, or would you like to rename the existing file to %s";

// The prompt's two %s in order; the names are inserted as they are, never read as a format.
std::string FormatPrompt(const std::string& fileName) {
  std::string text = kPrompt;
  const std::string args[] = {fileName, fileName + ".BAK"};
  size_t at = 0;
  for (const std::string& arg : args) {
    at = text.find("%s", at);
    if (at == std::string::npos) break;
    text.replace(at, 2, arg);
    at += arg.size();
  }
  return text;
}
}  // namespace

TfWLFileConfirm::TfWLFileConfirm(HWND owner, IFileSystem& fs, IPrompts& prompts,
                                 std::string appDir)
    : owner_(owner), fs_(fs), prompts_(prompts), appDir_(std::move(appDir)) {
  // Fixed size: no sizing border, no maximise box.
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  if (!CreateFormClient(L"TfWLFileConfirm", kAppTitle, style, WS_EX_DLGMODALFRAME, kClientW,
                        kClientH, nullptr, nullptr, nullptr))
    return;
  forms::SetControlName(Handle(), "fWLFileConfirm");
  HWND form = Handle();
  prompt_ = AddControl(form, WC_STATICW, "PropmtST", "", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 12,
                       12, kClientW - 24, 84);
  const int y = kClientH - 38, w = 88, gap = 8;
  int x = kClientW - 12 - 3 * w - 2 * gap;
  AddButton(form, "DeleteBTN", "Delete", x, y, w, 26, [this] { DeleteBTNClick(); });
  AddButton(form, "RenameBTN", "Rename", x + w + gap, y, w, 26, [this] { RenameBTNClick(); },
            true);
  cancel_ = AddButton(form, "CancelBTN", "Cancel", x + 2 * (w + gap), y, w, 26,
                      [this] { CancelBTNClick(); });
  FormCreate();
}

TfWLFileConfirm::~TfWLFileConfirm() = default;

void TfWLFileConfirm::FormCreate() {
  EnableMenuItem(GetSystemMenu(Handle(), FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
}

void TfWLFileConfirm::FormShow() {
  forms::SetWindowTextUtf8(prompt_, FormatPrompt(FileName));
  RECT rc{};
  GetWindowRect(Handle(), &rc);
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  SetWindowPos(Handle(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

TfWLFileConfirm::TModalResult TfWLFileConfirm::ShowModal() {
  if (!Handle()) return mrCancel;
  result_ = mrNone;
  FormShow();
  RunModal(owner_, Control("RenameBTN"));
  return result_ == mrOk ? mrOk : mrCancel;
}

bool TfWLFileConfirm::ResolveFileConflict(const std::string& fileName) {
  FileName = fileName;
  return ShowModal() == mrOk;
}

void TfWLFileConfirm::Close(TModalResult result) {
  result_ = result;
  EndModal();
}

void TfWLFileConfirm::DeleteBTNClick() {
  DeleteConflictingFile(fs_, appDir_, FileName);
  Close(mrOk);
}

void TfWLFileConfirm::RenameBTNClick() {
  RenameConflictingFile(fs_, prompts_, appDir_, FileName);
  Close(mrOk);
}

void TfWLFileConfirm::CancelBTNClick() { Close(mrCancel); }

LRESULT TfWLFileConfirm::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CLOSE:  // no close box, but Alt+F4 or another program may still ask
      CancelBTNClick();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wp) == IDCANCEL) {  // Esc, through IsDialogMessage
        CancelBTNClick();
        return 0;
      }
      break;
    case DM_GETDEFID:
      return MAKELRESULT(GetDlgCtrlID(Control("RenameBTN")), DC_HASDEFID);
  }
  return TForm::WndProc(msg, wp, lp);
}

}  // namespace tw
