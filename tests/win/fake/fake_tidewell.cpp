// Stands in for Tidewell.exe where the extension starts it: notes its command line in
// "started.txt" beside itself and ends.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring note(path, n);
  note = note.substr(0, note.find_last_of(L'\\') + 1) + L"started.txt";
  HANDLE f = CreateFileW(note.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 1;
  const wchar_t* line = GetCommandLineW();
  DWORD wrote = 0;
  WriteFile(f, line, static_cast<DWORD>(wcslen(line) * sizeof(wchar_t)), &wrote, nullptr);
  CloseHandle(f);
  return 0;
}
