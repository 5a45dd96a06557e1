#include "settings/settings_form.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>
#include <utility>

#include "base/formatting.h"
#include "settings/autostart.h"
#include "settings/settings_store.h"

namespace trivane {

namespace {

using settings_form_text::SpinLimits;

// What a spin editor reads from its text: a number outside the limits is
// pulled into them, and text that is no number reads as the lower limit.
int SpinValue(std::string_view text, SpinLimits limits) {
  text = TrimControl(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || end != text.data() + text.size()) return limits.min;
  if (error == std::errc::result_out_of_range) {
    return text.front() == '-' ? limits.min : limits.max;
  }
  return limits.Clamp(value);
}

}  // namespace

SettingsForm::SettingsForm(TSettings& record, std::filesystem::path ini, RunKeyStore& run_keys,
                           std::string exe_path, ErrorSink show_error)
    : record_(record),
      ini_(std::move(ini)),
      run_keys_(run_keys),
      exe_path_(std::move(exe_path)),
      show_error_(std::move(show_error)) {}

void SettingsForm::FormCreate() {
  Filling = false;
  FillParm();
  TabSrcIPChange();
  RDReadClick();
}

void SettingsForm::FillParm() {
  using namespace settings_form_text;
  SettingsFormControls& c = controls_;
  c.EPID = kPIDLimits.Clamp(record_.PID);
  // A source the dialog does not offer selects nothing, so the check makes the
  // operator choose instead of saving a mode no link understands.
  c.RDRead =
      (record_.SrcMode == kSrcStudio || record_.SrcMode == kSrcTcp) ? record_.SrcMode : kNoReadItem;
  for (int i = 0; i < static_cast<int>(c.SGSend.size()); ++i) {
    c.SGSend[i] = (record_.DstMode & (1 << i)) != 0;
  }
  c.EServerPort = std::to_string(kServerPortLimits.Clamp(record_.ServerPort));
  c.EOSIP = record_.OnlineIP.Host;
  c.EOSPort = kOSPortLimits.Clamp(record_.OnlineIP.Port);
  c.EOSPass = record_.OnlineIP.Password;
  c.CBAuto_Tray = record_.Tray;
  // Setting the box runs its handler: an entry found only machine-wide gains
  // one of the operator's own each time the dialog opens.
  c.CBAuto_Start = Get_AutoStart(run_keys_, exe_path_);
  CBAuto_StartClick();
  c.CBIgnoreDelay = record_.IgnoreDelay;
  c.CBShowPlaylist = record_.ShowPlaylist;
  ShowThePID();
}

void SettingsForm::RDReadClick() {
  Set_RDRead(controls_.RDRead);
}

void SettingsForm::Set_RDRead(int index) {
  Source_Index = index;
  controls_.TabSrcIPVisible = index > 0;
  // The studio cannot be source and destination at once.
  if (index == kSrcStudio) controls_.SGSend[kSendStudioItem] = false;
  SGSendClick();
  ShowThePID();
}

void SettingsForm::SGSendClick() {
  SettingsFormControls& c = controls_;
  if (Source_Index == kSrcStudio) c.SGSend[kSendStudioItem] = false;
  c.EServerPortVisible = c.SGSend[kSendServerItem];
  c.EOSIPVisible = c.SGSend[kSendOnlineItem];
  ShowThePID();
}

void SettingsForm::ShowThePID() {
  // The PID matters whenever the studio link is used, either way round.
  controls_.EPIDVisible = controls_.RDRead == kSrcStudio || controls_.SGSend[kSendStudioItem];
}

int SettingsForm::SourceTab() const {
  return controls_.TabSrcIP < 0               ? 0
         : controls_.TabSrcIP >= kSourceCount ? kSourceCount - 1
                                              : controls_.TabSrcIP;
}

void SettingsForm::TabSrcIPChange() {
  Filling = true;
  controls_.TabSrcIP = SourceTab();
  const TIPPortSett& source = record_.SrcIP[controls_.TabSrcIP];
  controls_.EReadHost = source.Host;
  // Shown clamped like any spin editor; the record keeps its value until the
  // operator edits the port.
  controls_.EReadPort = settings_form_text::kReadPortLimits.Clamp(source.Port);
  Filling = false;
}

void SettingsForm::EReadHostChange() {
  if (Filling) return;
  record_.SrcIP[SourceTab()].Host = controls_.EReadHost;
}

void SettingsForm::EReadPortChange() {
  if (Filling) return;
  controls_.EReadPort = settings_form_text::kReadPortLimits.Clamp(controls_.EReadPort);
  record_.SrcIP[SourceTab()].Port = static_cast<std::uint16_t>(controls_.EReadPort);
}

void SettingsForm::CBAuto_StartClick() {
  Set_AutoStart(run_keys_, exe_path_, controls_.CBAuto_Start);
}

std::int32_t SettingsForm::SendMask() const {
  std::int32_t mask = 0;
  for (int i = 0; i < static_cast<int>(controls_.SGSend.size()); ++i) {
    if (controls_.SGSend[i]) mask |= 1 << i;
  }
  return mask;
}

void SettingsForm::ShowError(std::string_view message) const {
  if (show_error_) show_error_(message);
}

bool SettingsForm::Check_Settings() {
  using namespace settings_form_text;
  const SettingsFormControls& c = controls_;
  const std::int32_t mask = SendMask();
  std::string_view failure;
  if (c.EPIDVisible && c.EPID < 1) {
    failure = kNeedPID;
  } else if (c.RDRead != kSrcStudio && c.RDRead != kSrcTcp) {
    failure = kNeedRead;
  } else if (mask == 0) {
    failure = kNeedSend;
  } else if ((mask & kDstServer) != 0 && TrimControl(c.EServerPort).empty()) {
    failure = kNeedServerPort;
  } else if ((mask & kDstOnline) != 0 && TrimControl(c.EOSIP).empty()) {
    failure = kNeedOnlineIP;
  } else {
    return true;
  }
  ShowError(failure);
  return false;
}

TIPPortSett SettingsForm::FillIPPort() const {
  TIPPortSett entry;
  entry.Host = TrimControl(controls_.EOSIP);
  entry.Port =
      static_cast<std::uint16_t>(settings_form_text::kOSPortLimits.Clamp(controls_.EOSPort));
  entry.Password = TrimControl(controls_.EOSPass);
  return entry;
}

void SettingsForm::Apply_Settings() {
  using namespace settings_form_text;
  const SettingsFormControls& c = controls_;
  // Hidden editors are copied too: a PID typed while the studio is unused is kept.
  // Values go through the editors' limits, as the widgets would hold them.
  record_.PID = static_cast<std::int16_t>(kPIDLimits.Clamp(c.EPID));
  record_.SrcMode = c.RDRead;
  record_.DstMode = SendMask();
  record_.ServerPort = static_cast<std::uint16_t>(SpinValue(c.EServerPort, kServerPortLimits));
  record_.OnlineIP = FillIPPort();
  record_.IgnoreDelay = c.CBIgnoreDelay;
  record_.Tray = c.CBAuto_Tray;
  record_.ShowPlaylist = c.CBShowPlaylist;
}

bool SettingsForm::SBSaveClick() {
  if (!Check_Settings()) return false;
  Apply_Settings();
  // The record already holds the operator's choice and the relay will run with
  // it, but a file left as it was must not pass as saved.
  if (!Save_Settings(ini_, record_)) {
    ShowError(std::string(settings_form_text::kWriteFailed) + ini_.string());
  }
  changed_ = true;
  return true;
}

void SettingsForm::SBCancelClick() {
  changed_ = false;
}

}  // namespace trivane
