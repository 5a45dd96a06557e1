#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "platform/windows/wide_text.h"
#include "settings/settings_form.h"
#include "settings/settings_store.h"
#include "support/always_open_run_key_store.h"
#include "support/temp_dir.h"
#include "wingui/settings_dialog_driver.h"

namespace trivane {
namespace {

namespace text = settings_form_text;
using testing::AlwaysOpenRunKeyStore;
using testing::SettingsDialogDriver;

std::wstring W(std::string_view utf8) {
  return WideFromUtf8(utf8);
}

// The rules are tested without a screen; these check that the Win32 controls
// carry the texts, feed the rules and show what the rules decide.
class WinSettingsDialog : public ::testing::Test {
 protected:
  WinSettingsDialog() {
    record.ServerPort = kDefaultServerPort;
    record.SrcMode = kSrcTcp;
    record.DstMode = kDstServer;
  }

  testing::TempDir dir;
  std::filesystem::path ini = dir / "trivane.ini";
  TSettings record;
  AlwaysOpenRunKeyStore run_keys;
};

TEST_F(WinSettingsDialog, EveryControlCarriesItsTextHintAndLimitsAndTheDialogIsCentred) {
  SettingsDialogDriver dialog(record, ini, run_keys);
  EXPECT_EQ(dialog.TextOf(dialog.Dialog()), W(text::kCaption));
  const std::pair<int, std::string_view> captions[] = {
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
  for (const auto& [id, caption] : captions) EXPECT_EQ(dialog.Text(id), W(caption)) << id;

  const HWND tabs = dialog.Item(IDC_TABSRCIP);
  ASSERT_EQ(dialog.Send(tabs, TCM_GETITEMCOUNT), 4);
  for (int i = 0; i < 4; ++i) {
    wchar_t caption[64] = {};
    TCITEMW tab{};
    tab.mask = TCIF_TEXT;
    tab.pszText = caption;
    tab.cchTextMax = 64;
    dialog.Send(tabs, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&tab));
    EXPECT_EQ(std::wstring(caption), W(text::kSourceTabs[i]));
  }

  const std::pair<int, std::string_view> hints[] = {
      {IDC_EREADHOST, text::kReadHostHint},
      {IDC_EREADPORT, text::kReadPortHint},
      {IDC_CBIGNOREDELAY, text::kIgnoreDelayHint},
      {IDC_ESERVERPORT, text::kServerPortHint},
      {IDC_EOSIP, text::kOSIPHint},
      {IDC_EOSPORT, text::kOSPortHint},
      {IDC_EOSPASS, text::kOSPassHint},
  };
  for (const auto& [id, hint] : hints) EXPECT_EQ(dialog.Hint(id), W(hint)) << id;
  EXPECT_NE(dialog.Send(dialog.Item(IDC_EOSPASS), EM_GETPASSWORDCHAR), 0);

  const struct {
    int arrows, edit;
    text::SpinLimits limits;
  } spins[] = {
      {IDC_EPID_SPIN, IDC_EPID, text::kPIDLimits},
      {IDC_EREADPORT_SPIN, IDC_EREADPORT, text::kReadPortLimits},
      {IDC_ESERVERPORT_SPIN, IDC_ESERVERPORT, text::kServerPortLimits},
      {IDC_EOSPORT_SPIN, IDC_EOSPORT, text::kOSPortLimits},
  };
  for (const auto& spin : spins) {
    int min = 0, max = 0;
    dialog.Send(dialog.Item(spin.arrows), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&min),
                reinterpret_cast<LPARAM>(&max));
    EXPECT_EQ(min, spin.limits.min) << spin.edit;
    EXPECT_EQ(max, spin.limits.max) << spin.edit;
    EXPECT_EQ(reinterpret_cast<HWND>(dialog.Send(dialog.Item(spin.arrows), UDM_GETBUDDY)),
              dialog.Item(spin.edit));
  }
  EXPECT_EQ(dialog.Text(IDC_ESERVERPORT), L"9999");

  RECT area{}, window{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  GetWindowRect(dialog.Dialog(), &window);
  EXPECT_LE(std::abs((window.left + window.right) - (area.left + area.right)), 2);
  EXPECT_LE(std::abs((window.top + window.bottom) - (area.top + area.bottom)), 2);
}

TEST_F(WinSettingsDialog, ClicksRunTheRulesAndEveryControlShowsTheOutcome) {
  record.DstMode = kDstStudio | kDstServer;
  SettingsDialogDriver dialog(record, ini, run_keys);
  EXPECT_TRUE(dialog.Checked(IDC_RDREAD1));
  EXPECT_TRUE(dialog.Checked(IDC_SGSEND0));
  EXPECT_TRUE(dialog.Shown(IDC_TABSRCIP));
  EXPECT_TRUE(dialog.Shown(IDC_EPID)) << "the studio is a destination";
  EXPECT_TRUE(dialog.Shown(IDC_LABAPID));
  EXPECT_TRUE(dialog.Shown(IDC_ESERVERPORT));
  for (const int id : {IDC_EOSIP, IDC_EOSPORT, IDC_EOSPORT_SPIN, IDC_EOSPASS}) {
    EXPECT_FALSE(dialog.Shown(id)) << id;
  }

  dialog.Click(IDC_RDREAD0);
  EXPECT_TRUE(dialog.Checked(IDC_RDREAD0));
  EXPECT_FALSE(dialog.Checked(IDC_RDREAD1));
  EXPECT_FALSE(dialog.Checked(IDC_SGSEND0)) << "the studio cannot be both";
  for (const int id : {IDC_TABSRCIP, IDC_EREADHOST, IDC_LABREADPORT, IDC_CBIGNOREDELAY}) {
    EXPECT_FALSE(dialog.Shown(id)) << id;
  }
  EXPECT_TRUE(dialog.Shown(IDC_EPID));
  dialog.Click(IDC_SGSEND0);
  EXPECT_FALSE(dialog.Checked(IDC_SGSEND0)) << "the box shows the rule, not the click";

  dialog.Click(IDC_RDREAD1);
  EXPECT_TRUE(dialog.Shown(IDC_EREADHOST));
  EXPECT_FALSE(dialog.Shown(IDC_EPID)) << "the studio is used neither way";
  EXPECT_FALSE(dialog.Shown(IDC_LABAPID));
  EXPECT_FALSE(dialog.Shown(IDC_EPID_SPIN));
  dialog.Click(IDC_SGSEND2);
  for (const int id : {IDC_EOSIP, IDC_EOSPORT, IDC_EOSPORT_SPIN, IDC_EOSPASS}) {
    EXPECT_TRUE(dialog.Shown(id)) << id;
  }
  dialog.Click(IDC_SGSEND1);
  EXPECT_FALSE(dialog.Shown(IDC_ESERVERPORT));
  EXPECT_FALSE(dialog.Shown(IDC_ESERVERPORT_SPIN));

  PostMessageW(dialog.Dialog(), WM_CLOSE, 0, 0);  // the title bar's close
  EXPECT_EQ(dialog.Result(), false);
  EXPECT_FALSE(std::filesystem::exists(ini));
}

TEST_F(WinSettingsDialog, SaveShowsEachCheckInTurnAndStaysOpenUntilTheInputPasses) {
  record.SrcMode = 7;  // no source the dialog offers
  record.DstMode = kDstStudio | kDstServer | kDstOnline;
  SettingsDialogDriver dialog(record, ini, run_keys);
  EXPECT_EQ(dialog.ErrorAfterClick(IDC_SBSAVE), W(text::kNeedPID));
  dialog.Type(IDC_EPID, L"12");
  EXPECT_EQ(dialog.ErrorAfterClick(IDC_SBSAVE), W(text::kNeedRead));
  dialog.Click(IDC_RDREAD1);
  for (const int id : {IDC_SGSEND0, IDC_SGSEND1, IDC_SGSEND2}) dialog.Click(id);
  EXPECT_EQ(dialog.ErrorAfterClick(IDC_SBSAVE), W(text::kNeedSend));
  dialog.Click(IDC_SGSEND1);
  dialog.Type(IDC_ESERVERPORT, L"");
  EXPECT_EQ(dialog.ErrorAfterClick(IDC_SBSAVE), W(text::kNeedServerPort));
  dialog.Type(IDC_ESERVERPORT, L"2000");
  dialog.Click(IDC_SGSEND2);
  EXPECT_EQ(dialog.ErrorAfterClick(IDC_SBSAVE), W(text::kNeedOnlineIP));
  EXPECT_FALSE(std::filesystem::exists(ini));

  dialog.Type(IDC_EOSIP, L"online.example");
  dialog.Click(IDC_SBSAVE);
  EXPECT_EQ(dialog.Result(), true);
}

TEST_F(WinSettingsDialog, EveryEditReachesTheSavedFileAndSpinsAreClampedWhenRead) {
  record.SrcIP[2].Port = 4003;
  SettingsDialogDriver dialog(record, ini, run_keys);
  dialog.Type(IDC_EPID, L"77");
  dialog.Click(IDC_CBSHOWPLAYLIST);
  dialog.SelectTab(2);
  EXPECT_EQ(dialog.Text(IDC_EREADPORT), L"4003");
  dialog.Type(IDC_EREADHOST, L"source3.example");
  dialog.Type(IDC_EREADPORT, L"70000");
  dialog.Click(IDC_CBIGNOREDELAY);
  dialog.Type(IDC_ESERVERPORT, L"2000");
  dialog.Click(IDC_SGSEND2);
  dialog.Type(IDC_EOSIP, L"online.example");
  dialog.Type(IDC_EOSPORT, L"2");
  EXPECT_EQ(dialog.Text(IDC_EOSPORT), L"2") << "a number half typed stays as typed";
  dialog.Focus(IDC_EOSPORT);
  dialog.Focus(IDC_EOSPASS);
  EXPECT_EQ(dialog.Text(IDC_EOSPORT), L"1024") << "left, it shows what it reads as";
  dialog.Type(IDC_EOSPASS, L"secret");
  dialog.Click(IDC_CBAUTO_TRAY);
  dialog.Click(IDC_SBSAVE);
  ASSERT_EQ(dialog.Result(), true);

  SettingsState saved;
  Load_Settings(ini, saved);
  const TSettings& file = saved.settings;
  EXPECT_EQ(file.PID, 77);
  EXPECT_TRUE(file.ShowPlaylist);
  EXPECT_EQ(file.SrcMode, kSrcTcp);
  EXPECT_EQ(file.SrcIP[2], (TIPPortSett{"source3.example", 65535, ""}));
  EXPECT_TRUE(file.IgnoreDelay);
  EXPECT_EQ(file.DstMode, kDstServer | kDstOnline);
  EXPECT_EQ(file.ServerPort, 2000);
  EXPECT_EQ(file.OnlineIP, (TIPPortSett{"online.example", 1024, "secret"}));
  EXPECT_TRUE(file.Tray);
}

TEST_F(WinSettingsDialog, AFileThatCannotBeWrittenIsReportedAndTheDialogStillCloses) {
  ini = dir / "missing" / "trivane.ini";
  SettingsDialogDriver dialog(record, ini, run_keys);
  EXPECT_EQ(dialog.ErrorAfterClick(IDC_SBSAVE), W(std::string(text::kWriteFailed) + ini.string()));
  EXPECT_EQ(dialog.Result(), true);
}

TEST_F(WinSettingsDialog, SourceTabEditsReachTheRecordAtOnceAndCancelKeepsThem) {
  record.SrcIP[1] = {"old-host", 4002, ""};
  SettingsDialogDriver dialog(record, ini, run_keys);
  dialog.SelectTab(1);
  EXPECT_EQ(dialog.Text(IDC_EREADHOST), L"old-host");
  EXPECT_EQ(dialog.Text(IDC_EREADPORT), L"4002");
  dialog.Type(IDC_EREADHOST, L" new-host");
  dialog.Type(IDC_EREADPORT, L"4100");
  EXPECT_EQ(record.SrcIP[1], (TIPPortSett{" new-host", 4100, ""})) << "stored as typed";

  // Another control's rule runs; the host, unchanged, is not written again.
  dialog.Send(dialog.Item(IDC_EREADHOST), EM_SETSEL, 3, 3);
  dialog.Click(IDC_CBIGNOREDELAY);
  DWORD start = 0, end = 0;
  dialog.Send(dialog.Item(IDC_EREADHOST), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
              reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 3u);
  EXPECT_EQ(end, 3u);

  dialog.SelectTab(0);
  EXPECT_EQ(dialog.Text(IDC_EREADHOST), L"");
  dialog.Click(IDC_SBCANCEL);
  EXPECT_EQ(dialog.Result(), false);
  EXPECT_EQ(record.SrcIP[1].Host, " new-host");
  EXPECT_FALSE(std::filesystem::exists(ini));
}

TEST_F(WinSettingsDialog, StartWithWindowsActsAtOnceAndEscapeDoesNotUndoIt) {
  {
    SettingsDialogDriver dialog(record, ini, run_keys);
    EXPECT_FALSE(dialog.Checked(IDC_CBAUTO_START));
    dialog.Click(IDC_CBAUTO_START);
    ASSERT_EQ(run_keys.user.size(), 1u);
    EXPECT_EQ(run_keys.user[0].data, SettingsDialogDriver::kExePath);
    PostMessageW(dialog.Item(IDC_CBAUTO_TRAY), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(dialog.Result(), false);
  }
  EXPECT_EQ(run_keys.user.size(), 1u);

  SettingsDialogDriver dialog(record, ini, run_keys);
  EXPECT_TRUE(dialog.Checked(IDC_CBAUTO_START));
  dialog.Click(IDC_CBAUTO_START);
  EXPECT_TRUE(run_keys.user.empty());
}

}  // namespace
}  // namespace trivane
