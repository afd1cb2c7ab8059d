// The file conflict dialog as a real window over real files: its text, its buttons, and that
// only Delete and Rename touch the disk.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "app/WLFileConfirm.h"
#include "app/forms/Forms.h"
#include "platform/memory/ScriptedPrompts.h"
#include "platform/win32/Win32FileSystem.h"
#include "tests/gui/BackupHarness.h"
#include "tests/gui/WindowPicture.h"
#include "tests/win/RealFiles.h"

namespace tw {
namespace {

using forms::driver::Click;
using forms::driver::Pump;
using forms::driver::Text;

std::vector<std::function<void()>> g_steps;
size_t g_next = 0;
void CALLBACK RunStep(HWND, UINT, UINT_PTR, DWORD) {
  if (g_next < g_steps.size()) g_steps[g_next++]();
}

class FileConfirmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs.TempFolder() + "tw-file-confirm\\";
    test::RemoveTree(fs, dir.substr(0, dir.size() - 1));
    ASSERT_EQ(fs.MakeDirPath(dir), winerr::Success);
  }
  void TearDown() override {
    Pump();
    test::RemoveTree(fs, dir.substr(0, dir.size() - 1));
  }
  // Runs the dialog with one step inside its modal loop (and a way out should the step fail).
  TfWLFileConfirm::TModalResult Run(TfWLFileConfirm& dlg, std::function<void()> step) {
    g_next = 0;
    g_steps = {std::move(step)};
    for (int i = 0; i < 40; ++i)
      g_steps.push_back([&dlg] { Click(dlg.Handle(), "CancelBTN"); });
    UINT_PTR timer = SetTimer(nullptr, 0, 50, RunStep);
    auto result = dlg.ShowModal();
    KillTimer(nullptr, timer);
    return result;
  }
  std::string Read(const std::string& path) {
    std::string data;
    return fs.ReadAll(path, data) == winerr::Success ? data : "<missing>";
  }

  testing::TStandInMain main;
  Win32FileSystem fs;
  ScriptedPrompts prompts;
  std::string dir;
};

TEST_F(FileConfirmTest, AsksAboutTheFileAndOnlyDeleteAndRenameTouchIt) {
  ASSERT_EQ(fs.WriteAtomic(dir + "Office.TWS", "old"), winerr::Success);
  ASSERT_EQ(fs.WriteAtomic(dir + "Office.TWS.BAK", "older"), winerr::Success);
  EnableWindow(main.Handle(), TRUE);
  TfWLFileConfirm dlg(main.Handle(), fs, prompts, dir);
  HWND h = dlg.Handle();
  ASSERT_TRUE(h);
  EXPECT_EQ(forms::WindowText(h), "Tidewell");
  EXPECT_FALSE(GetWindowLongW(h, GWL_STYLE) & WS_THICKFRAME);
  MENUITEMINFOW close{};
  close.cbSize = sizeof(close);
  close.fMask = MIIM_STATE;
  ASSERT_TRUE(GetMenuItemInfoW(GetSystemMenu(h, FALSE), SC_CLOSE, FALSE, &close));
  EXPECT_TRUE(close.fState & MFS_GRAYED);
  EXPECT_EQ(Text(h, "DeleteBTN"), "Delete");
  EXPECT_EQ(Text(h, "RenameBTN"), "Rename");
  EXPECT_EQ(Text(h, "CancelBTN"), "Cancel");

  // Esc, the close message and Cancel all leave the file alone and answer Cancel.
  dlg.FileName = "Office.TWS";
  std::string prompt;
  bool ownerDisabled = false, centred = false;
  auto result = Run(dlg, [&] {
    prompt = Text(h, "PropmtST");
    ownerDisabled = !IsWindowEnabled(main.Handle());
    RECT rc{};
    GetWindowRect(h, &rc);
    centred = std::abs((rc.left + rc.right) / 2 - GetSystemMetrics(SM_CXSCREEN) / 2) <= 1 &&
              std::abs((rc.top + rc.bottom) / 2 - GetSystemMetrics(SM_CYSCREEN) / 2) <= 1;
    testing::SaveRunPicture(h, "file-conflict.bmp");
    HWND focus = GetFocus();
    PostMessageW(focus, WM_KEYDOWN, VK_ESCAPE, 0);
  });
  EXPECT_EQ(result, TfWLFileConfirm::mrCancel);
  EXPECT_EQ(g_next, 1u) << "Esc did not end the dialog";
  EXPECT_EQ(prompt,
            "A file by the name Office.TWS is required in the Tidewell directory, to maintain "
            "information about this backup volume. There already exists a file by this name. "
            "Would you like to overwrite the existing file, or would you like to rename the "
            "existing file to Office.TWS.BAK");
  EXPECT_TRUE(ownerDisabled);
  EXPECT_TRUE(centred);
  EXPECT_TRUE(IsWindowEnabled(main.Handle()));
  EXPECT_FALSE(IsWindowVisible(h));
  EXPECT_EQ(Run(dlg, [&] { PostMessageW(h, WM_CLOSE, 0, 0); }), TfWLFileConfirm::mrCancel);
  EXPECT_EQ(g_next, 1u);
  EXPECT_EQ(Run(dlg, [&] { Click(h, "CancelBTN"); }), TfWLFileConfirm::mrCancel);
  EXPECT_EQ(Read(dir + "Office.TWS"), "old");
  EXPECT_EQ(prompts.Count(), 0u);

  // Rename: the taken .BAK stays, the file goes to the next name, and the user is told where.
  EXPECT_TRUE(Run(dlg, [&] { Click(h, "RenameBTN"); }) == TfWLFileConfirm::mrOk);
  EXPECT_EQ(Read(dir + "Office.TWS"), "<missing>");
  EXPECT_EQ(Read(dir + "Office.TWS.BAK"), "older");
  EXPECT_EQ(Read(dir + "Office.TWS0.BAK"), "old");
  ASSERT_EQ(prompts.Count(), 1u);
  EXPECT_EQ(prompts.Last().text,
            dir + "Office.TWS has been renamed to " + dir + "Office.TWS0.BAK");

  // Delete, through the engine's question: a new volume may take the name afterwards.
  ASSERT_EQ(fs.WriteAtomic(dir + "Office.TWS", "old"), winerr::Success);
  g_next = 0;
  g_steps = {[&] { Click(h, "DeleteBTN"); }};
  UINT_PTR timer = SetTimer(nullptr, 0, 50, RunStep);
  bool clear = ClearSelectionFileName(fs, dlg, prompts, dir, "Office.TWS");
  KillTimer(nullptr, timer);
  EXPECT_TRUE(clear);
  EXPECT_EQ(Read(dir + "Office.TWS"), "<missing>");
  EXPECT_EQ(prompts.Count(), 1u);
}

}  // namespace
}  // namespace tw
