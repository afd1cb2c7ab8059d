// The folder list on real files under Wine: column texts, filters, sorting, check boxes,
// re-reading, opening items and its keys.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/gui/ShellViewsDemo.h"

namespace tw::test {
namespace {

using shellviews::TFolderEnumerator;

class FolderListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.File("empty.bin", 0);
    dir.File("one.bin", 1);
    dir.File("k1023.bin", 1023);
    dir.File("K1024.bin", 1024);
    dir.File("big.bin", 5000);
    dir.File("ro.txt", 10, FILE_ATTRIBUTE_READONLY);
    dir.File(".hidden.txt", 3);  // dot files are hidden under Wine
    dir.Dir("sub");
    dir.File("sub\\inside.txt", 1);
    ASSERT_TRUE(form.Create());
    form.DemoNSE.SetFolderEnumerator(nullptr);  // these tests drive the list alone
    ASSERT_TRUE(list().SetFolder(dir.Path()));
  }

  TFolderEnumerator& list() { return form.DemoFE; }
  HWND hwnd() { return list().Handle(); }
  int Row(const std::string& caption) {
    for (int i = 0; i < list().ItemCount(); ++i)
      if (ListText(hwnd(), i, 0) == caption) return i;
    return -1;
  }
  std::vector<std::string> Names() {
    std::vector<std::string> out;
    for (int i = 0; i < list().ItemCount(); ++i) out.push_back(list().ItemInfo(i).FileName);
    return out;
  }
  POINT StatePoint(int row) {
    RECT icon{};
    icon.left = LVIR_ICON;
    SendMessageW(hwnd(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&icon));
    return {icon.left - 8, (icon.top + icon.bottom) / 2};
  }
  POINT LabelPoint(int row) {
    RECT label{};
    label.left = LVIR_LABEL;
    SendMessageW(hwnd(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&label));
    return {label.left + 5, (label.top + label.bottom) / 2};
  }
  void ClickHeader(int column) {
    HWND header = ListView_GetHeader(hwnd());
    RECT rc{};
    Header_GetItemRect(header, column, &rc);
    ClickAt(header, {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2});
    forms::driver::Pump();
  }

  ScratchDir dir{"list"};
  TfShellViewsDemo form;
};

TEST_F(FolderListTest, ColumnsAndTheirTexts) {
  HWND header = ListView_GetHeader(hwnd());
  ASSERT_EQ(Header_GetItemCount(header), 4);
  const char* captions[] = {"Name", "Size", "Type", "Modified"};
  const int widths[] = {200, 50, 100, 200};
  for (int i = 0; i < 4; ++i) {
    wchar_t buf[64] = {};
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH;
    col.pszText = buf;
    col.cchTextMax = 64;
    ASSERT_TRUE(ListView_GetColumn(hwnd(), i, &col));
    EXPECT_EQ(Narrow(buf), captions[i]);
    EXPECT_EQ(col.cx, widths[i]);
    EXPECT_EQ(col.fmt & LVCFMT_JUSTIFYMASK, i == 1 ? LVCFMT_RIGHT : LVCFMT_LEFT);
  }

  EXPECT_EQ(Row(".hidden.txt"), -1);  // hidden files only with ShowHidden
  EXPECT_EQ(ListText(hwnd(), Row("empty.bin"), 1), "0KB");
  EXPECT_EQ(ListText(hwnd(), Row("one.bin"), 1), "1KB");
  EXPECT_EQ(ListText(hwnd(), Row("k1023.bin"), 1), "1KB");
  EXPECT_EQ(ListText(hwnd(), Row("K1024.bin"), 1), "1KB");
  EXPECT_EQ(ListText(hwnd(), Row("big.bin"), 1), "4KB");
  EXPECT_EQ(ListText(hwnd(), Row("sub"), 1), "");
  EXPECT_NE(ListText(hwnd(), Row("sub"), 2), "");  // the shell's type name of a folder
  EXPECT_EQ(ListText(hwnd(), Row("one.bin"), 2), ListText(hwnd(), Row("big.bin"), 2));
  EXPECT_NE(ListText(hwnd(), Row("one.bin"), 3), "");

  auto info = list().ItemInfo(Row("K1024.bin"));
  EXPECT_EQ(info.Size, 1024);
  EXPECT_FALSE(info.IsFolder());
  EXPECT_EQ(info.Path, dir / "K1024.bin");
  EXPECT_TRUE(list().ItemInfo(Row("sub")).IsFolder());

  // The hidden columns on show: extension and attributes.
  auto ext = list().FolderColumn(shellviews::cnExtension);
  ext.Visible = true;
  list().SetFolderColumn(shellviews::cnExtension, ext);
  auto attrs = list().FolderColumn(shellviews::cnAttributes);
  attrs.Visible = true;
  list().SetFolderColumn(shellviews::cnAttributes, attrs);
  list().SetShowHidden(true);
  ASSERT_EQ(Header_GetItemCount(header), 6);
  int ac = list().ColumnIndex(shellviews::cnAttributes);
  EXPECT_EQ(ListText(hwnd(), Row("ro.txt"), ac), "..RA.");
  EXPECT_EQ(ListText(hwnd(), Row("ro.txt"), list().ColumnIndex(shellviews::cnExtension)), ".txt");
  EXPECT_EQ(ListText(hwnd(), Row("sub"), ac).substr(4), "D");
  ASSERT_GE(Row(".hidden.txt"), 0);
  EXPECT_EQ(ListText(hwnd(), Row(".hidden.txt"), ac).substr(0, 1), "H");
}

TEST_F(FolderListTest, SortingKeepsFoldersFirstAndSizeListsTheLargestFirst) {
  EXPECT_EQ(Names(), (std::vector<std::string>{"sub", "big.bin", "empty.bin", "k1023.bin",
                                               "K1024.bin", "one.bin", "ro.txt"}));
  list().SetSortColumn(shellviews::cnSize);
  EXPECT_EQ(Names(), (std::vector<std::string>{"sub", "big.bin", "K1024.bin", "k1023.bin",
                                               "ro.txt", "one.bin", "empty.bin"}));
  list().SetSortOrder(shellviews::soDescending);
  EXPECT_EQ(Names(), (std::vector<std::string>{"sub", "empty.bin", "one.bin", "ro.txt",
                                               "k1023.bin", "K1024.bin", "big.bin"}));

  // Header clicks: another column sorts ascending, the same column again reverses.
  list().SetSortColumn(shellviews::cnName);
  list().SetSortOrder(shellviews::soAscending);
  list().SelectItem(Row("ro.txt"));
  ClickHeader(1);  // Size
  EXPECT_EQ(list().SortColumn(), shellviews::cnSize);
  EXPECT_EQ(list().SortOrder(), shellviews::soAscending);
  EXPECT_EQ(Names()[1], "big.bin");
  ClickHeader(1);
  EXPECT_EQ(list().SortOrder(), shellviews::soDescending);
  EXPECT_EQ(Names()[1], "empty.bin");
  // The selection stays on the same file whatever its new row.
  auto sel = list().SelectedIndexes();
  ASSERT_EQ(sel.size(), 1u);
  EXPECT_EQ(list().ItemInfo(sel[0]).FileName, "ro.txt");

  list().ColumnClick = false;
  ClickHeader(0);
  EXPECT_EQ(list().SortColumn(), shellviews::cnSize);
}

TEST_F(FolderListTest, FileMaskFiltersFilesButNeverFolders) {
  int refreshes = 0;
  list().OnRefresh = [&](TFolderEnumerator*) { ++refreshes; };
  list().SetFileMask("*.txt; K*.BIN");
  EXPECT_EQ(Names(), (std::vector<std::string>{"sub", "k1023.bin", "K1024.bin", "ro.txt"}));
  EXPECT_EQ(refreshes, 1);  // a changed mask re-reads the same folder
  list().SetFileMask("*.none");
  EXPECT_EQ(Names(), (std::vector<std::string>{"sub"}));
  list().SetShowFolders(false);
  EXPECT_EQ(list().ItemCount(), 0);
  list().SetFileMask("*.*");
  EXPECT_EQ(list().ItemCount(), 6);
  EXPECT_EQ(refreshes, 4);
}

TEST_F(FolderListTest, TemporaryFilesOfOursLeftByAKilledCopyAreNotShown) {
  dir.File("~tw5-1.tmp", 4);
  dir.File("~tw5-1.tmp.txt", 4);  // a name of the user's own
  SendMessageW(hwnd(), WM_KEYDOWN, VK_F5, 0);
  EXPECT_EQ(Row("~tw5-1.tmp"), -1);
  EXPECT_GE(Row("~tw5-1.tmp.txt"), 0);
}

TEST_F(FolderListTest, CheckBoxClicksAndProgramChangesRaiseOnCheck) {
  std::vector<std::pair<std::string, int>> checks;
  list().OnCheck = [&](TFolderEnumerator* l, int i) {
    checks.push_back({l->ItemInfo(i).FileName, l->CheckState(i)});
  };
  int one = Row("one.bin");
  EXPECT_EQ(list().CheckState(one), 0);  // new items are drawn unchecked
  EXPECT_EQ(ListView_GetItemState(hwnd(), one, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1u));

  ClickAt(hwnd(), StatePoint(one));
  EXPECT_EQ(list().CheckState(one), 2);
  EXPECT_EQ(ListView_GetItemState(hwnd(), one, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(3u));
  ClickAt(hwnd(), StatePoint(one));
  EXPECT_EQ(list().CheckState(one), 3);
  ClickAt(hwnd(), LabelPoint(one));  // selects, does not toggle
  EXPECT_EQ(list().CheckState(one), 3);
  ClickAt(hwnd(), StatePoint(one));
  EXPECT_EQ(list().CheckState(one), 2);

  list().SetItemCheckState(Row("sub"), 4);
  EXPECT_EQ(list().CheckState(Row("sub")), 4);
  EXPECT_EQ(checks, (std::vector<std::pair<std::string, int>>{
                        {"one.bin", 2}, {"one.bin", 3}, {"one.bin", 2}, {"sub", 4}}));

  list().SetItemCheckState(-1, 2);
  list().SetItemCheckState(one, 7);
  EXPECT_EQ(checks.size(), 4u);

  // Without check boxes a click there is just a click.
  list().SetChecks(false);
  ClickAt(hwnd(), StatePoint(Row("big.bin")));
  EXPECT_EQ(list().CheckState(Row("big.bin")), 0);
}

TEST_F(FolderListTest, RereadKeepsTheSelectedCaptionAndCallsOnRefresh) {
  int refreshes = 0;
  list().OnRefresh = [&](TFolderEnumerator*) { ++refreshes; };
  list().SelectItem(Row("K1024.bin"));
  dir.File("aaa.bin", 5);
  dir.File("abc.bin", 5);
  SendMessageW(hwnd(), WM_KEYDOWN, VK_F5, 0);
  EXPECT_EQ(refreshes, 1);
  ASSERT_GE(Row("aaa.bin"), 0);
  auto sel = list().SelectedIndexes();
  ASSERT_EQ(sel.size(), 1u);
  EXPECT_EQ(list().ItemInfo(sel[0]).Caption, "K1024.bin");

  // Another folder is shown, not re-read.
  ASSERT_TRUE(list().SetFolder(dir / "sub"));
  EXPECT_EQ(refreshes, 1);
  EXPECT_EQ(Names(), (std::vector<std::string>{"inside.txt"}));
  EXPECT_FALSE(list().SetFolder(dir / "missing"));
  EXPECT_EQ(list().ItemCount(), 0);
}

TEST_F(FolderListTest, DoubleClickAndKeysOpenFoldersGoUpAndSelectAll) {
  bool allow = false;
  int asked = 0;
  list().OnDoubleClick = [&](TFolderEnumerator*, bool& execute) {
    ++asked;
    execute = allow;
  };
  ClickAt(hwnd(), LabelPoint(Row("sub")), true);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(list().Folder(), dir.Path());

  allow = true;
  ClickAt(hwnd(), LabelPoint(Row("sub")), true);
  EXPECT_EQ(list().Folder(), dir / "sub");
  SendMessageW(hwnd(), WM_KEYDOWN, VK_BACK, 0);
  EXPECT_EQ(list().Folder(), dir.Path());

  list().SelectItem(Row("sub"));
  SendMessageW(hwnd(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(list().Folder(), dir / "sub");
  EXPECT_EQ(asked, 3);
  SendMessageW(hwnd(), WM_KEYDOWN, VK_BACK, 0);

  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  SendMessageW(hwnd(), WM_KEYDOWN, 'A', 0);
  keys[VK_CONTROL] = 0;
  SetKeyboardState(keys);
  EXPECT_EQ(static_cast<int>(list().SelectedIndexes().size()), list().ItemCount());
}

TEST_F(FolderListTest, BackspaceStopsAtTheLinkedTreesRoot) {
  auto& tree = form.DemoNSE;
  tree.SetRootFolder(dir.Path());
  tree.SetRootedAt(shellviews::raFileSystem);
  tree.SetFolderEnumerator(&list());
  tree.Select(0);
  ASSERT_TRUE(PumpUntil([&] { return list().Folder() == dir.Path(); }));
  PumpFor(600);

  list().Open(Row("sub"));
  ASSERT_EQ(list().Folder(), dir / "sub");
  SendMessageW(hwnd(), WM_KEYDOWN, VK_BACK, 0);
  EXPECT_EQ(list().Folder(), dir.Path());
  ASSERT_TRUE(PumpUntil([&] { return tree.SelectedIndex() == 0; }));
  PumpFor(600);

  SendMessageW(hwnd(), WM_KEYDOWN, VK_BACK, 0);
  PumpFor(600);
  EXPECT_EQ(list().Folder(), dir.Path());
  EXPECT_GE(Row("sub"), 0);
  EXPECT_EQ(tree.SelectedIndex(), 0);

  // Without a tree the list goes up as far as the namespace goes.
  tree.SetFolderEnumerator(nullptr);
  ASSERT_TRUE(list().SetFolder(dir.Path()));
  SendMessageW(hwnd(), WM_KEYDOWN, VK_BACK, 0);
  EXPECT_NE(list().Folder(), dir.Path());
}

TEST_F(FolderListTest, TabMovesTheFocusOnButOtherKeysStayWithTheList) {
  HWND next = CreateWindowExW(0, WC_EDITW, L"abc", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 8, 600, 80,
                              24, form.Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(next);
  // The program's loop: the dialog manager sees every key first.
  auto press = [&](WPARAM key, bool shift) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    MSG msg{};
    msg.hwnd = hwnd();
    msg.message = WM_KEYDOWN;
    msg.wParam = key;
    if (!IsDialogMessageW(form.Handle(), &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    forms::driver::Pump();
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
  };
  SetFocus(hwnd());
  ASSERT_EQ(GetFocus(), hwnd());
  press(VK_TAB, false);
  EXPECT_EQ(GetFocus(), next);
  // Moved by the dialog manager itself, which selects an edit's text on the way in.
  DWORD from = 0, to = 0;
  SendMessageW(next, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
  EXPECT_EQ(from, 0u);
  EXPECT_EQ(to, 3u);
  SetFocus(hwnd());
  press(VK_TAB, true);
  EXPECT_EQ(GetFocus(), form.DemoNSE.Handle());

  // A loop without the dialog manager: the list passes the focus on itself.
  SetFocus(hwnd());
  PostMessageW(hwnd(), WM_KEYDOWN, VK_TAB, 0);
  forms::driver::Pump();
  EXPECT_EQ(GetFocus(), next);

  // Enter still opens the focused folder rather than pressing a default button.
  SetFocus(hwnd());
  list().SelectItem(Row("sub"));
  press(VK_RETURN, false);
  EXPECT_EQ(list().Folder(), dir / "sub");
  DestroyWindow(next);
}

}  // namespace
}  // namespace tw::test
