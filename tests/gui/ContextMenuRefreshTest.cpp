// Marks made by the Explorer extension reach the backup: TWContext.dll, loaded as the shell
// loads it and given the shell's own file list, marks a file and a folder for the default
// volume; the refresh of that volume's selection file, with its real dialogs, copies them.
#include <windows.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "engine/oplog.h"
#include "engine/operations.h"
#include "engine/volumes.h"
#include "platform/win32/Utf.h"
#include "tests/gui/BackupHarness.h"

namespace tw {
namespace {

using testing::ReadFileText;
using testing::TBackupHarness;
using testing::TTempTree;

constexpr wchar_t kProductKey[] = L"Software\\Corvane\\Tidewell";
constexpr wchar_t kClsid[] = L"{6B0E2D71-4C3A-4F58-9E21-7A5C3D90B1E4}";

std::wstring ModuleFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring s = path;
  return s.substr(0, s.find_last_of(L'\\') + 1);
}

// The shell's data object for items of one folder, as Explorer builds it for a right click.
IDataObject* ShellDataObject(const std::string& folderPath, std::vector<std::wstring> names) {
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop))) return nullptr;
  std::wstring folderName = Widen(folderPath);
  PIDLIST_RELATIVE folderId = nullptr;
  IShellFolder* folder = nullptr;
  IDataObject* data = nullptr;
  if (SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, folderName.data(), nullptr, &folderId,
                                          nullptr)) &&
      SUCCEEDED(desktop->BindToObject(folderId, nullptr, IID_IShellFolder,
                                      reinterpret_cast<void**>(&folder)))) {
    std::vector<PCUITEMID_CHILD> items;
    for (auto& name : names) {
      PIDLIST_RELATIVE item = nullptr;
      if (SUCCEEDED(folder->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &item,
                                             nullptr)))
        items.push_back(reinterpret_cast<PCUITEMID_CHILD>(item));
    }
    if (items.size() == names.size())
      folder->GetUIObjectOf(nullptr, static_cast<UINT>(items.size()), items.data(),
                            IID_IDataObject, nullptr, reinterpret_cast<void**>(&data));
    for (auto item : items) CoTaskMemFree(const_cast<ITEMIDLIST*>(item));
    folder->Release();
  }
  CoTaskMemFree(folderId);
  desktop->Release();
  return data;
}

class ContextMenuRefreshTest : public ::testing::Test {
 protected:
  void SetUp() override { com_ = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kProductKey, L"DefaultVolume");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(kProductKey) + L"\\AppPath").c_str());
    if (SUCCEEDED(com_)) CoUninitialize();
  }
  HRESULT com_ = E_FAIL;
};

TEST_F(ContextMenuRefreshTest, FilesAndFoldersMarkedInTheShellAreCopiedByTheRefresh) {
  TTempTree src("CtxSource"), vol("CtxVolume"), prog("CtxProgram");
  src.File("a.txt", "alpha");
  src.File("Whole\\b.txt", "bravo");
  src.File("Whole\\Deeper\\c.txt", "charlie");
  src.File("unmarked.txt", "stays behind");

  TVolumeRec volume;
  volume.Name = "Docs";
  volume.BackupPath = vol.Path();
  volume.SeparateFolders = true;
  {
    TValueWriter writer;
    WriteVolumeRec(writer, volume);
    prog.File("VOLUMES.TWB", writer.Data());
  }
  // The installed program's folder and the default volume, where the extension looks.
  const std::wstring programFolder = Widen(prog.Path());
  ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, (std::wstring(kProductKey) + L"\\AppPath").c_str(),
                            nullptr, REG_SZ, programFolder.c_str(),
                            static_cast<DWORD>((programFolder.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kProductKey, L"DefaultVolume", REG_SZ, L"Docs",
                            sizeof(L"Docs")),
            ERROR_SUCCESS);

  HMODULE dll = LoadLibraryW((ModuleFolder() + L"TWContext.dll").c_str());
  ASSERT_NE(dll, nullptr);
  auto getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      GetProcAddress(dll, "DllGetClassObject"));
  auto canUnloadNow =
      reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(GetProcAddress(dll, "DllCanUnloadNow"));
  ASSERT_TRUE(getClassObject && canUnloadNow);
  CLSID clsid;
  ASSERT_EQ(CLSIDFromString(kClsid, &clsid), S_OK);
  IClassFactory* factory = nullptr;
  ASSERT_EQ(getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  IShellExtInit* init = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init)),
            S_OK);
  factory->Release();
  IDataObject* data = ShellDataObject(src.Path(), {L"a.txt", L"Whole"});
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(init->Initialize(nullptr, data, nullptr), S_OK);
  data->Release();
  IContextMenu* menu = nullptr;
  ASSERT_EQ(init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
  HMENU popup = CreatePopupMenu();
  EXPECT_GT(HRESULT_CODE(menu->QueryContextMenu(popup, 0, 100, 200, CMF_NORMAL)), 0);
  CMINVOKECOMMANDINFO info{};
  info.cbSize = sizeof(info);
  info.lpVerb = MAKEINTRESOURCEA(0);  // "Mark for Tidewell": the default volume
  info.nShow = SW_SHOWNORMAL;
  EXPECT_EQ(menu->InvokeCommand(&info), S_OK);
  DestroyMenu(popup);
  menu->Release();
  init->Release();
  EXPECT_EQ(canUnloadNow(), S_OK);
  FreeLibrary(dll);

  // The refresh of the marked selection, as the wizard and the scheduler run it.
  const std::string selectionFile = VolumeSelectionFile(prog.Path(), volume);
  ASSERT_TRUE(testing::FileExists(selectionFile));
  TBackupHarness h;
  ASSERT_EQ(h.RefreshFromFile(volume, selectionFile), TAddResult::Finished);
  EXPECT_FALSE(h.AddErrors);
  ASSERT_EQ(h.Boxes.Boxes.size(), 1u);
  EXPECT_EQ(h.Boxes.Boxes[0].text, AddFinishedText("Docs", 3, 3));
  const std::string& root = src.Path();
  const std::string copies =
      volume.BackupPath + "From Drive " + root.substr(0, 1) + "\\" + root.substr(3);
  EXPECT_EQ(ReadFileText(copies + "a.txt"), "alpha");
  EXPECT_EQ(ReadFileText(copies + "Whole\\b.txt"), "bravo");
  EXPECT_EQ(ReadFileText(copies + "Whole\\Deeper\\c.txt"), "charlie");
  EXPECT_FALSE(testing::FileExists(copies + "unmarked.txt"));
}

}  // namespace
}  // namespace tw
