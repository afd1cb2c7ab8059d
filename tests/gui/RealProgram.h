// The main window over the real file system and registry, in a program folder of the test's
// own, with a product key of its own (deleted afterwards) and scripted message boxes.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "app/WLMain.h"
#include "app/forms/Forms.h"
#include "platform/memory/ScriptedPrompts.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Registry.h"
#include "tests/gui/PromptBoxes.h"

namespace tw::testing {

class TRealProgram {
 public:
  // keyName: the product key's last name, made unique per test process.
  TRealProgram(const std::string& appDir, const std::string& keyName)
      : key_("\\Software\\Corvane\\" + keyName + "-" + std::to_string(GetCurrentProcessId())) {
    env.Fs = &fs;
    env.Registry = &registry;
    env.Prompts = &prompts;
    env.AppDir = appDir;
    env.ExePath = appDir + "Tidewell.exe";
    env.ProductKey = key_;
    env.QuitOnDestroy = false;
    env.OperationBoxes = &boxes;
  }
  virtual ~TRealProgram() {
    form.reset();
    registry.DeleteTree(RegRoot::CurrentUser, key_);
    registry.DeleteTree(RegRoot::LocalMachine, key_);
  }
  const std::string& Key() const { return key_; }
  // Creates the window with env as set by then, and lets its start-up messages run.
  HWND Start() {
    form = std::make_unique<TfWLMain>(env);
    EXPECT_TRUE(form->Create());
    forms::driver::Pump();
    return form->Handle();
  }

  Win32FileSystem fs;
  Win32Registry registry;
  ScriptedPrompts prompts;
  TPromptBoxes boxes{prompts};
  TMainEnv env;
  std::unique_ptr<TfWLMain> form;

 private:
  std::string key_;
};

}  // namespace tw::testing
