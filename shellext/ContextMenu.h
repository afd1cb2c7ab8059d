// TWLContextMenu, the COM object the shell creates per right-click, and the library-wide state
// it shares with the exports: the module, the counts that decide unloading, the bitmap.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

namespace tw::shellext {

// Noted by DllMain.
extern HINSTANCE g_module;
// Live TWLContextMenu objects, and references to the class factory (server locks included).
extern LONG g_objects;
extern LONG g_factoryRefs;

// The "TIDEWELL" check-mark bitmap, loaded on first use; null when it cannot be loaded.
HBITMAP MenuBitmap();
// Frees it once nothing can use it any more (the library may unload).
void FreeMenuBitmap();

// The paths of a CF_HDROP data object; false when it gives none or a malformed list (a
// DROPFILES block whose list runs past its memory).
bool FetchDroppedPaths(IDataObject* data, std::vector<std::string>& paths);

// Creates a TWLContextMenu and hands out the requested interface (E_NOINTERFACE frees it).
HRESULT CreateContextMenu(REFIID riid, void** out);

}  // namespace tw::shellext
