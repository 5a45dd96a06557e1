#include "wingui/settings_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string_view>

#include "platform/windows/wide_text.h"
#include "settings/settings_form.h"
#include "wingui/resource_ids.h"

namespace trivane {
namespace {

namespace text = settings_form_text;
using text::SpinLimits;

struct ControlText {
  int id;
  std::string_view text;
};

constexpr ControlText kCaptions[] = {
    {IDC_LABAPID, text::kPIDLabel},          {IDC_CBSHOWPLAYLIST, text::kShowPlaylist},
    {IDC_RDREAD, text::kReadCaption},        {IDC_RDREAD0, text::kReadItems[0]},
    {IDC_RDREAD1, text::kReadItems[1]},      {IDC_LABREADHOST, text::kReadHostLabel},
    {IDC_LABREADPORT, text::kReadPortLabel}, {IDC_CBIGNOREDELAY, text::kIgnoreDelay},
    {IDC_SGSEND, text::kSendCaption},        {IDC_SGSEND0, text::kSendItems[0]},
    {IDC_SGSEND1, text::kSendItems[1]},      {IDC_SGSEND2, text::kSendItems[2]},
    {IDC_STARTGROUP, text::kStartGroup},     {IDC_CBAUTO_START, text::kAutoStart},
    {IDC_CBAUTO_TRAY, text::kAutoTray},      {IDC_SBSAVE, text::kSave},
    {IDC_SBCANCEL, text::kCancel},
};

// A spin editor's arrows carry its hint too: they are part of the editor.
constexpr ControlText kHints[] = {
    {IDC_EREADHOST, text::kReadHostHint},
    {IDC_EREADPORT, text::kReadPortHint},
    {IDC_EREADPORT_SPIN, text::kReadPortHint},
    {IDC_CBIGNOREDELAY, text::kIgnoreDelayHint},
    {IDC_ESERVERPORT, text::kServerPortHint},
    {IDC_ESERVERPORT_SPIN, text::kServerPortHint},
    {IDC_EOSIP, text::kOSIPHint},
    {IDC_EOSPORT, text::kOSPortHint},
    {IDC_EOSPORT_SPIN, text::kOSPortHint},
    {IDC_EOSPASS, text::kOSPassHint},
};

struct SpinArrows {
  int id;
  SpinLimits limits;
};

constexpr SpinArrows kSpinArrows[] = {
    {IDC_EPID_SPIN, text::kPIDLimits},
    {IDC_EREADPORT_SPIN, text::kReadPortLimits},
    {IDC_ESERVERPORT_SPIN, text::kServerPortLimits},
    {IDC_EOSPORT_SPIN, text::kOSPortLimits},
};

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(std::max(0, GetWindowTextLengthW(window))), L'\0');
  if (!text.empty()) GetWindowTextW(window, text.data(), static_cast<int>(text.size() + 1));
  return text;
}

void SetText(HWND window, std::string_view text) {
  SetWindowTextW(window, WideFromUtf8(text).c_str());
}

// What a spin editor's text reads as: nothing while it is blank, otherwise
// its number pulled into the limits; text that is no number reads as the
// lower limit, as the rules read the server port.
std::optional<int> SpinValue(std::wstring_view text, SpinLimits limits) {
  const auto first = text.find_first_not_of(L" \t");
  if (first == std::wstring_view::npos) return std::nullopt;
  text = text.substr(first, text.find_last_not_of(L" \t") + 1 - first);
  long long value = 0;
  for (const wchar_t digit : text) {
    if (digit < L'0' || digit > L'9') return limits.min;
    // Held just above the limit, so no length of digits can overflow.
    value = std::min<long long>(value * 10 + (digit - L'0'), limits.max + 1LL);
  }
  return limits.Clamp(value);
}

// TF_Settings on Win32: one per showing, reached from the dialog procedure
// through DWLP_USER. Every edit goes into the rules' controls and runs their
// handler; then every control shows the rules' controls again, since one
// handler may change others.
class SettingsWindow {
 public:
  SettingsWindow(TSettings& record, const std::filesystem::path& ini, RunKeyStore& run_keys,
                 const std::string& exe_path)
      : form_(record, ini, run_keys, exe_path,
              [this](std::string_view message) { ShowError(message); }) {}

  static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

  bool Saved() const { return form_.Settings_Changed(); }

 private:
  void OnInit(HWND dialog);
  void AddSourceTabs();
  void AddHints();
  void OnCommand(int id, int code);
  void OnEdit(int id);
  void OnLeave(int id);
  void OnClick(int id);
  void OnTabChange();
  void ShowControls();
  void ShowError(std::string_view message) const;

  HWND Item(int id) const { return GetDlgItem(dialog_, id); }
  std::string Text(int id) const { return Utf8FromWide(WindowText(Item(id))); }
  bool Checked(int id) const { return IsDlgButtonChecked(dialog_, id) == BST_CHECKED; }
  int ReadSpin(int id, SpinLimits limits) const;
  std::string ServerPortText() const;
  void ShowText(int id, const std::string& value) const;
  void ShowSpin(int id, int value, SpinLimits limits) const;
  void ShowChecked(int id, bool on) const;
  void ShowItems(std::initializer_list<int> ids, bool visible) const;

  SettingsForm form_;
  HWND dialog_ = nullptr;
  bool showing_ = false;  // the edits' EN_CHANGE is our own writing while set
};

INT_PTR CALLBACK SettingsWindow::Procedure(HWND dialog, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    reinterpret_cast<SettingsWindow*>(lparam)->OnInit(dialog);
    return TRUE;
  }
  auto* self = reinterpret_cast<SettingsWindow*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (self == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND:
      self->OnCommand(LOWORD(wparam), HIWORD(wparam));
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header->idFrom != IDC_TABSRCIP || header->code != TCN_SELCHANGE) return FALSE;
      self->OnTabChange();
      return TRUE;
    }
    default:
      return FALSE;
  }
}

void SettingsWindow::OnInit(HWND dialog) {
  dialog_ = dialog;
  SetText(dialog_, text::kCaption);
  for (const auto& [id, caption] : kCaptions) SetText(Item(id), caption);
  for (const auto& [id, limits] : kSpinArrows) {
    SendDlgItemMessageW(dialog_, id, UDM_SETRANGE32, limits.min, limits.max);
  }
  AddSourceTabs();
  AddHints();
  form_.FormCreate();
  ShowControls();
}

void SettingsWindow::AddSourceTabs() {
  for (int i = 0; i < static_cast<int>(text::kSourceTabs.size()); ++i) {
    std::wstring caption = WideFromUtf8(text::kSourceTabs[i]);
    TCITEMW tab{};
    tab.mask = TCIF_TEXT;
    tab.pszText = caption.data();
    SendDlgItemMessageW(dialog_, IDC_TABSRCIP, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&tab));
  }
}

void SettingsWindow::AddHints() {
  // Owned by the dialog, so it goes with it.
  const HWND tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                    WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog_, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
  for (const auto& [id, hint] : kHints) {
    std::wstring wide = WideFromUtf8(hint);  // the tooltip keeps a copy
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = dialog_;
    tool.uId = reinterpret_cast<UINT_PTR>(Item(id));
    tool.lpszText = wide.data();
    SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void SettingsWindow::OnCommand(int id, int code) {
  switch (code) {
    case EN_CHANGE:
      if (!showing_) OnEdit(id);
      break;
    case EN_KILLFOCUS:
      OnLeave(id);
      break;
    case BN_CLICKED:
      OnClick(id);
      break;
    default:
      break;
  }
}

void SettingsWindow::OnEdit(int id) {
  SettingsFormControls& c = form_.Controls();
  switch (id) {
    case IDC_EPID:
      c.EPID = ReadSpin(id, text::kPIDLimits);
      break;
    case IDC_EREADHOST:
      c.EReadHost = Text(id);
      form_.EReadHostChange();
      break;
    case IDC_EREADPORT:
      c.EReadPort = ReadSpin(id, text::kReadPortLimits);
      form_.EReadPortChange();
      break;
    case IDC_ESERVERPORT:
      c.EServerPort = ServerPortText();
      break;
    case IDC_EOSIP:
      c.EOSIP = Text(id);
      break;
    case IDC_EOSPORT:
      c.EOSPort = ReadSpin(id, text::kOSPortLimits);
      break;
    case IDC_EOSPASS:
      c.EOSPass = Text(id);
      break;
    default:
      return;
  }
  ShowControls();
}

// A spin editor keeps a number half typed (the "2" of "2000" reads as the
// lower limit) until it is left; then it shows what it reads as, as a spin
// box does.
void SettingsWindow::OnLeave(int id) {
  const SettingsFormControls& c = form_.Controls();
  std::string shown;
  switch (id) {
    case IDC_EPID:
      shown = std::to_string(c.EPID);
      break;
    case IDC_EREADPORT:
      shown = std::to_string(c.EReadPort);
      break;
    case IDC_ESERVERPORT:
      shown = c.EServerPort;
      break;
    case IDC_EOSPORT:
      shown = std::to_string(c.EOSPort);
      break;
    default:
      return;
  }
  showing_ = true;
  ShowText(id, shown);
  showing_ = false;
}

void SettingsWindow::OnClick(int id) {
  SettingsFormControls& c = form_.Controls();
  switch (id) {
    case IDC_SBSAVE:
      if (form_.SBSaveClick()) EndDialog(dialog_, IDOK);
      return;
    case IDC_SBCANCEL:
      form_.SBCancelClick();
      EndDialog(dialog_, IDCANCEL);
      return;
    case IDC_CBSHOWPLAYLIST:
      c.CBShowPlaylist = Checked(id);
      break;
    case IDC_RDREAD0:
    case IDC_RDREAD1:
      c.RDRead = id - IDC_RDREAD0;
      form_.RDReadClick();
      break;
    case IDC_CBIGNOREDELAY:
      c.CBIgnoreDelay = Checked(id);
      break;
    case IDC_SGSEND0:
    case IDC_SGSEND1:
    case IDC_SGSEND2:
      c.SGSend[id - IDC_SGSEND0] = Checked(id);
      form_.SGSendClick();
      break;
    case IDC_CBAUTO_START:
      c.CBAuto_Start = Checked(id);
      form_.CBAuto_StartClick();
      break;
    case IDC_CBAUTO_TRAY:
      c.CBAuto_Tray = Checked(id);
      break;
    default:
      return;
  }
  ShowControls();
}

void SettingsWindow::OnTabChange() {
  form_.Controls().TabSrcIP =
      static_cast<int>(SendDlgItemMessageW(dialog_, IDC_TABSRCIP, TCM_GETCURSEL, 0, 0));
  form_.TabSrcIPChange();
  ShowControls();
}

void SettingsWindow::ShowControls() {
  const SettingsFormControls& c = form_.Controls();
  showing_ = true;
  ShowSpin(IDC_EPID, c.EPID, text::kPIDLimits);
  ShowItems({IDC_LABAPID, IDC_EPID, IDC_EPID_SPIN}, c.EPIDVisible);
  ShowChecked(IDC_CBSHOWPLAYLIST, c.CBShowPlaylist);

  for (int i = 0; i < static_cast<int>(text::kReadItems.size()); ++i) {
    ShowChecked(IDC_RDREAD0 + i, c.RDRead == i);
  }
  SendDlgItemMessageW(dialog_, IDC_TABSRCIP, TCM_SETCURSEL, c.TabSrcIP, 0);
  ShowText(IDC_EREADHOST, c.EReadHost);
  ShowSpin(IDC_EREADPORT, c.EReadPort, text::kReadPortLimits);
  ShowChecked(IDC_CBIGNOREDELAY, c.CBIgnoreDelay);
  ShowItems({IDC_TABSRCIP, IDC_LABREADHOST, IDC_EREADHOST, IDC_LABREADPORT, IDC_EREADPORT,
             IDC_EREADPORT_SPIN, IDC_CBIGNOREDELAY},
            c.TabSrcIPVisible);

  for (int i = 0; i < static_cast<int>(c.SGSend.size()); ++i) {
    ShowChecked(IDC_SGSEND0 + i, c.SGSend[i]);
  }
  if (ServerPortText() != c.EServerPort) SetText(Item(IDC_ESERVERPORT), c.EServerPort);
  ShowItems({IDC_ESERVERPORT, IDC_ESERVERPORT_SPIN}, c.EServerPortVisible);
  ShowText(IDC_EOSIP, c.EOSIP);
  ShowSpin(IDC_EOSPORT, c.EOSPort, text::kOSPortLimits);
  ShowText(IDC_EOSPASS, c.EOSPass);
  ShowItems({IDC_EOSIP, IDC_EOSPORT, IDC_EOSPORT_SPIN, IDC_EOSPASS}, c.EOSIPVisible);

  ShowChecked(IDC_CBAUTO_START, c.CBAuto_Start);
  ShowChecked(IDC_CBAUTO_TRAY, c.CBAuto_Tray);
  showing_ = false;
}

void SettingsWindow::ShowError(std::string_view message) const {
  MessageBoxW(dialog_, WideFromUtf8(message).c_str(), L"Error", MB_OK | MB_ICONERROR);
}

int SettingsWindow::ReadSpin(int id, SpinLimits limits) const {
  return SpinValue(WindowText(Item(id)), limits).value_or(limits.min);
}

// The server port may be left blank, and the check must see that it is.
std::string SettingsWindow::ServerPortText() const {
  const std::optional<int> port =
      SpinValue(WindowText(Item(IDC_ESERVERPORT)), text::kServerPortLimits);
  return port ? std::to_string(*port) : std::string();
}

void SettingsWindow::ShowText(int id, const std::string& value) const {
  // Writing back what the operator just typed would move the caret.
  if (Text(id) != value) SetText(Item(id), value);
}

void SettingsWindow::ShowSpin(int id, int value, SpinLimits limits) const {
  if (ReadSpin(id, limits) != value) SetText(Item(id), std::to_string(value));
}

void SettingsWindow::ShowChecked(int id, bool on) const {
  CheckDlgButton(dialog_, id, on ? BST_CHECKED : BST_UNCHECKED);
}

void SettingsWindow::ShowItems(std::initializer_list<int> ids, bool visible) const {
  for (const int id : ids) ShowWindow(Item(id), visible ? SW_SHOWNA : SW_HIDE);
}

}  // namespace

bool ShowSettingsDialog(HWND owner, TSettings& record, const std::filesystem::path& ini,
                        RunKeyStore& run_keys, const std::string& exe_path) {
  // The template names the tab and up-down classes; the hints are tooltips.
  const INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_TAB_CLASSES | ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&classes);
  SettingsWindow window(record, ini, run_keys, exe_path);
  const INT_PTR result =
      DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS), owner,
                      &SettingsWindow::Procedure, reinterpret_cast<LPARAM>(&window));
  return result == IDOK && window.Saved();
}

}  // namespace trivane
