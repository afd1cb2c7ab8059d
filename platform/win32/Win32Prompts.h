// Message boxes through MessageBoxW, owned by the main window once it exists.
#pragma once
#include <windows.h>

#include "platform/Prompts.h"

namespace tw {

class Win32Prompts : public IPrompts {
 public:
  explicit Win32Prompts(HWND owner = nullptr) : owner_(owner) {}
  void SetOwner(HWND owner) { owner_ = owner; }
  HWND Owner() const { return owner_; }

  int Message(const std::string& text, const std::string& caption, uint32_t flags) override;
  std::optional<std::string> BrowseForFolder(const std::string& title) override;

 private:
  HWND owner_;
};

}  // namespace tw
