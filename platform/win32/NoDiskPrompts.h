// For one scope, a drive without its disk fails at once instead of asking the user to insert
// one: a walk or a look at other drives must not stop on a box nobody expects.
#pragma once
#include <windows.h>

namespace tw {

class TNoDiskPrompts {
 public:
  TNoDiskPrompts() : old_(SetErrorMode(SEM_FAILCRITICALERRORS)) {
    SetErrorMode(old_ | SEM_FAILCRITICALERRORS);
  }
  ~TNoDiskPrompts() { SetErrorMode(old_); }
  TNoDiskPrompts(const TNoDiskPrompts&) = delete;
  TNoDiskPrompts& operator=(const TNoDiskPrompts&) = delete;

 private:
  UINT old_;
};

}  // namespace tw
