// TWContext.dll as a COM in-process server: the module, the class factory and the four exports.
#include <windows.h>
#include <shlobj.h>

#include <new>

#include "platform/win32/Utf.h"
#include "platform/win32/Win32Registry.h"
#include "shellext/ContextMenu.h"
#include "shellext/ContextMenuCore.h"

using namespace tw::shellext;

namespace {

// {6B0E2D71-4C3A-4F58-9E21-7A5C3D90B1E4}, kContextMenuClsid.
constexpr CLSID kClsid = {0x6B0E2D71, 0x4C3A, 0x4F58, {0x9E, 0x21, 0x7A, 0x5C, 0x3D, 0x90, 0xB1, 0xE4}};

// One factory for the library's life; its references are the server's factory count.
class TClassFactory : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory))
      return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&g_factoryRefs); }
  STDMETHODIMP_(ULONG) Release() override { return DropReference(); }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      return CreateContextMenu(riid, out);  // a new object per request
    } catch (...) {
      return E_UNEXPECTED;
    }
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock)
      AddRef();
    else
      DropReference();
    return S_OK;
  }

 private:
  // Never below zero: an unbalanced unlock must not make the library look busy forever.
  static ULONG DropReference() {
    for (;;) {
      LONG now = g_factoryRefs;
      if (now <= 0) return 0;
      if (InterlockedCompareExchange(&g_factoryRefs, now - 1, now) == now) return now - 1;
    }
  }
};

TClassFactory g_factory;

std::string ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return tw::Narrow(path);
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() {
  if (g_objects != 0 || g_factoryRefs != 0) return S_FALSE;
  FreeMenuBitmap();
  return S_OK;
}

STDAPI DllRegisterServer() {
  try {
    std::string path = ModulePath();
    tw::Win32Registry registry;
    return !path.empty() && tw::RegisterContextMenuServer(registry, path) ? S_OK : E_FAIL;
  } catch (...) {
    return E_FAIL;
  }
}

STDAPI DllUnregisterServer() {
  try {
    tw::Win32Registry registry;
    return tw::UnregisterContextMenuServer(registry) ? S_OK : E_FAIL;
  } catch (...) {
    return E_FAIL;
  }
}

}  // extern "C"
