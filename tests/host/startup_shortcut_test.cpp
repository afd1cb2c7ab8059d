// Start-up and session end without a window: the log-on argument, which closes end the program,
// and the start-up shortcut, which follows LaunchOnStartup: made when missing, never rewritten,
// deleted when switched off, and no failure of the shell gets out.
#include <gtest/gtest.h>

#include <memory>

#include "engine/startup.h"
#include "platform/memory/MemoryStartupShortcuts.h"

namespace tw {
namespace {

TEST(StartupAndSessionEnd, LogOnArgumentAndWhichClosesEndTheProgram) {
  EXPECT_TRUE(IsWinStart({"/WINSTART"}));
  EXPECT_TRUE(IsWinStart({"/winstart", "more"}));
  EXPECT_TRUE(IsWinStart({"/WinStart"}));
  EXPECT_FALSE(IsWinStart({}));
  EXPECT_FALSE(IsWinStart({"x", "/WINSTART"})) << "the first argument only";
  EXPECT_FALSE(IsWinStart({"/WINSTARTX"}));
  EXPECT_FALSE(IsWinStart({"WINSTART"}));

  TVolumeList none, startUpOnly, weekly;
  auto add = [](TVolumeList& list, int frequency, bool on) {
    auto v = std::make_unique<TVolumeRec>();
    v->Name = "V" + std::to_string(list.size());
    v->AutoRefresh = on;
    v->Frequency = frequency;
    v->WeekDay = 2;
    list.push_back(std::move(v));
  };
  add(startUpOnly, 0, true);
  add(startUpOnly, 1, false);  // timed, but its refresh is off
  add(weekly, 0, true);
  add(weekly, 2, true);
  for (bool exitRequested : {false, true})
    for (bool tray : {false, true}) {
      SCOPED_TRACE(::testing::Message() << exitRequested << tray);
      EXPECT_TRUE(CloseEndsProgram(exitRequested, tray, none, false));
      EXPECT_TRUE(CloseEndsProgram(exitRequested, tray, startUpOnly, false));
      // Only a close the user did not ask for, in the tray, with a timed refresh pending stays.
      EXPECT_EQ(CloseEndsProgram(exitRequested, tray, weekly, false), exitRequested || !tray);
      EXPECT_TRUE(CloseEndsProgram(exitRequested, tray, weekly, true))
          << "switched off, nothing timed is left to stay for";
    }
}

constexpr char kProgram[] = "C:\\Program Files\\Tidewell\\Tidewell.exe";

TEST(StartupShortcut, MadeWhenMissingKeptWhenThereDeletedWhenOff) {
  MemoryStartupShortcuts shell;
  const std::string link = shell.Folder + "\\Tidewell.lnk";

  EXPECT_EQ(UpdateStartupShortcut(shell, true, kProgram), TShortcutEnd::Created);
  ASSERT_EQ(shell.Links.count(link), 1u);
  EXPECT_EQ(shell.Links[link].Target, kProgram);
  EXPECT_EQ(shell.Links[link].Arguments, "/WINSTART");
  EXPECT_EQ(shell.Links[link].Description, "Tidewell");

  // The user's own changes to an existing link stay.
  shell.Links[link].Arguments = "/WINSTART /other";
  EXPECT_EQ(UpdateStartupShortcut(shell, true, "C:\\Elsewhere\\Tidewell.exe"), TShortcutEnd::Kept);
  EXPECT_EQ(shell.Links[link].Arguments, "/WINSTART /other");
  EXPECT_EQ(shell.Links[link].Target, kProgram);
  EXPECT_EQ(shell.Creates, 1);

  EXPECT_EQ(UpdateStartupShortcut(shell, false, kProgram), TShortcutEnd::Deleted);
  EXPECT_TRUE(shell.Links.empty());
  // Off again with nothing there: no error.
  EXPECT_EQ(UpdateStartupShortcut(shell, false, kProgram), TShortcutEnd::Deleted);

  // A folder that already ends with a backslash gets no second one.
  shell.Folder = "C:\\Startup\\";
  EXPECT_EQ(UpdateStartupShortcut(shell, true, kProgram), TShortcutEnd::Created);
  EXPECT_EQ(shell.Links.count("C:\\Startup\\Tidewell.lnk"), 1u);
}

TEST(StartupShortcut, FailuresOfTheShellAreSwallowed) {
  MemoryStartupShortcuts shell;
  shell.FailFolder = true;
  EXPECT_EQ(UpdateStartupShortcut(shell, true, kProgram), TShortcutEnd::Failed);
  EXPECT_EQ(UpdateStartupShortcut(shell, false, kProgram), TShortcutEnd::Failed);
  EXPECT_EQ(shell.Creates + shell.Deletes, 0) << "no folder, no file touched";
  shell.FailFolder = false;
  shell.Folder.clear();
  EXPECT_EQ(UpdateStartupShortcut(shell, true, kProgram), TShortcutEnd::Failed);
  EXPECT_EQ(shell.Creates, 0) << "an empty folder must not put the link in the current folder";

  shell.Folder = "C:\\Startup";
  shell.FailCreate = true;
  EXPECT_EQ(UpdateStartupShortcut(shell, true, kProgram), TShortcutEnd::Failed);
  shell.FailCreate = false;
  shell.ThrowOnCreate = true;
  EXPECT_EQ(UpdateStartupShortcut(shell, true, kProgram), TShortcutEnd::Failed);
  EXPECT_TRUE(shell.Links.empty());

  shell.ThrowOnCreate = false;
  ASSERT_EQ(UpdateStartupShortcut(shell, true, kProgram), TShortcutEnd::Created);
  shell.FailDelete = true;
  EXPECT_EQ(UpdateStartupShortcut(shell, false, kProgram), TShortcutEnd::Failed);
  EXPECT_EQ(shell.Links.size(), 1u);
}

}  // namespace
}  // namespace tw
