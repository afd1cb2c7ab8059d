#include "app/WLFindFiles.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <system_error>

#include "platform/WinCodes.h"
#include "platform/win32/Utf.h"
#include "platform/win32/Win32Clock.h"

namespace tw {

TfWLFindFiles* fWLFindFiles = nullptr;

namespace {
constexpr int kClientW = 600, kClientH = 420;
constexpr int kMinW = 560, kMinH = 400;  // outer size
constexpr UINT_PTR kCountTimer = 1;
constexpr UINT kCountMs = 100;  // the list's length changes at most ten times a second
constexpr int kAnimation = 150;  // the shell's find-file clip
constexpr int kStopFrame = 23;
constexpr size_t kBatch = 512;
const char kAddRefused[] = "Can only add files when the Add to Files screen is shown";
const char* const kLockedWhileSearching[] = {"NamedAsCB", "ChangedSLE", "SearchCB",
                                             "IncludeSubFoldersCB", "BrowseBTN", "GoBTN",
                                             "ClearBTN"};

enum TColumn { colName, colFolder, colSize, colType, colModified };

// Frames of an AVI resource (the main header's total), 0 when it cannot be read.
int AviFrames(HMODULE module, int id) {
  HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(id), L"AVI");
  if (!res) return 0;
  HGLOBAL data = LoadResource(module, res);
  const auto* bytes = static_cast<const unsigned char*>(data ? LockResource(data) : nullptr);
  const DWORD size = SizeofResource(module, res);
  if (!bytes) return 0;
  for (DWORD i = 0; i + 8 + 20 <= size && i < 512; ++i) {
    if (memcmp(bytes + i, "avih", 4) == 0) {
      DWORD frames;
      memcpy(&frames, bytes + i + 8 + 16, sizeof(frames));  // after size, 4 DWORDs in
      return static_cast<int>(std::min<DWORD>(frames, 1u << 20));
    }
  }
  return 0;
}

std::string Trimmed(const std::string& s) {
  size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}
}  // namespace

// A thread's results: batched, passed on when a batch is full or a folder ends.
class TfWLFindFiles::TSink : public find::IFindSink {
 public:
  explicit TSink(TfWLFindFiles& form) : form_(form) {}
  void Found(const std::string& folder, const FindData& file) override {
    if (!folder_ || *folder_ != folder) folder_ = std::make_shared<const std::string>(folder);
    TRow row;
    row.folder = folder_;
    row.name = file.name;
    row.size = file.size;
    row.modified = file.lastWrite;
    batch_.push_back(std::move(row));
    if (batch_.size() >= kBatch) Flush();
  }
  void FolderDone() override {
    if (!batch_.empty()) Flush();
  }
  void Flush() { form_.Deliver(batch_); }

 private:
  TfWLFindFiles& form_;
  std::shared_ptr<const std::string> folder_;
  std::vector<TRow> batch_;
};

TfWLFindFiles* TfWLFindFiles::ShowFor(const TFindFilesEnv& env) {
  if (!fWLFindFiles) {
    auto* form = new TfWLFindFiles(env);
    if (!form->Valid()) {
      delete form;
      return nullptr;
    }
    fWLFindFiles = form;
    ShowWindow(form->Handle(), SW_SHOW);
  } else if (IsIconic(fWLFindFiles->Handle())) {
    ShowWindow(fWLFindFiles->Handle(), SW_RESTORE);
  }
  SetForegroundWindow(fWLFindFiles->Handle());
  BringWindowToTop(fWLFindFiles->Handle());
  return fWLFindFiles;
}

TfWLFindFiles::TfWLFindFiles(const TFindFilesEnv& env) : env_(env) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_ANIMATE_CLASS | ICC_LISTVIEW_CLASSES |
                                            ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&icc);
  if (!CreateFormClient(L"TfWLFindFiles", "Corvane Tidewell - Find Files",
                        WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, kClientW, kClientH, env.Owner,
                        nullptr, LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1))))
    return;
  postTarget_ = Handle();
  forms::SetControlName(Handle(), "fWLFindFiles");
  Build();
  FormCreate();
  RECT rc{};
  GetClientRect(Handle(), &rc);
  FormResize(rc.right - rc.left);
}

TfWLFindFiles::~TfWLFindFiles() {
  StopAndJoin();
  if (fWLFindFiles == this) fWLFindFiles = nullptr;
}

void TfWLFindFiles::Destroyed() { delete this; }

void TfWLFindFiles::Build() {
  HWND form = Handle();
  // The labels carry mnemonics ("&Named as"): Alt+N reaches the control created after each.
  static HFONT banner = forms::BoldFont(14);
  AddLabel(form, "CaptionST", "Find Files...", 8, 6, 300, 28, banner);
  AddControl(form, WC_STATICW, "NamedAsLBL", "&Named as", WS_VISIBLE | SS_LEFT, 8, 48, 76, 16);
  namedAsCB_ = AddControl(form, WC_COMBOBOXW, "NamedAsCB", "",
                          WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                          88, 44, 350, 200);
  AddControl(form, WC_STATICW, "ChangedLBL", "&Changed in last", WS_VISIBLE | SS_LEFT, 8, 76, 90, 16);
  changedSLE_ = AddControl(form, WC_EDITW, "ChangedSLE", "0",
                           WS_VISIBLE | WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, 100, 72, 50, 22,
                           WS_EX_CLIENTEDGE);
  changedUD_ = AddControl(form, UPDOWN_CLASSW, "ChangedUD", "",
                          WS_VISIBLE | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS |
                              UDS_NOTHOUSANDS,
                          150, 72, 16, 22);
  SendMessageW(changedUD_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(changedSLE_), 0);
  SendMessageW(changedUD_, UDM_SETRANGE32, 0, find::kMaxDays);
  SendMessageW(changedUD_, UDM_SETPOS32, 0, 0);
  AddLabel(form, "DaysLBL", "days", 160, 76, 40, 16);
  AddControl(form, WC_STATICW, "SearchLBL", "&Search In", WS_VISIBLE | SS_LEFT, 8, 104, 76, 16);
  searchCB_ = AddControl(form, WC_COMBOBOXW, "SearchCB", "",
                         WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                         88, 100, 271, 200);
  HWND browse = AddButton(form, "BrowseBTN", "...", 360, 100, 24, 22, [this] { BrowseBTNClick(); });
  SetHint(browse, "Browse for Folder");
  includeCB_ = AddControl(form, WC_BUTTONW, "IncludeSubFoldersCB", "&Include sub folders in search",
                          WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 88, 128, 250, 20);
  SendMessageW(includeCB_, BM_SETCHECK, BST_CHECKED, 0);
  AddButton(form, "GoBTN", " &Go  ", 480, 44, 100, 25, [this] { GoBTNClick(); }, true);
  AddButton(form, "StopBTN", "Sto&p", 480, 74, 100, 25, [this] { StopBTNClick(); });
  EnableWindow(Control("StopBTN"), FALSE);
  animate_ = AddControl(form, ANIMATE_CLASSW, "Animate1", "",
                        WS_VISIBLE | ACS_TRANSPARENT | ACS_TIMER, 506, 104, 80, 50);

  struct Tool { const char* name; const char* text; const char* hint; void (TfWLFindFiles::*click)(); };
  const Tool tools[] = {
      {"CheckSelectedBTN", "Check All", "Check all items", &TfWLFindFiles::CheckSelectedBTNClick},
      {"UnCheckSelectedBTN", "Uncheck All", "Uncheck all items",
       &TfWLFindFiles::UnCheckSelectedBTNClick},
      {"AddToBackupBTN", "&Add to Backup", "Add checked items to backup",
       &TfWLFindFiles::AddToBackupBTNClick},
      {"ClearBTN", "C&lear", "Clear all items", &TfWLFindFiles::ClearBTNClick},
  };
  int x = 8;
  for (const Tool& t : tools) {
    auto click = t.click;
    HWND b = AddButton(form, t.name, t.text, x, 158, 92, 24, [this, click] { (this->*click)(); });
    SetHint(b, t.hint);
    x += 96;
  }
  EnableWindow(Control("ClearBTN"), FALSE);

  filesLV_ = AddControl(form, WC_LISTVIEWW, "FilesLV", "",
                        WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS |
                            LVS_SHAREIMAGELISTS | LVS_NOSORTHEADER,
                        8, 188, kClientW - 16, kClientH - 188 - 28, WS_EX_CLIENTEDGE);
  ListView_SetExtendedListViewStyle(filesLV_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  ListView_SetCallbackMask(filesLV_, LVIS_STATEIMAGEMASK);
  struct Col { const char* text; int width; int fmt; };
  const Col cols[] = {{"Name", 150, LVCFMT_LEFT}, {"In Folder", 150, LVCFMT_LEFT},
                      {"Size", 75, LVCFMT_RIGHT}, {"Type", 100, LVCFMT_LEFT},
                      {"Modified", 100, LVCFMT_LEFT}};
  for (int i = 0; i < 5; ++i) {
    std::wstring text = Widen(cols[i].text);
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    c.fmt = cols[i].fmt;
    c.cx = Scale(cols[i].width);
    c.pszText = text.data();
    ListView_InsertColumn(filesLV_, i, &c);
  }
  statusBar_ = AddControl(form, STATUSCLASSNAMEW, "StatusBar1", "", WS_VISIBLE | SBARS_SIZEGRIP,
                          0, 0, 0, 0);
}

void TfWLFindFiles::FormCreate() {
  ListView_SetImageList(filesLV_, shellviews::SystemSmallImages(), LVSIL_SMALL);
  const DWORD drives = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(drives & (1u << i))) continue;
    wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', 0};
    SendMessageW(searchCB_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(root));
  }
  SetWindowTextW(searchCB_, L"C:\\");
  OpenAnimation();
  SetFocus(namedAsCB_);
}

void TfWLFindFiles::FormResize(int w) {
  if (!namedAsCB_) return;
  auto moveX = [&](HWND h, int left, int width) {
    RECT rc{};
    GetWindowRect(h, &rc);
    MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&rc), 2);
    MoveWindow(h, left < 0 ? rc.left : left, rc.top, width < 0 ? rc.right - rc.left : width,
               rc.bottom - rc.top, TRUE);
  };
  // The right-hand controls keep their distance to the right edge.
  moveX(namedAsCB_, -1, w - Scale(250));
  moveX(Control("BrowseBTN"), w - Scale(240), -1);
  moveX(searchCB_, -1, w - Scale(329));
  moveX(Control("GoBTN"), w - Scale(120), -1);
  moveX(Control("StopBTN"), w - Scale(120), -1);
  moveX(animate_, w - Scale(94), -1);
  SendMessageW(statusBar_, WM_SIZE, 0, 0);
  RECT client{}, status{};
  GetClientRect(Handle(), &client);
  GetWindowRect(statusBar_, &status);
  const int top = Scale(188);
  const int bottom = client.bottom - (status.bottom - status.top) - Scale(4);
  MoveWindow(filesLV_, Scale(8), top, std::max(0, w - Scale(16)), std::max(0, bottom - top), TRUE);
}

// ---- Searching ----

void TfWLFindFiles::GoBTNClick() {
  if (searching_) return;
  // The days first: a refused number changes nothing.
  auto days = find::ParseDays(forms::WindowText(changedSLE_));
  if (!days) {
    env_.Prompts->Message(find::kDaysMessage, "Tidewell", mb::Ok | mb::IconWarning);
    SetFocus(changedSLE_);
    return;
  }
  SetWindowTextW(statusBar_, L"");
  Stop = false;
  ClearBTNClick();

  std::string masksText = forms::WindowText(namedAsCB_);
  if (Trimmed(masksText).empty()) masksText = "*.*";
  masks_ = find::SplitList(masksText);
  RememberText(namedAsCB_, masksText);
  std::string foldersText = forms::WindowText(searchCB_);
  if (Trimmed(foldersText).empty()) foldersText = "C:\\";
  RememberText(searchCB_, foldersText);
  const bool subfolders = SendMessageW(includeCB_, BM_GETCHECK, 0, 0) == BST_CHECKED;
  const std::vector<std::string> folders =
      find::SearchFolders(find::SplitList(foldersText), subfolders);

  for (const char* name : kLockedWhileSearching) EnableWindow(Control(name), FALSE);
  EnableWindow(Control("StopBTN"), TRUE);
  searching_ = true;
  StartAnimation();
  SetTimer(Handle(), kCountTimer, kCountMs, nullptr);

  static Win32Clock systemClock;
  IClock& clock = env_.Clock ? *env_.Clock : systemClock;
  find::TFindRequest request{masks_, subfolders, find::MinTimeForDays(clock.NowUtc(), *days)};
  running_ = static_cast<int>(folders.size());
  if (folders.empty()) {
    PostMessageW(Handle(), kSearchDoneMessage, 0, 0);
    return;
  }
  for (const std::string& folder : folders) {
    try {
      threads_.emplace_back(&TfWLFindFiles::SearchThread, this, folder, request);
    } catch (const std::system_error&) {
      // A thread that cannot start counts as done at once.
      if (--running_ == 0) PostMessageW(Handle(), kSearchDoneMessage, 0, 0);
    }
  }
}

void TfWLFindFiles::SearchThread(std::string folder, find::TFindRequest request) {
  {
    TSink sink(*this);
    find::SearchWalk(*env_.Fs, folder, request, Stop, sink);
    sink.Flush();
  }
  if (--running_ == 0) PostMessageW(postTarget_, kSearchDoneMessage, 0, 0);
}

void TfWLFindFiles::Deliver(std::vector<TRow>& batch) {
  if (batch.empty()) return;
  bool post = false;
  {
    std::lock_guard lock(queueMutex_);
    // Once Stop was asked the list is final: later finds are dropped, so the count shown stays
    // true. Stop is set before the stop takes the queue, so nothing slips in after it.
    if (!Stop.load()) {
      if (queue_.empty()) queue_ = std::move(batch);
      else std::move(batch.begin(), batch.end(), std::back_inserter(queue_));
      post = !drainPosted_;
      drainPosted_ = true;
    }
  }
  batch.clear();
  if (post) PostMessageW(postTarget_, kDrainMessage, 0, 0);
}

void TfWLFindFiles::Drain() {
  std::vector<TRow> taken;
  {
    std::lock_guard lock(queueMutex_);
    taken.swap(queue_);
    drainPosted_ = false;
  }
  if (taken.empty()) return;
  if (rows_.empty()) rows_ = std::move(taken);
  else std::move(taken.begin(), taken.end(), std::back_inserter(rows_));
  countPending_ = true;
}

void TfWLFindFiles::ShowRowCount() {
  countPending_ = false;
  if (shownCount_ == RowCount()) return;
  shownCount_ = RowCount();
  ListView_SetItemCountEx(filesLV_, shownCount_, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

void TfWLFindFiles::StopBTNClick() {
  Stop = true;
  Drain();
  ShowRowCount();
  forms::SetWindowTextUtf8(statusBar_, "File Count: " + std::to_string(RowCount()));
}

void TfWLFindFiles::SearchDone() {
  for (std::thread& t : threads_)
    if (t.joinable()) t.join();
  threads_.clear();
  Drain();
  ShowRowCount();
  KillTimer(Handle(), kCountTimer);
  StopAnimation();
  searching_ = false;
  for (const char* name : kLockedWhileSearching) EnableWindow(Control(name), TRUE);
  EnableWindow(Control("StopBTN"), FALSE);
  EnableWindow(Control("ClearBTN"), !rows_.empty());
}

void TfWLFindFiles::StopAndJoin() {
  Stop = true;
  for (std::thread& t : threads_)
    if (t.joinable()) t.join();
  threads_.clear();
}

void TfWLFindFiles::OpenAnimation() {
  HMODULE shell = GetModuleHandleW(L"shell32.dll");
  if (!shell) shell = LoadLibraryW(L"shell32.dll");
  const int frames = AviFrames(shell, kAnimation);
  if (frames && SendMessageW(animate_, ACM_OPENW, reinterpret_cast<WPARAM>(shell),
                             reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(kAnimation))))
    stopFrame_ = std::min(kStopFrame, frames - 1);  // the stop frame must exist in the clip
}

void TfWLFindFiles::StartAnimation() {
  // The control cannot say whether it plays: the flag keeps that.
  if (stopFrame_ >= 0)
    playing_ = SendMessageW(animate_, ACM_PLAY, static_cast<WPARAM>(-1),
                            MAKELONG(0, stopFrame_)) != 0;
}

void TfWLFindFiles::StopAnimation() {
  SendMessageW(animate_, ACM_STOP, 0, 0);
  playing_ = false;
}

// ---- The list ----

bool TfWLFindFiles::RowChecked(int row) const {
  return row >= 0 && row < RowCount() && rows_[static_cast<size_t>(row)].checked;
}

void TfWLFindFiles::SetRowChecked(int row, bool checked) {
  if (row < 0 || row >= RowCount()) return;
  rows_[static_cast<size_t>(row)].checked = checked;
  ListView_RedrawItems(filesLV_, row, row);
}

void TfWLFindFiles::ToggleCheck(int row) { SetRowChecked(row, !RowChecked(row)); }

std::string TfWLFindFiles::RowText(int row, int column) const {
  if (row < 0 || row >= RowCount()) return {};
  const TRow& r = rows_[static_cast<size_t>(row)];
  switch (column) {
    case colName: return r.name;
    case colFolder: return *r.folder;
    case colSize: return find::SizeText(r.size);
    case colType: {
      std::wstring type =
          fileTypes_.Of(shellviews::TFileTypeCache::ExtensionOf(Widen(r.name))).type;
      if (type.size() > 79) type.resize(79);
      return Narrow(type);
    }
    case colModified: {
      FILETIME ft{static_cast<DWORD>(r.modified), static_cast<DWORD>(r.modified >> 32)};
      return Narrow(shellviews::ModifiedText(ft));
    }
    default: return {};
  }
}

void TfWLFindFiles::FillDisplayInfo(NMLVDISPINFOW& info) {
  LVITEMW& item = info.item;
  if (item.iItem < 0 || item.iItem >= RowCount()) return;
  TRow& row = rows_[static_cast<size_t>(item.iItem)];
  if (item.mask & LVIF_TEXT) {
    textBuffer_ = Widen(RowText(item.iItem, item.iSubItem));
    if (item.pszText && item.cchTextMax > 0)
      lstrcpynW(item.pszText, textBuffer_.c_str(), item.cchTextMax);
  }
  if (item.mask & LVIF_IMAGE) {
    if (row.icon < 0) {
      std::wstring name = Widen(row.name);
      std::wstring ext = shellviews::TFileTypeCache::ExtensionOf(name);
      if (shellviews::TFileTypeCache::OwnIcon(ext)) {
        SHFILEINFOW sfi{};
        SHGetFileInfoW(Widen(*row.folder + row.name).c_str(), 0, &sfi, sizeof(sfi),
                       SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
        row.icon = sfi.iIcon;
      } else {
        row.icon = fileTypes_.Of(ext).icon;
      }
    }
    item.iImage = row.icon;
  }
  if (item.mask & LVIF_STATE) {
    item.state = (item.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(row.checked ? 2 : 1);
    item.stateMask |= LVIS_STATEIMAGEMASK;
  }
}

void TfWLFindFiles::SetAllChecks(bool checked) {
  SendMessageW(filesLV_, WM_SETREDRAW, FALSE, 0);
  for (TRow& r : rows_) r.checked = checked;
  SendMessageW(filesLV_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(filesLV_, nullptr, FALSE);
}

void TfWLFindFiles::CheckSelectedBTNClick() { SetAllChecks(true); }
void TfWLFindFiles::UnCheckSelectedBTNClick() { SetAllChecks(false); }

void TfWLFindFiles::ClearBTNClick() {
  rows_.clear();
  shownCount_ = 0;
  ListView_SetItemCountEx(filesLV_, 0, 0);
  EnableWindow(Control("ClearBTN"), FALSE);
}

void TfWLFindFiles::AddToBackupBTNClick() {
  IFindFilesHost& host = *env_.Host;
  if (!host.AddPageReady()) {
    env_.Prompts->Message(kAddRefused, "Tidewell", mb::Ok | mb::IconError);
    return;
  }
  find::TFoundFileAdder adder(host.AddSelection());
  bool any = false;
  for (const TRow& r : rows_) {
    if (!r.checked) continue;
    adder.Add(*r.folder, r.name, r.size);
    any = true;
  }
  if (any) host.AddSelectionChanged();
}

void TfWLFindFiles::BrowseBTNClick() {
  if (auto folder = env_.Prompts->BrowseForFolder("Select path to find files in"))
    forms::SetWindowTextUtf8(searchCB_, *folder);
}

void TfWLFindFiles::RememberText(HWND combo, const std::string& text) {
  std::wstring w = Widen(text);
  // CB_FINDSTRINGEXACT ignores case.
  if (SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                   reinterpret_cast<LPARAM>(w.c_str())) == CB_ERR)
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str()));
  SetWindowTextW(combo, w.c_str());
}

bool TfWLFindFiles::FormCloseQuery() const { return !searching_; }

bool TfWLFindFiles::OnNotify(NMHDR* hdr, LRESULT& result) {
  if (hdr->hwndFrom != filesLV_) return false;
  switch (hdr->code) {
    case LVN_GETDISPINFOW:
      FillDisplayInfo(*reinterpret_cast<NMLVDISPINFOW*>(hdr));
      return true;
    case LVN_BEGINLABELEDITW:  // FilesLVEditing: no editing
      result = TRUE;
      return true;
    case NM_CLICK:
    case NM_DBLCLK: {
      // An owner-data list leaves its check boxes to its owner.
      auto* act = reinterpret_cast<NMITEMACTIVATE*>(hdr);
      LVHITTESTINFO hit{};
      hit.pt = act->ptAction;
      if (ListView_SubItemHitTest(filesLV_, &hit) >= 0 && (hit.flags & LVHT_ONITEMSTATEICON) &&
          hit.iSubItem == 0)
        ToggleCheck(hit.iItem);
      return false;
    }
    case LVN_KEYDOWN: {
      auto* key = reinterpret_cast<NMLVKEYDOWN*>(hdr);
      if (key->wVKey == VK_SPACE) {
        for (int i = ListView_GetNextItem(filesLV_, -1, LVNI_SELECTED); i >= 0;
             i = ListView_GetNextItem(filesLV_, i, LVNI_SELECTED))
          ToggleCheck(i);
        result = TRUE;
        return true;
      }
      if (key->wVKey == 'A' && (GetKeyState(VK_CONTROL) & 0x8000))  // FilesLVKeyUp: Ctrl+A
        ListView_SetItemState(filesLV_, -1, LVIS_SELECTED, LVIS_SELECTED);
      return false;
    }
    default:
      return false;
  }
}

LRESULT TfWLFindFiles::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_HELP:  // F1 on any of its controls
      if (env_.Host) env_.Host->ShowHelp(kHelpContext);
      return TRUE;
    case kDrainMessage:
      Drain();
      return 0;
    case kSearchDoneMessage:
      if (searching_ && running_.load() == 0) SearchDone();
      return 0;
    case WM_TIMER:
      if (wp == kCountTimer) {
        if (countPending_) ShowRowCount();
        return 0;
      }
      break;
    case WM_NOTIFY: {
      LRESULT result = 0;
      if (OnNotify(reinterpret_cast<NMHDR*>(lp), result)) return result;
      break;
    }
    case WM_GETMINMAXINFO: {
      auto* mmi = reinterpret_cast<MINMAXINFO*>(lp);
      mmi->ptMinTrackSize = {Scale(kMinW), Scale(kMinH)};
      return 0;
    }
    case WM_SIZE:
      FormResize(LOWORD(lp));
      break;
    case WM_CLOSE:
      if (FormCloseQuery()) DestroyWindow(Handle());
      return 0;
    case WM_ENDSESSION:
      if (wp) StopAndJoin();
      return 0;
    case WM_DESTROY:
      // The threads end before anything they use goes.
      StopAndJoin();
      KillTimer(Handle(), kCountTimer);
      if (fWLFindFiles == this) fWLFindFiles = nullptr;
      break;
  }
  return forms::TForm::WndProc(msg, wp, lp);
}

}  // namespace tw
