// The main window driven through its named controls, on the in-memory platform.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include "app/WLMain.h"
#include "app/WLMainPage.h"
#include "app/forms/Forms.h"
#include "engine/settings.h"
#include "engine/volumes.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/ScriptedPrompts.h"
#include "tests/gui/MainWindowFixture.h"

namespace tw {
namespace {

using forms::driver::Click;
using forms::driver::Enabled;
using forms::driver::Pump;
using forms::driver::Text;
using forms::driver::Visible;

const char* const kAppDir = testing::kFixtureAppDir;
const char* const kTestKey = testing::kFixtureKey;
using testing::Volume;

class MainWindowTest : public testing::MainWindowFixture {};

TEST_F(MainWindowTest, FirstRunOffersOnlyBackupOptionsAndEndSession) {
  HWND main = Start();
  EXPECT_EQ(forms::WindowText(main), "Tidewell");
  EXPECT_EQ(Text(main, "CaptionST"), "Tidewell Gateway");
  EXPECT_TRUE(Visible(main, "MainTS"));
  for (const char* page : {"VolumeTS", "VolumeInfoTS", "AddTS", "RestoreTS", "DeleteTS",
                           "RefreshTS", "OrphanedRestoreTS"})
    EXPECT_FALSE(Visible(main, page)) << page;

  EXPECT_EQ(Text(main, "BackupBTN"), "&Create Backup");
  EXPECT_EQ(Text(main, "OptionsLBL"), "Set global options for backup sets.");
  // Restore stays open: the orphaned restore, for folders not in the list, is reached by it.
  for (const char* on : {"BackupBTN", "RestoreBTN", "ExitBTN", "OptionsBTN"})
    EXPECT_TRUE(Enabled(main, on)) << on;
  for (const char* off : {"DeleteBTN", "RefreshBTN", "OpenVolumeBTN"})
    EXPECT_FALSE(Enabled(main, off)) << off;
  EXPECT_FALSE(Click(main, "DeleteBTN"));  // a disabled button cannot be pressed
  EXPECT_EQ(form->WizardMode, 0);

  // Create Backup leads to the Add page; Back returns to the Main page.
  ASSERT_TRUE(Click(main, "BackupBTN"));
  EXPECT_EQ(form->WizardMode, 1);
  EXPECT_TRUE(Visible(main, "AddTS"));
  EXPECT_EQ(Text(main, "CaptionST"), "Select files to backup...");
  EXPECT_EQ(Text(main, "NextVolumeBTN"), "Fi&nish");
  EXPECT_EQ(Text(main, "NextAddBTN"), "&Next");
  ASSERT_TRUE(Click(main, "BackAddBTN"));
  EXPECT_TRUE(Visible(main, "MainTS"));
  EXPECT_TRUE(prompts.Records().empty());

  // The status bar shows one panel on the Main page and two elsewhere.
  HWND status = forms::FindControl(main, "StatusBar");
  EXPECT_EQ(SendMessageW(status, SB_GETPARTS, 0, 0), 1);
}

TEST_F(MainWindowTest, LoadedVolumesFillTheListAndTheLaterQualifyingRowIsSelected) {
  WriteVolumes({Volume("Docs", "C:\\Backup\\Docs\\", true, true),
                Volume("Mail", "C:\\Backup\\Mail\\", false),
                Volume("Photos", "C:\\Backup\\Photos\\", true)});
  {
    auto key = registry.Open(RegRoot::CurrentUser, std::string(kTestKey) + "\\Options", true);
    ASSERT_TRUE(key);
    key->WriteString("LastVolumeOpened", "photos");
  }
  HWND main = Start();
  for (const char* on : {"RestoreBTN", "DeleteBTN", "RefreshBTN", "OpenVolumeBTN"})
    EXPECT_TRUE(Enabled(main, on)) << on;

  ASSERT_EQ(ListView_GetItemCount(List()), 3);
  EXPECT_EQ(RowText(1, 0), "Mail");
  EXPECT_EQ(RowText(1, 1), "C:\\Backup\\Mail\\");
  LVITEMW item{};
  item.mask = LVIF_IMAGE;
  item.iItem = 0;
  ASSERT_TRUE(ListView_GetItem(List(), &item));
  EXPECT_EQ(item.iImage, 2);
  // Docs is the default, Photos the last opened: the later row wins.
  EXPECT_EQ(form->SelectedVolumeIndex(), 2);
  EXPECT_EQ(ListView_GetSelectedCount(List()), 1u);
  HWND header = ListView_GetHeader(List());
  EXPECT_EQ(Header_GetItemCount(header), 2);
}

TEST_F(MainWindowTest, VolumePageRefusesWhatTheOperationCannotUse) {
  fs.MakeDirs("C:\\Backup\\Docs");
  WriteVolumes({Volume("Docs", "C:\\Backup\\Docs\\", true),
                Volume("Flat", "C:\\Backup\\Docs\\", false),
                Volume("Gone", "C:\\Backup\\Gone\\", true)});
  HWND main = Start();
  ASSERT_TRUE(Click(main, "RestoreBTN"));
  EXPECT_TRUE(Visible(main, "VolumeTS"));
  EXPECT_EQ(Text(main, "CaptionST"), "Select Volume...");
  EXPECT_EQ(Text(main, "NextVolumeBTN"), "&Next");

  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  ASSERT_EQ(prompts.Records().size(), 1u);
  EXPECT_EQ(prompts.Records()[0].text, "Please select a volume to perform the operation on.");
  EXPECT_EQ(prompts.Records()[0].caption, "Tidewell");
  EXPECT_EQ(prompts.Records()[0].flags, mb::Ok | mb::IconInformation);

  auto select = [&](int row) {
    ListView_SetItemState(List(), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  };
  select(1);
  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  ASSERT_EQ(prompts.Records().size(), 2u);
  EXPECT_EQ(prompts.Records()[1].text,
            "Cannot perform action on this volume because it is a volume which does not contain "
            "separate folders for drives");
  EXPECT_EQ(prompts.Records()[1].flags, mb::Ok | mb::IconError);

  select(2);
  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  ASSERT_EQ(prompts.Records().size(), 3u);
  EXPECT_EQ(prompts.Records()[2].text, "Cannot continue as this path does not exist");
  EXPECT_TRUE(Visible(main, "VolumeTS"));

  // The missing path is refused for a delete and an opened volume too, but accepted for a
  // refresh, which goes on to the Add page with its own caption.
  for (const char* mode : {"DeleteBTN", "OpenVolumeBTN"}) {
    ASSERT_TRUE(Click(main, "BackVolumeBTN"));
    ASSERT_TRUE(Click(main, mode));
    select(2);
    ASSERT_TRUE(Click(main, "NextVolumeBTN"));
    EXPECT_EQ(prompts.Last().text, "Cannot continue as this path does not exist") << mode;
    EXPECT_TRUE(Visible(main, "VolumeTS")) << mode;
  }
  size_t shown = prompts.Records().size();
  ASSERT_TRUE(Click(main, "BackVolumeBTN"));
  ASSERT_TRUE(Click(main, "RefreshBTN"));
  select(2);
  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  EXPECT_EQ(prompts.Records().size(), shown);
  EXPECT_EQ(form->CurrentVolume, form->VolumeList[2].get());
  EXPECT_TRUE(Visible(main, "AddTS"));
  EXPECT_EQ(Text(main, "CaptionST"), "Select files to backup/refresh...");
  EXPECT_EQ(Text(main, "NextAddBTN"), "Fi&nish");

  // Opening a volume goes on to its contents and names it in the title.
  ASSERT_TRUE(Click(main, "BackAddBTN"));
  ASSERT_TRUE(Click(main, "BackVolumeBTN"));
  ASSERT_TRUE(Click(main, "OpenVolumeBTN"));
  select(0);
  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  EXPECT_TRUE(Visible(main, "VolumeInfoTS"));
  EXPECT_EQ(forms::WindowText(main), "Tidewell - Docs (C:\\Backup\\Docs\\)");
  EXPECT_EQ(form->Options.LastVolumeName, "Docs");
  EXPECT_FALSE(Visible(main, "NextContentsBTN"));  // Browse mode
  ASSERT_TRUE(Click(main, "BackContentsBTN"));
  ASSERT_TRUE(Click(main, "BackVolumeBTN"));
  EXPECT_EQ(forms::WindowText(main), "Tidewell");
}

TEST_F(MainWindowTest, EmptyVolumeListRefusesNext) {
  HWND main = Start();
  form->MainPage().OpenVolumeBTNClick();  // the button is disabled; the handler itself must still cope
  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  ASSERT_EQ(prompts.Records().size(), 1u);
  EXPECT_EQ(prompts.Records()[0].text,
            "There are no volumes created. Please create and select a volume before clicking on "
            "the Next button.");
}

TEST_F(MainWindowTest, ClosingWritesSettingsPlacementPathAndVolumeFile) {
  WriteVolumes({Volume("Docs", "C:\\Backup\\Docs\\", true, true)});
  std::string before = *fs.Contents(std::string(kAppDir) + "VOLUMES.TWB");
  {
    auto key = registry.Open(RegRoot::CurrentUser, std::string(kTestKey) + "\\Options", true);
    key->WriteString("LastVolumeOpened", "docs");
    key->WriteDword("LaunchOnStartup", 1);
  }
  Start();
  Close();
  EXPECT_EQ(form->Handle(), nullptr);

  auto options = registry.Open(RegRoot::CurrentUser, std::string(kTestKey) + "\\Options", false);
  ASSERT_TRUE(options);
  uint32_t value = 99;
  EXPECT_EQ(options->ReadDword("LaunchOnStartup", value), 0u);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(options->ReadDword("RunAsTrayIcon", value), 0u);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(options->ReadDword("DisableAutoRefresh", value), 0u);
  EXPECT_EQ(value, 0u);
  std::string last;
  EXPECT_EQ(options->ReadString("LastVolumeOpened", last), 0u);
  EXPECT_EQ(last, "DOCS");  // no volume was opened: the upper-case form read at start

  auto window = registry.Open(RegRoot::CurrentUser, std::string(kTestKey) + "\\Window", false);
  ASSERT_TRUE(window);
  std::vector<uint8_t> state;
  EXPECT_EQ(window->ReadBinary("State", state), 0u);
  EXPECT_EQ(state.size(), 44u);

  auto appPath = registry.Open(RegRoot::LocalMachine, std::string(kTestKey) + "\\AppPath", false);
  ASSERT_TRUE(appPath);
  std::string path;
  EXPECT_EQ(appPath->ReadString("", path), 0u);
  EXPECT_EQ(path, std::string(kAppDir) + "Tidewell.exe");

  EXPECT_EQ(*fs.Contents(std::string(kAppDir) + "VOLUMES.TWB"), before);
  EXPECT_TRUE(prompts.Records().empty());
}

TEST_F(MainWindowTest, EndOfTheWindowsSessionWritesEverythingOnce) {
  WriteVolumes({Volume("Docs", "C:\\Backup\\Docs\\", true, true)});
  HWND main = Start();
  form->VolumeList.push_back(std::make_unique<TVolumeRec>(Volume("Mail", "C:\\Mail\\", false)));
  EXPECT_EQ(SendMessageW(main, WM_QUERYENDSESSION, 0, 0), TRUE);
  EXPECT_TRUE(form->ExitRequested);
  SendMessageW(main, WM_ENDSESSION, TRUE, 0);
  TVolumeStore reread(fs, prompts, kAppDir);
  reread.Load("");
  ASSERT_EQ(reread.VolumeList.size(), 2u);
  EXPECT_EQ(reread.VolumeList[1]->Name, "Mail");
  EXPECT_TRUE(registry.Open(RegRoot::CurrentUser, std::string(kTestKey) + "\\Window", false));

  // A close that still arrives does not write a second time over what was saved.
  form->VolumeList.clear();
  Close();
  TVolumeStore after(fs, prompts, kAppDir);
  after.Load("");
  EXPECT_EQ(after.VolumeList.size(), 2u);
}

TEST_F(MainWindowTest, StoredPlacementIsRestoredWithoutItsShowCommand) {
  TWindowPlacement stored;
  stored.showCmd = SW_SHOWMAXIMIZED;
  stored.rcNormalPosition = {40, 50, 840, 690};
  {
    auto key = registry.Open(RegRoot::CurrentUser, std::string(kTestKey) + "\\Window", true);
    key->WriteBinary("State", EncodePlacement(stored));
  }
  HWND main = Start();
  EXPECT_FALSE(IsZoomed(main));
  EXPECT_TRUE(IsWindowVisible(main));
  WINDOWPLACEMENT wp{};
  wp.length = sizeof(wp);
  ASSERT_TRUE(GetWindowPlacement(main, &wp));
  EXPECT_EQ(wp.rcNormalPosition.left, 40);
  EXPECT_EQ(wp.rcNormalPosition.top, 50);
  EXPECT_EQ(wp.rcNormalPosition.right, 840);
  EXPECT_EQ(wp.rcNormalPosition.bottom, 690);
}

TEST_F(MainWindowTest, LayoutFollowsTheWindowSizeAndStopsAtTheMinimum) {
  HWND main = Start();
  MINMAXINFO info{};
  SendMessageW(main, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, 700);
  EXPECT_EQ(info.ptMinTrackSize.y, 578);

  SetWindowPos(main, nullptr, 0, 0, 900, 700, SWP_NOZORDER | SWP_NOMOVE);
  Pump();
  RECT client{};
  GetClientRect(main, &client);
  auto leftIn = [&](const char* name) {
    RECT rc{};
    HWND hwnd = forms::FindControl(main, name);
    GetWindowRect(hwnd, &rc);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
  };
  EXPECT_EQ(leftIn("BackVolumeBTN").left, client.right - 178);
  EXPECT_EQ(leftIn("NextVolumeBTN").left, client.right - 98);
  RECT list = leftIn("VolumeListLV");
  EXPECT_EQ(list.right - list.left, client.right - 320);
  EXPECT_EQ(list.bottom - list.top, client.bottom - 330);
}

TEST_F(MainWindowTest, LogOnStartEndsOnceStartUpIsDone) {
  WriteVolumes({Volume("Docs", "C:\\Backup\\Docs\\", true)});
  Start({"/winstart"});
  EXPECT_TRUE(form->WinStart);
  Pump();
  EXPECT_EQ(form->Handle(), nullptr);
  EXPECT_TRUE(fs.Exists(std::string(kAppDir) + "VOLUMES.TWB"));
}

}  // namespace
}  // namespace tw
