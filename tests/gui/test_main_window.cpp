#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <memory>
#include <string>

#include "core/controller.h"
#include "gui/event_log_view.h"
#include "gui/main_window.h"
#include "gui/settings_dialog.h"
#include "gui/status_grid_view.h"
#include "gui/window_front_end.h"
#include "platform/system_clock.h"
#include "platform/system_text_codec.h"
#include "settings/settings_store.h"
#include "support/always_open_run_key_store.h"
#include "support/counting_links.h"
#include "support/temp_dir.h"

namespace trivane {
namespace {

using namespace std::chrono_literals;
using testing::CountingServer;
using testing::CountingSources;

// The window, its controller and its ticks as the program wires them, over
// counting links, on the offscreen platform.
class GuiMainWindow : public ::testing::Test {
 protected:
  void Start(const std::string& ini_body) {
    testing::WriteFileBytes(dir / "trivane.ini", "[Settings]\r\n" + ini_body);
    setup.clock = &clock;
    setup.paths = ControllerPaths{dir / "trivane.ini", dir / "Log"};
    setup.codepage = codepage.get();
    setup.make_parts = [this](LinkHost&) {
      ControllerParts parts;
      auto s = std::make_unique<CountingSources>();
      sources = s.get();
      parts.sources = std::move(s);
      auto server_link = std::make_unique<CountingServer>();
      server = server_link.get();
      parts.server = std::move(server_link);
      return parts;
    };
    setup.autostart = &run_keys;
    setup.executable_path = "/opt/trivane/bin/trivane";
    front_end = std::make_unique<WindowFrontEnd>(setup);
    QObject::connect(&Window(), &MainWindow::Closed, [this] { closed = true; });
    front_end->Start();
    // The first tick applies the settings.
    ASSERT_TRUE(QTest::qWaitFor([this] { return sources->reads > 0; }, 2000));
  }

  MainWindow& Window() { return front_end->Window(); }
  TVL_Trivane& Controller() { return front_end->Controller(); }

  int LoggedWithTag(const std::string& tag) {
    int count = 0;
    for (int i = 0; i < Controller().Log().EntryCount(); ++i) {
      count += Controller().Log().Entry(i)->tag == tag;
    }
    return count;
  }

  testing::TempDir dir;
  SystemClock clock;
  std::unique_ptr<SystemTextCodec> codepage = SystemTextCodec::Open("WINDOWS-1251");
  testing::AlwaysOpenRunKeyStore run_keys;
  WindowSetup setup;
  CountingSources* sources = nullptr;
  CountingServer* server = nullptr;
  std::unique_ptr<WindowFrontEnd> front_end;
  bool closed = false;
};

TEST_F(GuiMainWindow, OpensAtItsSizeWithTheVersionCaptionAndThePanels) {
  Start("SrcMode=1\r\nDstMode=2\r\nSrcIP=127.0.0.1:5001\r\n");
  EXPECT_TRUE(Window().windowTitle().startsWith(QStringLiteral("Veltora Trivane (ver.")))
      << Window().windowTitle().toStdString();
  EXPECT_EQ(Window().size(), QSize(671, 451));
  EXPECT_EQ(Window().minimumSize(), QSize(400, 200));
  EXPECT_EQ(Window().StatusView()->parentWidget()->height(), 69);
  EXPECT_EQ(Window().StatusView()->objectName(), QStringLiteral("SGStatus"));
  EXPECT_EQ(Window().LogView()->objectName(), QStringLiteral("SGLog"));
  EXPECT_FALSE(Window().TestPanel()->isVisible()) << "only with Author";
  // The source and the server columns, and nothing else.
  EXPECT_FALSE(Window().StatusView()->isColumnHidden(2));
  EXPECT_TRUE(Window().StatusView()->isColumnHidden(3));
  EXPECT_FALSE(Window().StatusView()->isColumnHidden(7));
  EXPECT_TRUE(Window().StatusView()->isColumnHidden(1));
}

TEST_F(GuiMainWindow, TheTestPanelSendsItsBlockAndNoticeTaggedTest) {
  Start("Author=1\r\nSrcMode=1\r\nDstMode=2\r\n");
  QWidget* panel = Window().TestPanel();
  ASSERT_TRUE(panel->isVisible());
  EXPECT_EQ(panel->height(), 40);
  auto* block = panel->findChild<QDoubleSpinBox*>(QStringLiteral("EAdvBlock"));
  auto* send = panel->findChild<QPushButton*>(QStringLiteral("SBAuthor"));
  ASSERT_NE(block, nullptr);
  ASSERT_NE(send, nullptr);
  EXPECT_EQ(send->text(), QString::fromUtf8("Отправить"));
  EXPECT_EQ(block->value(), 60);
  EXPECT_EQ(block->decimals(), 3);
  EXPECT_EQ(block->maximum(), 900);
  EXPECT_EQ(panel->findChild<QDoubleSpinBox*>(QStringLiteral("EOver"))->value(), 120);

  block->setValue(30.5);
  QTest::mouseClick(send, Qt::LeftButton);
  // A region block and its notice, for the chain server, though the source is TCP.
  ASSERT_EQ(server->queue.size(), 2u);
  EXPECT_EQ(LoggedWithTag("Test"), 2);
}

TEST_F(GuiMainWindow, SaveInTheDialogWritesTheFileAndTheLinksApplyAgainWhileTicksGoOn) {
  Start("SrcMode=1\r\nDstMode=2\r\nServerPort=2000\r\n");
  const int inits_before = server->inits;
  int reads_while_open = -1;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<SettingsDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    const int reads = sources->reads;
    // Data for the relay while the dialog's own loop runs.
    for (int i = 0; i < 5; ++i) {
      Controller().WakeDriver();
      QTest::qWait(20);
    }
    reads_while_open = sources->reads - reads;
    dialog->findChild<QSpinBox*>(QStringLiteral("EServerPort"))->setValue(2100);
    dialog->findChild<QPushButton*>(QStringLiteral("SBSave"))->click();
  });
  Window().findChild<QPushButton*>(QStringLiteral("SBSettings"))->click();

  EXPECT_GT(reads_while_open, 3) << "the ticks stop while the dialog is open";
  SettingsState saved;
  Load_Settings(dir / "trivane.ini", saved);
  EXPECT_EQ(saved.settings.ServerPort, 2100);
  EXPECT_EQ(Controller().Config().settings.ServerPort, 2100);
  EXPECT_EQ(server->inits, inits_before + 1);
  EXPECT_EQ(Controller().Status().Cell(7, 1), "Port 2100");
}

TEST_F(GuiMainWindow, CancelInTheDialogAppliesNothing) {
  Start("SrcMode=1\r\nDstMode=2\r\nServerPort=2000\r\n");
  const std::string file_before = testing::ReadFileBytes(dir / "trivane.ini");
  const int inits_before = server->inits;
  QTimer::singleShot(0, [] {
    QApplication::activeModalWidget()->findChild<QPushButton*>(QStringLiteral("SBCancel"))->click();
  });
  Window().findChild<QPushButton*>(QStringLiteral("SBSettings"))->click();
  EXPECT_EQ(server->inits, inits_before);
  EXPECT_EQ(testing::ReadFileBytes(dir / "trivane.ini"), file_before);
}

TEST_F(GuiMainWindow, TheCloseDialogStaysUpUntilTheRunningConnectAttemptEnds) {
  Start("SrcMode=1\r\nDstMode=2\r\n");
  sources->attempts_done = false;
  Window().close();
  QProgressDialog* dialog = Window().CloseDialog();
  ASSERT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Close"));
  EXPECT_EQ(dialog->labelText(), QStringLiteral("Close connections"));
  EXPECT_EQ(dialog->findChild<QPushButton*>(), nullptr) << "no cancel";
  EXPECT_FALSE(dialog->windowFlags().testFlag(Qt::WindowCloseButtonHint));
  EXPECT_TRUE(dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(dialog->findChild<QProgressBar*>()->text().isEmpty()) << "no percentage";

  QTest::qWait(200);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(Window().isVisible());
  EXPECT_FALSE(closed);

  sources->attempts_done = true;
  ASSERT_TRUE(QTest::qWaitFor([this] { return closed; }, 2000));
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_FALSE(Window().isVisible());
}

TEST_F(GuiMainWindow, WithTrayTheWindowStartsMinimisedAndRestoresNormally) {
  Start("SrcMode=1\r\nDstMode=2\r\nTray=1\r\n");
  ASSERT_TRUE(QTest::qWaitFor([this] { return Window().isMinimized(); }, 2000));
  // The offscreen desktop has no tray, so no icon shows and the window stays
  // on the task bar.
  EXPECT_FALSE(Window().TrayIcon()->isVisible());
  Window().showNormal();
  EXPECT_FALSE(Window().isMinimized());
  EXPECT_FALSE(Window().TrayIcon()->isVisible());
}

}  // namespace
}  // namespace trivane
