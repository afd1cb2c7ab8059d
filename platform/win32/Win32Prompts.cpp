#include "platform/win32/Win32Prompts.h"

#include "platform/win32/Utf.h"

namespace tw {

int Win32Prompts::Message(const std::string& text, const std::string& caption, uint32_t flags) {
  HWND owner = owner_ && IsWindow(owner_) ? owner_ : nullptr;
  int answer = MessageBoxW(owner, Widen(text).c_str(), Widen(caption).c_str(), flags);
  // A box that could not be shown must not count as a yes.
  return answer ? answer : CautiousAnswer(flags);
}

}  // namespace tw
