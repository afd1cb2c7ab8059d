// The main window on the in-memory platform, for the tests that drive it by control name: its
// program folder, volume list, registry and one script for every message and question.
#pragma once
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/WLMain.h"
#include "app/forms/Forms.h"
#include "engine/volumes.h"
#include "platform/memory/FakeClock.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/MemoryStartupShortcuts.h"
#include "platform/memory/ScriptedPrompts.h"
#include "platform/win32/Utf.h"
#include "tests/gui/PromptBoxes.h"

namespace tw::testing {

inline constexpr char kFixtureAppDir[] = "C:\\Program Files\\Tidewell\\";
inline constexpr char kFixtureKey[] = "\\Software\\Corvane\\TidewellGuiTest";

inline TVolumeRec Volume(const std::string& name, const std::string& path, bool separate,
                         bool isDefault = false) {
  TVolumeRec rec;
  rec.Name = name;
  rec.BackupPath = path;
  rec.SeparateFolders = separate;
  rec.IsDefault = isDefault;
  return rec;
}

class MainWindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.AddDrive("D:", DriveType::Fixed);
    fs.MakeDirs(kFixtureAppDir);
    fs.MakeDirs("C:\\Temp");  // the log's folder
  }
  void TearDown() override {
    form.reset();
    forms::driver::Pump();
  }

  // A volume refreshed automatically, last on 4 March 2024 at noon, whose saved selection holds
  // one file.
  TVolumeRec Scheduled(const std::string& name, int frequency) {
    TVolumeRec v = Volume(name, "D:\\" + name + "\\", true);
    v.AutoRefresh = true;
    v.Frequency = frequency;
    FakeClock yesterday;
    yesterday.SetLocal(2024, 3, 4, 12, 0);
    v.LastRefresh = yesterday.Now();
    fs.WriteFile("C:\\" + name + "\\f.txt", "data");
    fs.WriteFile(std::string(kFixtureAppDir) + name + ".TWS", "[C:\\" + name + "]\r\nf.txt=#\r\n");
    return v;
  }

  void WriteVolumes(const std::vector<TVolumeRec>& volumes) {
    TValueWriter writer;
    for (const auto& v : volumes) WriteVolumeRec(writer, v);
    fs.WriteFile(std::string(kFixtureAppDir) + "VOLUMES.TWB", writer.Data());
  }

  HWND Start(std::vector<std::string> args = {}) {
    TMainEnv env;
    env.Fs = &fs;
    env.Registry = &registry;
    env.Prompts = &prompts;
    env.AppDir = kFixtureAppDir;
    env.ExePath = std::string(kFixtureAppDir) + "Tidewell.exe";
    env.ProductKey = kFixtureKey;
    env.Args = std::move(args);
    env.Clock = clock;
    env.Shortcuts = &shortcuts;
    env.QuitOnDestroy = false;
    env.OperationBoxes = &boxes;
    env.OpenLog = [this](const std::string& path) { openedLogs.push_back(path); };
    env.OpenDocument = [this](const std::string& target) {
      opened.push_back(target);
      return true;
    };
    form = std::make_unique<TfWLMain>(env);
    EXPECT_TRUE(form->Create());
    forms::driver::Pump();
    return form->Handle();
  }

  HWND List() { return forms::FindControl(form->Handle(), "VolumeListLV"); }
  std::string RowText(int row, int column) {
    wchar_t buf[512] = {};
    ListView_GetItemText(List(), row, column, buf, 512);
    return Narrow(buf);
  }
  void SelectRow(int row) {
    ListView_SetItemState(List(), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    forms::driver::Pump();
  }
  void Type(HWND main, const std::string& name, const std::string& text) {
    forms::SetWindowTextUtf8(forms::FindControl(main, name), text);
    forms::driver::Pump();
  }
  void Close() {
    PostMessageW(form->Handle(), WM_CLOSE, 0, 0);
    forms::driver::Pump();
  }
  // Every message so far, one a line, for failure output.
  std::string Texts() {
    std::string all;
    for (const auto& r : prompts.Records()) all += r.text + "\n";
    return all;
  }

  MemoryFileSystem fs;
  MemoryRegistry registry;
  ScriptedPrompts prompts;
  MemoryStartupShortcuts shortcuts;
  TPromptBoxes boxes{prompts};
  std::vector<std::string> openedLogs, opened;
  IClock* clock = nullptr;  // the automatic refresh's; null: the wall clock
  std::unique_ptr<TfWLMain> form;
};

}  // namespace tw::testing
