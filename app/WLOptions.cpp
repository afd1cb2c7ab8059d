#include "app/WLOptions.h"

#include <commctrl.h>

#include <cstdlib>

#include "engine/options.h"
#include "engine/overdue.h"
#include "platform/OperationUI.h"
#include "platform/win32/Utf.h"

namespace tw {

namespace {
constexpr int kClientW = 550, kClientH = 384;
const char* const kFrequencies[] = {"Once Every Day On Windows Startup", "Once Every Day",
                                    "Once Every Week"};
const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                             "Thursday", "Friday", "Saturday"};

// The dialog font's size in points, for bold faces of the same size.
int DefaultPointSize(int dpi) {
  LOGFONTW lf{};
  GetObjectW(forms::DefaultFont(dpi), sizeof(lf), &lf);
  int pt = MulDiv(std::abs(lf.lfHeight), 72, dpi);
  return pt > 0 ? pt : 9;
}

SYSTEMTIME PickerTime(const TClockTime& t) {
  SYSTEMTIME st{};
  GetLocalTime(&st);  // the picker wants a whole date; only the time of day is used
  st.wHour = static_cast<WORD>(t.Hour);
  st.wMinute = static_cast<WORD>(t.Minute);
  st.wSecond = static_cast<WORD>(t.Second);
  st.wMilliseconds = static_cast<WORD>(t.Millisecond);
  return st;
}
}  // namespace

TfWLOptions::TfWLOptions(TOptionsEnv env) : env_(std::move(env)) {
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  if (!CreateFormClient(L"TfWLOptions", "Tidewell Options...", style, WS_EX_DLGMODALFRAME,
                        kClientW, kClientH, nullptr, nullptr, nullptr))
    return;
  forms::SetControlName(Handle(), "fWLOptions");
  Build();
  FormCreate();
}

TfWLOptions::~TfWLOptions() { FormClose(); }

HWND TfWLOptions::AddCheckBox(const std::string& name, const std::string& text, int x, int y,
                              int w, void (TfWLOptions::*onClick)()) {
  HWND box = AddControl(Handle(), WC_BUTTONW, name, text,
                        WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, x, y, w, 20);
  if (box) OnCommand(GetDlgCtrlID(box), [this, onClick] { (this->*onClick)(); });
  return box;
}

void TfWLOptions::Build() {
  HWND form = Handle();
  const int pt = DefaultPointSize(Dpi());
  HFONT heading = forms::BoldFont(pt + 2, Dpi());
  HFONT bold = forms::BoldFont(pt, Dpi());

  AddLabel(form, "GeneralLBL", "General", 12, 10, 200, 20, heading);
  AddControl(form, WC_STATICW, "GeneralBevel", "", WS_VISIBLE | SS_ETCHEDHORZ, 12, 32, 526, 2);
  launchCHB_ = AddCheckBox("LaunchCHB", "&Launch Tidewell on Windows start up", 24, 38, 380,
                           &TfWLOptions::LaunchCHBClick);
  trayIconCHB_ = AddCheckBox("TrayIconCHB", "&Run Tidewell as a Tray Icon", 24, 58, 380,
                             &TfWLOptions::TrayIconCHBClick);
  ejectZipCHB_ = AddCheckBox("EjectZipCHB", "Eject ZIP disks on shutdown", 24, 78, 380,
                             &TfWLOptions::EjectZipCHBClick);
  // The tray warns about volumes whose automatic refresh has not succeeded for this long.
  AddControl(form, WC_STATICW, "WarnLBL", "&Warn when a volume has not been refreshed for",
             WS_VISIBLE | SS_LEFTNOWORDWRAP, 26, 100, 310, 18);
  warnDaysED_ = AddControl(form, WC_EDITW, "WarnDaysED", "",
                           WS_VISIBLE | WS_TABSTOP | ES_NUMBER | ES_RIGHT, 338, 97, 46, 21,
                           WS_EX_CLIENTEDGE);
  SendMessageW(warnDaysED_, EM_LIMITTEXT, 3, 0);
  warnDaysUD_ = AddControl(form, UPDOWN_CLASSW, "WarnDaysUD", "",
                           WS_VISIBLE | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS |
                               UDS_NOTHOUSANDS,
                           384, 97, 16, 21);
  SendMessageW(warnDaysUD_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(warnDaysED_), 0);
  SendMessageW(warnDaysUD_, UDM_SETRANGE32, 0, kMaxOverdueDays);
  AddControl(form, WC_STATICW, "WarnDaysLBL", "days (0: never)", WS_VISIBLE | SS_LEFT, 406, 100,
             132, 18);

  AddLabel(form, "VolumesLBL", "Volumes", 12, 120, 200, 20, heading);
  AddControl(form, WC_STATICW, "VolumesBevel", "", WS_VISIBLE | SS_ETCHEDHORZ, 12, 140, 526, 2);
  // Fixed item height, set through WM_MEASUREITEM while the list is created.
  volumesLB_ = AddControl(form, WC_LISTBOXW, "VolumesLB", "",
                          WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_OWNERDRAWFIXED |
                              LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT,
                          24, 148, 200, 180, WS_EX_CLIENTEDGE);
  OnCommand(GetDlgCtrlID(volumesLB_), [this] { VolumesLBClick(); });  // LBN_SELCHANGE

  const int x = 244, indent = 262, fieldX = 332, fieldW = 206;
  defaultCHB_ = AddCheckBox("DefaultCHB", "&Default Volume", x, 148, 294,
                            &TfWLOptions::DefaultCHBClick);
  refreshesCHB_ = AddCheckBox("RefreshesCHB", "Automatic &Refresh", x, 174, 294,
                              &TfWLOptions::RefreshesCHBClick);
  SendMessageW(refreshesCHB_, WM_SETFONT, reinterpret_cast<WPARAM>(bold), FALSE);
  automaticCB_ = AddCheckBox("AutomaticCB", "Show message when backup is finished", indent, 198,
                             276, &TfWLOptions::AutomaticCBClick);

  // Each label comes before its control, so its mnemonic reaches the control.
  AddControl(form, WC_STATICW, "FrequencyLBL", "&Frequency", WS_VISIBLE | SS_LEFT, indent, 229,
             68, 18);
  frequencyCB_ = AddControl(form, WC_COMBOBOXW, "FrequencyCB", "",
                            WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, fieldX, 226,
                            fieldW, 120);
  for (const char* item : kFrequencies)
    SendMessageW(frequencyCB_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
  OnCommand(GetDlgCtrlID(frequencyCB_), [this] { FrequencyCBChange(); });  // CBN_SELCHANGE

  AddControl(form, WC_STATICW, "DaysLBL", "&Day", WS_VISIBLE | SS_LEFT, indent, 259, 68, 18);
  daysCB_ = AddControl(form, WC_COMBOBOXW, "DaysCB", "",
                       WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, fieldX, 256, 120,
                       180);
  for (const char* item : kDays)
    SendMessageW(daysCB_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
  OnCommand(GetDlgCtrlID(daysCB_), [this] { DaysCBChange(); });

  AddControl(form, WC_STATICW, "TimeLBL", "&Time", WS_VISIBLE | SS_LEFT, indent, 289, 68, 18);
  timeDTP_ = AddControl(form, DATETIMEPICK_CLASSW, "TimeDTP", "",
                        WS_VISIBLE | WS_TABSTOP | DTS_TIMEFORMAT | DTS_SHOWNONE, fieldX, 286, 120,
                        22);
  SYSTEMTIME noon = PickerTime({12, 0, 0, 0});
  SendMessageW(timeDTP_, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&noon));

  addToContextMenuBTN_ = AddButton(form, "AddToContextMenuBTN",
                                   "Add selected volume to the &Context Menu", 24, 340, 270, 28,
                                   [this] { AddToContextMenuBTNClick(); });
  // Enter presses Help (DM_GETDEFID): every change is already made, so nothing is "confirmed".
  helpBTN_ = AddButton(form, "BitBtn1", "&Help", 362, 340, 84, 28, [this] { BitBtn1Click(); },
                       true);
  AddButton(form, "CloseBTN", "Close", 454, 340, 84, 28, [this] { CloseBTNClick(); });

  for (HWND c : {defaultCHB_, refreshesCHB_, automaticCB_, frequencyCB_, daysCB_, timeDTP_,
                 addToContextMenuBTN_, Control("FrequencyLBL"), Control("DaysLBL"),
                 Control("TimeLBL")})
    EnableWindow(c, FALSE);
}

bool TfWLOptions::IsChecked(HWND box) {
  return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TfWLOptions::SetChecked(HWND box, bool checked) {
  if (!box || IsChecked(box) == checked) return;
  SendMessageW(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  // The same way a click arrives.
  SendMessageW(Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(box), BN_CLICKED),
               reinterpret_cast<LPARAM>(box));
}

void TfWLOptions::FormCreate() {
  const TVolumeList& volumes = *env_.VolumeList;
  for (const auto& rec : volumes)
    SendMessageW(volumesLB_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(rec->Name).c_str()));
  if (!volumes.empty()) {
    SendMessageW(volumesLB_, LB_SETCURSEL, 0, 0);
    VolumesLBClick();
    for (HWND c : {defaultCHB_, refreshesCHB_, addToContextMenuBTN_}) EnableWindow(c, TRUE);
  }
  SetChecked(launchCHB_, env_.Options->LaunchOnStartup);
  SetChecked(trayIconCHB_, env_.Options->RunAsTrayIcon);

  optionsRegistry_ = std::make_unique<TZipShutdownEject>(*env_.Registry, env_.ZipKey);
  zipStored_ = optionsRegistry_->Read();
  SetChecked(ejectZipCHB_, zipStored_);

  // Showing the stored number is no change of it.
  warnDays_ = env_.ReadWarnDays ? env_.ReadWarnDays() : kDefaultOverdueDays;
  SendMessageW(warnDaysUD_, UDM_SETPOS32, 0, warnDays_);
}

void TfWLOptions::WarnDaysEDChange() {
  std::wstring text(8, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(warnDaysED_, text.data(), 8)));
  // An emptied box is a number being typed, not a choice.
  if (text.empty() || text.size() > 3) return;
  int days = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return;  // pasted text; ES_NUMBER stops only typing
    days = days * 10 + (c - L'0');
  }
  if (days == warnDays_ || days > kMaxOverdueDays) return;
  if (env_.WriteWarnDays && !env_.WriteWarnDays(days)) {
    ShowError(FailedToSetDataText(kOverdueDaysValue));
    return;
  }
  warnDays_ = days;
}

void TfWLOptions::FormShow() {
  RECT rc{};
  GetWindowRect(Handle(), &rc);
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  SetWindowPos(Handle(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  VolumesLBClick();
}

void TfWLOptions::FormClose() {
  visible_ = false;
  optionsRegistry_.reset();
}

void TfWLOptions::ShowModal() {
  if (!Handle()) return;
  visible_ = true;
  FormShow();
  RunModal(env_.Owner, launchCHB_);
  FormClose();
}

void TfWLOptions::CloseBTNClick() { EndModal(); }

void TfWLOptions::BitBtn1Click() {
  if (env_.ShowHelp) WhileDisabled([this] { env_.ShowHelp(kHelpContext); });
}

// ---- The volume list ----

void TfWLOptions::VolumesLBDrawItem(const DRAWITEMSTRUCT& item) {
  if (item.itemID == static_cast<UINT>(-1)) return;  // an empty list taking the focus
  const TVolumeList& volumes = *env_.VolumeList;
  if (item.itemID >= volumes.size()) return;
  const TVolumeRec& rec = *volumes[item.itemID];
  HDC dc = item.hDC;
  const bool selected = item.itemState & ODS_SELECTED;
  const bool focused = item.itemState & ODS_FOCUS;
  COLORREF back = GetSysColor(COLOR_WINDOW), text = GetSysColor(COLOR_WINDOWTEXT);
  if (selected && focused) {
    back = GetSysColor(COLOR_HIGHLIGHT);
    text = GetSysColor(COLOR_HIGHLIGHTTEXT);
  } else if (selected) {
    back = GetSysColor(COLOR_BTNFACE);
    text = RGB(0, 0, 0);
  }
  RECT rc = item.rcItem;
  HBRUSH brush = CreateSolidBrush(back);
  FillRect(dc, &rc, brush);
  DeleteObject(brush);
  HFONT font = rec.IsDefault ? forms::BoldFont(DefaultPointSize(Dpi()), Dpi())
                             : forms::DefaultFont(Dpi());
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, text);
  RECT textRc = rc;
  textRc.left += Scale(5);
  std::wstring name = Widen(rec.Name);
  DrawTextW(dc, name.c_str(), static_cast<int>(name.size()), &textRc,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  SelectObject(dc, oldFont);
  if (focused && !(item.itemState & ODS_NOFOCUSRECT)) DrawFocusRect(dc, &rc);
}

void TfWLOptions::VolumesLBClick() {
  LRESULT index = SendMessageW(volumesLB_, LB_GETCURSEL, 0, 0);
  const TVolumeList& volumes = *env_.VolumeList;
  SelectedVolume = index >= 0 && static_cast<size_t>(index) < volumes.size()
                       ? volumes[static_cast<size_t>(index)].get()
                       : nullptr;
  if (!SelectedVolume) return;
  TVolumeRec& rec = *SelectedVolume;
  SetChecked(defaultCHB_, rec.IsDefault);
  SetChecked(automaticCB_, !rec.NoFinishMessage);
  SendMessageW(frequencyCB_, CB_SETCURSEL, static_cast<WPARAM>(rec.Frequency), 0);
  SetChecked(refreshesCHB_, rec.AutoRefresh);
  ShowRefreshTime(rec.RefreshTime);
  ApplyEnabling();
  // A day out of range (a damaged list) shows none; the record keeps it.
  int day = rec.WeekDay >= 1 && rec.WeekDay <= 7 ? rec.WeekDay - 1 : -1;
  SendMessageW(daysCB_, CB_SETCURSEL, static_cast<WPARAM>(day), 0);
}

void TfWLOptions::ShowRefreshTime(double refreshTime) {
  // Setting the picker is no edit of the record.
  settingTime_ = true;
  bool set = refreshTime > 0;
  SYSTEMTIME st = PickerTime(ClockOfRefreshTime(set ? refreshTime : kNoRefreshTimeShown));
  SendMessageW(timeDTP_, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
  if (!set) SendMessageW(timeDTP_, DTM_SETSYSTEMTIME, GDT_NONE, reinterpret_cast<LPARAM>(&st));
  settingTime_ = false;
}

void TfWLOptions::ApplyEnabling() {
  int frequency = static_cast<int>(SendMessageW(frequencyCB_, CB_GETCURSEL, 0, 0));
  TScheduleControls on = ScheduleControlsEnabled(IsChecked(refreshesCHB_), frequency);
  for (HWND c : {automaticCB_, Control("FrequencyLBL"), frequencyCB_})
    EnableWindow(c, on.Automatic);
  for (HWND c : {timeDTP_, Control("TimeLBL")}) EnableWindow(c, on.Time);
  for (HWND c : {daysCB_, Control("DaysLBL")}) EnableWindow(c, on.Days);
}

// ---- Per volume ----

void TfWLOptions::DefaultCHBClick() {
  if (!SelectedVolume) return;
  SelectedVolume->IsDefault = IsChecked(defaultCHB_);
  if (SelectedVolume->IsDefault)
    for (auto& rec : *env_.VolumeList)
      if (rec.get() != SelectedVolume) rec->IsDefault = false;
  InvalidateRect(volumesLB_, nullptr, TRUE);
}

void TfWLOptions::RefreshesCHBClick() {
  if (!SelectedVolume) return;
  SelectedVolume->AutoRefresh = IsChecked(refreshesCHB_);
  // An automatic refresh needs the program running.
  if (SelectedVolume->AutoRefresh) SetChecked(launchCHB_, true);
  ApplyEnabling();
}

void TfWLOptions::AutomaticCBClick() {
  if (SelectedVolume) SelectedVolume->NoFinishMessage = !IsChecked(automaticCB_);
}

void TfWLOptions::FrequencyCBChange() {
  if (!SelectedVolume) return;
  int frequency = static_cast<int>(SendMessageW(frequencyCB_, CB_GETCURSEL, 0, 0));
  if (frequency < 0) return;
  if (frequency == 0) SetChecked(launchCHB_, true);  // refreshed when Windows starts
  SelectedVolume->Frequency = frequency;
  SelectedVolume->WeekDay = 1;
  SendMessageW(daysCB_, CB_SETCURSEL, 0, 0);
  ApplyEnabling();
}

void TfWLOptions::DaysCBChange() {
  if (!SelectedVolume) return;
  int index = static_cast<int>(SendMessageW(daysCB_, CB_GETCURSEL, 0, 0));
  if (index >= 0) SelectedVolume->WeekDay = index + 1;
}

void TfWLOptions::TimeDTPChange() {
  if (!SelectedVolume || settingTime_) return;
  SYSTEMTIME st{};
  if (SendMessageW(timeDTP_, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) == GDT_VALID)
    SelectedVolume->RefreshTime =
        RefreshTimeOfClock({st.wHour, st.wMinute, st.wSecond, st.wMilliseconds});
  else
    SelectedVolume->RefreshTime = 0;  // any time of day
}

void TfWLOptions::AddToContextMenuBTNClick() {
  if (!SelectedVolume) return;
  if (!env_.Settings->AddContextMenuMark(SelectedVolume->Name))
    ShowError(FailedToSetDataText(SelectedVolume->Name));
}

// ---- Program-wide ----

void TfWLOptions::LaunchCHBClick() {
  // Filling the box while the dialog is made is no choice of the user's.
  if (visible_) env_.Options->LaunchOnStartup = IsChecked(launchCHB_);
}

void TfWLOptions::TrayIconCHBClick() { env_.Options->RunAsTrayIcon = IsChecked(trayIconCHB_); }

void TfWLOptions::EjectZipCHBClick() {
  if (!optionsRegistry_) return;
  bool eject = IsChecked(ejectZipCHB_);
  // Showing the stored value writes nothing (and cannot fail where the key is read-only).
  if (eject == zipStored_) return;
  if (optionsRegistry_->Write(eject))
    zipStored_ = eject;
  else
    ShowError(FailedToSetDataText(WLRegStrings::ZipShutdownEject));  // the box keeps its state
}

void TfWLOptions::ShowError(const std::string& text) {
  WhileDisabled([&] { env_.Prompts->Message(text, kAppTitle, mb::Ok | mb::IconError); });
}

void TfWLOptions::WhileDisabled(const std::function<void()>& body) {
  // Message boxes belong to the program's window: the dialog waits for them too.
  bool wasEnabled = IsWindowEnabled(Handle());
  EnableWindow(Handle(), FALSE);
  body();
  if (wasEnabled) EnableWindow(Handle(), TRUE);
  if (visible_) SetActiveWindow(Handle());
}

LRESULT TfWLOptions::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {

    case WM_MEASUREITEM: {
      auto* m = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
      if (m->CtlType == ODT_LISTBOX) {
        m->itemHeight = static_cast<UINT>(ItemHeight());
        return TRUE;
      }
      break;
    }
    case WM_DRAWITEM: {
      auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (d->hwndItem == volumesLB_) {
        VolumesLBDrawItem(*d);
        return TRUE;
      }
      break;
    }
    case WM_NOTIFY: {
      auto* n = reinterpret_cast<const NMHDR*>(lp);
      if (n->hwndFrom == timeDTP_ && n->code == DTN_DATETIMECHANGE) {
        TimeDTPChange();
        return 0;
      }
      break;
    }
    case WM_DPICHANGED: {
      LRESULT r = TForm::WndProc(msg, wp, lp);
      SendMessageW(volumesLB_, LB_SETITEMHEIGHT, 0, ItemHeight());
      return r;
    }
    case DM_GETDEFID:
      return MAKELRESULT(GetDlgCtrlID(helpBTN_), DC_HASDEFID);
    case WM_COMMAND:
      if (LOWORD(wp) == IDCANCEL) {  // Esc, through IsDialogMessage
        CloseBTNClick();
        return 0;
      }
      if (HIWORD(wp) == EN_CHANGE && reinterpret_cast<HWND>(lp) == warnDaysED_) {
        WarnDaysEDChange();
        return 0;
      }
      break;
    case WM_CLOSE:
      CloseBTNClick();
      return 0;
  }
  return TForm::WndProc(msg, wp, lp);
}

}  // namespace tw
