// The automatic refresh in the real main window: the start-up check during creation, the
// timer's check, and the window given back as it was found.
#include "platform/memory/FakeClock.h"
#include "tests/gui/MainWindowFixture.h"

namespace tw::testing {
namespace {

class AutoRefreshWindowTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    fakeClock.SetLocal(2024, 3, 5, 12, 0);
    clock = &fakeClock;
  }
  std::string Done(const std::string& name, int changed, int checked) {
    return AutoRefreshFinishedText(name, changed, checked);
  }
  FakeClock fakeClock;
};

TEST_F(AutoRefreshWindowTest, StartUpCheckRunsDuringCreationAndStartsTheTimer) {
  WriteVolumes({Scheduled("Docs", 0), Volume("Plain", "D:\\Plain\\", true)});
  HWND main = Start();
  ASSERT_EQ(prompts.Records().size(), 1u) << Texts();
  EXPECT_EQ(prompts.Records()[0].text, Done("Docs", 1, 1));
  EXPECT_EQ(fs.Contents("D:\\Docs\\From Drive C\\Docs\\f.txt"), "data");
  EXPECT_EQ(form->VolumeList[0]->LastRefresh, fakeClock.Now());
  EXPECT_TRUE(form->RefreshTimerRunning());
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_TRUE(IsWindowEnabled(main));
  // Ticks never refresh a start-up volume.
  fakeClock.SetLocal(2024, 3, 6, 12, 0);
  form->RefreshTimerTimer();
  EXPECT_EQ(prompts.Records().size(), 1u) << Texts();
}

TEST_F(AutoRefreshWindowTest, TheWindowEndsAsItWasFoundAndABusyWindowIsLeftAlone) {
  WriteVolumes({Scheduled("Docs", 1)});
  HWND main = Start();
  // A daily volume without a time is refreshed by the start-up check as well.
  ASSERT_EQ(prompts.Records().size(), 1u) << Texts();

  struct Case {
    int show;
    bool visible, iconic;
  } cases[] = {  // hidden while minimised stays minimised
      {SW_MINIMIZE, true, true}, {SW_HIDE, false, true}, {SW_RESTORE, true, false}};
  int day = 6;
  for (const Case& c : cases) {
    ShowWindow(main, c.show);
    forms::driver::Pump();
    fakeClock.SetLocal(2024, 3, day++, 9, 0);
    const size_t before = prompts.Records().size();
    form->RefreshTimerTimer();
    forms::driver::Pump();
    EXPECT_EQ(prompts.Records().size(), before + 1) << c.show;
    EXPECT_EQ(IsWindowVisible(main) != FALSE, c.visible) << c.show;
    EXPECT_EQ(IsIconic(main) != FALSE, c.iconic) << c.show;
    EXPECT_TRUE(IsWindowEnabled(main));
    EXPECT_TRUE(form->RefreshTimerRunning());
  }

  // A modal dialog or an operation has the window disabled: the tick waits for the next one.
  fakeClock.SetLocal(2024, 3, day, 9, 0);
  EnableWindow(main, FALSE);
  const size_t before = prompts.Records().size();
  form->RefreshTimerTimer();
  EXPECT_EQ(prompts.Records().size(), before);
  EnableWindow(main, TRUE);
  form->RefreshTimerTimer();
  EXPECT_EQ(prompts.Records().size(), before + 1);
}


TEST_F(AutoRefreshWindowTest, SessionEndRefreshesWhatIsDueWithoutABoxAndSavesTheNewDate) {
  TVolumeRec docs = Scheduled("Docs", 1);
  docs.RefreshTime = 13.0 / 24;
  WriteVolumes({docs});
  HWND main = Start();
  EXPECT_TRUE(prompts.Records().empty()) << Texts();

  // A sign-out that is cancelled leaves the next close an ordinary one.
  EXPECT_EQ(SendMessageW(main, WM_QUERYENDSESSION, 0, 0), TRUE);
  EXPECT_TRUE(form->ExitRequested);
  SendMessageW(main, WM_ENDSESSION, FALSE, 0);
  EXPECT_FALSE(form->ExitRequested);

  fakeClock.SetLocal(2024, 3, 5, 13, 30);
  SendMessageW(main, WM_QUERYENDSESSION, 0, 0);
  SendMessageW(main, WM_ENDSESSION, TRUE, 0);
  EXPECT_TRUE(prompts.Records().empty()) << Texts();
  EXPECT_EQ(fs.Contents("D:\\Docs\\From Drive C\\Docs\\f.txt"), "data");
  const auto file = fs.Contents(std::string(kFixtureAppDir) + "VOLUMES.TWB");
  ASSERT_TRUE(file);
  TValueReader reader(*file);
  TVolumeRec saved;
  ASSERT_TRUE(ReadVolumeRec(reader, saved));
  EXPECT_EQ(saved.LastRefresh, fakeClock.Now());
}

}  // namespace
}  // namespace tw::testing
