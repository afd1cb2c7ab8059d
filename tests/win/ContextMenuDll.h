// What a client needs to call TWContext.dll as the shell does: a registered copy of the library in
// a folder whose path holds a blank, a program folder with a stand-in Tidewell.exe, hand-made
// CF_HDROP data objects, and a watcher that answers the extension's message boxes.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/Utf.h"

namespace tw::test {

inline constexpr CLSID kTWContextClsid = {
    0x6B0E2D71, 0x4C3A, 0x4F58, {0x9E, 0x21, 0x7A, 0x5C, 0x3D, 0x90, 0xB1, 0xE4}};

inline std::wstring ExeFolder() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring s(path, n);
  return s.substr(0, s.find_last_of(L'\\') + 1);
}

// Runs a program and gives its exit code (-1 when it could not start or did not end in 60 s).
inline int RunAndWait(const std::wstring& commandLine) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::wstring line = commandLine;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi))
    return -1;
  CloseHandle(pi.hThread);
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

inline std::wstring Regsvr32() {
  wchar_t sys[MAX_PATH];
  GetSystemDirectoryW(sys, MAX_PATH);
  return std::wstring(L"\"") + sys + L"\\regsvr32.exe\"";
}

// A DROPFILES block of wide paths, as the shell hands it over.
inline std::string DropFilesBytes(const std::vector<std::wstring>& paths) {
  DROPFILES header{};
  header.pFiles = sizeof(DROPFILES);
  header.fWide = TRUE;
  std::string bytes(reinterpret_cast<const char*>(&header), sizeof(header));
  for (const auto& p : paths)
    bytes.append(reinterpret_cast<const char*>(p.c_str()), (p.size() + 1) * sizeof(wchar_t));
  bytes.append(2, '\0');
  return bytes;
}

// An IDataObject that answers CF_HDROP with the given bytes (a copy each time), or nothing at
// all when it has none.
class THDropData : public IDataObject {
 public:
  explicit THDropData(std::string bytes, bool hasDrop = true)
      : bytes_(std::move(bytes)), hasDrop_(hasDrop) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDataObject))
      return E_NOINTERFACE;
    *out = this;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
    ++requests;
    if (!format || !medium) return E_INVALIDARG;
    if (!hasDrop_ || format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL))
      return DV_E_FORMATETC;
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes_.size());
    memcpy(GlobalLock(mem), bytes_.data(), bytes_.size());
    GlobalUnlock(mem);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = mem;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryGetData(FORMATETC* f) override {
    return hasDrop_ && f && f->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC;
  }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    if (out) out->ptd = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

  int requests = 0;

 private:
  virtual ~THDropData() = default;
  std::string bytes_;
  bool hasDrop_;
  ULONG refs_ = 1;
};

// Answers every message box of this process with OK and records caption, text and icon.
class TBoxWatcher {
 public:
  struct Box {
    std::string caption, text;
    bool errorIcon = false;
  };
  TBoxWatcher() : thread_([this] { Run(); }) {}
  ~TBoxWatcher() {
    stop_ = true;
    thread_.join();
  }
  std::vector<Box> Boxes() {
    std::lock_guard lock(mutex_);
    return boxes_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    boxes_.clear();
  }

 private:
  void Run() {
    while (!stop_) {
      EnumWindows(
          [](HWND hwnd, LPARAM lp) -> BOOL {
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            wchar_t cls[32] = {};
            GetClassNameW(hwnd, cls, 32);
            if (pid == GetCurrentProcessId() && wcscmp(cls, L"#32770") == 0 &&
                IsWindowVisible(hwnd))
              reinterpret_cast<TBoxWatcher*>(lp)->Answer(hwnd);
            return TRUE;
          },
          reinterpret_cast<LPARAM>(this));
      Sleep(20);
    }
  }
  void Answer(HWND box) {
    wchar_t caption[256] = {}, text[2048] = {};
    GetWindowTextW(box, caption, 256);
    GetDlgItemTextW(box, 0xFFFF, text, 2048);
    Box b{Narrow(caption), Narrow(text), false};
    // The icon's static control: id 20 on Windows, 1088 under Wine.
    for (int id : {20, 1088}) {
      if (HWND icon = GetDlgItem(box, id))
        b.errorIcon = b.errorIcon || SendMessageW(icon, STM_GETICON, 0, 0) ==
                                         reinterpret_cast<LRESULT>(LoadIconW(nullptr, IDI_HAND));
    }
    {
      std::lock_guard lock(mutex_);
      boxes_.push_back(b);
    }
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    // Not seen twice: wait until it is gone.
    for (int i = 0; i < 200 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(10);
  }

  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Box> boxes_;
  std::thread thread_;
};

}  // namespace tw::test
