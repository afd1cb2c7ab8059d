// The operations' message boxes answered from the same script as the window's own questions.
#pragma once
#include <windows.h>

#include <string>

#include "app/OperationWindowUI.h"
#include "platform/Prompts.h"

namespace tw::testing {

class TPromptBoxes : public IMessageBoxes {
 public:
  explicit TPromptBoxes(IPrompts& prompts) : prompts_(prompts) {}
  int Show(HWND, const std::string& text, const std::string& caption, uint32_t flags) override {
    return prompts_.Message(text, caption, flags);
  }

 private:
  IPrompts& prompts_;
};

}  // namespace tw::testing
