#include "app/forms/Forms.h"

#include <commctrl.h>

#include "platform/win32/Utf.h"

namespace tw::forms {

namespace {
const wchar_t kNameProp[] = L"TidewellControlName";

struct FindState {
  std::string name;
  HWND found = nullptr;
};

BOOL CALLBACK FindChild(HWND hwnd, LPARAM lp) {
  auto* state = reinterpret_cast<FindState*>(lp);
  if (ControlName(hwnd) == state->name) {
    state->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_HSCROLL:
    case WM_VSCROLL:
      return SendMessageW(GetAncestor(hwnd, GA_ROOT), msg, wp, lp);
    case WM_ERASEBKGND: {
      RECT rc;
      GetClientRect(hwnd, &rc);
      FillRect(reinterpret_cast<HDC>(wp), &rc, GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    case WM_NCDESTROY:
      if (auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(RemovePropW(hwnd, kNameProp))))
        GlobalDeleteAtom(atom);
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}
}  // namespace

void SetControlName(HWND hwnd, const std::string& name) {
  ATOM atom = GlobalAddAtomW(Widen(name).c_str());
  if (auto old = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(hwnd, kNameProp))))
    GlobalDeleteAtom(old);
  SetPropW(hwnd, kNameProp, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(atom)));
}

std::string ControlName(HWND hwnd) {
  auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(hwnd, kNameProp)));
  if (!atom) return {};
  wchar_t buf[256];
  UINT n = GlobalGetAtomNameW(atom, buf, 256);
  return Narrow(std::wstring(buf, n));
}

HWND FindControl(HWND root, const std::string& name) {
  if (!root) return nullptr;
  if (ControlName(root) == name) return root;
  FindState state{name};
  EnumChildWindows(root, FindChild, reinterpret_cast<LPARAM>(&state));
  return state.found;
}

int SystemDpi() {
  UINT dpi = GetDpiForSystem();
  return dpi ? static_cast<int>(dpi) : kDesignDpi;
}

HFONT DefaultFont(int dpi) {
  static std::map<int, HFONT> fonts;
  if (dpi <= 0) dpi = SystemDpi();
  auto it = fonts.find(dpi);
  if (it != fonts.end()) return it->second;
  NONCLIENTMETRICSW ncm{};
  ncm.cbSize = sizeof(ncm);
  if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0,
                                  static_cast<UINT>(dpi))) {
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0);
    ncm.lfMessageFont.lfHeight = MulDiv(ncm.lfMessageFont.lfHeight, dpi, SystemDpi());
  }
  HFONT font = CreateFontIndirectW(&ncm.lfMessageFont);
  fonts[dpi] = font;
  return font;
}

HFONT BoldFont(int pointSize, int dpi) {
  static std::map<std::pair<int, int>, HFONT> fonts;
  if (dpi <= 0) dpi = SystemDpi();
  auto it = fonts.find({pointSize, dpi});
  if (it != fonts.end()) return it->second;
  LOGFONTW lf{};
  GetObjectW(DefaultFont(dpi), sizeof(lf), &lf);
  lf.lfHeight = -MulDiv(pointSize, dpi, 72);
  lf.lfWeight = FW_BOLD;
  HFONT font = CreateFontIndirectW(&lf);
  fonts[{pointSize, dpi}] = font;
  return font;
}

HFONT RescaledFont(HFONT font, int fromDpi, int toDpi) {
  if (!font || fromDpi == toDpi) return font;
  if (font == DefaultFont(fromDpi)) return DefaultFont(toDpi);
  static std::map<std::pair<HFONT, int>, HFONT> fonts;
  auto it = fonts.find({font, toDpi});
  if (it != fonts.end()) return it->second;
  LOGFONTW lf{};
  if (!GetObjectW(font, sizeof(lf), &lf)) return font;
  lf.lfHeight = MulDiv(lf.lfHeight, toDpi, fromDpi);
  HFONT scaled = CreateFontIndirectW(&lf);
  fonts[{font, toDpi}] = scaled;
  return scaled;
}

const wchar_t* PanelClass() {
  static const wchar_t kClass[] = L"TidewellPanel";
  static bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = PanelProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClass;
    return RegisterClassExW(&wc) != 0;
  }();
  (void)registered;
  return kClass;
}

TForm::~TForm() {
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

HWND TForm::Control(const std::string& name) const { return FindControl(hwnd_, name); }

bool TForm::CreateForm(const wchar_t* className, const std::string& caption, DWORD style, int x,
                       int y, int w, int h, HWND owner, HMENU menu, HICON icon) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  if (!GetClassInfoExW(GetModuleHandleW(nullptr), className, &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = StaticProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = icon;
    wc.hIconSm = icon;
    wc.lpszClassName = className;
    if (!RegisterClassExW(&wc)) return false;
  }
  int dpi = SystemDpi();
  hwnd_ = CreateWindowExW(0, className, Widen(caption).c_str(), style, x, y,
                          MulDiv(w, dpi, kDesignDpi), MulDiv(h, dpi, kDesignDpi), owner, menu,
                          GetModuleHandleW(nullptr), this);
  if (!hwnd_) return false;
  UINT windowDpi = GetDpiForWindow(hwnd_);
  dpi_ = windowDpi ? static_cast<int>(windowDpi) : dpi;
  if (dpi_ != dpi)
    SetWindowPos(hwnd_, nullptr, 0, 0, Scale(w), Scale(h), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                             0, 0, 0, 0, hwnd_, nullptr, GetModuleHandleW(nullptr), nullptr);
  return true;
}

bool TForm::CreateFormClient(const wchar_t* className, const std::string& caption, DWORD style,
                             DWORD exStyle, int clientW, int clientH, HWND owner, HMENU menu,
                             HICON icon) {
  if (!CreateForm(className, caption, style, CW_USEDEFAULT, CW_USEDEFAULT, clientW, clientH, owner,
                  menu, icon))
    return false;
  if (exStyle)
    SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, GetWindowLongPtrW(hwnd_, GWL_EXSTYLE) | exStyle);
  RECT rc{0, 0, Scale(clientW), Scale(clientH)};
  AdjustWindowRectExForDpi(&rc, style, menu != nullptr, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)),
                           static_cast<UINT>(dpi_));
  SetWindowPos(hwnd_, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  return true;
}

bool TForm::RunModal(HWND owner, HWND focus) {
  if (!hwnd_ || modal_) return false;
  owner = owner && IsWindow(owner) ? owner : nullptr;
  SetWindowLongPtrW(hwnd_, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
  bool ownerWasEnabled = owner && IsWindowEnabled(owner);
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  if (focus) SetFocus(focus);

  modal_ = true;
  bool quit = false;
  MSG msg;
  while (modal_) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      quit = true;
      break;
    }
    if (hwnd_ && IsDialogMessageW(hwnd_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  modal_ = false;
  if (ownerWasEnabled && IsWindow(owner)) EnableWindow(owner, TRUE);
  if (!hwnd_) return false;
  ShowWindow(hwnd_, SW_HIDE);
  if (owner && IsWindowVisible(owner)) SetActiveWindow(owner);
  return !quit;
}

namespace {
struct RescaleState {
  int from, to;
};
BOOL CALLBACK RescaleChild(HWND hwnd, LPARAM lp) {
  auto* state = reinterpret_cast<RescaleState*>(lp);
  RECT rc{};
  GetWindowRect(hwnd, &rc);
  MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&rc), 2);
  SetWindowPos(hwnd, nullptr, MulDiv(rc.left, state->to, state->from),
               MulDiv(rc.top, state->to, state->from),
               MulDiv(rc.right - rc.left, state->to, state->from),
               MulDiv(rc.bottom - rc.top, state->to, state->from),
               SWP_NOZORDER | SWP_NOACTIVATE);
  if (auto font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)))
    SendMessageW(hwnd, WM_SETFONT,
                 reinterpret_cast<WPARAM>(RescaledFont(font, state->from, state->to)), TRUE);
  return TRUE;
}
}  // namespace

void TForm::Rescale(int newDpi) {
  if (newDpi <= 0 || newDpi == dpi_) return;
  RescaleState state{dpi_, newDpi};
  dpi_ = newDpi;
  EnumChildWindows(hwnd_, RescaleChild, reinterpret_cast<LPARAM>(&state));
}

HWND TForm::AddControl(HWND parent, const wchar_t* cls, const std::string& name,
                       const std::string& text, DWORD style, int x, int y, int w, int h,
                       DWORD exStyle) {
  int id = nextId_++;
  HWND hwnd = CreateWindowExW(exStyle, cls, Widen(text).c_str(), WS_CHILD | style, Scale(x),
                              Scale(y), Scale(w), Scale(h), parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              GetModuleHandleW(nullptr), nullptr);
  if (!hwnd) return nullptr;
  SetControlName(hwnd, name);
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont(dpi_)), FALSE);
  return hwnd;
}

HWND TForm::AddButton(HWND parent, const std::string& name, const std::string& text, int x, int y,
                      int w, int h, std::function<void()> onClick, bool isDefault) {
  HWND hwnd = AddControl(parent, WC_BUTTONW, name, text,
                         WS_VISIBLE | WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
                         x, y, w, h);
  if (hwnd && onClick) commands_[GetDlgCtrlID(hwnd)] = std::move(onClick);
  return hwnd;
}

HWND TForm::AddPanel(HWND parent, const std::string& name, int x, int y, int w, int h,
                     bool visible) {
  return AddControl(parent, PanelClass(), name, "",
                    WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (visible ? WS_VISIBLE : 0),
                    x, y, w, h, WS_EX_CONTROLPARENT);
}

HWND TForm::AddLabel(HWND parent, const std::string& name, const std::string& text, int x, int y,
                     int w, int h, HFONT font) {
  HWND hwnd = AddControl(parent, WC_STATICW, name, text, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, x, y,
                         w, h);
  if (hwnd && font) SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return hwnd;
}

void TForm::SetHint(HWND control, const std::string& hint) {
  if (!tooltip_ || !control) return;
  std::wstring text = Widen(hint);
  TTTOOLINFOW ti{};
  ti.cbSize = sizeof(ti);
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = hwnd_;
  ti.uId = reinterpret_cast<UINT_PTR>(control);
  ti.lpszText = text.data();
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

LRESULT TForm::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DPICHANGED) {
    Rescale(HIWORD(wp));
    const RECT* suggested = reinterpret_cast<const RECT*>(lp);
    SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top,
                 suggested->right - suggested->left, suggested->bottom - suggested->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
  }
  if (msg == WM_COMMAND) {
    auto it = commands_.find(LOWORD(wp));
    if (it != commands_.end() && (HIWORD(wp) == BN_CLICKED || HIWORD(wp) == 1 || lp == 0)) {
      auto handler = it->second;  // the handler may rebuild the map
      handler();
      return 0;
    }
  }
  return DefaultProc(msg, wp, lp);
}

LRESULT TForm::DefaultProc(UINT msg, WPARAM wp, LPARAM lp) {
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK TForm::StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  TForm* self;
  if (msg == WM_NCCREATE) {
    self = static_cast<TForm*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<TForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
  LRESULT result = self->WndProc(msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    self->modal_ = false;  // destroyed with its owner: the modal loop must not outlive it
    self->Destroyed();     // may free the form: nothing of it is used after this
  }
  return result;
}

std::string WindowText(HWND hwnd) {
  int n = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  n = GetWindowTextW(hwnd, text.data(), n + 1);
  text.resize(static_cast<size_t>(n));
  return Narrow(text);
}

namespace {
struct FindIdState {
  int id;
  HWND found = nullptr;
};
BOOL CALLBACK FindById(HWND hwnd, LPARAM lp) {
  auto* state = reinterpret_cast<FindIdState*>(lp);
  if (GetDlgCtrlID(hwnd) == state->id && IsWindowVisible(hwnd)) {
    state->found = hwnd;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

bool ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return true;
}

bool HandleEnterKey(HWND form, const MSG& msg) {
  if (!form || msg.message != WM_KEYDOWN || msg.wParam != VK_RETURN) return false;
  if (msg.hwnd != form && !IsChild(form, msg.hwnd)) return false;
  LRESULT code = SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam,
                              reinterpret_cast<LPARAM>(&msg));
  if (code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) return false;
  // A push button with the focus is pressed by Enter itself.
  if (code & DLGC_DEFPUSHBUTTON || code & DLGC_UNDEFPUSHBUTTON) {
    if (IsWindowEnabled(msg.hwnd)) SendMessageW(msg.hwnd, BM_CLICK, 0, 0);
    return true;
  }
  LRESULT def = SendMessageW(form, DM_GETDEFID, 0, 0);
  if (HIWORD(def) != DC_HASDEFID) return false;
  FindIdState state{LOWORD(def)};
  EnumChildWindows(form, FindById, reinterpret_cast<LPARAM>(&state));
  if (!state.found) return false;
  if (IsWindowEnabled(state.found)) SendMessageW(state.found, BM_CLICK, 0, 0);
  return true;
}

void SetWindowTextUtf8(HWND hwnd, const std::string& text) {
  SetWindowTextW(hwnd, Widen(text).c_str());
}

namespace driver {
bool Click(HWND root, const std::string& name) {
  HWND hwnd = FindControl(root, name);
  if (!hwnd || !IsWindowEnabled(hwnd) || !IsWindowVisible(hwnd)) return false;
  SendMessageW(hwnd, BM_CLICK, 0, 0);
  return true;
}
std::string Text(HWND root, const std::string& name) {
  HWND hwnd = FindControl(root, name);
  return hwnd ? WindowText(hwnd) : std::string();
}
bool Enabled(HWND root, const std::string& name) {
  HWND hwnd = FindControl(root, name);
  return hwnd && IsWindowEnabled(hwnd);
}
bool Visible(HWND root, const std::string& name) {
  HWND hwnd = FindControl(root, name);
  return hwnd && IsWindowVisible(hwnd);
}
bool Checked(HWND root, const std::string& name) {
  HWND hwnd = FindControl(root, name);
  return hwnd && SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}
void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}
}  // namespace driver

}  // namespace tw::forms
