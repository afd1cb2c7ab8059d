// A thin layer over Win32 windows: every control carries its name, so code and tests can find
// `NextVolumeBTN` on a live form (in this process or another) and drive it with real messages.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <string>

namespace tw::forms {

// Names are stored as a window property holding a global atom, readable from any process.
void SetControlName(HWND hwnd, const std::string& name);
std::string ControlName(HWND hwnd);
// Searches the window itself and all its descendants; nullptr when absent.
HWND FindControl(HWND root, const std::string& name);

// Designs are laid out at 96 DPI; forms multiply them by their window's DPI.
constexpr int kDesignDpi = 96;
int SystemDpi();
// The font dialogs and forms of the system use: the message font at a DPI (the system's when
// none is given).
HFONT DefaultFont(int dpi = 0);
HFONT BoldFont(int pointSize, int dpi = 0);
// The same face at another DPI (cached): used when a window moves to a monitor of another DPI.
HFONT RescaledFont(HFONT font, int fromDpi, int toDpi);

// Container window for pages and panels: forwards commands and notifications to its top-level
// form, so handlers stay on the form class.
const wchar_t* PanelClass();

class TForm {
 public:
  TForm() = default;
  virtual ~TForm();
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  HWND Handle() const { return hwnd_; }
  HWND Control(const std::string& name) const;
  // The window's DPI, and a design length (at 96 DPI) in its pixels.
  int Dpi() const { return dpi_; }
  int Scale(int designPixels) const { return MulDiv(designPixels, dpi_, kDesignDpi); }

  // Creates a child control with a name, the default font and (for buttons) a click handler.
  // Positions and sizes are design pixels (96 DPI), scaled to the form's DPI.
  HWND AddControl(HWND parent, const wchar_t* cls, const std::string& name,
                  const std::string& text, DWORD style, int x, int y, int w, int h,
                  DWORD exStyle = 0);
  HWND AddButton(HWND parent, const std::string& name, const std::string& text, int x, int y,
                 int w, int h, std::function<void()> onClick, bool isDefault = false);
  HWND AddPanel(HWND parent, const std::string& name, int x, int y, int w, int h,
                bool visible = true);
  HWND AddLabel(HWND parent, const std::string& name, const std::string& text, int x, int y,
                int w, int h, HFONT font = nullptr);
  // Tooltip text shown over a control (the form's hints).
  void SetHint(HWND control, const std::string& hint);
  void OnCommand(int id, std::function<void()> handler) { commands_[id] = std::move(handler); }

 protected:
  // Registers the class once and creates the top-level window hidden. w and h are the outer
  // size in design pixels.
  bool CreateForm(const wchar_t* className, const std::string& caption, DWORD style, int x,
                  int y, int w, int h, HWND owner, HMENU menu, HICON icon);
  // The same with the size of the client area (design pixels) and an extended style.
  bool CreateFormClient(const wchar_t* className, const std::string& caption, DWORD style,
                        DWORD exStyle, int clientW, int clientH, HWND owner, HMENU menu,
                        HICON icon);
  virtual LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
  // After the window is gone (its last message handled); a self-freeing form deletes itself.
  virtual void Destroyed() {}
  LRESULT DefaultProc(UINT msg, WPARAM wp, LPARAM lp);
  // Shows the form over owner, which stays disabled meanwhile and is left as it was found (an
  // operation's main window stays disabled), and runs a message loop until EndModal or the
  // form's destruction. False when it could not be shown or the program is quitting (the quit
  // request is passed on).
  bool RunModal(HWND owner, HWND focus);
  void EndModal() { modal_ = false; }

 private:
  static LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  // Moves and resizes every child and swaps its font for the new DPI (WM_DPICHANGED).
  void Rescale(int newDpi);
  HWND hwnd_ = nullptr;
  HWND tooltip_ = nullptr;
  int dpi_ = kDesignDpi;
  int nextId_ = 1000;
  bool modal_ = false;
  std::map<int, std::function<void()>> commands_;
};

std::string WindowText(HWND hwnd);

// Lets pending messages run. A quit request is put back for the message loop and ends the
// pumping: false then.
bool ProcessMessages();

// Enter in a form that is not a dialog: presses the button the form names by DM_GETDEFID,
// when the control with the focus does not take Enter itself. For the message loop, before
// IsDialogMessage (which finds default buttons only among a dialog's direct children).
bool HandleEnterKey(HWND form, const MSG& msg);
void SetWindowTextUtf8(HWND hwnd, const std::string& text);

// Test driver: what a user could do and see. Click refuses a disabled or hidden control, as
// a user could not click it (Wine's BM_CLICK would run the handler anyway).
namespace driver {
bool Click(HWND root, const std::string& name);
std::string Text(HWND root, const std::string& name);
bool Enabled(HWND root, const std::string& name);
// Visible on screen: the control and all its parents are visible.
bool Visible(HWND root, const std::string& name);
bool Checked(HWND root, const std::string& name);
// Lets queued messages run (posted clicks, timers) without blocking.
void Pump();
}  // namespace driver

}  // namespace tw::forms
