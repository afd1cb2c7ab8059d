// TWContext.dll called as the shell calls it: registered with regsvr32 from a folder whose path
// holds a blank, created by class id, initialised with CF_HDROP data objects (hand-made and the
// shell's own), its menu built on a real popup menu, its commands run by offset; the marks read
// back as Tidewell reads them.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <fstream>

#include "engine/settings.h"
#include "engine/volumes.h"
#include "platform/memory/ScriptedPrompts.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Registry.h"
#include "selection/selection.h"
#include "tests/gui/WindowPicture.h"
#include "tests/win/ContextMenuDll.h"
#include "tests/win/RealFiles.h"

namespace tw {
namespace {

using test::THDropData;
using Strings = std::vector<std::string>;

const std::string kProduct = "\\Software\\Corvane\\Tidewell";
const std::string kClassKey = "\\CLSID\\{6B0E2D71-4C3A-4F58-9E21-7A5C3D90B1E4}";

struct Handler {
  IShellExtInit* init = nullptr;
  IContextMenu* menu = nullptr;
  Handler() {
    HRESULT hr = CoCreateInstance(test::kTWContextClsid, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IShellExtInit, reinterpret_cast<void**>(&init));
    EXPECT_EQ(hr, S_OK);
    if (init) init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
  }
  ~Handler() {
    if (menu) menu->Release();
    if (init) init->Release();
  }
  HRESULT Init(IDataObject* data) { return init->Initialize(nullptr, data, nullptr); }
  // The count of ids used, from the HRESULT.
  UINT Query(HMENU popup, UINT first = 1, UINT last = 0x7FFF) {
    HRESULT hr = menu->QueryContextMenu(popup, 0, first, last, CMF_NORMAL);
    EXPECT_FALSE(FAILED(hr));
    return HRESULT_CODE(hr);
  }
  HRESULT Invoke(UINT offset) {
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof(info);
    info.lpVerb = MAKEINTRESOURCEA(offset);
    info.nShow = SW_SHOWNORMAL;
    return menu->InvokeCommand(&info);
  }
};

HRESULT (*CanUnloadNow())() {
  HMODULE dll = GetModuleHandleW(L"TWContext.dll");
  return dll ? reinterpret_cast<HRESULT (*)()>(GetProcAddress(dll, "DllCanUnloadNow")) : nullptr;
}

class ContextMenuDllTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Win32FileSystem fs;
    const std::string temp = fs.TempFolder();
    dllDir_ = temp + "TW Context Test\\";
    programDir_ = temp + "TW Program Test\\";
    dataDir_ = temp + "TW ctx data";
    for (const auto& d : {dllDir_, programDir_}) fs.MakeDirPath(d);
    dllPath_ = dllDir_ + "TWContext.dll";
    ASSERT_TRUE(CopyFileW((test::ExeFolder() + L"TWContext.dll").c_str(),
                          Widen(dllPath_).c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((test::ExeFolder() + L"tw_fake_tidewell.exe").c_str(),
                          Widen(programDir_ + "Tidewell.exe").c_str(), FALSE));
    ASSERT_EQ(test::RunAndWait(test::Regsvr32() + L" /s \"" + Widen(dllPath_) + L"\""), 0);
  }
  static void TearDownTestSuite() {
    test::RunAndWait(test::Regsvr32() + L" /u /s \"" + Widen(dllPath_) + L"\"");
    Win32FileSystem fs;
    test::RemoveTree(fs, dllDir_.substr(0, dllDir_.size() - 1));
    test::RemoveTree(fs, programDir_.substr(0, programDir_.size() - 1));
    Win32Registry reg;
    reg.DeleteTree(RegRoot::LocalMachine, kProduct + "\\AppPath");
    reg.DeleteTree(RegRoot::CurrentUser, kProduct + "\\ContextMenu");
    if (auto key = reg.Open(RegRoot::CurrentUser, kProduct, false))
      key->DeleteValue("DefaultVolume");
  }

  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    test::RemoveTree(fs, dataDir_);
    fs.MakeDirPath(dataDir_);
    for (const char* f : {"VOLUMES.TWB", "Work.tws", "Offsite.tws", "started.txt"})
      fs.Remove(programDir_ + f);
    reg.DeleteTree(RegRoot::CurrentUser, kProduct + "\\ContextMenu");
    reg.Open(RegRoot::LocalMachine, kProduct + "\\AppPath", true)
        ->WriteString("", programDir_ + "Tidewell.exe");
    SetDefault("Work");
    ListVolumes({"Work", "Offsite"});
  }
  void TearDown() override {
    test::RemoveTree(fs, dataDir_);
    CoUninitialize();
  }

  void SetDefault(const std::string& name) {
    auto key = reg.Open(RegRoot::CurrentUser, kProduct, true);
    if (name.empty())
      key->DeleteValue("DefaultVolume");
    else
      key->WriteString("DefaultVolume", name);
  }
  void ListVolumes(const Strings& names) {
    ScriptedPrompts prompts;
    TVolumeStore store(fs, prompts, programDir_);
    for (const auto& name : names) {
      auto rec = std::make_unique<TVolumeRec>();
      rec->Name = name;
      rec->BackupPath = "D:\\Backup\\";
      store.VolumeList.push_back(std::move(rec));
    }
    ASSERT_TRUE(store.Save());
  }
  void OfferOnMenu(const Strings& names) {
    auto key = reg.Open(RegRoot::CurrentUser, kProduct + "\\ContextMenu", true);
    for (const auto& n : names) key->WriteString(n, "");
  }
  std::string MakeFile(const std::string& path) {
    std::string folder = path.substr(0, path.find_last_of('\\'));
    EXPECT_EQ(fs.MakeDirPath(folder), winerr::Success);
    std::wstring w;
    EXPECT_EQ(ExtendedPath(path, w), winerr::Success);
    HANDLE f = CreateFileW(w.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(f, INVALID_HANDLE_VALUE) << path;
    CloseHandle(f);
    return path;
  }
  static std::vector<std::wstring> Wide(const Strings& paths) {
    std::vector<std::wstring> out;
    for (const auto& p : paths) out.push_back(Widen(p));
    return out;
  }
  // Initialize with the paths, build the menu, run the command at offset.
  HRESULT Mark(const Strings& paths, UINT offset = 0) {
    Handler h;
    auto* data = new THDropData(test::DropFilesBytes(Wide(paths)));
    EXPECT_EQ(h.Init(data), S_OK);
    data->Release();
    HMENU popup = CreatePopupMenu();
    h.Query(popup);
    HRESULT hr = h.Invoke(offset);
    DestroyMenu(popup);
    return hr;
  }
  std::unique_ptr<TWLDesktopNode> Load(const std::string& volume) {
    auto tree = std::make_unique<TWLDesktopNode>(fs);
    EXPECT_EQ(tree->LoadFromFile(programDir_ + volume + ".tws"), winerr::Success);
    return tree;
  }
  static Strings Files(const TWLDesktopNode& tree, const std::string& folder) {
    Strings names;
    if (TWLNode* node = tree.FindNode(folder))
      for (int i = 0; i < node->FileCount(); ++i) names.push_back(node->FileName(i));
    return names;
  }
  static std::wstring MenuText(HMENU popup, int position) {
    wchar_t text[256] = {};
    GetMenuStringW(popup, position, text, 256, MF_BYPOSITION);
    return text;
  }

  Win32FileSystem fs;
  Win32Registry reg;
  static inline std::string dllDir_, dllPath_, programDir_, dataDir_;
};

TEST_F(ContextMenuDllTest, RegisteredCopyMarksWhatTheShellHandsItAndUnloadsWhenReleased) {
  std::string description, server, model;
  ASSERT_NE(reg.Open(RegRoot::ClassesRoot, kClassKey, false), nullptr);
  reg.Open(RegRoot::ClassesRoot, kClassKey, false)->ReadString("", description);
  EXPECT_EQ(description, "Tidewell Context Menu Extension");
  auto serverKey = reg.Open(RegRoot::ClassesRoot, kClassKey + "\\InprocServer32", false);
  ASSERT_NE(serverKey, nullptr);
  serverKey->ReadString("", server);
  serverKey->ReadString("ThreadingModel", model);
  EXPECT_EQ(server, "\"" + dllPath_ + "\"");  // the path holds a blank
  EXPECT_EQ(model, "Apartment");

  OfferOnMenu({"Offsite", "work"});
  const std::string longFolder = dataDir_ + "\\" + std::string(120, 'L') + "\\" +
                                 std::string(120, 'M');
  const Strings paths{MakeFile(dataDir_ + "\\a.txt"), MakeFile(dataDir_ + "\\Grüße ΩЖ;[x]=y.txt"),
                      MakeFile(longFolder + "\\" + std::string(80, 'n') + ".txt"),
                      dataDir_ + "\\Whole"};
  MakeFile(dataDir_ + "\\Whole\\inside.txt");
  ASSERT_GT(paths[2].size(), 300u);

  auto* data = new THDropData(test::DropFilesBytes(Wide(paths)));
  auto canUnload = CanUnloadNow();
  {
  Handler h;
  ASSERT_EQ(h.Init(data), S_OK);
  canUnload = CanUnloadNow();
  ASSERT_NE(canUnload, nullptr);
  EXPECT_EQ(canUnload(), S_FALSE);  // an object lives
  HMENU popup = CreatePopupMenu();
  AppendMenuW(popup, MF_STRING, 1, L"Open");
  // A double click asks for the default item only: none of ours is added.
  EXPECT_EQ(h.menu->QueryContextMenu(popup, 0, 100, 0x7FFF, CMF_DEFAULTONLY),
            MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0));
  EXPECT_EQ(GetMenuItemCount(popup), 1);
  ASSERT_EQ(h.menu->QueryContextMenu(popup, 0, 100, 0x7FFF, CMF_NORMAL),
            MAKE_HRESULT(SEVERITY_SUCCESS, 0, 3));
  ASSERT_EQ(GetMenuItemCount(popup), 3);  // "work" is the default, offered once
  EXPECT_EQ(MenuText(popup, 0), L"Mark for Tidewell");
  EXPECT_EQ(MenuText(popup, 1), L"Mark for Backup to Volume - Offsite");
  EXPECT_EQ(MenuText(popup, 2), L"Open");
  EXPECT_EQ(GetMenuItemID(popup, 0), 100u);
  EXPECT_EQ(GetMenuItemID(popup, 1), 101u);  // value names come sorted: Offsite, work
  MENUITEMINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_CHECKMARKS;
  ASSERT_TRUE(GetMenuItemInfoW(popup, 0, TRUE, &info));
  EXPECT_NE(info.hbmpChecked, nullptr);
  EXPECT_EQ(info.hbmpChecked, info.hbmpUnchecked);

  // Help texts in every kind: UTF-16 for the wide kinds, cut to the buffer with a zero.
  wchar_t wide[128];
  char narrow[128];
  EXPECT_EQ(h.menu->GetCommandString(1, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(wide), 128),
            S_OK);
  EXPECT_STREQ(wide, L"Mark the selected files to be added to Tidewell volume - Offsite");
  EXPECT_EQ(h.menu->GetCommandString(0, GCS_VERBW, nullptr, reinterpret_cast<char*>(wide), 128),
            S_OK);
  EXPECT_STREQ(wide, L"Mark the selected files to be added to a Tidewell volume");
  EXPECT_EQ(h.menu->GetCommandString(0, GCS_HELPTEXTA, nullptr, narrow, 128), S_OK);
  EXPECT_STREQ(narrow, "Mark the selected files to be added to a Tidewell volume");
  EXPECT_EQ(h.menu->GetCommandString(1, GCS_VERBA, nullptr, narrow, 128), S_OK);
  EXPECT_STREQ(narrow, "Mark the selected files to be added to Tidewell volume - Offsite");
  memset(narrow, 'z', sizeof(narrow));
  EXPECT_EQ(h.menu->GetCommandString(0, GCS_HELPTEXTA, nullptr, narrow, 5), S_OK);
  EXPECT_STREQ(narrow, "Mark");
  EXPECT_EQ(narrow[5], 'z');
  wmemset(wide, L'z', 128);
  EXPECT_EQ(h.menu->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(wide), 3),
            S_OK);
  EXPECT_STREQ(wide, L"Ma");
  EXPECT_EQ(wide[3], L'z');
  EXPECT_EQ(h.menu->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(wide), 0),
            S_OK);
  EXPECT_EQ(wide[2], L'\0');  // size 0: nothing written
  EXPECT_EQ(h.menu->GetCommandString(2, GCS_VALIDATEW, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(h.menu->GetCommandString(3, GCS_VALIDATEA, nullptr, nullptr, 0), S_FALSE);
  EXPECT_EQ(h.menu->GetCommandString(3, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(wide), 128),
            E_INVALIDARG);

  // A verb by name or an offset past the last volume is refused.
  CMINVOKECOMMANDINFO byName{};
  byName.cbSize = sizeof(byName);
  byName.lpVerb = "open";
  EXPECT_EQ(h.menu->InvokeCommand(&byName), E_FAIL);
  EXPECT_EQ(h.Invoke(3), E_INVALIDARG);
  EXPECT_EQ(h.menu->InvokeCommand(nullptr), E_INVALIDARG);
  ASSERT_EQ(h.Invoke(0), S_OK);
  DestroyMenu(popup);
  }
  data->Release();

  auto work = Load("Work");
  EXPECT_EQ(Files(*work, dataDir_), (Strings{"a.txt", "Grüße ΩЖ;[x]=y.txt"}));
  EXPECT_EQ(Files(*work, longFolder), (Strings{std::string(80, 'n') + ".txt"}));
  ASSERT_NE(work->FindNode(dataDir_ + "\\Whole"), nullptr);
  EXPECT_TRUE(work->FindNode(dataDir_ + "\\Whole")->AllSelected());
  EXPECT_EQ(Files(*work, dataDir_ + "\\Whole"), (Strings{"inside.txt"}));

  // The shell's own data object, from the folder's IShellFolder.
  IShellFolder* desktop = nullptr;
  ASSERT_EQ(SHGetDesktopFolder(&desktop), S_OK);
  PIDLIST_RELATIVE folderId = nullptr;
  std::wstring folderName = Widen(dataDir_);
  ASSERT_EQ(desktop->ParseDisplayName(nullptr, nullptr, folderName.data(), nullptr, &folderId,
                                      nullptr),
            S_OK);
  IShellFolder* folder = nullptr;
  ASSERT_EQ(desktop->BindToObject(folderId, nullptr, IID_IShellFolder,
                                  reinterpret_cast<void**>(&folder)),
            S_OK);
  std::vector<PCUITEMID_CHILD> items;
  for (const wchar_t* name : {L"a.txt", L"Whole"}) {
    PIDLIST_RELATIVE item = nullptr;
    std::wstring n = name;
    ASSERT_EQ(folder->ParseDisplayName(nullptr, nullptr, n.data(), nullptr, &item, nullptr), S_OK);
    items.push_back(reinterpret_cast<PCUITEMID_CHILD>(item));
  }
  IDataObject* shellData = nullptr;
  ASSERT_EQ(folder->GetUIObjectOf(nullptr, static_cast<UINT>(items.size()),
                                  items.data(),
                                  IID_IDataObject, nullptr, reinterpret_cast<void**>(&shellData)),
            S_OK);
  {
    Handler shellHandler;
    ASSERT_EQ(shellHandler.Init(shellData), S_OK);
    HMENU menu2 = CreatePopupMenu();
    EXPECT_EQ(shellHandler.Query(menu2), 3u);
    EXPECT_EQ(shellHandler.Invoke(1), S_OK);  // Offsite
    DestroyMenu(menu2);
  }
  shellData->Release();
  for (auto item : items) CoTaskMemFree(const_cast<ITEMIDLIST*>(item));
  CoTaskMemFree(folderId);
  folder->Release();
  desktop->Release();
  auto offsite = Load("Offsite");
  EXPECT_EQ(Files(*offsite, dataDir_), (Strings{"a.txt"}));
  ASSERT_NE(offsite->FindNode(dataDir_ + "\\Whole"), nullptr);
  EXPECT_TRUE(offsite->FindNode(dataDir_ + "\\Whole")->AllSelected());

  // Unloading: refused while an object or a server lock lives, agreed once all are gone.
  EXPECT_EQ(canUnload(), S_OK);
  IClassFactory* factory = nullptr;
  ASSERT_EQ(CoGetClassObject(test::kTWContextClsid, CLSCTX_INPROC_SERVER, nullptr,
                             IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(canUnload(), S_FALSE);  // the factory is held
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  EXPECT_EQ(canUnload(), S_FALSE);  // one lock left
  EXPECT_EQ(CoGetClassObject(test::kTWContextClsid, CLSCTX_INPROC_SERVER, nullptr,
                             IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  EXPECT_EQ(canUnload(), S_OK);
  // An unlock without its lock must not keep the library loaded for ever.
  ASSERT_EQ(CoGetClassObject(test::kTWContextClsid, CLSCTX_INPROC_SERVER, nullptr,
                             IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  EXPECT_EQ(canUnload(), S_OK);
}

TEST_F(ContextMenuDllTest, DataThatIsNoSoundFileListAddsNothingAndRunsNothing) {
  const std::string file = MakeFile(dataDir_ + "\\a.txt");
  auto refused = [&](IDataObject* data, const char* what) {
    Handler h;
    EXPECT_TRUE(FAILED(h.Init(data))) << what;
    HMENU popup = CreatePopupMenu();
    EXPECT_EQ(h.Query(popup), 0u) << what;
    EXPECT_EQ(GetMenuItemCount(popup), 0) << what;
    EXPECT_EQ(h.Invoke(0), E_FAIL) << what;
    DestroyMenu(popup);
  };
  refused(nullptr, "no data object");
  auto* none = new THDropData("", false);
  refused(none, "no CF_HDROP");
  none->Release();

  std::string sound = test::DropFilesBytes(Wide({file}));
  std::string pastEnd = sound;
  reinterpret_cast<DROPFILES*>(pastEnd.data())->pFiles = 4096;
  std::string unterminated = sound.substr(0, sound.size() - 4);  // the list runs off its memory
  std::string shortHeader = sound.substr(0, 8);
  std::string empty = test::DropFilesBytes({});
  for (auto [bytes, what] : {std::pair{pastEnd, "offset past the block"},
                             std::pair{unterminated, "list without its end"},
                             std::pair{shortHeader, "header cut"},
                             std::pair{empty, "no file"}}) {
    auto* data = new THDropData(bytes);
    refused(data, what);
    data->Release();
  }
  FindData info;
  EXPECT_NE(fs.Stat(programDir_ + "Work.tws", info), winerr::Success);

  // A range of ids too small for every volume: none past the last.
  OfferOnMenu({"A", "B", "C"});
  Handler h;
  auto* data = new THDropData(sound);
  ASSERT_EQ(h.Init(data), S_OK);
  data->Release();
  HMENU popup = CreatePopupMenu();
  EXPECT_EQ(h.Query(popup, 10, 11), 2u);
  ASSERT_EQ(GetMenuItemCount(popup), 2);
  for (int i = 0; i < 2; ++i) EXPECT_LE(GetMenuItemID(popup, i), 11u);
  HMENU none2 = CreatePopupMenu();
  EXPECT_EQ(h.Query(none2, 12, 11), 0u);
  EXPECT_EQ(GetMenuItemCount(none2), 0);
  DestroyMenu(popup);
  DestroyMenu(none2);
}

TEST_F(ContextMenuDllTest, FiveThousandPathsNonAsciiAndLongAreAllMarked) {
  Strings paths;
  const std::string deep = dataDir_ + "\\" + std::string(150, 'd') + "\\" + std::string(100, 'e');
  for (int d = 0; d < 50; ++d) {
    const std::string folder =
        (d % 10 == 0 ? deep : dataDir_) + "\\Ordner ä" + std::to_string(d);
    MakeFile(folder + "\\Datei ΩЖ 0.txt");
    for (int f = 0; f < 100; ++f) {
      paths.push_back(folder + "\\Datei ΩЖ " + std::to_string(f) + ".txt");
      std::wstring w;
      ExtendedPath(paths.back(), w);
      CloseHandle(CreateFileW(w.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
  }
  ASSERT_GT(paths.front().size(), 300u);
  EXPECT_EQ(Mark(paths), S_OK);
  auto tree = Load("Work");
  size_t count = 0;
  WalkSelection(*tree, nullptr, [&](const TWLNode&, int) {
    ++count;
    return true;
  });
  EXPECT_EQ(count, 5000u);
  EXPECT_EQ(Files(*tree, deep + "\\Ordner ä0").size(), 100u);
}

TEST_F(ContextMenuDllTest, DamagedListsAndFilesEndInABoxOrAreWorkedAround) {
  test::TBoxWatcher boxes;
  const std::string file = MakeFile(dataDir_ + "\\a.txt");
  const std::string selection = programDir_ + "Work.tws";
  const std::string refusal = "Tidewell could not mark the selected items for volume \"Work\": ";
  auto lastBox = [&] {
    auto all = boxes.Boxes();
    return all.empty() ? test::TBoxWatcher::Box{} : all.back();
  };
  FindData info;

  // VOLUMES.TWB missing and no selection file: the volume is gone, its marks would go nowhere.
  fs.Remove(programDir_ + "VOLUMES.TWB");
  EXPECT_EQ(Mark({file}), E_FAIL);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(lastBox().caption, "Tidewell");
  EXPECT_EQ(lastBox().text, refusal + "there is no volume of that name.");
  EXPECT_TRUE(lastBox().errorIcon);
  EXPECT_NE(fs.Stat(selection, info), winerr::Success);

  // Cut or random: the list may name the volume behind the damage, so the marks are made.
  ListVolumes({"Work"});
  std::string list;
  fs.ReadAll(programDir_ + "VOLUMES.TWB", list);
  fs.WriteAtomic(programDir_ + "VOLUMES.TWB", list.substr(0, 4));
  EXPECT_EQ(Mark({file}), S_OK);
  EXPECT_EQ(Files(*Load("Work"), dataDir_), (Strings{"a.txt"}));
  fs.Remove(selection);
  std::string random(4096, '\0');
  for (size_t i = 0; i < random.size(); ++i) random[i] = static_cast<char>((i * 7919 + 13) % 251);
  fs.WriteAtomic(programDir_ + "VOLUMES.TWB", random);
  EXPECT_EQ(Mark({file}), S_OK);
  EXPECT_EQ(Files(*Load("Work"), dataDir_), (Strings{"a.txt"}));

  // A damaged selection file keeps what it holds; the marks are added to it.
  const std::string other = MakeFile(dataDir_ + "\\b.txt");
  fs.WriteAtomic(selection, random.substr(0, 1000) + "\r\n[" + dataDir_ + "]\r\na.txt=#\r\n");
  EXPECT_EQ(Mark({other}), S_OK);
  EXPECT_EQ(Files(*Load("Work"), dataDir_), (Strings{"a.txt", "b.txt"}));

  // Held without sharing by another program: a box, and the file stays as it was.
  std::string before;
  fs.ReadAll(selection, before);
  HANDLE held = CreateFileW(Widen(selection).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  boxes.Clear();
  EXPECT_EQ(Mark({MakeFile(dataDir_ + "\\c.txt")}), E_FAIL);
  CloseHandle(held);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(lastBox().text,
            refusal + "its selection file " + selection + " could not be read (error 32).");
  std::string after;
  fs.ReadAll(selection, after);
  EXPECT_EQ(after, before);

  // No default volume: the message, then Tidewell is started; nothing is written.
  SetDefault("");
  boxes.Clear();
  EXPECT_EQ(Mark({MakeFile(dataDir_ + "\\d.txt")}), E_FAIL);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(lastBox().caption, "Tidewell");
  EXPECT_EQ(lastBox().text,
            "There is no default volume selected. Please create a new backup volume now.");
  EXPECT_TRUE(lastBox().errorIcon);
  bool started = false;
  for (int i = 0; i < 500 && !started; ++i, Sleep(10))
    started = fs.Stat(programDir_ + "started.txt", info) == winerr::Success;
  EXPECT_TRUE(started);
  fs.ReadAll(selection, after);
  EXPECT_EQ(after, before);
}

// The menu as the shell shows it, for the notes of the run.
TEST_F(ContextMenuDllTest, PictureOfThePopupMenu) {
  OfferOnMenu({"Offsite", "Laptop"});
  Handler h;
  auto* data = new THDropData(test::DropFilesBytes(Wide({MakeFile(dataDir_ + "\\a.txt")})));
  ASSERT_EQ(h.Init(data), S_OK);
  data->Release();
  HMENU popup = CreatePopupMenu();
  AppendMenuW(popup, MF_STRING, 1, L"&Open");
  AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(popup, MF_STRING, 2, L"Propert&ies");
  h.menu->QueryContextMenu(popup, 1, 100, 0x7FFF, CMF_NORMAL);
  CheckMenuItem(popup, 1, MF_BYPOSITION | MF_CHECKED);  // both states draw the bitmap
  HWND owner = CreateWindowExW(0, L"STATIC", L"Explorer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                               0, 200, 100, nullptr, nullptr, nullptr, nullptr);
  SetForegroundWindow(owner);
  std::atomic<bool> taken{false};
  std::thread shooter([&] {
    for (int i = 0; i < 300 && !taken; ++i, Sleep(20)) {
      HWND menuWindow = FindWindowW(L"#32768", nullptr);
      if (menuWindow && IsWindowVisible(menuWindow)) {
        Sleep(200);
        testing::SaveRunPicture(menuWindow, "ContextMenu.bmp");
        taken = true;
      }
    }
    PostMessageW(owner, WM_CANCELMODE, 0, 0);
  });
  TrackPopupMenu(popup, TPM_RETURNCMD | TPM_NONOTIFY, 40, 40, 0, owner, nullptr);
  shooter.join();
  EXPECT_TRUE(taken);
  DestroyWindow(owner);
  DestroyMenu(popup);
}

// Last: the class goes again, twice without complaint.
TEST_F(ContextMenuDllTest, UnregisteringTwiceLeavesNoKeys) {
  EXPECT_EQ(test::RunAndWait(test::Regsvr32() + L" /u /s \"" + Widen(dllPath_) + L"\""), 0);
  EXPECT_EQ(reg.Open(RegRoot::ClassesRoot, kClassKey, false), nullptr);
  EXPECT_EQ(test::RunAndWait(test::Regsvr32() + L" /u /s \"" + Widen(dllPath_) + L"\""), 0);
}

}  // namespace
}  // namespace tw
