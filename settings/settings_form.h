#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "settings/run_key_store.h"
#include "settings/settings.h"

namespace trivane {

// Everything the settings dialog shows as text, and the limits of its spin
// editors. Both front ends draw from here, so the operator reads the same
// words on every platform; the texts are kept as the operators know them,
// quirks included.
namespace settings_form_text {

inline constexpr std::string_view kCaption = "Settings";

inline constexpr std::string_view kPIDLabel = "Program IDentificator (PID)";
inline constexpr std::string_view kShowPlaylist = "Show playlist data";

inline constexpr std::string_view kReadCaption =
    "Read data from (IP Port recognize DRCP, VL2, VL3 protocols)";
inline constexpr int kReadColumns = 2;
inline constexpr std::array<std::string_view, 2> kReadItems = {
    "DO Zudivo 3  (Send data to regions)", "IP Port"};

inline constexpr std::array<std::string_view, kSourceCount> kSourceTabs = {
    "IP Source 1", "IP Source 2", "IP Source 3", "IP Source 4"};
inline constexpr std::string_view kReadHostLabel = "IP";
inline constexpr std::string_view kReadHostHint = "Host or IP";
inline constexpr std::string_view kReadPortLabel = "Port";
inline constexpr std::string_view kReadPortHint = "Port";
inline constexpr std::string_view kIgnoreDelay = "Ignore delay DRCP data";
inline constexpr std::string_view kIgnoreDelayHint = "Ignore delay data in DRCP block";

inline constexpr std::string_view kSendCaption = "Send data to (IP port send only VL3 protocol)";
inline constexpr std::array<std::string_view, 3> kSendItems = {
    "DO Zudivo 3", "Direct connect (Internal IP Server). Port", "RUZoveve"};
inline constexpr std::string_view kServerPortHint = "Port for connect other VLTrivane";
inline constexpr std::string_view kOSIPHint = "IP RUZoveveServer";
inline constexpr std::string_view kOSPortHint = "Port RUZoveveServer";
inline constexpr std::string_view kOSPassHint = "Password";

inline constexpr std::string_view kStartGroup = "Start program";
inline constexpr std::string_view kAutoStart = "Start with Windows";
inline constexpr std::string_view kAutoTray = "Hide to system tray";

inline constexpr std::string_view kSave = "Save";
inline constexpr std::string_view kCancel = "Cancel";

// Check_Settings reports these, one at a time, in this order.
inline constexpr std::string_view kNeedPID = "Enter a PID 1-32767";
inline constexpr std::string_view kNeedRead = "Define \"Read data from\"";
inline constexpr std::string_view kNeedSend = "Define \"Send data to\"";
inline constexpr std::string_view kNeedServerPort = "Define \"Server port";
inline constexpr std::string_view kNeedOnlineIP = "Define \"RUZoveve Server IP address\"";

// Followed by the ini file's path.
inline constexpr std::string_view kWriteFailed = "The settings could not be written to ";

struct SpinLimits {
  int min;
  int max;

  constexpr int Clamp(long long value) const {
    return value < min ? min : value > max ? max : static_cast<int>(value);
  }
};

// The PID editor has no lower limit of its own beyond 0; a PID below 1 is
// refused by the check instead, and only while the studio link is used.
inline constexpr SpinLimits kPIDLimits = {0, 32767};
inline constexpr SpinLimits kReadPortLimits = {1, 65535};
inline constexpr SpinLimits kServerPortLimits = {1024, 32767};
inline constexpr SpinLimits kOSPortLimits = {1024, 32767};

}  // namespace settings_form_text

// Destination items of SGSend, by index; item i stands for DstMode bit i.
inline constexpr int kSendStudioItem = 0;
inline constexpr int kSendServerItem = 1;
inline constexpr int kSendOnlineItem = 2;

// RDRead with no item selected.
inline constexpr int kNoReadItem = -1;

// The state of every control of the dialog. A front end mirrors it into its
// widgets; label visibility follows the editor it belongs to (LabAPID follows
// EPID, EOSPort and EOSPass follow EOSIP, the editors on the tabs follow
// TabSrcIP).
struct SettingsFormControls {
  int EPID = 0;
  bool EPIDVisible = false;
  bool CBShowPlaylist = false;
  int RDRead = kNoReadItem;
  bool TabSrcIPVisible = false;
  int TabSrcIP = 0;
  std::string EReadHost;
  int EReadPort = settings_form_text::kReadPortLimits.min;
  bool CBIgnoreDelay = false;
  std::array<bool, 3> SGSend = {};
  // Text, because the operator can clear it; the check looks at the text.
  std::string EServerPort = std::to_string(kDefaultServerPort);
  bool EServerPortVisible = false;
  std::string EOSIP;
  bool EOSIPVisible = false;
  int EOSPort = settings_form_text::kOSPortLimits.min;
  std::string EOSPass;
  bool CBAuto_Start = false;
  bool CBAuto_Tray = false;

  bool operator==(const SettingsFormControls&) const = default;
};

// The rules of the settings dialog, without a screen. A front end creates one
// per showing, calls FormCreate, and for every edit writes the widget's new
// value into Controls() and calls that widget's handler; after each handler it
// copies all of Controls() back into its widgets (with their change signals
// blocked), since one handler may change other controls.
class SettingsForm {
 public:
  using ErrorSink = std::function<void(std::string_view)>;

  SettingsForm(TSettings& record, std::filesystem::path ini, RunKeyStore& run_keys,
               std::string exe_path, ErrorSink show_error);

  SettingsFormControls& Controls() { return controls_; }
  const SettingsFormControls& Controls() const { return controls_; }

  int SourceIndex() const { return Source_Index; }
  bool IsFilling() const { return Filling; }

  void FormCreate();
  void FillParm();

  void RDReadClick();
  void Set_RDRead(int index);
  void SGSendClick();
  void ShowThePID();

  // Source editors act on the record at once; Cancel does not undo them.
  void TabSrcIPChange();
  void EReadHostChange();
  void EReadPortChange();

  // Changes the start-up entry at once, whatever the dialog's result.
  void CBAuto_StartClick();

  // False, after showing the first failing message, when the input cannot be saved.
  bool Check_Settings();
  void Apply_Settings();
  TIPPortSett FillIPPort() const;

  // True when the dialog closes with OK. A file that cannot be written is
  // reported but still closes with OK, so the relay runs with what the
  // operator chose.
  bool SBSaveClick();
  void SBCancelClick();

  // The dialog's result: true only after a successful Save.
  bool Settings_Changed() const { return changed_; }

 private:
  int SourceTab() const;
  std::int32_t SendMask() const;
  void ShowError(std::string_view message) const;

  TSettings& record_;
  std::filesystem::path ini_;
  RunKeyStore& run_keys_;
  std::string exe_path_;
  ErrorSink show_error_;
  SettingsFormControls controls_;

  int Source_Index = 0;  // the source choice Set_RDRead applied last
  bool Filling = false;  // true while TabSrcIPChange loads the source editors
  bool changed_ = false;
};

}  // namespace trivane
