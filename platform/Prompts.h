// Questions and messages to the user. The window implements it with real message boxes;
// tests script the answers and record every question.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/WinCodes.h"

namespace tw {

class IPrompts {
 public:
  virtual ~IPrompts() = default;
  // flags are MessageBoxW's (tw::mb); returns the button pressed (tw::mb::IdOk, ...).
  virtual int Message(const std::string& text, const std::string& caption, uint32_t flags) = 0;
  // The system's folder browser with this title; the chosen folder's path, or none when the
  // user cancelled or chose something that is not a file-system folder.
  virtual std::optional<std::string> BrowseForFolder(const std::string& title) = 0;
};

// The answer used when nobody answered (a box that could not be shown, an unscripted test
// question): it never agrees to anything and never asks to retry, so a retry loop cannot spin.
inline int CautiousAnswer(uint32_t flags) {
  switch (flags & 0xF) {
    case mb::OkCancel:
    case mb::YesNoCancel:
    case mb::RetryCancel:
      return mb::IdCancel;
    case mb::YesNo:
      return mb::IdNo;
    case mb::AbortRetryIgnore:
      return mb::IdAbort;
    default:
      return mb::IdOk;
  }
}

}  // namespace tw
