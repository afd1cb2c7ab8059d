#include "app/WLSelecting.h"

#include <commctrl.h>

#include "app/WLProgress.h"

namespace tw {

TfWLSelecting* fWLSelecting = nullptr;

namespace {
constexpr int kClientW = 240, kClientH = 116;
constexpr int kSelectStopFrame = 22;
}  // namespace

TfWLSelecting::TfWLSelecting() {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_ANIMATE_CLASS};
  InitCommonControlsEx(&icc);
  // No system menu and a fixed border: the user can neither close nor resize it.
  const DWORD style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
  if (!CreateFormClient(L"TfWLSelecting", "Selecting Files...", style, WS_EX_DLGMODALFRAME,
                        kClientW, kClientH, nullptr, nullptr, nullptr))
    return;
  forms::SetControlName(Handle(), "fWLSelecting");
  HWND form = Handle();
  AddLabel(form, "Label1", "Selecting files...", 84, 16, 148, 18);
  aviSelecting_ = AddControl(form, ANIMATE_CLASSW, "aviSelecting", "",
                             WS_VISIBLE | ACS_TRANSPARENT | ACS_TIMER, 10, 8, 64, 64);
  AddLabel(form, "Label2", "Count:", 84, 44, 48, 18);
  AddLabel(form, "stCount", "", 134, 44, 98, 18);
  // FormCreate
  clipLoaded_ = SendMessageW(aviSelecting_, ACM_OPENW,
                             reinterpret_cast<WPARAM>(GetModuleHandleW(nullptr)),
                             reinterpret_cast<LPARAM>(kSelectAvi)) != 0;
  if (!fWLSelecting) fWLSelecting = this;
}

TfWLSelecting::~TfWLSelecting() {
  if (fWLSelecting == this) fWLSelecting = nullptr;
}

void TfWLSelecting::SetMainWindow(HWND mainWindow) {
  main_ = mainWindow;
  if (Handle()) SetWindowLongPtrW(Handle(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(mainWindow));
}

void TfWLSelecting::BeginSelecting() {
  ++showCount_;
  if (!Handle()) return;
  if (!IsWindowVisible(Handle())) {
    FormShow();
    ShowWindow(Handle(), SW_SHOW);
  } else {
    SetWindowPos(Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  }
  UpdateWindow(Handle());
}

void TfWLSelecting::EndSelecting() {
  --showCount_;
  if (showCount_ >= 1) return;
  showCount_ = 0;
  if (Handle() && IsWindowVisible(Handle())) {
    ShowWindow(Handle(), SW_HIDE);
    FormHide();
  }
}

void TfWLSelecting::SetCountText(const std::string& text) {
  forms::SetWindowTextUtf8(Control("stCount"), text);
}

void TfWLSelecting::FormShow() {
  CentreOn(Handle(), main_);
  if (clipLoaded_)
    playing_ = SendMessageW(aviSelecting_, ACM_PLAY, static_cast<WPARAM>(-1),
                            MAKELONG(0, kSelectStopFrame)) != 0;
}

void TfWLSelecting::FormHide() {
  SendMessageW(aviSelecting_, ACM_STOP, 0, 0);
  playing_ = false;
}

LRESULT TfWLSelecting::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_NCHITTEST: {
      LRESULT hit = DefaultProc(msg, wp, lp);
      return hit == HTCAPTION ? HTCLIENT : hit;  // cannot be dragged
    }
    case WM_CLOSE:
      return 0;  // hidden by EndSelecting only
  }
  return TForm::WndProc(msg, wp, lp);
}

}  // namespace tw
