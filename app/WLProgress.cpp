#include "app/WLProgress.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "app/WLTaskbar.h"
#include "platform/win32/Utf.h"

namespace tw {

TfWLProgress* fWLProgress = nullptr;

namespace {
constexpr int kClientW = 400, kClientH = 216;
constexpr int kLabelX = 12, kValueX = 102, kValueW = kClientW - kValueX - 12;
constexpr int kCopyStopFrame = 34;

HFONT BoldDefaultFont() {
  static HFONT font = [] {
    LOGFONTW lf{};
    GetObjectW(forms::DefaultFont(), sizeof(lf), &lf);  // at the system's DPI
    lf.lfWeight = FW_BOLD;
    return CreateFontIndirectW(&lf);
  }();
  return font;
}

bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Keeps the first `head` and last `tail` units, moved off the middle of a surrogate pair.
std::wstring Squeeze(const std::wstring& s, size_t head, size_t tail) {
  size_t from = s.size() - tail;
  if (tail > 0 && from < s.size() && IsLowSurrogate(s[from])) ++from;
  return Utf16Prefix(s, head) + L"..." + s.substr(from);
}
}  // namespace

std::wstring ShortenPathToFit(const std::wstring& path,
                              const std::function<bool(const std::wstring&)>& fits) {
  if (fits(path)) return path;
  // Split into the root ("C:", "\\srv\share" or nothing), the folders and the name.
  std::vector<std::wstring> parts;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == L'\\') {
      parts.push_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  size_t rootParts = 1;
  if (path.rfind(L"\\\\", 0) == 0) rootParts = std::min<size_t>(4, parts.size());  // "", "", srv, share
  if (parts.size() > rootParts + 1) {
    std::wstring root;
    for (size_t i = 0; i < rootParts; ++i) root += parts[i] + (i + 1 < rootParts ? L"\\" : L"");
    const std::wstring& name = parts.back();
    // Drop inner folders from the root side, so the folders nearest the file stay longest.
    for (size_t first = rootParts + 1; first < parts.size(); ++first) {
      std::wstring candidate = root + L"\\...";
      for (size_t i = first; i < parts.size(); ++i) candidate += L"\\" + parts[i];
      if (fits(candidate)) return candidate;
    }
    std::wstring bare = L"...\\" + name;
    if (fits(bare)) return bare;
  }
  // Even the name does not fit: keep as much of both ends as fits, a third of it at the front.
  size_t lo = 0, hi = path.size();
  std::wstring best = Squeeze(path, 0, 0);
  while (lo < hi) {
    size_t keep = (lo + hi + 1) / 2;
    size_t head = std::max<size_t>(keep / 3, keep > 0 ? 1 : 0);
    std::wstring candidate = Squeeze(path, head, keep - head);
    if (fits(candidate)) {
      best = candidate;
      lo = keep;
    } else {
      hi = keep - 1;
    }
  }
  return best;
}

void CentreOn(HWND window, HWND other) {
  RECT rc{}, mine{};
  if (!other || !GetWindowRect(window, &mine)) return;
  WINDOWPLACEMENT wp{};
  wp.length = sizeof(wp);
  if (IsIconic(other) && GetWindowPlacement(other, &wp))
    rc = wp.rcNormalPosition;
  else if (!GetWindowRect(other, &rc))
    return;
  int w = mine.right - mine.left, h = mine.bottom - mine.top;
  int left = rc.left + ((rc.right - rc.left) - w) / 2;  // C++ division rounds toward zero
  int top = rc.top + ((rc.bottom - rc.top) - h) / 2;
  SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TfWLProgress::TfWLProgress(HWND mainWindow) : main_(mainWindow) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  // Its own taskbar button: the main window is hidden while an operation runs.
  if (!CreateFormClient(L"TfWLProgress", "Backing up files...", style, WS_EX_APPWINDOW, kClientW,
                        kClientH, mainWindow, nullptr,
                        LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1))))
    return;
  forms::SetControlName(Handle(), "fWLProgress");
  HWND form = Handle();

  aviVideo_ = AddControl(form, ANIMATE_CLASSW, "aviVideo", "",
                         WS_VISIBLE | ACS_TRANSPARENT | ACS_TIMER, (kClientW - 200) / 2, 8, 200,
                         50);
  AddLabel(form, "Label2", "Volume:", kLabelX, 68, kValueX - kLabelX - 4, 16, BoldDefaultFont());
  AddControl(form, WC_STATICW, "Volume", "", WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS,
             kValueX, 68, kValueW, 16);
  AddLabel(form, "Label3", "Backup Path:", kLabelX, 88, kValueX - kLabelX - 4, 16, BoldDefaultFont());
  AddControl(form, WC_STATICW, "Path", "", WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_PATHELLIPSIS,
             kValueX, 88, kValueW, 16);
  AddLabel(form, "Label1", "File:", kLabelX, 108, kValueX - kLabelX - 4, 16, BoldDefaultFont());
  stName_ = AddControl(form, WC_STATICW, "stName", "", WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX,
                       kValueX, 108, kValueW, 16);
  progressBar_ = AddControl(form, PROGRESS_CLASSW, "ProgressBar", "", WS_VISIBLE, kLabelX, 134,
                            kClientW - 2 * kLabelX, 18);
  SendMessageW(progressBar_, PBM_SETRANGE32, 0, 100);
  SendMessageW(progressBar_, PBM_SETSTEP, 1, 0);
  stProgress_ = AddControl(form, WC_STATICW, "stProgress", "",
                           WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS, kLabelX,
                           158, kClientW - 2 * kLabelX, 16);
  HWND cancel = AddButton(form, "BitBtn1", "Cancel", (kClientW - 88) / 2, 182, 88, 26,
                          [this] { BitBtn1Click(); }, true);
  (void)cancel;
  FormCreate();
}

TfWLProgress::~TfWLProgress() {
  if (Handle()) FormDestroy();
  if (fWLProgress == this) fWLProgress = nullptr;
}

void TfWLProgress::FormCreate() {
  if (HMENU menu = GetSystemMenu(Handle(), FALSE)) {
    DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
    EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  }
  Cancelled = false;
  clipLoaded_ = OpenClip(kCopyFileAvi);
}

bool TfWLProgress::OpenClip(const wchar_t* name) {
  playing_ = false;
  return SendMessageW(aviVideo_, ACM_OPENW, reinterpret_cast<WPARAM>(GetModuleHandleW(nullptr)),
                      reinterpret_cast<LPARAM>(name)) != 0;
}

void TfWLProgress::FormShow() {
  CentreOn(Handle(), main_);
  StartAnimation();
  // The main window gives up its taskbar button while the dialog shows its own; one that had
  // none (hidden in the tray) is left to whoever hid it.
  if (main_ && HasTaskbarButton(main_)) {
    mainButtonTaken_ = true;
    SetTaskbarButton(main_, false);
  }
}

void TfWLProgress::FormDestroy() {
  StopAnimation();
  if (mainButtonTaken_) SetTaskbarButton(main_, true);
  mainButtonTaken_ = false;
}

void TfWLProgress::SetCaption(const std::string& caption) {
  forms::SetWindowTextUtf8(Handle(), caption);
}
void TfWLProgress::SetVolumeText(const std::string& text) {
  forms::SetWindowTextUtf8(Control("Volume"), text);
}
void TfWLProgress::SetPathText(const std::string& text) {
  forms::SetWindowTextUtf8(Control("Path"), text);
}

void TfWLProgress::ShowFile(const std::string& path) {
  if (!stName_) return;
  RECT rc{};
  GetClientRect(stName_, &rc);
  const int width = rc.right - rc.left;
  HDC dc = GetDC(stName_);
  auto font = reinterpret_cast<HFONT>(SendMessageW(stName_, WM_GETFONT, 0, 0));
  HGDIOBJ old = SelectObject(dc, font ? font : forms::DefaultFont());
  std::wstring text = ShortenPathToFit(Widen(path), [&](const std::wstring& s) {
    SIZE size{};
    GetTextExtentPoint32W(dc, s.c_str(), static_cast<int>(s.size()), &size);
    return size.cx <= width;
  });
  SelectObject(dc, old);
  ReleaseDC(stName_, dc);
  SetWindowTextW(stName_, text.c_str());
}

void TfWLProgress::SetRange(int minimum, int maximum) {
  SendMessageW(progressBar_, PBM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
}
void TfWLProgress::SetPosition(int position) {
  SendMessageW(progressBar_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}
void TfWLProgress::SetProgressLine(const std::string& text) {
  forms::SetWindowTextUtf8(stProgress_, text);
}
void TfWLProgress::StepIt() { SendMessageW(progressBar_, PBM_STEPIT, 0, 0); }
int TfWLProgress::Position() const {
  return static_cast<int>(SendMessageW(progressBar_, PBM_GETPOS, 0, 0));
}

void TfWLProgress::Show() {
  if (!Handle()) return;
  bool wasVisible = IsWindowVisible(Handle()) != 0;
  if (!wasVisible) FormShow();
  ShowWindow(Handle(), SW_SHOW);
  UpdateWindow(Handle());
}

void TfWLProgress::Hide() {
  if (!Handle() || !IsWindowVisible(Handle())) return;
  ShowWindow(Handle(), SW_HIDE);
  StopAnimation();  // FormHide
}

void TfWLProgress::StartAnimation() {
  if (!clipLoaded_) return;
  playing_ = SendMessageW(aviVideo_, ACM_PLAY, static_cast<WPARAM>(-1),
                          MAKELONG(0, kCopyStopFrame)) != 0;
}

void TfWLProgress::StopAnimation() {
  if (aviVideo_) SendMessageW(aviVideo_, ACM_STOP, 0, 0);
  playing_ = false;
}

void TfWLProgress::UseDeleteAnimation() {
  bool wasPlaying = playing_;
  StopAnimation();
  clipLoaded_ = OpenClip(kDeleteFileAvi);
  if (wasPlaying) StartAnimation();
}

void TfWLProgress::BitBtn1Click() { Cancelled = true; }

LRESULT TfWLProgress::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
      if (wp == VK_F4) return 0;  // Alt+F4 must not end a running operation
      break;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == SC_CLOSE || (wp & 0xFFF0) == SC_SIZE || (wp & 0xFFF0) == SC_MAXIMIZE)
        return 0;
      break;
    case WM_CLOSE:
      return 0;  // only the operation closes the dialog; Cancel asks it to
    case WM_NCHITTEST: {
      LRESULT hit = DefaultProc(msg, wp, lp);
      if (hit >= HTLEFT && hit <= HTBOTTOMRIGHT) return HTCLIENT;
      return hit;
    }
    case WM_NCLBUTTONDBLCLK:
      if (wp == HTCAPTION) return 0;  // no maximise by double click
      break;
  }
  return TForm::WndProc(msg, wp, lp);
}

}  // namespace tw
