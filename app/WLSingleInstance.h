// One running copy per user session: a named mutex marks the first copy; a later copy brings
// the running one forward and ends before any start-up work.
#pragma once
#include <windows.h>

#include <string>

namespace tw {

// The title a program gets from its file before it sets its own: the name without its folder,
// cut before the first ".", every character after the first lower-cased ("TIDEWELL.EXE" gives
// "Tidewell"). Every copy of one program file gets the same name, whatever case it is started
// in; names that differ in their first letter's case stay apart, as mutex names do.
std::wstring DefaultApplicationTitle(const std::wstring& programPath);

// Holds the mutex named by the title for the life of the object when no other copy holds it.
class TPreviousInstance {
 public:
  explicit TPreviousInstance(const std::wstring& title);
  ~TPreviousInstance();
  TPreviousInstance(const TPreviousInstance&) = delete;
  TPreviousInstance& operator=(const TPreviousInstance&) = delete;

  // Another copy holds the mutex. A mutex that cannot be made at all counts as the first copy.
  bool Exists() const { return exists_; }

 private:
  HANDLE mutex_ = nullptr;
  bool exists_ = false;
};

// Registered message that asks a running copy's main window to come out of the tray: raising a
// hidden window would show nothing.
UINT ActivateMessage();

// Brings the running copy forward: the first top-level window of another process whose text
// equals the title (case ignored, the main window's class preferred) is asked to come out when
// hidden, restored when minimised, else raised. Windows of this process are never touched or
// renamed. Returns the window, or null when none was found.
HWND TJustOne32(const std::wstring& title);

}  // namespace tw
