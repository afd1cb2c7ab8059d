// A picture of a window as the screen shows it, saved as a BMP file, for the notes of a run.
#pragma once
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/forms/Forms.h"
#include "platform/win32/Utf.h"

namespace tw::testing {

// A 24-bit BMP of what the screen shows of the window.
inline void SavePicture(HWND hwnd, const std::string& file) {
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  forms::driver::Pump();
  RECT rc{};
  GetWindowRect(hwnd, &rc);
  int w = rc.right - rc.left, h = rc.bottom - rc.top;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
  BITMAPINFOHEADER bi{sizeof(bi), w, h, 1, 24, BI_RGB};
  int stride = ((w * 3 + 3) / 4) * 4;
  std::vector<char> pixels(static_cast<size_t>(stride) * static_cast<size_t>(h));
  GetDIBits(mem, bmp, 0, static_cast<UINT>(h), pixels.data(), reinterpret_cast<BITMAPINFO*>(&bi),
            DIB_RGB_COLORS);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(sizeof(fh) + sizeof(bi) + pixels.size()), 0, 0,
                      sizeof(fh) + sizeof(bi)};
  HANDLE f = CreateFileW(Widen(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD wrote = 0;
  WriteFile(f, &fh, sizeof(fh), &wrote, nullptr);
  WriteFile(f, &bi, sizeof(bi), &wrote, nullptr);
  WriteFile(f, pixels.data(), static_cast<DWORD>(pixels.size()), &wrote, nullptr);
  CloseHandle(f);
}

// A picture for the notes of a run, named like "find-files.bmp": into TW_PICTURES when set,
// else build/pictures beside build/win/bin.
inline void SaveRunPicture(HWND hwnd, const std::string& name) {
  std::string dir;
  if (const char* set = std::getenv("TW_PICTURES")) {
    dir = set;
  } else {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    dir = Narrow(exe);
    for (int i = 0; i < 3; ++i) dir = dir.substr(0, dir.find_last_of('\\'));
    dir += "\\pictures";
    CreateDirectoryW(Widen(dir).c_str(), nullptr);
  }
  SavePicture(hwnd, dir + "\\" + name);
}

}  // namespace tw::testing
