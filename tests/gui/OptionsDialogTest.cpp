// The options dialog as a real window over the real registry (below keys of the test's own),
// driven by control name with real window messages: its controls, the rules that enable the
// schedule controls, the live edits of the volume records and options, the Zip vendor's value
// and the context-menu marks.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/WLMain.h"
#include "app/WLOptions.h"
#include "app/forms/Forms.h"
#include "engine/settings.h"
#include "platform/memory/ScriptedPrompts.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32Registry.h"
#include "tests/gui/BackupHarness.h"
#include "tests/gui/MainWindowFixture.h"
#include "tests/gui/WindowPicture.h"

namespace tw {
namespace {

using forms::driver::Checked;
using forms::driver::Click;
using forms::driver::Enabled;
using forms::driver::Pump;
using forms::driver::Text;

const char* const kScheduleControls[] = {"AutomaticCB", "FrequencyLBL", "FrequencyCB", "TimeLBL",
                                         "TimeDTP",     "DaysLBL",      "DaysCB"};

// Steps run one per timer tick inside the dialog's modal loop, so the loop's own handling of
// keys (Enter, Esc) runs between them.
std::vector<std::function<void()>> g_steps;
size_t g_next = 0;
bool g_inStep = false;
void CALLBACK RunStep(HWND, UINT, UINT_PTR id, DWORD) {
  if (g_inStep) return;  // a step that lets messages run is not overtaken by the next one
  if (g_next >= g_steps.size()) {
    KillTimer(nullptr, id);
    return;
  }
  auto step = g_steps[g_next++];
  g_inStep = true;
  step();
  g_inStep = false;
}

TVolumeRec Vol(const std::string& name) {
  TVolumeRec rec;
  rec.Name = name;
  rec.BackupPath = "D:\\Backup\\" + name + "\\";
  rec.WeekDay = 1;
  return rec;
}

std::string ComboText(HWND root, const std::string& name) {
  HWND combo = forms::FindControl(root, name);
  LRESULT i = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  if (i < 0) return "<none>";
  wchar_t buf[128] = {};
  SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
  return Narrow(buf);
}

std::vector<std::string> ComboItems(HWND root, const std::string& name) {
  HWND combo = forms::FindControl(root, name);
  std::vector<std::string> items;
  for (LRESULT i = 0, n = SendMessageW(combo, CB_GETCOUNT, 0, 0); i < n; ++i) {
    wchar_t buf[128] = {};
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
    items.push_back(Narrow(buf));
  }
  return items;
}

// A key pressed on a control, as the keyboard delivers it.
void Key(HWND root, const std::string& name, UINT vk) {
  HWND hwnd = forms::FindControl(root, name);
  SetFocus(hwnd);
  SendMessageW(hwnd, WM_KEYDOWN, vk, 1);
  SendMessageW(hwnd, WM_KEYUP, vk, 0xC0000001);
  Pump();
}

// A mouse click on a row of the volume list.
void ClickRow(HWND root, int row) {
  HWND list = forms::FindControl(root, "VolumesLB");
  RECT rc{};
  SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rc));
  LPARAM at = MAKELPARAM(rc.left + 20, (rc.top + rc.bottom) / 2);
  SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(list, WM_LBUTTONUP, 0, at);
  Pump();
}

// The picker's own check box: under Wine a child button of the picker.
HWND PickerBox(HWND root) {
  return FindWindowExW(forms::FindControl(root, "TimeDTP"), nullptr, L"Button", nullptr);
}

// What the picker holds: none, or the time of day as a fraction.
std::optional<double> PickerTime(HWND root) {
  SYSTEMTIME st{};
  if (SendMessageW(forms::FindControl(root, "TimeDTP"), DTM_GETSYSTEMTIME, 0,
                   reinterpret_cast<LPARAM>(&st)) != GDT_VALID)
    return std::nullopt;
  return ((st.wHour * 60.0 + st.wMinute) * 60 + st.wSecond) / 86400 + st.wMilliseconds / 86400000.0;
}

// Pixels of a list row that differ from its background: more for a bold name.
int Ink(HWND root, int row) {
  HWND list = forms::FindControl(root, "VolumesLB");
  RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  Pump();
  RECT rc{};
  SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rc));
  HDC dc = GetDC(list);
  COLORREF back = GetPixel(dc, rc.right - 2, rc.top + 1);
  int ink = 0;
  for (int y = rc.top + 1; y < rc.bottom - 1; ++y)
    for (int x = rc.left + 1; x < rc.right - 1; ++x) ink += GetPixel(dc, x, y) != back;
  ReleaseDC(list, dc);
  return ink;
}

class OptionsDialogTest : public ::testing::Test {
 protected:
  void TearDown() override {
    dialog.reset();
    Pump();
    registry.DeleteTree(RegRoot::CurrentUser, key);
    registry.DeleteTree(RegRoot::LocalMachine, key);
  }

  void Add(const TVolumeRec& rec) { volumes.push_back(std::make_unique<TVolumeRec>(rec)); }

  TfWLOptions& Create() {
    TOptionsEnv env;
    env.Owner = main.Handle();
    env.VolumeList = &volumes;
    env.Options = &options;
    env.Settings = &settings;
    env.Registry = &registry;
    env.Prompts = &prompts;
    env.ShowHelp = [this](int context) { helpContexts.push_back(context); };
    env.ZipKey = zipKey;
    env.ReadWarnDays = [this] { return warnDays; };
    env.WriteWarnDays = [this](int days) {
      writtenDays.push_back(days);
      return warnDaysWritable;
    };
    dialog = std::make_unique<TfWLOptions>(std::move(env));
    return *dialog;
  }

  // Runs the dialog with the steps inside its modal loop, then presses Close unless the steps
  // ended it. False when the dialog did not end.
  bool Run(std::vector<std::function<void(HWND)>> steps, bool closeAfter = true) {
    HWND h = dialog->Handle();
    g_next = 0;
    g_steps.clear();
    for (auto& step : steps) g_steps.push_back([h, step] { step(h); });
    if (closeAfter) g_steps.push_back([h] { Click(h, "CloseBTN"); });
    for (int i = 0; i < 20; ++i) g_steps.push_back([h] { PostMessageW(h, WM_CLOSE, 0, 0); });
    UINT_PTR timer = SetTimer(nullptr, 0, 30, RunStep);
    dialog->ShowModal();
    KillTimer(nullptr, timer);
    bool ended = g_next == steps.size() + (closeAfter ? 1 : 0);
    EXPECT_FALSE(IsWindowVisible(h));
    return ended;
  }
  bool Run(std::function<void(HWND)> body) {
    return Run(std::vector<std::function<void(HWND)>>{std::move(body)}, true);
  }

  std::optional<uint32_t> ZipValue() {
    auto k = registry.Open(RegRoot::LocalMachine, zipKey, false);
    uint32_t v = 0;
    if (!k || k->ReadDword("ZipShutdownEject", v) != winerr::Success) return std::nullopt;
    return v;
  }

  const std::string key =
      "\\Software\\Corvane\\TidewellOptions-" + std::to_string(GetCurrentProcessId());
  const std::string zipKey = key + "\\Iomega Corporation\\Extensions";
  testing::TStandInMain main;
  Win32Registry registry;
  TSettingsStore settings{registry, key};
  ScriptedPrompts prompts;
  TVolumeList volumes;
  TGeneralOptions options;
  std::vector<int> helpContexts;
  int warnDays = 7;
  bool warnDaysWritable = true;
  std::vector<int> writtenDays;
  std::unique_ptr<TfWLOptions> dialog;
};

TEST_F(OptionsDialogTest, ShowsItsControlsAndTheSelectedVolumesSchedule) {
  TVolumeRec docs = Vol("Docs");
  docs.IsDefault = true;
  docs.NoFinishMessage = true;
  TVolumeRec photos = Vol("Photos");
  photos.AutoRefresh = true;
  photos.Frequency = 2;
  photos.WeekDay = 4;
  photos.RefreshTime = 0.4375;  // 10:30
  Add(docs);
  Add(photos);
  options.LaunchOnStartup = false;
  options.RunAsTrayIcon = true;
  TfWLOptions& dlg = Create();
  HWND h = dlg.Handle();
  ASSERT_TRUE(h);

  EXPECT_EQ(forms::WindowText(h), "Tidewell Options...");
  EXPECT_FALSE(GetWindowLongW(h, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX));
  RECT client{};
  GetClientRect(h, &client);
  EXPECT_EQ(client.right, dlg.Scale(550));
  EXPECT_EQ(client.bottom, dlg.Scale(384));
  const std::pair<const char*, const char*> captions[] = {
      {"GeneralLBL", "General"},
      {"VolumesLBL", "Volumes"},
      {"LaunchCHB", "&Launch Tidewell on Windows start up"},
      {"TrayIconCHB", "&Run Tidewell as a Tray Icon"},
      {"EjectZipCHB", "Eject ZIP disks on shutdown"},
      {"DefaultCHB", "&Default Volume"},
      {"RefreshesCHB", "Automatic &Refresh"},
      {"AutomaticCB", "Show message when backup is finished"},
      {"FrequencyLBL", "&Frequency"},
      {"DaysLBL", "&Day"},
      {"TimeLBL", "&Time"},
      {"AddToContextMenuBTN", "Add selected volume to the &Context Menu"},
      {"BitBtn1", "&Help"},
      {"CloseBTN", "Close"}};
  for (const auto& [name, text] : captions) EXPECT_EQ(Text(h, name), text) << name;
  EXPECT_EQ(ComboItems(h, "FrequencyCB"),
            (std::vector<std::string>{"Once Every Day On Windows Startup", "Once Every Day",
                                      "Once Every Week"}));
  EXPECT_EQ(ComboItems(h, "DaysCB"),
            (std::vector<std::string>{"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday",
                                      "Friday", "Saturday"}));
  HWND list = forms::FindControl(h, "VolumesLB");
  EXPECT_EQ(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0), dlg.Scale(16));
  EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 2);

  ASSERT_TRUE(Run([&](HWND h) {
    RECT rc{};
    GetWindowRect(h, &rc);
    EXPECT_LE(std::abs((rc.left + rc.right) / 2 - GetSystemMetrics(SM_CXSCREEN) / 2), 1);
    EXPECT_LE(std::abs((rc.top + rc.bottom) / 2 - GetSystemMetrics(SM_CYSCREEN) / 2), 1);
    EXPECT_FALSE(IsWindowEnabled(main.Handle()));

    // The first volume, shown: default, no automatic refresh, no finish message.
    EXPECT_EQ(dlg.SelectedVolume, volumes[0].get());
    EXPECT_TRUE(Checked(h, "DefaultCHB"));
    EXPECT_FALSE(Checked(h, "RefreshesCHB"));
    EXPECT_FALSE(Checked(h, "AutomaticCB"));
    EXPECT_FALSE(Checked(h, "LaunchCHB"));
    EXPECT_FALSE(PickerTime(h).has_value());  // no time set: the picker's box is clear
    for (const char* on : {"DefaultCHB", "RefreshesCHB", "AddToContextMenuBTN", "VolumesLB"})
      EXPECT_TRUE(Enabled(h, on)) << on;
    for (const char* off : kScheduleControls) EXPECT_FALSE(Enabled(h, off)) << off;

    // A volume with automatic refresh after one without: the launch box follows, and so the
    // setting, as the dialog is showing.
    ClickRow(h, 1);
    EXPECT_EQ(dlg.SelectedVolume, volumes[1].get());
    EXPECT_FALSE(Checked(h, "DefaultCHB"));
    EXPECT_TRUE(Checked(h, "RefreshesCHB"));
    EXPECT_TRUE(Checked(h, "AutomaticCB"));
    EXPECT_TRUE(Checked(h, "LaunchCHB"));
    EXPECT_TRUE(options.LaunchOnStartup);
    EXPECT_EQ(ComboText(h, "FrequencyCB"), "Once Every Week");
    EXPECT_EQ(ComboText(h, "DaysCB"), "Wednesday");
    ASSERT_TRUE(PickerTime(h).has_value());
    EXPECT_NEAR(*PickerTime(h), 0.4375, 1e-9);
    for (const char* on : kScheduleControls) EXPECT_TRUE(Enabled(h, on)) << on;
    testing::SaveRunPicture(h, "OptionsDialog.bmp");

    // Automatic refresh off and on again: the schedule controls follow; the record too.
    ASSERT_TRUE(Click(h, "RefreshesCHB"));
    EXPECT_FALSE(volumes[1]->AutoRefresh);
    for (const char* off : kScheduleControls) EXPECT_FALSE(Enabled(h, off)) << off;
    ASSERT_TRUE(Click(h, "LaunchCHB"));
    EXPECT_FALSE(options.LaunchOnStartup);
    ASSERT_TRUE(Click(h, "RefreshesCHB"));
    EXPECT_TRUE(volumes[1]->AutoRefresh);
    EXPECT_TRUE(Checked(h, "LaunchCHB"));
    EXPECT_TRUE(options.LaunchOnStartup);
    for (const char* on : kScheduleControls) EXPECT_TRUE(Enabled(h, on)) << on;

    // Frequency by the keyboard: daily keeps the time, the day goes; weekly again starts on
    // Sunday; at start-up only the launch box is left, and it is checked.
    Key(h, "FrequencyCB", VK_UP);
    EXPECT_EQ(volumes[1]->Frequency, 1);
    EXPECT_EQ(volumes[1]->WeekDay, 1);
    EXPECT_TRUE(Enabled(h, "TimeDTP"));
    EXPECT_FALSE(Enabled(h, "DaysCB"));
    Key(h, "FrequencyCB", VK_DOWN);
    EXPECT_EQ(volumes[1]->Frequency, 2);
    EXPECT_EQ(volumes[1]->WeekDay, 1);
    EXPECT_EQ(ComboText(h, "DaysCB"), "Sunday");
    EXPECT_TRUE(Enabled(h, "DaysCB"));
    Key(h, "DaysCB", VK_DOWN);
    Key(h, "DaysCB", VK_DOWN);
    EXPECT_EQ(volumes[1]->WeekDay, 3);
    ASSERT_TRUE(Click(h, "LaunchCHB"));
    EXPECT_FALSE(options.LaunchOnStartup);
    Key(h, "FrequencyCB", VK_HOME);
    EXPECT_EQ(volumes[1]->Frequency, 0);
    EXPECT_TRUE(Checked(h, "LaunchCHB"));
    EXPECT_TRUE(options.LaunchOnStartup);
    EXPECT_FALSE(Enabled(h, "TimeDTP"));
    ASSERT_TRUE(Click(h, "AutomaticCB"));
    EXPECT_TRUE(volumes[1]->NoFinishMessage);

  }));
  EXPECT_TRUE(IsWindowEnabled(main.Handle()));
  EXPECT_EQ(prompts.Count(), 0u);
}

TEST_F(OptionsDialogTest, TheLaunchBoxFilledAtCreationLeavesTheSetting) {
  TVolumeRec daily = Vol("Daily");
  daily.AutoRefresh = true;
  daily.Frequency = 1;
  Add(daily);
  options.LaunchOnStartup = false;
  TfWLOptions& dlg = Create();
  ASSERT_TRUE(Run([&](HWND h) {
    EXPECT_TRUE(Checked(h, "RefreshesCHB"));
    // The stored setting wins over what filling the volume's boxes did to the launch box.
    EXPECT_FALSE(Checked(h, "LaunchCHB"));
  }));
  EXPECT_FALSE(options.LaunchOnStartup);
  (void)dlg;
}

TEST_F(OptionsDialogTest, TheWarningDaysShowTheStoredNumberAndStoreEachChangeAtOnce) {
  warnDays = 12;
  Create();
  auto type = [](HWND h, const wchar_t* text) {
    SetWindowTextW(forms::FindControl(h, "WarnDaysED"), text);
    Pump();
  };
  ASSERT_TRUE(Run([&](HWND h) {
    EXPECT_EQ(forms::driver::Text(h, "WarnDaysED"), "12");
    EXPECT_TRUE(writtenDays.empty()) << "showing the number is no change";
    type(h, L"");  // cleared to type another number: nothing stored yet
    type(h, L"0");
    type(h, L"30");
    // The arrows step it as typing does.
    SendMessageW(forms::FindControl(h, "WarnDaysUD"), UDM_SETPOS32, 0, 31);
    SendMessageW(h, WM_COMMAND,
                 MAKEWPARAM(GetDlgCtrlID(forms::FindControl(h, "WarnDaysED")), EN_CHANGE),
                 reinterpret_cast<LPARAM>(forms::FindControl(h, "WarnDaysED")));
    Pump();
    warnDaysWritable = false;
    type(h, L"5");
  }));
  EXPECT_EQ(writtenDays, (std::vector<int>{0, 30, 31, 5}));
  ASSERT_EQ(prompts.Count(), 1u);
  EXPECT_EQ(prompts.Last().text, "Failed to set data for 'OverdueWarnDays'");
}

TEST_F(OptionsDialogTest, TheTimePickerGivesTheTimeOfDayOrNone) {
  TVolumeRec timed = Vol("Timed");
  timed.AutoRefresh = true;
  timed.Frequency = 1;
  timed.RefreshTime = 0;
  Add(timed);
  TfWLOptions& dlg = Create();
  ASSERT_TRUE(Run([&](HWND h) {
    HWND box = PickerBox(h);
    ASSERT_TRUE(box) << "the picker has no check box of its own";
    EXPECT_NE(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    ASSERT_TRUE(Enabled(h, "TimeDTP"));
    // Checked as shown (midnight): a time, not "any time".
    SendMessageW(box, BM_CLICK, 0, 0);
    Pump();
    ASSERT_TRUE(PickerTime(h).has_value());
    EXPECT_GT(volumes[0]->RefreshTime, 0);
    EXPECT_LT(volumes[0]->RefreshTime, 1.0 / 86400);
    // An hour later by the keyboard, with the hour chosen by the mouse (Wine lays the fields
    // out from x = 18, after the box): the time of day only, whatever the picker's date.
    HWND picker = forms::FindControl(h, "TimeDTP");
    UpdateWindow(picker);
    RECT rc{};
    GetClientRect(picker, &rc);
    SendMessageW(picker, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(22, rc.bottom / 2));
    SendMessageW(picker, WM_LBUTTONUP, 0, MAKELPARAM(22, rc.bottom / 2));
    Key(h, "TimeDTP", VK_UP);
    ASSERT_TRUE(PickerTime(h).has_value());
    EXPECT_GT(*PickerTime(h), 0.001);
    EXPECT_NEAR(volumes[0]->RefreshTime, *PickerTime(h), 1e-9);
    EXPECT_LT(volumes[0]->RefreshTime, 1);
    // Cleared: any time of day.
    SendMessageW(box, BM_CLICK, 0, 0);
    Pump();
    EXPECT_FALSE(PickerTime(h).has_value());
    EXPECT_EQ(volumes[0]->RefreshTime, 0);
  }));
  (void)dlg;
}

TEST_F(OptionsDialogTest, ASecondDefaultTakesTheMarkAndTheListShowsItBold) {
  TVolumeRec docs = Vol("Docs");
  docs.IsDefault = true;
  Add(docs);
  Add(Vol("Docs2"));
  Create();
  ASSERT_TRUE(Run([&](HWND h) {
    HWND list = forms::FindControl(h, "VolumesLB");
    int plain = Ink(h, 1);
    ClickRow(h, 1);
    int selectedPlain = Ink(h, 1);
    ASSERT_TRUE(Click(h, "DefaultCHB"));
    EXPECT_TRUE(GetUpdateRect(list, nullptr, FALSE)) << "the list is not redrawn";
    EXPECT_TRUE(volumes[1]->IsDefault);
    EXPECT_FALSE(volumes[0]->IsDefault);
    EXPECT_GT(Ink(h, 1), selectedPlain);  // the new default is bold
    ClickRow(h, 0);
    EXPECT_FALSE(Checked(h, "DefaultCHB"));
    EXPECT_GT(Ink(h, 1), plain);
  }));
}

TEST_F(OptionsDialogTest, ContextMenuMarkHelpAndTheWaysOut) {
  Add(Vol("Docs"));
  Add(Vol("Photos"));
  Create();
  const std::string menuKey = key + "\\ContextMenu";
  HWND tray = nullptr;
  ASSERT_TRUE(Run({[&](HWND h) {
                     ClickRow(h, 1);
                     ASSERT_TRUE(Click(h, "AddToContextMenuBTN"));
                     ASSERT_TRUE(Click(h, "AddToContextMenuBTN"));
                     // Enter goes to Help, wherever the focus is (here on a check box).
                     tray = forms::FindControl(h, "TrayIconCHB");
                     SetFocus(tray);
                     PostMessageW(tray, WM_KEYDOWN, VK_RETURN, 1);
                   },
                   [&](HWND h) {
                     EXPECT_EQ(helpContexts, std::vector<int>{200});
                     EXPECT_TRUE(IsWindowVisible(h)) << "Enter closed the dialog";
                     EXPECT_TRUE(Checked(h, "TrayIconCHB")) << "Enter went to the box";
                     // Esc: closes, keeping every change.
                     PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
                   }},
                  false));
  auto marks = registry.Open(RegRoot::CurrentUser, menuKey, false);
  ASSERT_TRUE(marks);
  EXPECT_EQ(marks->ValueNames(), std::vector<std::string>{"Photos"});
  std::string data = "x";
  EXPECT_EQ(marks->ReadString("Photos", data), winerr::Success);
  EXPECT_EQ(data, "");
  // The close box and the Close button end it too, and it can be shown again.
  EXPECT_TRUE(Run({[&](HWND h) { PostMessageW(h, WM_CLOSE, 0, 0); }}, false));
  EXPECT_TRUE(Run([&](HWND) {}));
  EXPECT_EQ(prompts.Count(), 0u);
}

TEST_F(OptionsDialogTest, WithoutVolumesOnlyTheGeneralOptionsWork) {
  options.RunAsTrayIcon = false;
  Create();
  ASSERT_TRUE(Run([&](HWND h) {
    EXPECT_EQ(dialog->SelectedVolume, nullptr);
    for (const char* off : {"DefaultCHB", "RefreshesCHB", "AddToContextMenuBTN"})
      EXPECT_FALSE(Enabled(h, off)) << off;
    for (const char* off : kScheduleControls) EXPECT_FALSE(Enabled(h, off)) << off;
    EXPECT_FALSE(Click(h, "RefreshesCHB"));
    ClickRow(h, 0);
    EXPECT_EQ(dialog->SelectedVolume, nullptr);
    EXPECT_FALSE(Checked(h, "TrayIconCHB"));
    ASSERT_TRUE(Click(h, "TrayIconCHB"));
    EXPECT_TRUE(options.RunAsTrayIcon);
    ASSERT_TRUE(Click(h, "LaunchCHB"));
    EXPECT_TRUE(options.LaunchOnStartup);
  }));
}

TEST_F(OptionsDialogTest, EjectZipFlipsTheVendorsValueAndSaysWhenItCannot) {
  // No value: unchecked, and the key is made, as the vendor's software would have it.
  Create();
  ASSERT_TRUE(Run([&](HWND h) {
    EXPECT_FALSE(Checked(h, "EjectZipCHB"));
    EXPECT_FALSE(ZipValue().has_value());
    ASSERT_TRUE(Click(h, "EjectZipCHB"));
  }));
  EXPECT_EQ(ZipValue(), 1u);
  {
    auto k = registry.Open(RegRoot::LocalMachine, zipKey, false);
    ASSERT_TRUE(k);
    EXPECT_EQ(k->TypeOf("ZipShutdownEject"), RegType::Dword);
  }

  // On: checked; off again writes 0. Then the key goes while the dialog holds it: the write
  // fails, the user is told, and the box keeps what the user chose.
  Create();
  ASSERT_TRUE(Run([&](HWND h) {
    EXPECT_TRUE(Checked(h, "EjectZipCHB"));
    ASSERT_TRUE(Click(h, "EjectZipCHB"));
    EXPECT_EQ(ZipValue(), 0u);
    ASSERT_TRUE(Click(h, "EjectZipCHB"));
    EXPECT_EQ(ZipValue(), 1u);
    EXPECT_EQ(prompts.Count(), 0u);
    ASSERT_EQ(registry.DeleteTree(RegRoot::LocalMachine, zipKey), winerr::Success);
    ASSERT_TRUE(Click(h, "EjectZipCHB"));
    ASSERT_EQ(prompts.Count(), 1u);
    EXPECT_EQ(prompts.Last().text, "Failed to set data for 'ZipShutdownEject'");
    EXPECT_EQ(prompts.Last().caption, "Tidewell");
    EXPECT_EQ(prompts.Last().flags, mb::Ok | mb::IconError);
    EXPECT_FALSE(Checked(h, "EjectZipCHB"));
    EXPECT_TRUE(IsWindowEnabled(h));
  }));
  EXPECT_FALSE(ZipValue().has_value());
}

// Through the main window: the timer is stopped while the dialog shows, the help names the
// missing file, and the default volume is written when it closes.
class OptionsFromMainWindowTest : public testing::MainWindowFixture {};

TEST_F(OptionsFromMainWindowTest, OptionsButtonRunsTheDialogAndWritesTheDefaultAfter) {
  TVolumeRec docs = testing::Volume("Docs", "D:\\Docs\\", false, true);
  TVolumeRec photos = testing::Volume("Photos", "D:\\Photos\\", false);
  WriteVolumes({docs, photos});
  HWND main = Start();
  ASSERT_TRUE(main);
  bool timerDuring = true, mainEnabledDuring = true, ran = false;
  g_next = 0;
  g_steps = {[&] {
    HWND dlg = forms::FindControl(FindWindowW(L"TfWLOptions", nullptr), "fWLOptions");
    ASSERT_TRUE(dlg);
    ran = true;
    timerDuring = form->RefreshTimerRunning();
    mainEnabledDuring = IsWindowEnabled(main);
    EXPECT_EQ(GetWindow(dlg, GW_OWNER), main);
    ASSERT_TRUE(Click(dlg, "BitBtn1"));
    ClickRow(dlg, 1);
    ASSERT_TRUE(Click(dlg, "DefaultCHB"));
    Click(dlg, "CloseBTN");
  }};
  for (int i = 0; i < 20; ++i)
    g_steps.push_back([] { PostMessageW(FindWindowW(L"TfWLOptions", nullptr), WM_CLOSE, 0, 0); });
  UINT_PTR timer = SetTimer(nullptr, 0, 30, RunStep);
  ASSERT_TRUE(Click(main, "OptionsBTN"));
  KillTimer(nullptr, timer);
  ASSERT_TRUE(ran);
  EXPECT_FALSE(timerDuring);
  EXPECT_FALSE(mainEnabledDuring);
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_TRUE(form->RefreshTimerRunning());
  ASSERT_EQ(prompts.Count(), 1u) << Texts();
  EXPECT_EQ(prompts.Last().text,
            std::string("The help file ") + testing::kFixtureAppDir + "TIDEWELL.HLP could not be found.");
  auto stored = registry.Value(RegRoot::CurrentUser, testing::kFixtureKey, "DefaultVolume");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->text, "Photos");
  EXPECT_FALSE(form->VolumeList[0]->IsDefault);
}

}  // namespace
}  // namespace tw
