// The main window in the notification area: which closes end the program, the exit question,
// the icon on the real tray of Wine, hiding and bringing back, the tray menu as a user opens it,
// and a log-on start in tray mode.
#include <windows.h>

#include <thread>

#include "app/WLOverdue.h"
#include "app/WLProgress.h"
#include "app/WLTray.h"
#include "app/res/resource.h"
#include "platform/memory/FakeClock.h"
#include "tests/gui/MainWindowFixture.h"
#include "tests/gui/WindowPicture.h"
#include "tests/gui/TrayProbe.h"

namespace tw::testing {
namespace {

using forms::driver::Pump;


bool ToolWindow(HWND hwnd) { return (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0; }

void PumpFor(DWORD ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    Pump();
    Sleep(5);
  }
}

std::vector<std::string> MenuItems(HMENU menu) {
  std::vector<std::string> items;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t text[128] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
    items.push_back(text[0] ? Narrow(text) : "-");
  }
  return items;
}

// What a second thread saw of the open tray menu before it pressed its keys.
struct TMenuSeen {
  bool found = false;
  std::vector<std::string> items;
  int defaultItem = -1;
};

class TrayWindowTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    fakeClock.SetLocal(2024, 3, 5, 12, 0);  // a Tuesday
    clock = &fakeClock;
  }
  void SetOptions(bool tray, bool disableAutoRefresh = false) {
    TGeneralOptions options;
    options.RunAsTrayIcon = tray;
    options.DisableAutoRefresh = disableAutoRefresh;
    TSettingsStore(registry, kFixtureKey).WriteAtExit(options, nullptr, "C:\\Tidewell.exe");
  }
  // Refreshed on Thursdays: the program must keep running for it, and today it is not due.
  TVolumeRec Weekly() {
    TVolumeRec v = Volume("Week", "D:\\Week\\", true);
    v.AutoRefresh = true;
    v.Frequency = 2;
    v.WeekDay = 5;
    return v;
  }
  UINT Id() { return form->Tray().NotifyIcon->ID(); }
  void TrayMouse(UINT mouseMsg) {
    SendMessageW(form->Handle(), TicNotifyIcon::NotifyMessage(), Id(), mouseMsg);
    Pump();
  }
  void Command(int id) {
    SendMessageW(form->Handle(), WM_COMMAND, static_cast<WPARAM>(id), 0);
    Pump();
  }
  HMENU FileMenu() { return GetSubMenu(GetMenu(form->Handle()), 0); }

  // Opens the tray menu with the right button as the tray does; a second thread reads it, maybe
  // takes its picture, then presses the keys.
  TMenuSeen OpenTrayMenu(std::vector<WPARAM> keys, const char* picture = nullptr) {
    SetForegroundWindow(form->Handle());
    PumpFor(300);  // the display's focus events settle, or they would close the menu at once
    TMenuSeen seen;
    std::thread reader([&] {
      HWND popup = nullptr;
      for (int i = 0; i < 250 && !popup; ++i) {
        Sleep(20);
        popup = FindWindowW(L"#32768", nullptr);
        if (popup && !IsWindowVisible(popup)) popup = nullptr;
      }
      if (!popup) return;
      auto menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
      seen.found = menu != nullptr;
      seen.items = MenuItems(menu);
      seen.defaultItem = static_cast<int>(GetMenuDefaultItem(menu, TRUE, 0));
      if (picture) SavePictureOf(popup, picture);
      for (WPARAM key : keys) {
        const UINT scan = MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC);
        PostMessageW(popup, WM_KEYDOWN, key, 1 | (scan << 16));
        PostMessageW(popup, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
        Sleep(50);
      }
    });
    // Should the reader miss the menu, the menu still ends.
    SetTimer(nullptr, 0, 8000, [](HWND, UINT, UINT_PTR timer, DWORD) {
      KillTimer(nullptr, timer);
      EndMenu();
    });
    TrayMouse(WM_RBUTTONDOWN);
    reader.join();
    Pump();
    return seen;
  }
  static void SavePictureOf(HWND popup, const char* name) { SaveRunPicture(popup, name); }

  FakeClock fakeClock;
};

TEST_F(TrayWindowTest, ACloseEndsTheProgramUnlessTheTrayKeepsItForTimedRefreshes) {
  struct Row {
    bool exitRequested, tray, timed, disabled, ends;
  } rows[] = {
      {true, true, true, false, true},    {true, false, true, false, true},
      {true, true, false, false, true},   {false, false, true, false, true},
      {false, false, false, false, true}, {false, true, false, false, true},
      {false, true, true, false, false},
      // Switched off, automatic refresh refreshes nothing: nothing to stay for.
      {false, true, true, true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.exitRequested << row.tray << row.timed << row.disabled);
    WriteVolumes({row.timed ? Weekly() : Volume("Plain", "D:\\Plain\\", true)});
    SetOptions(row.tray, row.disabled);
    HWND main = Start();
    const UINT id = Id();
    EXPECT_EQ(InTray(main, id), row.tray);
    form->ExitRequested = row.exitRequested;
    SendMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);  // the close box
    Pump();
    EXPECT_EQ(!IsWindow(main), row.ends);
    if (row.ends) {
      EXPECT_FALSE(InTray(main, id)) << "the icon goes with the program";
      EXPECT_TRUE(fs.Contents(std::string(kFixtureAppDir) + "VOLUMES.TWB")) << "exit writes ran";
    } else {
      EXPECT_FALSE(IsWindowVisible(main));
      EXPECT_TRUE(ToolWindow(main)) << "no taskbar button while in the tray";
      EXPECT_TRUE(InTray(main, id));
    }
    form.reset();
    Pump();
    fs.Remove(std::string(kFixtureAppDir) + "VOLUMES.TWB");
  }
}

TEST_F(TrayWindowTest, EndSessionAsksOnlyFromTheWindowAndOnlyWhileTimedRefreshesArePending) {
  const std::string question =
      "This will end Tidewell, that means automatic refreshes cannot be performed. Continue?";
  WriteVolumes({Weekly()});
  HWND main = Start();
  prompts.Answer(mb::IdNo);
  form->FileExitMIClick();
  Pump();
  ASSERT_EQ(prompts.Records().size(), 1u) << Texts();
  EXPECT_EQ(prompts.Last().text, question);
  EXPECT_EQ(prompts.Last().caption, "Exit Tidewell");
  EXPECT_EQ(prompts.Last().flags, static_cast<uint32_t>(mb::YesNo | mb::IconQuestion));
  EXPECT_TRUE(IsWindowVisible(main)) << "No changes nothing";
  EXPECT_FALSE(form->ExitRequested);
  // The End Session button of the main page asks the same.
  prompts.Answer(mb::IdYes);
  SendMessageW(forms::FindControl(main, "ExitBTN"), BM_CLICK, 0, 0);
  Pump();
  EXPECT_EQ(prompts.Records().size(), 2u) << Texts();
  EXPECT_FALSE(IsWindow(main)) << "Yes ends it, although the tray would keep it";
  form.reset();

  // The tray's End Session never asks.
  WriteVolumes({Weekly()});
  main = Start();
  prompts.Clear();
  Command(IDM_TRAY_END_SESSION);
  EXPECT_TRUE(prompts.Records().empty()) << Texts();
  EXPECT_FALSE(IsWindow(main));
  form.reset();

  // Nothing timed: no question.
  WriteVolumes({Volume("Plain", "D:\\Plain\\", true)});
  main = Start();
  form->FileExitMIClick();
  Pump();
  EXPECT_TRUE(prompts.Records().empty()) << Texts();
  EXPECT_FALSE(IsWindow(main));
}

TEST_F(TrayWindowTest, HidingIntoTheTrayAndBackFollowsTheIconTheOptionsAndARunningOperation) {
  WriteVolumes({Weekly()});
  HWND main = Start();
  ASSERT_TRUE(IsWindowVisible(main));
  const UINT id = Id();
  EXPECT_TRUE(InTray(main, id));
  // The title, then each volume's last good refresh.
  EXPECT_EQ(form->Tray().NotifyIcon->Hint(), "Tidewell\nWeek never");
  EXPECT_NE(form->Tray().NotifyIcon->Icon(), nullptr) << "the program's own icon";
  EXPECT_EQ(MenuItems(FileMenu()), (std::vector<std::string>{"&Hide", "&End Session\tAlt+X"}));

  // Minimising hides into the tray; a double click on the icon brings it back.
  SendMessageW(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  Pump();
  EXPECT_FALSE(IsWindowVisible(main));
  EXPECT_TRUE(ToolWindow(main));
  TrayMouse(WM_LBUTTONDBLCLK);
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_FALSE(IsIconic(main));
  EXPECT_FALSE(ToolWindow(main));
  Command(IDM_FILE_HIDE);
  EXPECT_FALSE(IsWindowVisible(main));
  EXPECT_TRUE(ToolWindow(main));
  SendMessageW(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  Pump();
  EXPECT_FALSE(IsWindowVisible(main)) << "minimising a window in the tray leaves it there";

  // A restarted shell gets the icon back.
  NOTIFYICONDATAW gone{};
  gone.cbSize = sizeof(gone);
  gone.hWnd = main;
  gone.uID = id;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &gone));
  EXPECT_FALSE(InTray(main, id));
  SendMessageW(main, TicNotifyIcon::TaskbarCreatedMessage(), 0, 0);
  EXPECT_TRUE(InTray(main, id));

  // While an operation's dialog exists, activating brings only that forward.
  {
    TfWLProgress dialog(main);
    fWLProgress = &dialog;
    dialog.Show();
    ShowWindow(dialog.Handle(), SW_MINIMIZE);
    Pump();
    TrayMouse(WM_LBUTTONDBLCLK);
    EXPECT_FALSE(IsIconic(dialog.Handle()));
    EXPECT_TRUE(IsWindowVisible(dialog.Handle()));
    EXPECT_FALSE(IsWindowVisible(main)) << "the main window stays as the operation left it";
    EXPECT_TRUE(ToolWindow(main));
  }
  EXPECT_EQ(fWLProgress, nullptr);
  EXPECT_TRUE(ToolWindow(main)) << "the dialog gives back only what it took";

  // Tray mode switched off while hidden: the window comes back with its button, the icon and
  // "&Hide" go, and minimising is ordinary again.
  form->Options.RunAsTrayIcon = false;
  form->Options.LaunchOnStartup = true;
  form->AfterOptionsDialog();
  Pump();
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_FALSE(ToolWindow(main));
  EXPECT_FALSE(InTray(main, id));
  EXPECT_EQ(MenuItems(FileMenu()), (std::vector<std::string>{"&End Session\tAlt+X"}));
  ASSERT_EQ(shortcuts.Links.size(), 1u);
  EXPECT_EQ(shortcuts.Links.begin()->second.Target, std::string(kFixtureAppDir) + "Tidewell.exe");
  SendMessageW(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  Pump();
  EXPECT_TRUE(IsIconic(main));
  EXPECT_FALSE(ToolWindow(main));
  ShowWindow(main, SW_RESTORE);

  // And on again while the window is hidden: the icon, "&Hide", and no button.
  ShowWindow(main, SW_HIDE);
  form->Options.RunAsTrayIcon = true;
  form->Options.LaunchOnStartup = false;
  form->AfterOptionsDialog();
  Pump();
  EXPECT_FALSE(IsWindowVisible(main));
  EXPECT_TRUE(ToolWindow(main));
  EXPECT_TRUE(InTray(main, id));
  EXPECT_EQ(MenuItems(FileMenu()).size(), 2u);
  EXPECT_TRUE(shortcuts.Links.empty());
  form->AfterOptionsDialog();
  EXPECT_EQ(MenuItems(FileMenu()).size(), 2u) << "one \"&Hide\" only";
}

TEST_F(TrayWindowTest, TheTrayMenuOffersItsCommandsOnlyWhileNothingRuns) {
  WriteVolumes({Weekly()});
  HWND main = Start();
  form->Options.LaunchOnStartup = true;  // so the options' steps leave a trace

  // "&Options" runs the dialog modally: a timer inside its loop closes it once it shows.
  static bool optionsShown;
  optionsShown = false;
  UINT_PTR closer = SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR, DWORD) {
    HWND dlg = FindWindowW(L"TfWLOptions", nullptr);
    if (dlg && IsWindowVisible(dlg)) {
      optionsShown = true;
      PostMessageW(dlg, WM_CLOSE, 0, 0);
    }
  });
  TMenuSeen seen = OpenTrayMenu({VK_DOWN, VK_DOWN, VK_RETURN}, "TrayMenu.bmp");
  KillTimer(nullptr, closer);
  ASSERT_TRUE(seen.found) << "no menu opened";
  EXPECT_TRUE(optionsShown) << "the options dialog ran";
  EXPECT_EQ(seen.items,
            (std::vector<std::string>{"&Activate Tidewell", "&Options", "-", "&End Session"}));
  EXPECT_EQ(seen.defaultItem, 0) << "Activate is the default, drawn bold";
  EXPECT_EQ(shortcuts.Links.size(), 1u) << "\"&Options\" was chosen";
  EXPECT_TRUE(form->RefreshTimerRunning());

  // An operation, a check or a modal dialog has the window disabled: only Activate is offered,
  // and a command left over does nothing.
  form->Options.LaunchOnStartup = false;
  ShowWindow(main, SW_HIDE);
  EnableWindow(main, FALSE);
  seen = OpenTrayMenu({VK_DOWN, VK_RETURN});
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.items, (std::vector<std::string>{"&Activate Tidewell"}));
  EXPECT_EQ(seen.defaultItem, 0);
  EXPECT_TRUE(IsWindowVisible(main)) << "Activate works";
  Command(IDM_TRAY_OPTIONS);
  Command(IDM_TRAY_END_SESSION);
  EXPECT_TRUE(IsWindow(main));
  EXPECT_EQ(shortcuts.Links.size(), 1u);
  EXPECT_FALSE(form->ExitRequested);
  // Nor does a close from outside, even one that would end the program.
  form->ExitRequested = true;
  SendMessageW(main, WM_CLOSE, 0, 0);
  ASSERT_TRUE(IsWindow(main)) << "destroyed under what runs on it";
  EXPECT_TRUE(IsWindowVisible(main));
  form->ExitRequested = false;

  EnableWindow(main, TRUE);
  seen = OpenTrayMenu({VK_ESCAPE});
  EXPECT_EQ(seen.items.size(), 4u);
}

TEST_F(TrayWindowTest, ALogOnStartInTrayModeShowsOnlyTheIconAndStaysForTimedRefreshes) {
  const TVolumeRec daily = Scheduled("Docs", 1);
  WriteVolumes({daily});
  HWND main = Start({"/winstart"});
  EXPECT_TRUE(form->WinStart);
  ASSERT_EQ(prompts.Records().size(), 1u) << Texts();
  EXPECT_EQ(prompts.Records()[0].text, AutoRefreshFinishedText("Docs", 1, 1));
  ASSERT_TRUE(IsWindow(main)) << "the tray keeps it for its daily refresh";
  EXPECT_FALSE(IsWindowVisible(main));
  EXPECT_TRUE(IsIconic(main));
  EXPECT_TRUE(ToolWindow(main));
  EXPECT_TRUE(InTray(main, Id()));
  // Out of the tray it comes restored, at its normal size.
  TrayMouse(WM_LBUTTONDBLCLK);
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_FALSE(IsIconic(main));
  EXPECT_FALSE(ToolWindow(main));
  RECT rc{};
  GetWindowRect(main, &rc);
  EXPECT_GE(rc.right - rc.left, 700);
  form.reset();
  Pump();

  // Start-up volumes only: refreshed, then the program ends by itself.
  WriteVolumes({Scheduled("Boot", 0)});
  prompts.Clear();
  main = Start({"/WINSTART"});
  EXPECT_EQ(prompts.Records().size(), 1u) << Texts();
  EXPECT_FALSE(IsWindow(main));
  form.reset();

  // Without tray mode a log-on start ends after its check whatever is pending.
  SetOptions(false);
  WriteVolumes({Scheduled("Docs", 1)});
  prompts.Clear();
  main = Start({"/WinStart"});
  EXPECT_EQ(prompts.Records().size(), 1u) << Texts();
  EXPECT_FALSE(IsWindow(main));
  // The placement it left says shown, not minimised (length, flags, then the show command).
  std::vector<uint8_t> placement;
  auto key = registry.Open(RegRoot::CurrentUser, std::string(kFixtureKey) + "\\Window", false);
  ASSERT_TRUE(key);
  ASSERT_EQ(key->ReadBinary("State", placement), winerr::Success);
  ASSERT_GE(placement.size(), 12u);
  EXPECT_EQ(placement[8], SW_SHOWNORMAL);
  form.reset();

  // Another first argument is no log-on start.
  SetOptions(true);
  WriteVolumes({Weekly()});
  main = Start({"/WINSTARTX"});
  EXPECT_FALSE(form->WinStart);
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_FALSE(ToolWindow(main));
}

TEST_F(TrayWindowTest, AVolumeBehindIsWarnedOnceADayAndTheBalloonOpensIt) {
  TVolumeRec behind = Weekly();  // due on Thursdays, last refreshed 10 days ago
  FakeClock then;
  then.SetLocal(2024, 2, 24, 12, 0);
  behind.LastRefresh = then.Now();
  fs.MakeDirs("D:\\Week");
  TVolumeRec fresh = Weekly();
  fresh.Name = "Fresh";
  fresh.BackupPath = "D:\\Fresh\\";
  WriteVolumes({behind, fresh});
  FakeClock yesterday;
  yesterday.SetLocal(2024, 3, 4, 8, 30);
  TRefreshHealthStore(registry, kFixtureKey).NoteRun("Fresh", yesterday.Now(), false);

  HWND main = Start();
  EXPECT_EQ(form->Overdue().Balloons(), 1);
  EXPECT_EQ(form->Overdue().LastBalloon(), "The volume \"Week\" has not been refreshed for 10 days.");
  EXPECT_EQ(form->TrayIcon()->Hint(), "Tidewell\nWeek 2024-02-24\nFresh 2024-03-04");
  // The shell's balloon, as the tray shows it.
  HWND balloon = nullptr;
  for (int i = 0; i < 100 && !balloon; ++i) {
    PumpFor(30);
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
          wchar_t cls[64] = {};
          GetClassNameW(hwnd, cls, 64);
          if (!IsWindowVisible(hwnd) || lstrcmpW(cls, L"tooltips_class32") != 0) return TRUE;
          *reinterpret_cast<HWND*>(lp) = hwnd;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&balloon));
  }
  if (balloon) SaveRunPicture(balloon, "OverdueBalloon.bmp");
  form->RefreshTimerTimer();
  EXPECT_EQ(form->Overdue().Balloons(), 1) << "once a day";
  // The tray call of the next day's balloon, with its title, text and warning icon.
  std::vector<NOTIFYICONDATAW> calls;
  form->TrayIcon()->TrayCall = [&](DWORD op, NOTIFYICONDATAW* data) {
    if (op == NIM_MODIFY && (data->uFlags & NIF_INFO)) calls.push_back(*data);
    return Shell_NotifyIconW(op, data);
  };
  fakeClock.SetLocal(2024, 3, 6, 9, 0);
  form->RefreshTimerTimer();
  EXPECT_EQ(form->Overdue().Balloons(), 2) << "the next day again";
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(Narrow(calls[0].szInfoTitle), "Tidewell");
  EXPECT_EQ(Narrow(calls[0].szInfo), "The volume \"Week\" has not been refreshed for 11 days.");
  EXPECT_EQ(calls[0].dwInfoFlags, static_cast<DWORD>(NIIF_WARNING));

  // While something runs on the window a click on the balloon does nothing.
  ShowWindow(main, SW_HIDE);
  EnableWindow(main, FALSE);
  TrayMouse(NIN_BALLOONUSERCLICK);
  EXPECT_FALSE(IsWindowVisible(main));
  EnableWindow(main, TRUE);
  // The click opens the volume in the wizard.
  TrayMouse(NIN_BALLOONUSERCLICK);
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_EQ(form->State.Page, pgVolumeInfo);
  ASSERT_TRUE(form->State.CurrentVolume);
  EXPECT_EQ(form->State.CurrentVolume->Name, "Week");
  EXPECT_TRUE(prompts.Records().empty()) << Texts();

  // Switched off (0 days): no warning on a later day.
  TRefreshHealthStore(registry, kFixtureKey).WriteWarnDays(0);
  fakeClock.SetLocal(2024, 3, 8, 9, 0);
  form->RefreshTimerTimer();
  EXPECT_EQ(form->Overdue().Balloons(), 2);
}

}  // namespace
}  // namespace tw::testing
