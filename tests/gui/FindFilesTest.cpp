// The find-files dialog on real files under Wine: searching, the list, Stop, closing, links,
// and adding to the main window's selection.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "app/WLFindFiles.h"
#include "app/WLMain.h"
#include "app/forms/Forms.h"
#include "platform/memory/ScriptedPrompts.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32FileSystem.h"
#include "tests/gui/MainWindowFixture.h"
#include "tests/gui/WindowPicture.h"

namespace tw {
namespace {

using forms::driver::Click;
using forms::driver::Enabled;
using forms::driver::Pump;
using forms::driver::Text;

// The host's path of a Windows path, as Wine maps it.
std::string UnixPathOf(const std::string& path) {
  using Fn = char*(CDECL*)(LPCWSTR);
  auto fn = reinterpret_cast<Fn>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
  if (!fn) return {};
  char* unix = fn(Widen(path).c_str());
  if (!unix) return {};
  std::string out = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return out;
}

bool Exists(const std::string& path) {
  return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Starts a program of the host (a path on Z:), as a user could. Wine does not wait for it.
void StartHost(const std::wstring& commandLine) {
  std::wstring cmd = commandLine;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &si, &pi));
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

// Runs a script with the host's shell, from a file (no quoting to survive), and waits for the
// mark it leaves at its end: Wine's handle of a host process neither waits nor tells its exit.
void Shell(const std::string& script) {
  const std::string file = Win32FileSystem().TempFolder() + "tw-find-script-" +
                           std::to_string(GetCurrentProcessId());
  const std::string mark = file + ".done", base = UnixPathOf(file);
  DeleteFileW(Widen(mark).c_str());
  const std::string text = script + "\ntouch '" + base + ".done'\n";
  HANDLE h = CreateFileW(Widen(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD wrote = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr);
  CloseHandle(h);
  StartHost(L"Z:\\bin\\sh \"" + Widen(base) + L"\"");
  for (int i = 0; i < 12000 && !Exists(mark); ++i) Sleep(10);
  ASSERT_TRUE(Exists(mark)) << script;
  DeleteFileW(Widen(mark).c_str());
  DeleteFileW(Widen(file).c_str());
}

struct THost : IFindFilesHost {
  explicit THost(IFileSystem& fs) : selection(fs) {}
  bool AddPageReady() override { return ready; }
  TWLDesktopNode& AddSelection() override { return selection; }
  void AddSelectionChanged() override { ++changed; }
  void ShowHelp(int context) override { helpContexts.push_back(context); }
  bool ready = true;
  std::vector<int> helpContexts;
  int changed = 0;
  TWLDesktopNode selection;
};

class FindFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // In the prefix's temporary folder: files come and go much faster there than in /tmp.
    root_ = fs.TempFolder() + "tw-find-" + std::to_string(GetCurrentProcessId());
    unix_ = UnixPathOf(root_);
    ASSERT_FALSE(unix_.empty());
    Shell("rm -rf '" + unix_ + "'\nmkdir -p '" + unix_ + "'\n");
    DWORD attrs = GetFileAttributesW(Widen(root_).c_str());
    ASSERT_TRUE(attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)) << root_;
  }
  void TearDown() override {
    if (fWLFindFiles) DestroyWindow(fWLFindFiles->Handle());
    Pump();
    Shell("rm -rf '" + unix_ + "'");
  }
  TfWLFindFiles& Open() {
    TfWLFindFiles* form = TfWLFindFiles::ShowFor({&fs, &prompts, &host, nullptr, nullptr});
    EXPECT_NE(form, nullptr);
    EXPECT_EQ(form, fWLFindFiles);
    Pump();
    return *form;
  }
  HWND Dialog() { return fWLFindFiles ? fWLFindFiles->Handle() : nullptr; }
  void Type(const std::string& name, const std::string& text) {
    forms::SetWindowTextUtf8(forms::FindControl(Dialog(), name), text);
  }
  void Search(const std::string& masks, const std::string& folders) {
    Type("NamedAsCB", masks);
    Type("SearchCB", folders);
    ASSERT_TRUE(Click(Dialog(), "GoBTN"));
  }
  // Lets messages run until the search has ended; false after the time allowed.
  bool WaitDone(int seconds = 60) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (fWLFindFiles && fWLFindFiles->Searching()) {
      if (std::chrono::steady_clock::now() > end) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      Pump();
    }
    return true;
  }
  std::set<std::string> Rows(int column = 0) {
    std::set<std::string> rows;
    for (int i = 0; i < fWLFindFiles->RowCount(); ++i)
      rows.insert(fWLFindFiles->RowText(i, 1) + fWLFindFiles->RowText(i, column));
    return rows;
  }
  HWND List() { return forms::FindControl(Dialog(), "FilesLV"); }
  std::string ListText(int row, int column) {
    wchar_t buf[512] = {};
    ListView_GetItemText(List(), row, column, buf, 512);
    return Narrow(buf);
  }
  std::string Status() { return forms::WindowText(forms::FindControl(Dialog(), "StatusBar1")); }
  // A tree of folders x files empty files, made by the host's shell in a moment.
  void MakeBigTree(const std::string& name, int folders, int files) {
    Shell("cd '" + unix_ + "' && mkdir " + name + " && cd " + name + " && for d in $(seq 1 " +
          std::to_string(folders) + "); do mkdir d$d && (cd d$d && seq 1 " +
          std::to_string(files) + " | sed s/$/.dat/ | xargs touch); done");
  }

  std::string unix_, root_;
  Win32FileSystem fs;
  ScriptedPrompts prompts;
  THost host{fs};
};

TEST_F(FindFilesTest, GoListsMatchingFilesWithTheirColumnsAndAddPutsCheckedOnesInTheSelection) {
  const std::string t = root_ + "\\tree";
  ASSERT_EQ(fs.MakeDirPath(t + "\\sub\\deep"), winerr::Success);
  ASSERT_EQ(fs.WriteAtomic(t + "\\a.txt", ""), winerr::Success);
  ASSERT_EQ(fs.WriteAtomic(t + "\\b.TXT", std::string(3000, 'x')), winerr::Success);
  ASSERT_EQ(fs.WriteAtomic(t + "\\sub\\c.txt", "c"), winerr::Success);
  ASSERT_EQ(fs.WriteAtomic(t + "\\sub\\d.doc", "d"), winerr::Success);
  ASSERT_EQ(fs.WriteAtomic(t + "\\sub\\deep\\e.txt", "e"), winerr::Success);

  TfWLFindFiles& find = Open();
  HWND dialog = Dialog();
  EXPECT_EQ(forms::WindowText(dialog), "Corvane Tidewell - Find Files");
  EXPECT_EQ(Text(dialog, "SearchCB"), "C:\\");
  EXPECT_FALSE(Enabled(dialog, "StopBTN"));
  EXPECT_FALSE(Enabled(dialog, "ClearBTN"));
  // F1 in the dialog (WM_HELP) opens its own help, not the main window's page.
  SendMessageW(dialog, WM_HELP, 0, 0);
  EXPECT_EQ(host.helpContexts, std::vector<int>{320});

  // A file fitting two masks is listed once; the search folder named twice is searched once.
  Search("*.txt;?.TXT", t + ";" + t + "\\sub");
  EXPECT_TRUE(find.Searching());
  EXPECT_TRUE(find.AnimationPlaying());  // Wine's clip has two frames: played to its last
  EXPECT_FALSE(Enabled(dialog, "GoBTN"));
  ASSERT_TRUE(WaitDone());
  EXPECT_TRUE(Enabled(dialog, "GoBTN"));
  EXPECT_FALSE(Enabled(dialog, "StopBTN"));
  EXPECT_TRUE(Enabled(dialog, "ClearBTN"));
  EXPECT_FALSE(find.AnimationPlaying());
  EXPECT_EQ(Rows(), (std::set<std::string>{t + "\\a.txt", t + "\\b.TXT", t + "\\sub\\c.txt",
                                           t + "\\sub\\deep\\e.txt"}));
  ASSERT_EQ(ListView_GetItemCount(List()), 4);
  // The list shows what the rows hold, columns in order.
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(ListText(i, 0), find.RowText(i, 0));
    EXPECT_EQ(ListText(i, 1).back(), '\\');
    EXPECT_EQ(ListText(i, 2), find.RowText(i, 0) == "b.TXT" ? "2 KB" : "1 KB");
    EXPECT_FALSE(ListText(i, 4).empty());
  }
  HWND header = ListView_GetHeader(List());
  EXPECT_EQ(Header_GetItemCount(header), 5);
  // The masks and folders typed are kept in the drop-down lists.
  EXPECT_NE(SendMessageW(forms::FindControl(dialog, "NamedAsCB"), CB_FINDSTRINGEXACT,
                         static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"*.TXT;?.txt")),
            CB_ERR);

  // Check all and uncheck all reach every row, as the list draws them.
  ASSERT_TRUE(Click(dialog, "CheckSelectedBTN"));
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(find.RowChecked(i));
    EXPECT_EQ(ListView_GetItemState(List(), i, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(2));
  }
  ASSERT_TRUE(Click(dialog, "UnCheckSelectedBTN"));
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(find.RowChecked(i));
  // A click on a row's check box turns it, once.
  RECT bounds{};
  ListView_GetItemRect(List(), 1, &bounds, LVIR_BOUNDS);
  LVHITTESTINFO hit{};
  hit.pt = {bounds.left + 8, (bounds.top + bounds.bottom) / 2};
  ASSERT_EQ(ListView_SubItemHitTest(List(), &hit), 1);
  ASSERT_TRUE(hit.flags & LVHT_ONITEMSTATEICON);
  const LPARAM at = MAKELPARAM(hit.pt.x, hit.pt.y);
  PostMessageW(List(), WM_LBUTTONUP, 0, at);
  SendMessageW(List(), WM_LBUTTONDOWN, MK_LBUTTON, at);
  Pump();
  EXPECT_TRUE(find.RowChecked(1));
  EXPECT_FALSE(find.RowChecked(0));
  EXPECT_EQ(ListView_GetItemState(List(), 1, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(2));
  // Space turns the selected rows, once.
  ListView_SetItemState(List(), -1, 0, LVIS_SELECTED);
  ListView_SetItemState(List(), 2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  SendMessageW(List(), WM_KEYDOWN, VK_SPACE, 0);
  SendMessageW(List(), WM_CHAR, L' ', 0);
  SendMessageW(List(), WM_KEYUP, VK_SPACE, 0);
  Pump();
  EXPECT_TRUE(find.RowChecked(2));
  EXPECT_TRUE(find.RowChecked(1));
  find.SetRowChecked(2, false);
  testing::SaveRunPicture(dialog, "find-files.bmp");

  // Add off the Add page: refused with its message, nothing added.
  ASSERT_TRUE(Click(dialog, "CheckSelectedBTN"));
  find.SetRowChecked(0, false);
  const std::string skipped = find.RowText(0, 1) + find.RowText(0, 0);
  host.ready = false;
  ASSERT_TRUE(Click(dialog, "AddToBackupBTN"));
  ASSERT_EQ(prompts.Count(), 1u);
  EXPECT_EQ(prompts.Last().text, "Can only add files when the Add to Files screen is shown");
  EXPECT_EQ(prompts.Last().caption, "Tidewell");
  EXPECT_EQ(prompts.Last().flags, mb::Ok | mb::IconError);
  EXPECT_EQ(host.selection.RootCount(), 0);
  EXPECT_EQ(host.changed, 0);

  // On the Add page the checked rows go in with their sizes; the rows stay, checked.
  host.ready = true;
  ASSERT_TRUE(Click(dialog, "AddToBackupBTN"));
  EXPECT_EQ(host.changed, 1);
  int added = 0;
  for (const char* f : {"\\a.txt", "\\b.TXT", "\\sub\\c.txt", "\\sub\\deep\\e.txt"}) {
    std::string path = t + f;
    size_t slash = path.rfind('\\');
    TWLNode* node = host.selection.FindNode(path.substr(0, slash));
    int index = node ? node->IndexOfFile(path.substr(slash + 1)) : -1;
    if (path == skipped) {
      EXPECT_EQ(index, -1) << path;
      continue;
    }
    ASSERT_GE(index, 0) << path;
    EXPECT_EQ(node->FileSize(index), path.ends_with("b.TXT") ? 3000 : (path.ends_with("a.txt") ? 0 : 1));
    ++added;
  }
  EXPECT_EQ(added, 3);
  EXPECT_EQ(find.RowCount(), 4);
  EXPECT_TRUE(find.RowChecked(1));

  // A number of days out of range is refused before anything changes.
  Type("ChangedSLE", "1001");
  ASSERT_TRUE(Click(dialog, "GoBTN"));
  EXPECT_FALSE(find.Searching());
  EXPECT_EQ(prompts.Last().text, "Please enter a number of days from 0 to 1000.");
  EXPECT_EQ(prompts.Last().flags, mb::Ok | mb::IconWarning);
  EXPECT_EQ(find.RowCount(), 4);
  // One day: the files were written just now.
  Type("ChangedSLE", "1");
  Search("*.doc", t);
  ASSERT_TRUE(WaitDone());
  EXPECT_EQ(Rows(), std::set<std::string>{t + "\\sub\\d.doc"});

  // The folder browser's choice replaces the folders to search.
  prompts.AnswerFolder(t + "\\sub");
  ASSERT_TRUE(Click(dialog, "BrowseBTN"));
  EXPECT_EQ(Text(dialog, "SearchCB"), t + "\\sub");
  EXPECT_EQ(prompts.BrowseTitles().back(), "Select path to find files in");

  ASSERT_TRUE(Click(dialog, "ClearBTN"));
  EXPECT_EQ(find.RowCount(), 0);
  EXPECT_EQ(ListView_GetItemCount(List()), 0);
  EXPECT_FALSE(Enabled(dialog, "ClearBTN"));

  // Fin&d again finds the open dialog; closing frees it.
  EXPECT_EQ(TfWLFindFiles::ShowFor({&fs, &prompts, &host, nullptr, nullptr}), &find);
  SendMessageW(dialog, WM_CLOSE, 0, 0);
  EXPECT_EQ(fWLFindFiles, nullptr);
  EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(FindFilesTest, StopKeepsTheRowsFoundAndCountsThem) {
  MakeBigTree("big", 40, 250);
  TfWLFindFiles& find = Open();
  Search("*.*", root_ + "\\big");
  // Stop once the first rows are in.
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (find.Searching() && find.RowCount() == 0 && std::chrono::steady_clock::now() < end) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    Pump();
  }
  ASSERT_TRUE(find.Searching()) << "the search ended before it could be stopped";
  ASSERT_TRUE(Click(Dialog(), "StopBTN"));
  const int rows = find.RowCount();
  EXPECT_GT(rows, 0);
  EXPECT_LT(rows, 10000);
  EXPECT_EQ(Status(), "File Count: " + std::to_string(rows));
  ASSERT_TRUE(WaitDone(10));
  EXPECT_TRUE(Enabled(Dialog(), "GoBTN"));
  EXPECT_EQ(find.RowCount(), rows);
  EXPECT_EQ(ListView_GetItemCount(List()), rows);
  EXPECT_EQ(Status(), "File Count: " + std::to_string(rows));
}

TEST_F(FindFilesTest, CloseIsRefusedWhileSearchingAndDestroyingStopsTheThreads) {
  MakeBigTree("big", 40, 250);
  TfWLFindFiles& find = Open();
  Search("*.nomatch", root_ + "\\big");
  ASSERT_TRUE(find.Searching());
  HWND dialog = Dialog();
  SendMessageW(dialog, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_EQ(fWLFindFiles, &find);
  // As at the end of the program or of the Windows session: the threads end with the dialog.
  DestroyWindow(dialog);
  EXPECT_EQ(fWLFindFiles, nullptr);
  Pump();
}

TEST_F(FindFilesTest, LinksAreNotEnteredSoALoopOfThemEnds) {
  const std::string t = root_ + "\\loop";
  ASSERT_EQ(fs.MakeDirPath(t + "\\x"), winerr::Success);
  ASSERT_EQ(fs.MakeDirPath(t + "\\y"), winerr::Success);
  ASSERT_EQ(fs.WriteAtomic(t + "\\x\\f.txt", ""), winerr::Success);
  ASSERT_EQ(fs.WriteAtomic(t + "\\y\\g.txt", ""), winerr::Success);
  const std::string u = unix_ + "/loop";
  // Wine 8's CreateSymbolicLinkW makes nothing: the host's ln makes the links.
  StartHost(Widen("Z:\\bin\\ln -s ../y \"" + u + "/x/toY\""));
  StartHost(Widen("Z:\\bin\\ln -s ../x \"" + u + "/y/toX\""));
  for (int i = 0; i < 1000 && !(Exists(t + "\\x\\toY") && Exists(t + "\\y\\toX")); ++i) Sleep(10);
  FindData link;
  ASSERT_EQ(fs.Stat(t + "\\x\\toY", link), winerr::Success);
  ASSERT_TRUE(link.IsDirectory());

  TfWLFindFiles& find = Open();
  Search("*.*", t);
  bool done = WaitDone(20);
  if (!done) Click(Dialog(), "StopBTN");
  ASSERT_TRUE(done) << "the search followed the links";
  EXPECT_EQ(Rows(), (std::set<std::string>{t + "\\x\\f.txt", t + "\\y\\g.txt"}));
}

// The dialog from the main window: Fin&d on the Add page, the refusal elsewhere, and what Add
// changes on the page.
class FindFromMainWindowTest : public testing::MainWindowFixture {};

TEST_F(FindFromMainWindowTest, FindOpensFromTheAddPageAndAddsOnlyWhileItShows) {
  fs.WriteFile("C:\\Data\\one.txt", std::string(1500, 'x'));
  fs.WriteFile("C:\\Data\\two.txt", "y");
  HWND main = Start();
  form->WizardMode = wmBackup;
  form->ShowPage(pgAdd);
  Pump();
  ASSERT_TRUE(Click(main, "FindBTN"));
  ASSERT_NE(fWLFindFiles, nullptr);
  TfWLFindFiles& find = *fWLFindFiles;
  HWND dialog = find.Handle();
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), main);
  ASSERT_TRUE(Click(main, "FindBTN"));
  EXPECT_EQ(fWLFindFiles, &find);

  forms::SetWindowTextUtf8(forms::FindControl(dialog, "NamedAsCB"), "*.txt");
  forms::SetWindowTextUtf8(forms::FindControl(dialog, "SearchCB"), "c:\\data");
  ASSERT_TRUE(Click(dialog, "GoBTN"));
  for (int i = 0; i < 500 && find.Searching(); ++i) {
    Sleep(10);
    Pump();
  }
  ASSERT_FALSE(find.Searching());
  ASSERT_EQ(find.RowCount(), 2);
  ASSERT_TRUE(Click(dialog, "CheckSelectedBTN"));

  // Off the Add page: refused.
  form->ShowPage(pgMain);
  ASSERT_TRUE(Click(dialog, "AddToBackupBTN"));
  EXPECT_EQ(prompts.Last().text, "Can only add files when the Add to Files screen is shown");
  EXPECT_EQ(form->State.AddSelection.RootCount(), 0);
  // A disabled main window (an operation or a scan is using the selection): refused.
  form->ShowPage(pgAdd);
  EnableWindow(main, FALSE);
  ASSERT_TRUE(Click(dialog, "AddToBackupBTN"));
  EXPECT_EQ(prompts.Count(), 2u);
  EXPECT_EQ(form->State.AddSelection.RootCount(), 0);
  EnableWindow(main, TRUE);

  ASSERT_TRUE(Click(dialog, "AddToBackupBTN"));
  EXPECT_EQ(prompts.Count(), 2u);
  ASSERT_EQ(form->State.AddSelection.RootCount(), 1);  // under the root C: the tree already uses
  EXPECT_EQ(form->State.AddSelection.Root(0)->Name(), "C:");
  EXPECT_EQ(form->State.AddFileCount, 2);
  EXPECT_EQ(form->State.AddByteCount, 1501);
  wchar_t panel[128] = {};
  SendMessageW(form->State.StatusBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(panel));
  EXPECT_EQ(Narrow(panel), "2 Selected File(s)");

  // The dialog goes with the main window.
  form.reset();
  EXPECT_EQ(fWLFindFiles, nullptr);
}

}  // namespace
}  // namespace tw
