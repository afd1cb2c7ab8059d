// The progress, busy and root path dialogs as real windows on the virtual display.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/OperationWindowUI.h"
#include "app/WLProgress.h"
#include "app/WLRootPath.h"
#include "app/WLSelecting.h"
#include "app/forms/Forms.h"
#include "platform/memory/FakeClock.h"
#include "platform/win32/Utf.h"
#include "tests/gui/BackupHarness.h"
#include "tests/gui/WindowPicture.h"

namespace tw {
namespace {

using forms::driver::Click;
using forms::driver::Pump;
using forms::driver::Text;
using forms::driver::Visible;

int TextWidth(HWND label, const std::wstring& text) {
  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  return size.cx;
}

int ClientWidth(HWND hwnd) {
  RECT rc{};
  GetClientRect(hwnd, &rc);
  return rc.right;
}

bool IsBold(HWND label) {
  LOGFONTW lf{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)), sizeof(lf), &lf);
  return lf.lfWeight >= FW_BOLD;
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Runs the steps one per timer tick inside whatever modal loop is running.
std::vector<std::function<void()>> g_steps;
size_t g_next = 0;
void CALLBACK RunStep(HWND, UINT, UINT_PTR, DWORD) {
  if (g_next < g_steps.size()) g_steps[g_next++]();
}

class DialogTest : public ::testing::Test {
 protected:
  void TearDown() override { Pump(); }
  testing::TStandInMain main;
};

TEST_F(DialogTest, ProgressDialogLooksRightAndSitsCentredOnTheMainWindowWithItsOwnButton) {
  SetWindowPos(main.Handle(), nullptr, 101, 77, 701, 533, SWP_NOZORDER);
  LONG_PTR mainEx = GetWindowLongPtrW(main.Handle(), GWL_EXSTYLE);
  auto dlg = std::make_unique<TfWLProgress>(main.Handle());
  fWLProgress = dlg.get();
  HWND h = dlg->Handle();
  ASSERT_TRUE(h);
  EXPECT_EQ(forms::WindowText(h), "Backing up files...");
  EXPECT_EQ(GetWindow(h, GW_OWNER), main.Handle());
  EXPECT_EQ(Text(h, "Label2"), "Volume:");
  EXPECT_EQ(Text(h, "Label3"), "Backup Path:");
  EXPECT_EQ(Text(h, "Label1"), "File:");
  for (const char* bold : {"Label2", "Label3", "Label1"})
    EXPECT_TRUE(IsBold(forms::FindControl(h, bold))) << bold;
  EXPECT_FALSE(IsBold(forms::FindControl(h, "stName")));
  EXPECT_EQ(Text(h, "BitBtn1"), "Cancel");
  HWND bar = forms::FindControl(h, "ProgressBar");
  PBRANGE range{};
  SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);
  EXPECT_FALSE(dlg->Cancelled);
  EXPECT_FALSE(IsWindowVisible(h));  // created hidden; the operation shows it

  dlg->SetVolumeText("Docs");
  dlg->SetPathText("D:\\Backup\\Docs\\");
  dlg->Show();
  Pump();
  EXPECT_TRUE(IsWindowVisible(h));
  RECT m{}, d{};
  GetWindowRect(main.Handle(), &m);
  GetWindowRect(h, &d);
  EXPECT_EQ(d.left, m.left + ((m.right - m.left) - (d.right - d.left)) / 2);
  EXPECT_EQ(d.top, m.top + ((m.bottom - m.top) - (d.bottom - d.top)) / 2);
  EXPECT_EQ(Text(h, "Volume"), "Docs");
  EXPECT_EQ(Text(h, "Path"), "D:\\Backup\\Docs\\");

  // The dialog has its own taskbar button and takes the main window's while it lives.
  EXPECT_TRUE(GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  EXPECT_TRUE(GetWindowLongPtrW(main.Handle(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_TRUE(IsWindowVisible(main.Handle()));  // the swap does not leave it hidden

  // The copy clip comes from the program's resources and plays while the dialog shows.
  EXPECT_TRUE(dlg->ClipLoaded());
  EXPECT_TRUE(dlg->AnimationPlaying());
  dlg->UseDeleteAnimation();
  EXPECT_TRUE(dlg->ClipLoaded());
  EXPECT_TRUE(dlg->AnimationPlaying());
  dlg->Hide();
  EXPECT_FALSE(dlg->AnimationPlaying());
  EXPECT_FALSE(IsWindowVisible(h));

  dlg.reset();
  EXPECT_EQ(fWLProgress, nullptr);
  EXPECT_EQ(GetWindowLongPtrW(main.Handle(), GWL_EXSTYLE), mainEx);
  EXPECT_TRUE(IsWindowVisible(main.Handle()));
}

TEST_F(DialogTest, ShowFileShortensInTheMiddleToTheLabelAndNeverWraps) {
  TfWLProgress dlg(main.Handle());
  dlg.Show();
  HWND label = forms::FindControl(dlg.Handle(), "stName");
  ASSERT_TRUE(label);
  EXPECT_TRUE(GetWindowLongW(label, GWL_STYLE) & SS_LEFTNOWORDWRAP);
  const int width = ClientWidth(label);

  dlg.ShowFile("C:\\Data\\a.txt");
  EXPECT_EQ(Text(dlg.Handle(), "stName"), "C:\\Data\\a.txt");

  auto check = [&](const std::string& path, const std::string& head, const std::string& tail) {
    dlg.ShowFile(path);
    std::string shown = Text(dlg.Handle(), "stName");
    EXPECT_NE(shown, path);
    EXPECT_NE(shown.find("..."), std::string::npos) << shown;
    EXPECT_EQ(shown.rfind(head, 0), 0u) << shown;
    EXPECT_TRUE(EndsWith(shown, tail)) << shown;
    EXPECT_EQ(shown.find_first_of("\r\n"), std::string::npos);
    EXPECT_LE(TextWidth(label, Widen(shown)), width) << shown;
    std::wstring w;
    EXPECT_TRUE(TryWiden(shown, w)) << "a surrogate pair was split";
    return shown;
  };
  std::string deep =
      "C:\\Users\\someone\\Documents\\Projects\\Harbour survey 2024\\Measurements\\"
      "Northern quay\\Week 12\\tide-readings.csv";
  std::string shown = check(deep, "C:\\...\\", "\\Week 12\\tide-readings.csv");
  // The folders nearest the file stay as long as they fit.
  EXPECT_NE(shown.find("Northern quay"), std::string::npos) << shown;

  check("\\\\fileserver\\public share\\departments\\accounting\\quarterly reports\\2024\\"
        "q3\\summary.xlsx",
        "\\\\fileserver\\public share\\...\\", "\\summary.xlsx");

  // A name too long for the label keeps both of its ends.
  std::string name(300, 'n');
  check("C:\\Data\\begin" + name + "end.txt", "C:\\", "end.txt");
  // Non-ASCII text outside the basic plane is never cut in half.
  std::string emoji = "\xF0\x9F\x8C\x8A";  // U+1F30A
  std::string waves;
  for (int i = 0; i < 120; ++i) waves += emoji;
  check("C:\\" + waves + ".txt", "C:\\", ".txt");
}

TEST_F(DialogTest, ProgressDialogIgnoresAltF4AndCloseAndDoesNotResizeOnlyCancelCounts) {
  TfWLProgress dlg(main.Handle());
  HWND h = dlg.Handle();
  dlg.Show();
  SetForegroundWindow(h);
  SetFocus(forms::FindControl(h, "BitBtn1"));
  Pump();

  // A real Alt+F4 from the keyboard, then its messages sent to the dialog and to the focused
  // button, then the close command and WM_CLOSE themselves.
  INPUT keys[4] = {};
  for (auto& k : keys) k.type = INPUT_KEYBOARD;
  keys[0].ki.wVk = VK_MENU;
  keys[1].ki.wVk = VK_F4;
  keys[2].ki.wVk = VK_F4;
  keys[2].ki.dwFlags = KEYEVENTF_KEYUP;
  keys[3].ki.wVk = VK_MENU;
  keys[3].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(4, keys, sizeof(INPUT));
  const LPARAM altDown = (1 << 29) | 1;
  PostMessageW(h, WM_SYSKEYDOWN, VK_F4, altDown);
  PostMessageW(forms::FindControl(h, "BitBtn1"), WM_SYSKEYDOWN, VK_F4, altDown);
  PostMessageW(h, WM_SYSCOMMAND, SC_CLOSE, 0);
  PostMessageW(h, WM_CLOSE, 0, 0);
  for (int i = 0; i < 10; ++i) {
    Pump();
    Sleep(20);
  }
  ASSERT_TRUE(IsWindow(h));
  EXPECT_TRUE(IsWindowVisible(h));
  EXPECT_FALSE(dlg.Cancelled);

  // No sizing: the border counts as client area and the menu has no Size; Close is greyed.
  RECT rc{};
  GetWindowRect(h, &rc);
  for (POINT p : {POINT{rc.right - 1, (rc.top + rc.bottom) / 2},
                  POINT{(rc.left + rc.right) / 2, rc.bottom - 1}, POINT{rc.right - 1, rc.bottom - 1}}) {
    LRESULT hit = SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    EXPECT_FALSE(hit >= HTLEFT && hit <= HTBOTTOMRIGHT) << hit;
  }
  SendMessageW(h, WM_SYSCOMMAND, SC_SIZE, 0);
  HMENU menu = GetSystemMenu(h, FALSE);
  EXPECT_EQ(GetMenuState(menu, SC_SIZE, MF_BYCOMMAND), static_cast<UINT>(-1));
  EXPECT_TRUE(GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED);
  EXPECT_TRUE(GetWindowLongW(h, GWL_STYLE) & WS_MINIMIZEBOX);

  // Cancel only raises the flag; the operation closes the dialog.
  ASSERT_TRUE(Click(h, "BitBtn1"));
  EXPECT_TRUE(dlg.Cancelled);
  EXPECT_TRUE(IsWindowVisible(h));
  ASSERT_TRUE(Click(h, "BitBtn1"));
  EXPECT_TRUE(dlg.Cancelled);
}

TEST_F(DialogTest, BusyDialogCountsNestedCallsAndCannotBeDraggedOrClosed) {
  TfWLSelecting busy;
  busy.SetMainWindow(main.Handle());
  HWND h = busy.Handle();
  ASSERT_TRUE(h);
  EXPECT_EQ(fWLSelecting, &busy);
  EXPECT_EQ(forms::WindowText(h), "Selecting Files...");
  EXPECT_FALSE(GetWindowLongW(h, GWL_STYLE) & WS_SYSMENU);
  EXPECT_FALSE(GetWindowLongW(h, GWL_STYLE) & WS_THICKFRAME);
  EXPECT_EQ(Text(h, "Label1"), "Selecting files...");
  EXPECT_EQ(Text(h, "Label2"), "Count:");
  EXPECT_TRUE(busy.ClipLoaded());
  EXPECT_EQ(busy.ShowCount(), 0);
  EXPECT_FALSE(IsWindowVisible(h));

  // More ends than begins: the count stays at 0 and the dialog hidden.
  busy.EndSelecting();
  EXPECT_EQ(busy.ShowCount(), 0);
  EXPECT_FALSE(IsWindowVisible(h));

  busy.BeginSelecting();
  busy.BeginSelecting();
  EXPECT_EQ(busy.ShowCount(), 2);
  EXPECT_TRUE(IsWindowVisible(h));
  EXPECT_TRUE(busy.AnimationPlaying());
  busy.SetCountText("1234");
  EXPECT_EQ(Text(h, "stCount"), "1234");
  busy.EndSelecting();
  EXPECT_TRUE(IsWindowVisible(h)) << "the inner end must not hide it";
  EXPECT_EQ(busy.ShowCount(), 1);

  RECT m{}, d{};
  GetWindowRect(main.Handle(), &m);
  GetWindowRect(h, &d);
  EXPECT_EQ(d.left, m.left + ((m.right - m.left) - (d.right - d.left)) / 2);
  // A press on the caption is a press on the client area: nothing to drag.
  LRESULT hit = SendMessageW(h, WM_NCHITTEST, 0,
                             MAKELPARAM((d.left + d.right) / 2, d.top + GetSystemMetrics(SM_CYCAPTION) / 2 + 2));
  EXPECT_EQ(hit, HTCLIENT);
  PostMessageW(h, WM_CLOSE, 0, 0);
  Pump();
  EXPECT_TRUE(IsWindowVisible(h));

  busy.EndSelecting();
  EXPECT_FALSE(IsWindowVisible(h));
  EXPECT_FALSE(busy.AnimationPlaying());
  busy.EndSelecting();
  busy.BeginSelecting();
  EXPECT_EQ(busy.ShowCount(), 1);
  EXPECT_TRUE(IsWindowVisible(h));
  busy.EndSelecting();
}

TEST_F(DialogTest, RootPathPromptNamesItsFolderRefusesABlankCloseAndReturnsTheTextAsTyped) {
  EnableWindow(main.Handle(), TRUE);
  TfWLRootPath prompt(main.Handle());
  HWND h = prompt.Handle();
  ASSERT_TRUE(h);
  EXPECT_EQ(forms::WindowText(h), "Root for Orphaned Folder");
  EXPECT_TRUE(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(Text(h, "Label1"),
            "Please specify the path to which this orphaned folder should be copied");
  EXPECT_EQ(Text(h, "FolderST"), "");
  HWND edit = forms::FindControl(h, "PathSLE");

  struct Seen {
    std::string folder;
    bool folderVisible = false;
    bool focusOnEdit = false, ownerDisabled = false;
    bool visibleAfterBlankOk = false, visibleAfterBlanksOk = false, visibleAfterClose = false;
  } seen;
  g_next = 0;
  g_steps = {
      [&] {
        seen.folder = Text(h, "FolderST");
        seen.folderVisible = Visible(h, "FolderST");
        seen.focusOnEdit = GetFocus() == edit;
        seen.ownerDisabled = !IsWindowEnabled(main.Handle());
        Click(h, "BitBtn1");  // empty
        seen.visibleAfterBlankOk = IsWindowVisible(h);
      },
      [&] {
        SetWindowTextW(edit, L"  \t ");
        Click(h, "BitBtn1");
        seen.visibleAfterBlanksOk = IsWindowVisible(h);
        PostMessageW(h, WM_SYSCOMMAND, SC_CLOSE, 0);  // the close box
      },
      [&] {
        seen.visibleAfterClose = IsWindowVisible(h);
        SetWindowTextW(edit, L"  D:\\Restored ");
        Click(h, "BitBtn1");
      },
  };
  // Ends the dialog should the steps fail to, so the test cannot hang.
  for (int i = 0; i < 50; ++i) g_steps.push_back([&] {
    SetWindowTextW(edit, L"X");
    Click(h, "BitBtn1");
  });
  UINT_PTR timer = SetTimer(nullptr, 0, 50, RunStep);
  auto answer = prompt.AskRootPath("Windows");
  KillTimer(nullptr, timer);
  EXPECT_EQ(g_next, 3u) << "the dialog closed at the wrong step";
  // The user knows which first-level folder of the volume the answer is for.
  EXPECT_EQ(seen.folder, "Windows");
  EXPECT_TRUE(seen.folderVisible);
  EXPECT_TRUE(seen.focusOnEdit);
  EXPECT_TRUE(seen.ownerDisabled);
  EXPECT_TRUE(seen.visibleAfterBlankOk);
  EXPECT_TRUE(seen.visibleAfterBlanksOk);
  EXPECT_TRUE(seen.visibleAfterClose);
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(*answer, "  D:\\Restored ");
  EXPECT_FALSE(IsWindowVisible(h));
  EXPECT_TRUE(IsWindowEnabled(main.Handle()));

  // Asked again during the same restore, with the owner disabled by the operation: the owner
  // stays disabled afterwards, and the close box now ends the dialog.
  EnableWindow(main.Handle(), FALSE);
  g_next = 0;
  g_steps = {[&] {
    seen.folder = Text(h, "FolderST");
    PostMessageW(h, WM_CLOSE, 0, 0);
  }};
  for (int i = 0; i < 50; ++i) g_steps.push_back([&] {
    SetWindowTextW(edit, L"X");
    Click(h, "BitBtn1");
  });
  timer = SetTimer(nullptr, 0, 50, RunStep);
  answer = prompt.AskRootPath("Tom & Jerry");
  KillTimer(nullptr, timer);
  EXPECT_EQ(answer, std::optional<std::string>("  D:\\Restored "));
  EXPECT_EQ(seen.folder, "Tom & Jerry");
  EXPECT_FALSE(IsWindowEnabled(main.Handle()));
  EnableWindow(main.Handle(), TRUE);
}

TEST_F(DialogTest, OperationWindowAsksForTheRootNamingTheFolder) {
  EnableWindow(main.Handle(), TRUE);
  TOperationWindowHooks hooks;
  hooks.MainWindow = main.Handle();
  TOperationWindowUI ui(hooks);
  std::string shown;
  g_next = 0;
  g_steps = {};
  for (int i = 0; i < 50; ++i) g_steps.push_back([&] {
    HWND h = ui.RootPathDialog() ? ui.RootPathDialog()->Handle() : nullptr;
    if (!h || !IsWindowVisible(h)) return;
    shown = Text(h, "FolderST");
    SetWindowTextW(forms::FindControl(h, "PathSLE"), L"E:\\");
    Click(h, "BitBtn1");
  });
  UINT_PTR timer = SetTimer(nullptr, 0, 50, RunStep);
  auto answer = ui.RootPathPrompt().AskRootPath("Projects 2024");
  KillTimer(nullptr, timer);
  EXPECT_EQ(answer, std::optional<std::string>("E:\\"));
  EXPECT_EQ(shown, "Projects 2024");
}

TEST_F(DialogTest, OpenLogStartsNotepadWithTheLog) {
  testing::TTempTree tree("notepad");
  std::string log = tree.File("with blanks\\TW-LOG.TMP", "Error: File X: Access Denied.\r\n");
  TOperationWindowHooks hooks;
  hooks.MainWindow = main.Handle();
  TOperationWindowUI ui(hooks);
  ui.OpenLog(log);
  // Notepad is another process: wait for its window, then close it.
  HWND notepad = nullptr;
  for (int i = 0; i < 150 && !notepad; ++i) {
    notepad = FindWindowW(L"Notepad", nullptr);
    if (!notepad) Sleep(100);
  }
  ASSERT_TRUE(notepad) << "no Notepad window appeared";
  // The title names the file once Notepad has loaded it.
  std::string title;
  for (int i = 0; i < 100; ++i) {
    title = forms::WindowText(notepad);
    if (title.find("TW-LOG") != std::string::npos) break;
    Sleep(100);
  }
  EXPECT_NE(title.find("TW-LOG"), std::string::npos) << title;
  PostMessageW(notepad, WM_CLOSE, 0, 0);
}

}  // namespace
}  // namespace tw

namespace tw {
namespace {

// The window side repaints at most every few dozen milliseconds, but never leaves a slow file
// (a large copy) under the name of the one before it, and never ends behind the walk.
TEST_F(DialogTest, OperationWindowKeepsTheLabelAndBarCurrentWithoutRepaintingPerFile) {
  TOperationWindowHooks hooks;
  hooks.MainWindow = main.Handle();
  TOperationWindowUI ui(hooks);
  ui.CreateProgress();
  ASSERT_TRUE(ui.Progress());
  EXPECT_EQ(fWLProgress, ui.Progress());
  HWND h = ui.Progress()->Handle();
  ui.SetProgressRange(0, 10);
  ui.ShowProgress();

  ui.ShowFile("C:\\a.txt");
  ui.StepProgress();
  EXPECT_EQ(Text(h, "stName"), "C:\\a.txt");
  ui.ShowFile("C:\\b.txt");  // a burst of small files: deferred
  ui.StepProgress();
  ui.ProcessMessages();
  Sleep(120);  // b.txt turns out slow: the next repaint chance shows it
  ui.ProcessMessages();
  EXPECT_EQ(Text(h, "stName"), "C:\\b.txt");
  EXPECT_EQ(ui.Progress()->Position(), 2);
  ui.ShowFile("C:\\c.txt");  // after a slow file: at once
  EXPECT_EQ(Text(h, "stName"), "C:\\c.txt");
  for (int i = 0; i < 5; ++i) ui.StepProgress();
  ui.HideProgress();  // the last state is on the bar before the dialog goes
  EXPECT_EQ(ui.Progress()->Position(), 7);
  EXPECT_FALSE(ui.Cancelled());
  EXPECT_FALSE(Click(h, "BitBtn1")) << "hidden: a user cannot press it";
  EXPECT_FALSE(ui.Cancelled());
  ui.FreeProgress();
  EXPECT_EQ(fWLProgress, nullptr);
  EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(ui.Cancelled()) << "no dialog, nothing cancelled";
}

}  // namespace
}  // namespace tw

namespace tw {
namespace {

// The line under the bar follows the bar and the copies with the time the window is given.
TEST_F(DialogTest, OperationWindowShowsFilesBytesRateAndTimeLeftUnderTheBar) {
  FakeClock clock;
  TOperationWindowHooks hooks;
  hooks.MainWindow = main.Handle();
  hooks.Clock = &clock;
  TOperationWindowUI ui(hooks);
  ui.CreateProgress();
  ASSERT_TRUE(ui.Progress());
  HWND h = ui.Progress()->Handle();
  ui.SetCaption("Refreshing volume ...");
  ui.SetVolumeText("Docs");
  ui.SetPathText("D:\\Backup\\Docs\\");
  ui.SetProgressRange(0, 20004);
  ui.SetProgressPosition(0);
  ui.ShowProgress();
  EXPECT_EQ(Text(h, "stProgress"), "0 of 20,004 files - 0 bytes");

  ui.ShowFile("C:\\Data\\Reports\\2024\\quarterly.xlsx");
  ui.StepProgress();
  ui.AddCopiedBytes(212ULL * 1024 * 1024);
  clock.AdvanceSeconds(2);
  ui.SetProgressPosition(1234);
  EXPECT_EQ(Text(h, "stProgress"), "1,234 of 20,004 files - 212 MB - 106 MB/s")
      << "no estimate in the first seconds";
  clock.AdvanceSeconds(13);
  ui.SetProgressPosition(1234);
  EXPECT_EQ(Text(h, "stProgress"), "1,234 of 20,004 files - 212 MB - 14 MB/s - about 4 min left");
  EXPECT_EQ(Text(h, "stName"), "C:\\Data\\Reports\\2024\\quarterly.xlsx");
  testing::SaveRunPicture(h, "progress-line.bmp");

  // The last copy is on the line before the dialog goes, as the bar is.
  ui.SetProgressPosition(20003);
  ui.StepProgress();
  ui.AddCopiedBytes(1024ULL * 1024 * 1024);
  ui.HideProgress();
  EXPECT_EQ(Text(h, "stProgress"), "20,004 of 20,004 files - 1,236 MB - 82 MB/s");
  ui.FreeProgress();

  // A delete copies nothing: no bytes on its line; a new dialog starts from nothing.
  ui.CreateProgress();
  ASSERT_TRUE(ui.Progress());
  h = ui.Progress()->Handle();
  ui.UseDeleteAnimation();
  ui.SetProgressRange(0, 4);
  ui.StepProgress();
  clock.AdvanceSeconds(4);
  ui.SetProgressPosition(1);
  EXPECT_EQ(Text(h, "stProgress"), "1 of 4 files - about 15 s left");
  ui.FreeProgress();
}

}  // namespace
}  // namespace tw
