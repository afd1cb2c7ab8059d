// The tray icon on the real shell tray of Wine: presence, tip, clicks sent as the tray sends
// them, the menu, and the owner window it hooks.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/TicNotifyIcon.h"
#include "app/forms/Forms.h"
#include "tests/gui/BackupHarness.h"
#include "tests/gui/TrayProbe.h"

namespace tw {
namespace {

using forms::driver::Pump;

using tw::testing::InTray;

void Mouse(const TicNotifyIcon& icon, UINT mouseMsg) {
  SendMessageW(icon.OwnerHandle(), TicNotifyIcon::NotifyMessage(), icon.ID(), mouseMsg);
}

// Lets messages run (timers included) until done() or a generous bound.
template <class Done>
void PumpUntil(Done done, DWORD ms = 5000) {
  DWORD start = GetTickCount();
  while (!done() && GetTickCount() - start < ms) {
    Pump();
    Sleep(5);
  }
}

void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

struct TCall {
  DWORD operation;
  NOTIFYICONDATAW data;
};

class NotifyIconTest : public ::testing::Test {
 protected:
  void TearDown() override { Pump(); }
  testing::TStandInMain main;
};

TEST_F(NotifyIconTest, TrayEntryLivesExactlyWhileVisibleAndComesBackAfterAShellRestart) {
  auto icon = std::make_unique<TicNotifyIcon>(&main);
  HWND owner = main.Handle();
  UINT id = icon->ID();
  EXPECT_EQ(icon->OwnerHandle(), owner);
  EXPECT_FALSE(icon->IconVisible());
  EXPECT_FALSE(InTray(owner, id));
  icon->SetIconVisible(true);
  EXPECT_TRUE(InTray(owner, id));

  // A restarted shell starts with an empty tray and tells every top-level window.
  NOTIFYICONDATAW gone{};
  gone.cbSize = sizeof(gone);
  gone.hWnd = owner;
  gone.uID = id;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &gone));
  EXPECT_FALSE(InTray(owner, id));
  SendMessageW(owner, TicNotifyIcon::TaskbarCreatedMessage(), 0, 0);
  EXPECT_TRUE(InTray(owner, id));

  icon->SetIconVisible(false);
  EXPECT_FALSE(InTray(owner, id));
  SendMessageW(owner, TicNotifyIcon::TaskbarCreatedMessage(), 0, 0);
  EXPECT_FALSE(InTray(owner, id)) << "a hidden icon stays out of a new tray";

  icon->SetIconVisible(true);
  icon.reset();
  EXPECT_FALSE(InTray(owner, id)) << "the component takes its icon with it";
}

TEST_F(NotifyIconTest, TrayCallsCarryTheirFlagsIconAndCutTipAndUnchangedValuesMakeNone) {
  TicNotifyIcon icon(&main);
  std::vector<TCall> calls;
  icon.TrayCall = [&calls](DWORD op, NOTIFYICONDATAW* data) {
    calls.push_back({op, *data});
    return Shell_NotifyIconW(op, data);
  };
  HICON winLogo = LoadIconW(nullptr, IDI_WINLOGO);

  icon.SetIconVisible(false);
  icon.SetHint("");
  icon.SetHint("Tidewell");  // stored for the icon to come
  EXPECT_TRUE(calls.empty());

  icon.SetIconVisible(true);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].operation, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(calls[0].data.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
  EXPECT_EQ(calls[0].data.hWnd, main.Handle());
  EXPECT_EQ(calls[0].data.uID, icon.ID());
  EXPECT_EQ(calls[0].data.uCallbackMessage, TicNotifyIcon::NotifyMessage());
  EXPECT_EQ(calls[0].data.hIcon, winLogo) << "no icon of its own: the Windows logo";
  EXPECT_EQ(std::wstring(calls[0].data.szTip), L"Tidewell");
  EXPECT_TRUE(InTray(main.Handle(), icon.ID()));

  icon.SetIconVisible(true);
  icon.SetHint("Tidewell");
  EXPECT_EQ(calls.size(), 1u) << "unchanged values go nowhere";

  std::string seventy;
  for (int i = 0; i < 70; ++i) seventy += static_cast<char>('a' + i % 26);
  icon.SetHint(seventy);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].operation, static_cast<DWORD>(NIM_MODIFY));
  EXPECT_EQ(calls[1].data.uFlags, static_cast<UINT>(NIF_TIP));
  EXPECT_EQ(std::wstring(calls[1].data.szTip), std::wstring(seventy.begin(), seventy.begin() + 63));
  EXPECT_EQ(icon.Hint(), seventy) << "the property keeps the whole text";

  // A character outside the basic plane takes two units; the cut never halves it.
  std::string wide(62, 'x');
  wide += "\xF0\x9F\x98\x80yz";  // U+1F600 at units 62 and 63
  icon.SetHint(wide);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(std::wstring(calls[2].data.szTip), std::wstring(62, L'x'));
  std::string fits(61, 'x');
  fits += "\xF0\x9F\x98\x80yz";
  icon.SetHint(fits);
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(std::wstring(calls[3].data.szTip), std::wstring(61, L'x') + L"\xD83D\xDE00");

  icon.SetIcon(LoadIconW(nullptr, IDI_QUESTION));
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[4].data.uFlags, static_cast<UINT>(NIF_ICON));
  EXPECT_TRUE(calls[4].data.hIcon && calls[4].data.hIcon != winLogo);
  EXPECT_EQ(calls[4].data.hIcon, icon.Icon());
  icon.SetIcon(nullptr);
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[5].data.hIcon, winLogo);

  icon.SetIconVisible(false);
  ASSERT_EQ(calls.size(), 7u);
  EXPECT_EQ(calls[6].operation, static_cast<DWORD>(NIM_DELETE));
  icon.SetHint("other");
  icon.SetIcon(LoadIconW(nullptr, IDI_QUESTION));
  EXPECT_EQ(calls.size(), 7u) << "a hidden icon is not touched";
}

TEST_F(NotifyIconTest, ASingleClickComesOnceAfterTheDoubleClickTimeADoubleClickOnlyAsItself) {
  TicNotifyIcon icon(&main);
  icon.SetIconVisible(true);
  int clicks = 0, doubles = 0;
  icon.OnClick = [&] { ++clicks; };
  icon.OnDblClick = [&] { ++doubles; };
  const DWORD dblTime = GetDoubleClickTime();

  Mouse(icon, WM_LBUTTONDOWN);
  Mouse(icon, WM_LBUTTONUP);
  EXPECT_EQ(clicks, 0) << "a second click may still come";
  PumpUntil([&] { return clicks > 0; });
  PumpFor(2 * dblTime);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(doubles, 0);

  Mouse(icon, WM_LBUTTONDOWN);
  Mouse(icon, WM_LBUTTONUP);
  Mouse(icon, WM_LBUTTONDBLCLK);
  Mouse(icon, WM_LBUTTONUP);
  EXPECT_EQ(doubles, 1);
  PumpFor(2 * dblTime);
  EXPECT_EQ(clicks, 1) << "the first click of a double click is no click of its own";
  EXPECT_EQ(doubles, 1);

  // A double click whose first click was already reported leaves nothing behind: the next
  // single click still counts.
  Mouse(icon, WM_LBUTTONDOWN);
  PumpUntil([&] { return clicks == 2; });
  Mouse(icon, WM_LBUTTONDBLCLK);
  EXPECT_EQ(doubles, 2);
  Mouse(icon, WM_LBUTTONDOWN);
  PumpUntil([&] { return clicks == 3; });
  EXPECT_EQ(clicks, 3);

  // Other mouse messages and other icons' notifications do nothing.
  Mouse(icon, WM_MOUSEMOVE);
  Mouse(icon, WM_RBUTTONUP);
  SendMessageW(main.Handle(), TicNotifyIcon::NotifyMessage(), icon.ID() + 1, WM_LBUTTONDBLCLK);
  SendMessageW(main.Handle(), TicNotifyIcon::NotifyMessage(), icon.ID() + 1, WM_LBUTTONDOWN);
  PumpFor(2 * dblTime);
  EXPECT_EQ(clicks, 3);
  EXPECT_EQ(doubles, 2);
}

struct TMenuSeen {
  bool open = false;
  HWND foreground = nullptr;
  RECT rect{};
};
TMenuSeen g_seen;
void CALLBACK LookAtMenu(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  HWND menu = FindWindowW(L"#32768", nullptr);
  g_seen.open = menu && IsWindowVisible(menu);
  g_seen.foreground = GetForegroundWindow();
  if (menu) GetWindowRect(menu, &g_seen.rect);
  EndMenu();
}

TEST_F(NotifyIconTest, RightButtonBringsTheOwnerForwardThenOpensTheMenuAtTheCursor) {
  TicNotifyIcon icon(&main);
  icon.SetIconVisible(true);
  testing::TStandInMain other;
  SetForegroundWindow(other.Handle());
  PumpFor(300);  // the display's focus events settle, or they would close the menu at once
  ASSERT_EQ(GetForegroundWindow(), other.Handle());

  // Without a menu the owner still comes forward.
  Mouse(icon, WM_RBUTTONDOWN);
  EXPECT_EQ(GetForegroundWindow(), main.Handle());
  MSG msg;
  // Wine posts a WM_NULL of its own on activation: the menu's one is counted on top of it.
  auto nulls = [&] {
    int n = 0;
    while (PeekMessageW(&msg, main.Handle(), WM_NULL, WM_NULL, PM_REMOVE)) ++n;
    return n;
  };
  const int activationNulls = nulls();

  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, 5, L"&Activate Tidewell");
  icon.SetPopupMenu(menu);
  SetForegroundWindow(other.Handle());
  PumpFor(300);  // the display's focus events settle, or they would close the menu at once
  SetCursorPos(333, 222);
  g_seen = {};
  SetTimer(nullptr, 0, 100, LookAtMenu);  // runs inside the menu's loop
  Mouse(icon, WM_RBUTTONDOWN);
  EXPECT_TRUE(g_seen.open);
  EXPECT_EQ(g_seen.foreground, main.Handle());
  POINT at{};
  GetCursorPos(&at);
  EXPECT_EQ(at.x, 333);
  EXPECT_EQ(g_seen.rect.left, 333);
  EXPECT_EQ(g_seen.rect.top, 222);
  // The menu's closing needs one more message in the owner's queue.
  EXPECT_EQ(nulls(), activationNulls + 1);
  DestroyMenu(menu);
}

TEST_F(NotifyIconTest, OwnersThatCannotCarryAnIconAreRefusedAndComponentsShareAWindowSafely) {
  auto message = [](auto make) {
    try {
      make();
    } catch (const EicNotifyIconError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  struct TNoWindow : forms::TForm {};
  TNoWindow noWindow;
  EXPECT_EQ(message([] { TicNotifyIcon icon(nullptr); }), "Owner must be a TForm");
  EXPECT_EQ(message([&] { TicNotifyIcon icon(&noWindow); }), "Owner must be a TForm");

  testing::TStandInMain closed;
  DestroyWindow(closed.Handle());
  EXPECT_EQ(message([&] { TicNotifyIcon icon(&closed); }), "Owner must be a TForm");

  // Two components on one form: their own identifiers and notifications, and freeing the first
  // leaves the second hooked.
  auto first = std::make_unique<TicNotifyIcon>(&main);
  auto second = std::make_unique<TicNotifyIcon>(&main);
  EXPECT_EQ(second->ID(), first->ID() + 1);
  int firstDoubles = 0, secondDoubles = 0;
  first->OnDblClick = [&] { ++firstDoubles; };
  second->OnDblClick = [&] { ++secondDoubles; };
  Mouse(*first, WM_LBUTTONDBLCLK);
  EXPECT_EQ(firstDoubles, 1);
  EXPECT_EQ(secondDoubles, 0);
  Mouse(*second, WM_LBUTTONDBLCLK);
  EXPECT_EQ(firstDoubles, 1);
  EXPECT_EQ(secondDoubles, 1);
  UINT firstId = first->ID();
  first.reset();
  Mouse(*second, WM_LBUTTONDBLCLK);
  EXPECT_EQ(secondDoubles, 2);
  SendMessageW(main.Handle(), TicNotifyIcon::NotifyMessage(), firstId, WM_LBUTTONDBLCLK);
  second.reset();
  SendMessageW(main.Handle(), TicNotifyIcon::NotifyMessage(), firstId + 1, WM_LBUTTONDBLCLK);
  EXPECT_EQ(forms::WindowText(main.Handle()), "Tidewell") << "the owner still answers";
}

TEST_F(NotifyIconTest, HideTaskHidesAndShowsTheOwnerOnlyOnAChange) {
  TicNotifyIcon icon(&main);
  EXPECT_FALSE(icon.HideTask());
  ShowWindow(main.Handle(), SW_HIDE);
  icon.SetHideTask(false);
  EXPECT_FALSE(IsWindowVisible(main.Handle())) << "an unchanged value leaves the window alone";
  ShowWindow(main.Handle(), SW_SHOW);
  icon.SetHideTask(true);
  EXPECT_FALSE(IsWindowVisible(main.Handle()));
  icon.SetHideTask(false);
  EXPECT_TRUE(IsWindowVisible(main.Handle()));
}

}  // namespace
}  // namespace tw
