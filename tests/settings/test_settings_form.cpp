#include <gtest/gtest.h>

#include <memory>

#include "settings/settings_form.h"
#include "settings/settings_store.h"
#include "support/always_open_run_key_store.h"
#include "support/temp_dir.h"

namespace trivane {
namespace {

using testing::AlwaysOpenRunKeyStore;
using testing::TempDir;

constexpr std::string_view kExe = "/opt/Veltora/Trivane.exe";

class SettingsFormTest : public ::testing::Test {
 protected:
  SettingsFormTest() {
    record.ServerPort = kDefaultServerPort;
    record.PID = 7;
  }

  // A fresh dialog over the record, as the main window opens it.
  SettingsForm& Open() {
    form = std::make_unique<SettingsForm>(
        record, ini, run_keys, std::string(kExe),
        [this](std::string_view message) { messages.emplace_back(message); });
    form->FormCreate();
    return *form;
  }

  SettingsFormControls& C() { return form->Controls(); }

  void Choose(int read_item) {
    C().RDRead = read_item;
    form->RDReadClick();
  }

  void Tick(int send_item, bool ticked) {
    C().SGSend[send_item] = ticked;
    form->SGSendClick();
  }

  TSettings LoadBack() const {
    SettingsState state;
    Load_Settings(ini, state);
    return state.settings;
  }

  TempDir dir;
  std::filesystem::path ini = dir / "Trivane.ini";
  TSettings record;
  AlwaysOpenRunKeyStore run_keys;
  std::vector<std::string> messages;
  std::unique_ptr<SettingsForm> form;
};

TEST_F(SettingsFormTest, OpeningCopiesTheRecordIntoTheControls) {
  record.PID = 321;
  record.SrcMode = kSrcTcp;
  record.DstMode = kDstStudio | kDstOnline;
  record.Tray = record.IgnoreDelay = true;
  record.SrcIP[0] = {"  src-a ", 4001, ""};
  record.SrcIP[1] = {"src-b", 4002, ""};
  record.OnlineIP = {"online.example", 5000, "secret"};
  record.ServerPort = 2000;
  Open();

  EXPECT_EQ(C().EPID, 321);
  EXPECT_EQ(C().RDRead, 1);
  EXPECT_EQ(C().SGSend, (std::array<bool, 3>{true, false, true}));
  EXPECT_EQ(C().EServerPort, "2000");
  EXPECT_EQ(C().EOSIP, "online.example");
  EXPECT_EQ(C().EOSPort, 5000);
  EXPECT_EQ(C().EOSPass, "secret");
  EXPECT_TRUE(C().CBAuto_Tray);
  EXPECT_TRUE(C().CBIgnoreDelay);
  EXPECT_FALSE(C().CBShowPlaylist);
  EXPECT_EQ(C().TabSrcIP, 0);
  EXPECT_EQ(C().EReadHost, "  src-a ");
  EXPECT_EQ(C().EReadPort, 4001);
  EXPECT_EQ(form->SourceIndex(), 1);
  EXPECT_FALSE(form->IsFilling());
  EXPECT_FALSE(form->Settings_Changed());

  C().TabSrcIP = 1;
  form->TabSrcIPChange();
  EXPECT_EQ(C().EReadHost, "src-b");
  EXPECT_EQ(C().EReadPort, 4002);
}

TEST_F(SettingsFormTest, AnUnknownSourceSelectsNothingAndMustBeChosen) {
  record.SrcMode = 2;
  record.DstMode = kDstServer;
  Open();
  EXPECT_EQ(C().RDRead, kNoReadItem);
  EXPECT_FALSE(C().TabSrcIPVisible);
  EXPECT_FALSE(form->SBSaveClick());
  EXPECT_EQ(messages, (std::vector<std::string>{"Define \"Read data from\""}));
  EXPECT_EQ(record.SrcMode, 2) << "a refused Save changes nothing";
  EXPECT_FALSE(std::filesystem::exists(ini));
}

TEST_F(SettingsFormTest, TheStudioIsNeverSourceAndDestination) {
  record.SrcMode = kSrcStudio;
  record.DstMode = kDstStudio | kDstServer;
  Open();
  EXPECT_EQ(C().SGSend, (std::array<bool, 3>{false, true, false})) << "unticked on opening";

  Tick(kSendStudioItem, true);
  EXPECT_FALSE(C().SGSend[kSendStudioItem]) << "ticking it is undone at once";

  Choose(kSrcTcp);
  Tick(kSendStudioItem, true);
  EXPECT_TRUE(C().SGSend[kSendStudioItem]);
  Choose(kSrcStudio);
  EXPECT_FALSE(C().SGSend[kSendStudioItem]);
  EXPECT_TRUE(C().SGSend[kSendServerItem]) << "other destinations stay";
}

TEST_F(SettingsFormTest, EditorsAreShownOnlyWhereTheyApply) {
  record.SrcMode = kSrcStudio;
  Open();
  EXPECT_FALSE(C().TabSrcIPVisible);
  EXPECT_TRUE(C().EPIDVisible) << "the studio as source needs the PID";
  EXPECT_FALSE(C().EServerPortVisible);
  EXPECT_FALSE(C().EOSIPVisible);

  Choose(kSrcTcp);
  EXPECT_TRUE(C().TabSrcIPVisible);
  EXPECT_FALSE(C().EPIDVisible);
  Tick(kSendStudioItem, true);
  EXPECT_TRUE(C().EPIDVisible) << "the studio as destination needs the PID";
  Tick(kSendServerItem, true);
  EXPECT_TRUE(C().EServerPortVisible);
  EXPECT_FALSE(C().EOSIPVisible);
  Tick(kSendOnlineItem, true);
  EXPECT_TRUE(C().EOSIPVisible);
  Tick(kSendServerItem, false);
  Tick(kSendStudioItem, false);
  EXPECT_FALSE(C().EServerPortVisible);
  EXPECT_FALSE(C().EPIDVisible);
  EXPECT_TRUE(C().EOSIPVisible);
}

TEST_F(SettingsFormTest, AHiddenPIDIsNotCheckedButStillStored) {
  record.PID = 0;
  record.SrcMode = kSrcTcp;
  record.DstMode = kDstServer;
  Open();
  EXPECT_FALSE(C().EPIDVisible);
  EXPECT_TRUE(form->Check_Settings());
  EXPECT_TRUE(messages.empty());

  C().EPID = 0;
  Choose(kSrcStudio);
  EXPECT_FALSE(form->Check_Settings()) << "shown again, the PID is checked again";
  EXPECT_EQ(messages, (std::vector<std::string>{"Enter a PID 1-32767"}));

  Choose(kSrcTcp);
  C().EPID = 55;
  EXPECT_TRUE(form->SBSaveClick());
  EXPECT_EQ(record.PID, 55);
}

TEST_F(SettingsFormTest, ChecksReportTheFirstFailureInOrder) {
  record.PID = 0;
  record.SrcMode = -1;
  record.DstMode = kDstStudio;
  Open();
  const std::vector<std::string> expected = {"Enter a PID 1-32767", "Define \"Read data from\"",
                                             "Define \"Send data to\"", "Define \"Server port",
                                             "Define \"RUZoveve Server IP address\""};

  EXPECT_FALSE(form->SBSaveClick());
  C().EPID = 1;
  EXPECT_FALSE(form->SBSaveClick());
  Choose(kSrcTcp);
  Tick(kSendStudioItem, false);
  EXPECT_FALSE(form->SBSaveClick());
  Tick(kSendServerItem, true);
  C().EServerPort = " \t ";
  EXPECT_FALSE(form->SBSaveClick());
  C().EServerPort = "2000";
  Tick(kSendOnlineItem, true);
  C().EOSIP = "  ";
  C().EOSPort = 5000;
  C().EOSPass = "filled";
  EXPECT_FALSE(form->SBSaveClick());
  EXPECT_EQ(messages, expected);
  EXPECT_FALSE(form->Settings_Changed());
  EXPECT_FALSE(std::filesystem::exists(ini)) << "nothing is saved while a check fails";

  C().EOSIP = "online.example";
  EXPECT_TRUE(form->SBSaveClick());
  EXPECT_EQ(messages.size(), expected.size()) << "a passing Save shows nothing";
}

TEST_F(SettingsFormTest, SaveAppliesTheControlsAndWritesTheFile) {
  record.SrcMode = kSrcStudio;
  record.DstMode = kDstServer;
  Open();
  C().EPID = 1234;
  Choose(kSrcTcp);
  Tick(kSendStudioItem, true);
  Tick(kSendOnlineItem, true);
  C().EServerPort = " 3000 ";
  C().EOSIP = "  online.example ";
  C().EOSPort = 6000;
  C().EOSPass = " pw ";
  C().CBAuto_Tray = C().CBIgnoreDelay = C().CBShowPlaylist = true;
  ASSERT_TRUE(form->SBSaveClick());
  EXPECT_TRUE(form->Settings_Changed());
  EXPECT_TRUE(messages.empty());

  EXPECT_EQ(record.PID, 1234);
  EXPECT_EQ(record.SrcMode, kSrcTcp);
  EXPECT_EQ(record.DstMode, kDstStudio | kDstServer | kDstOnline);
  EXPECT_EQ(record.ServerPort, 3000);
  EXPECT_EQ(record.OnlineIP, (TIPPortSett{"online.example", 6000, "pw"}));
  EXPECT_TRUE(record.Tray && record.IgnoreDelay && record.ShowPlaylist);
  EXPECT_EQ(LoadBack(), record);
}

TEST_F(SettingsFormTest, SaveWithNothingChangedStillClosesWithOK) {
  record.SrcMode = kSrcTcp;
  record.DstMode = kDstServer | kDstOnline;
  record.Tray = true;
  record.SrcIP[2] = {"src-c", 4003, ""};
  record.OnlineIP = {"online.example", 5000, "pw"};
  Open();
  const TSettings before = record;
  EXPECT_TRUE(form->SBSaveClick());
  EXPECT_TRUE(form->Settings_Changed());
  EXPECT_EQ(record, before);
  EXPECT_EQ(LoadBack(), before);

  Open();
  form->SBCancelClick();
  EXPECT_FALSE(form->Settings_Changed());
}

TEST_F(SettingsFormTest, SourceTabEditsSurviveCancelAndReachTheNextSave) {
  record.SrcMode = kSrcTcp;
  record.DstMode = kDstServer;
  Open();
  C().TabSrcIP = 1;
  form->TabSrcIPChange();
  C().EReadHost = " studio-b ";
  form->EReadHostChange();
  C().EReadPort = 70000;
  form->EReadPortChange();
  EXPECT_EQ(C().EReadPort, 65535) << "held to the editor's limit";
  C().EPID = 999;
  form->SBCancelClick();

  EXPECT_FALSE(form->Settings_Changed());
  EXPECT_EQ(record.SrcIP[1], (TIPPortSett{" studio-b ", 65535, ""})) << "host kept untrimmed";
  EXPECT_EQ(record.SrcIP[0], TIPPortSett{}) << "only the edited tab changes";
  EXPECT_EQ(record.PID, 7) << "other controls are not applied";
  EXPECT_FALSE(std::filesystem::exists(ini));

  Open();
  C().TabSrcIP = 1;
  form->TabSrcIPChange();
  EXPECT_EQ(C().EReadHost, " studio-b ");
  ASSERT_TRUE(form->SBSaveClick());
  EXPECT_EQ(LoadBack().SrcIP[1], (TIPPortSett{"studio-b", 65535, ""}));
}

TEST_F(SettingsFormTest, AutostartActsAtOnceAndIgnoresCancel) {
  Open();
  EXPECT_FALSE(C().CBAuto_Start);
  EXPECT_TRUE(run_keys.user.empty());

  C().CBAuto_Start = true;
  form->CBAuto_StartClick();
  EXPECT_EQ(run_keys.user, (std::vector<RunValue>{{"TRIVANE", std::string(kExe)}}));
  form->SBCancelClick();
  EXPECT_EQ(run_keys.user.size(), 1u);

  Open();
  EXPECT_TRUE(C().CBAuto_Start);
  C().CBAuto_Start = false;
  form->CBAuto_StartClick();
  EXPECT_TRUE(run_keys.user.empty());
}

TEST_F(SettingsFormTest, OpeningCopiesAMachineWideEntryToTheUser) {
  run_keys.machine = {{"Fleet", "/OPT/VELTORA/TRIVANE.EXE"}};
  Open();
  EXPECT_TRUE(C().CBAuto_Start);
  EXPECT_EQ(run_keys.user, (std::vector<RunValue>{{"TRIVANE", std::string(kExe)}}));
}

TEST_F(SettingsFormTest, RecordValuesOutsideTheEditorsLimitsAreClamped) {
  record.PID = -5;
  record.SrcMode = kSrcTcp;
  record.DstMode = kDstServer | kDstOnline;
  record.ServerPort = 80;
  record.SrcIP[0] = {"src", 0, ""};
  record.OnlineIP = {"online", 40000, ""};
  Open();
  EXPECT_EQ(C().EPID, 0);
  EXPECT_EQ(C().EServerPort, "1024");
  EXPECT_EQ(C().EOSPort, 32767);
  EXPECT_EQ(C().EReadPort, 1);
  EXPECT_EQ(record.SrcIP[0].Port, 0) << "showing a source does not edit it";

  ASSERT_TRUE(form->SBSaveClick());
  const TSettings saved = LoadBack();
  EXPECT_EQ(saved.PID, 0);
  EXPECT_EQ(saved.ServerPort, 1024);
  EXPECT_EQ(saved.OnlineIP.Port, 32767);

  record.ServerPort = 65535;
  Open();
  EXPECT_EQ(C().EServerPort, "32767");
}

TEST_F(SettingsFormTest, ServerPortTextReadsAsASpinEditorWould) {
  record.SrcMode = kSrcTcp;
  record.DstMode = kDstServer;
  const std::pair<std::string, std::uint16_t> cases[] = {{" 2000 ", 2000},
                                                         {"+1500", 1500},
                                                         {"40000", 32767},
                                                         {"-3", 1024},
                                                         {"abc", 1024},
                                                         {"12ab", 1024},
                                                         {"99999999999999999999", 32767}};
  for (const auto& [text, port] : cases) {
    Open();
    C().EServerPort = text;
    ASSERT_TRUE(form->SBSaveClick()) << text;
    EXPECT_EQ(record.ServerPort, port) << text;
  }
}

TEST_F(SettingsFormTest, AFailedWriteIsReportedButTheDialogStillCloses) {
  record.SrcMode = kSrcTcp;
  record.DstMode = kDstServer;
  ini = dir / "missing" / "Trivane.ini";
  Open();
  C().EPID = 42;
  EXPECT_TRUE(form->SBSaveClick());
  EXPECT_TRUE(form->Settings_Changed());
  EXPECT_EQ(record.PID, 42) << "the relay runs with what the operator chose";
  EXPECT_EQ(messages,
            (std::vector<std::string>{"The settings could not be written to " + ini.string()}));
}

}  // namespace
}  // namespace trivane
