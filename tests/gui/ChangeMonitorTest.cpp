// The directory change monitor on real folders under Wine, alone and behind the folder list.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "tests/gui/ShellViewsDemo.h"

namespace tw::test {
namespace {

using shellviews::TChangeNotifyThread;

std::atomic<int> g_received{0};
std::atomic<bool> g_badParams{false};

LRESULT CALLBACK CountingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == shellviews::kTreeChangeMessage) {
    ++g_received;
    if (wp || lp) g_badParams = true;
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND CountingWindow() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = CountingProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"TidewellMonitorProbe";
  RegisterClassW(&wc);
  return CreateWindowW(L"TidewellMonitorProbe", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                       GetModuleHandleW(nullptr), nullptr);
}

TEST(ChangeMonitorTest, ReportsChangesInTheFolderButNotInItsSubfolders) {
  ScratchDir dir("monitor");
  dir.Dir("sub");
  HWND window = CountingWindow();
  g_received = 0;
  auto monitor = TChangeNotifyThread::Create(dir.Path(), window, shellviews::kTreeChangeMessage,
                                             shellviews::kChangeFilter);
  EXPECT_EQ(monitor->Filter(), 31u);
  EXPECT_EQ(shellviews::kTreeChangeMessage, 1045u);
  EXPECT_EQ(shellviews::kListChangeMessage, 1046u);
  EXPECT_EQ(shellviews::kMonitorStopMessage, 1036u);
  PumpFor(200);
  EXPECT_EQ(g_received, 0);

  dir.File("sub\\deeper.txt", 10);
  PumpFor(1200);
  EXPECT_EQ(g_received, 0);

  dir.File("new.txt", 10);
  EXPECT_TRUE(PumpUntil([] { return g_received > 0; }, 5000));
  EXPECT_FALSE(g_badParams);

  monitor->Terminate();
  EXPECT_TRUE(monitor->WaitFor(3000));
  DestroyWindow(window);
}

TEST(ChangeMonitorTest, StopsPromptlyOnRequestOrMessageAndEndsAloneOnABadPath) {
  ScratchDir dir("stop");
  HWND window = CountingWindow();
  auto monitor = TChangeNotifyThread::Create(dir.Path(), window, shellviews::kTreeChangeMessage,
                                             shellviews::kChangeFilter);
  EXPECT_FALSE(monitor->WaitFor(100));  // running
  auto start = std::chrono::steady_clock::now();
  monitor->Terminate();
  ASSERT_TRUE(monitor->WaitFor(5000));
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(ms, 1500);  // noticed within its 500 ms wait, with room for a slow machine

  auto second = TChangeNotifyThread::Create(dir.Path(), window, shellviews::kTreeChangeMessage,
                                            shellviews::kChangeFilter);
  EXPECT_FALSE(second->WaitFor(100));
  start = std::chrono::steady_clock::now();
  ASSERT_TRUE(second->PostStop());
  ASSERT_TRUE(second->WaitFor(5000));
  ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                             start).count();
  EXPECT_LT(ms, 1500);

  // A folder that cannot be watched ends the thread at once; the owner's handle stays usable.
  auto bad = TChangeNotifyThread::Create(dir / "missing", window, shellviews::kTreeChangeMessage,
                                         shellviews::kChangeFilter);
  EXPECT_TRUE(bad->WaitFor(2000));
  bad->Terminate();

  // A change after the window is gone sends nothing and does not disturb the thread.
  auto orphan = TChangeNotifyThread::Create(dir.Path(), window, shellviews::kTreeChangeMessage,
                                            shellviews::kChangeFilter);
  DestroyWindow(window);
  g_received = 0;
  dir.File("late.txt", 1);
  PumpFor(700);
  EXPECT_EQ(g_received, 0);
  EXPECT_FALSE(orphan->WaitFor(0));
  orphan->Terminate();
  EXPECT_TRUE(orphan->WaitFor(5000));
}

TEST(ChangeMonitorTest, ListRereadsOnChangesOnlyWithAutoRefresh) {
  ScratchDir dir("auto");
  dir.File("first.txt", 1);
  TfShellViewsDemo form;
  ASSERT_TRUE(form.Create());
  form.DemoNSE.SetFolderEnumerator(nullptr);
  int refreshes = 0;
  form.DemoFE.OnRefresh = [&](shellviews::TFolderEnumerator*) { ++refreshes; };
  form.DemoFE.AutoRefresh = false;
  ASSERT_TRUE(form.DemoFE.SetFolder(dir.Path()));
  PumpFor(200);
  dir.File("second.txt", 1);
  PumpFor(1200);
  EXPECT_EQ(refreshes, 0);
  EXPECT_EQ(form.DemoFE.ItemCount(), 1);

  form.DemoFE.AutoRefresh = true;
  dir.File("third.txt", 1);
  EXPECT_TRUE(PumpUntil([&] { return form.DemoFE.ItemCount() == 3; }, 5000));
  EXPECT_GE(refreshes, 1);
}

}  // namespace
}  // namespace tw::test
