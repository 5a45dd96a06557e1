#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "gui/settings_dialog.h"
#include "settings/settings_store.h"
#include "support/always_open_run_key_store.h"
#include "support/temp_dir.h"

namespace trivane {
namespace {

using testing::AlwaysOpenRunKeyStore;

// The rules themselves are tested without a screen; these check that the
// widgets carry the texts, feed the rules and show what the rules decide.
class GuiSettingsDialog : public ::testing::Test {
 protected:
  GuiSettingsDialog() {
    record.ServerPort = kDefaultServerPort;
    record.SrcMode = kSrcTcp;
    record.DstMode = kDstServer;
  }

  SettingsDialog& Open() {
    dialog = std::make_unique<SettingsDialog>(
        record, ini, run_keys, "/opt/trivane/bin/trivane",
        [this](std::string_view message) { messages.emplace_back(message); });
    dialog->show();
    return *dialog;
  }

  template <typename Widget>
  Widget* Find(const char* name) {
    auto* widget = dialog->findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }

  bool Shown(const char* name) { return Find<QWidget>(name)->isVisibleTo(dialog.get()); }

  QRadioButton* ReadItem(int index) {
    return dialog->findChild<QGroupBox*>(QStringLiteral("RDRead"))
        ->findChildren<QRadioButton*>()
        .at(index);
  }

  void Click(const char* name) { Find<QAbstractButton>(name)->click(); }

  testing::TempDir dir;
  std::filesystem::path ini = dir / "trivane.ini";
  TSettings record;
  AlwaysOpenRunKeyStore run_keys;
  std::vector<std::string> messages;
  std::unique_ptr<SettingsDialog> dialog;
};

TEST_F(GuiSettingsDialog, EveryControlCarriesItsTextHintAndLimits) {
  Open();
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Settings"));
  EXPECT_EQ(Find<QLabel>("LabAPID")->text(), QStringLiteral("Program IDentificator (PID)"));
  EXPECT_EQ(Find<QSpinBox>("EPID")->maximum(), 32767);
  EXPECT_EQ(Find<QCheckBox>("CBShowPlaylist")->text(), QStringLiteral("Show playlist data"));

  EXPECT_EQ(Find<QGroupBox>("RDRead")->title(),
            QStringLiteral("Read data from (IP Port recognize DRCP, VL2, VL3 protocols)"));
  EXPECT_EQ(ReadItem(0)->text(), QStringLiteral("DO Zudivo 3  (Send data to regions)"));
  EXPECT_EQ(ReadItem(1)->text(), QStringLiteral("IP Port"));
  auto* tabs = Find<QTabBar>("TabSrcIP");
  ASSERT_EQ(tabs->count(), 4);
  EXPECT_EQ(tabs->tabText(0), QStringLiteral("IP Source 1"));
  EXPECT_EQ(tabs->tabText(3), QStringLiteral("IP Source 4"));
  EXPECT_EQ(Find<QLineEdit>("EReadHost")->toolTip(), QStringLiteral("Host or IP"));
  auto* read_port = Find<QSpinBox>("EReadPort");
  EXPECT_EQ(read_port->toolTip(), QStringLiteral("Port"));
  EXPECT_EQ(read_port->minimum(), 1);
  EXPECT_EQ(read_port->maximum(), 65535);
  auto* ignore_delay = Find<QCheckBox>("CBIgnoreDelay");
  EXPECT_EQ(ignore_delay->text(), QStringLiteral("Ignore delay DRCP data"));
  EXPECT_EQ(ignore_delay->toolTip(), QStringLiteral("Ignore delay data in DRCP block"));

  EXPECT_EQ(Find<QGroupBox>("SGSend")->title(),
            QStringLiteral("Send data to (IP port send only VL3 protocol)"));
  EXPECT_EQ(Find<QCheckBox>("SGSend0")->text(), QStringLiteral("DO Zudivo 3"));
  EXPECT_EQ(Find<QCheckBox>("SGSend1")->text(),
            QStringLiteral("Direct connect (Internal IP Server). Port"));
  EXPECT_EQ(Find<QCheckBox>("SGSend2")->text(), QStringLiteral("RUZoveve"));
  auto* server_port = Find<ClearableSpinBox>("EServerPort");
  EXPECT_EQ(server_port->toolTip(), QStringLiteral("Port for connect other VLTrivane"));
  EXPECT_EQ(server_port->text(), QStringLiteral("9999"));
  EXPECT_EQ(server_port->maximum(), 32767);
  EXPECT_EQ(Find<QLineEdit>("EOSIP")->toolTip(), QStringLiteral("IP RUZoveveServer"));
  auto* online_port = Find<QSpinBox>("EOSPort");
  EXPECT_EQ(online_port->toolTip(), QStringLiteral("Port RUZoveveServer"));
  EXPECT_EQ(online_port->minimum(), 1024);
  EXPECT_EQ(online_port->maximum(), 32767);
  auto* password = Find<QLineEdit>("EOSPass");
  EXPECT_EQ(password->toolTip(), QStringLiteral("Password"));
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);

  EXPECT_EQ(Find<QGroupBox>("PanStart")->title(), QStringLiteral("Start program"));
  EXPECT_EQ(Find<QCheckBox>("CBAuto_Start")->text(), QStringLiteral("Start with Windows"));
  EXPECT_EQ(Find<QCheckBox>("CBAuto_Tray")->text(), QStringLiteral("Hide to system tray"));
  EXPECT_EQ(Find<QPushButton>("SBSave")->text(), QStringLiteral("Save"));
  EXPECT_EQ(Find<QPushButton>("SBCancel")->text(), QStringLiteral("Cancel"));
}

TEST_F(GuiSettingsDialog, ClicksRunTheRulesAndEveryWidgetShowsTheOutcome) {
  record.DstMode = kDstStudio | kDstServer;
  Open();
  EXPECT_TRUE(ReadItem(1)->isChecked());
  EXPECT_TRUE(Find<QCheckBox>("SGSend0")->isChecked());
  EXPECT_TRUE(Shown("TabSrcIP"));
  EXPECT_TRUE(Shown("EPID"));  // the studio is a destination
  EXPECT_TRUE(Shown("LabAPID"));
  EXPECT_TRUE(Shown("EServerPort"));
  EXPECT_FALSE(Shown("EOSIP"));
  EXPECT_FALSE(Shown("EOSPass"));

  ReadItem(0)->click();
  EXPECT_TRUE(ReadItem(0)->isChecked());
  EXPECT_FALSE(Find<QCheckBox>("SGSend0")->isChecked()) << "the studio cannot be both";
  EXPECT_FALSE(Shown("TabSrcIP"));
  EXPECT_FALSE(Shown("EReadHost"));
  EXPECT_TRUE(Shown("EPID"));
  Click("SGSend0");
  EXPECT_FALSE(Find<QCheckBox>("SGSend0")->isChecked());

  ReadItem(1)->click();
  EXPECT_TRUE(Shown("TabSrcIP"));
  EXPECT_FALSE(Shown("EPID")) << "the studio is used neither way";
  EXPECT_FALSE(Shown("LabAPID"));
  Click("SGSend2");
  EXPECT_TRUE(Shown("EOSIP"));
  EXPECT_TRUE(Shown("EOSPort"));
  EXPECT_TRUE(Shown("EOSPass"));
  Click("SGSend1");
  EXPECT_FALSE(Shown("EServerPort"));
}

TEST_F(GuiSettingsDialog, SourceTabEditsReachTheRecordAtOnceAndCancelKeepsThem) {
  record.SrcIP[1] = {"old-host", 4002, ""};
  Open();
  auto* host = Find<QLineEdit>("EReadHost");
  auto* port = Find<QSpinBox>("EReadPort");
  Find<QTabBar>("TabSrcIP")->setCurrentIndex(1);
  EXPECT_EQ(host->text(), QStringLiteral("old-host"));
  EXPECT_EQ(port->value(), 4002);

  host->selectAll();
  QTest::keyClicks(host, " new-host");
  port->setValue(4100);
  EXPECT_EQ(record.SrcIP[1].Host, " new-host") << "stored untrimmed, as typed";
  EXPECT_EQ(record.SrcIP[1].Port, 4100);
  EXPECT_EQ(record.SrcIP[0].Host, "");

  Find<QTabBar>("TabSrcIP")->setCurrentIndex(0);
  EXPECT_EQ(host->text(), QString());
  Click("SBCancel");
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_FALSE(dialog->Form().Settings_Changed());
  EXPECT_EQ(record.SrcIP[1].Host, " new-host");
  EXPECT_FALSE(std::filesystem::exists(ini));
}

TEST_F(GuiSettingsDialog, AnEmptiedServerPortIsRefusedAndATypedOneSaved) {
  Open();
  auto* server_port = Find<ClearableSpinBox>("EServerPort");
  server_port->setFocus();
  QTest::keyClick(server_port, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(server_port, Qt::Key_Backspace);
  EXPECT_EQ(server_port->text(), QString());
  // The button takes the focus from the field; the empty field stays empty.
  Click("SBSave");
  EXPECT_EQ(messages, (std::vector<std::string>{"Define \"Server port"}));
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_FALSE(std::filesystem::exists(ini));

  server_port->setFocus();
  QTest::keyClicks(server_port, "2000");
  Click("SBSave");
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_TRUE(dialog->Form().Settings_Changed());
  SettingsState saved;
  Load_Settings(ini, saved);
  EXPECT_EQ(saved.settings.ServerPort, 2000);
  EXPECT_EQ(record.ServerPort, 2000);
}

TEST_F(GuiSettingsDialog, TheBlankIsNoPortTheOperatorCanType) {
  Open();
  auto* server_port = Find<ClearableSpinBox>("EServerPort");
  server_port->setFocus();
  QTest::keyClick(server_port, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(server_port, "1023");
  EXPECT_EQ(server_port->Text(), "9999") << "1023 does not read as the blank";
  server_port->interpretText();  // as when the field loses the focus
  EXPECT_EQ(server_port->text(), QStringLiteral("9999")) << "an out-of-range port falls back";
  server_port->stepBy(-20000);
  EXPECT_EQ(server_port->Text(), "");
  server_port->stepBy(1);
  EXPECT_EQ(server_port->Text(), "1024");
}

}  // namespace
}  // namespace trivane
