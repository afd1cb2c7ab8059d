// The start-up shortcut follows LaunchOnStartup: made when missing, never rewritten, deleted
// when switched off, and no failure of the shell gets out.
#include <gtest/gtest.h>

#include "engine/startup.h"
#include "platform/memory/MemoryStartupShortcuts.h"

namespace tw {
namespace {

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
