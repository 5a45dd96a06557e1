#include "gui/main_window.h"

#include <QCloseEvent>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <cstdio>
#include <utility>

#include "core/controller.h"
#include "gui/event_log_view.h"
#include "gui/program_icon.h"
#include "gui/status_grid_view.h"

namespace trivane {
namespace {

constexpr int kClientWidth = 671;
constexpr int kClientHeight = 451;
constexpr int kStatusPanelHeight = 69;
constexpr int kTestPanelHeight = 40;

QDoubleSpinBox* TestSpin(double start, const char* hint, QWidget* parent) {
  auto* spin = new QDoubleSpinBox(parent);
  spin->setDecimals(3);
  spin->setRange(0, 900);
  spin->setSingleStep(1);
  spin->setValue(start);
  spin->setToolTip(QString::fromUtf8(hint));
  return spin;
}

}  // namespace

MainWindow::MainWindow(std::function<bool()> show_settings)
    : show_settings_(std::move(show_settings)) {
  setWindowIcon(ProgramIcon());
  setMinimumSize(400, 200);
  resize(kClientWidth, kClientHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }

  layout_ = new QVBoxLayout(this);
  layout_->setContentsMargins(0, 0, 0, 0);
  layout_->setSpacing(0);

  status_panel_ = new QWidget(this);
  status_panel_->setFixedHeight(kStatusPanelHeight);
  auto* status_layout = new QHBoxLayout(status_panel_);
  status_layout->setContentsMargins(2, 2, 2, 2);
  auto* settings_group = new QGroupBox(QStringLiteral("Settings"), status_panel_);
  auto* settings_layout = new QVBoxLayout(settings_group);
  settings_button_ = new QPushButton(QStringLiteral("Settings"), settings_group);
  settings_button_->setObjectName(QStringLiteral("SBSettings"));
  settings_layout->addWidget(settings_button_);
  status_layout->addWidget(settings_group);
  layout_->addWidget(status_panel_);

  log_panel_ = new QGroupBox(QStringLiteral("Log"), this);
  new QVBoxLayout(log_panel_);
  layout_->addWidget(log_panel_, 1);

  BuildTestPanel();
  layout_->addWidget(test_panel_);

  tray_ = std::make_unique<QSystemTrayIcon>(windowIcon());
  connect(tray_.get(), &QSystemTrayIcon::activated, this, [this] {
    showNormal();
    activateWindow();
  });

  close_dialog_ =
      std::make_unique<QProgressDialog>(QStringLiteral("Close connections"), QString(), 0, 0);
  close_dialog_->setWindowTitle(QStringLiteral("Close"));
  close_dialog_->setCancelButton(nullptr);
  // A title bar without a close button, above every other window.
  close_dialog_->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                Qt::WindowStaysOnTopHint);
  close_dialog_->setAutoReset(false);
  close_dialog_->setAutoClose(false);
  close_dialog_->setMinimumDuration(0);
  // A new progress dialog shows itself after a few seconds unless reset.
  close_dialog_->reset();
  close_dialog_->hide();

  // Asked from inside a tick: the close runs once the tick is over.
  connect(this, &MainWindow::CloseRequested, this, &QWidget::close, Qt::QueuedConnection);
}

// The grids' models leave the controller's models with the window; so does
// the window itself, since the controller may outlive it.
MainWindow::~MainWindow() {
  if (controller_ == nullptr) return;
  controller_->Log().RemoveObserver(this);
  controller_->Status().RemoveObserver(this);
}

void MainWindow::BuildTestPanel() {
  test_panel_ = new QWidget(this);
  test_panel_->setObjectName(QStringLiteral("PanAuthor"));
  test_panel_->setFixedHeight(kTestPanelHeight);
  auto* row = new QHBoxLayout(test_panel_);
  row->setContentsMargins(4, 2, 4, 2);
  block_ = TestSpin(60, "Size of block", test_panel_);
  over_ = TestSpin(120, "Over time", test_panel_);
  extra_ = TestSpin(0, "Extra time", test_panel_);
  block_->setObjectName(QStringLiteral("EAdvBlock"));
  over_->setObjectName(QStringLiteral("EOver"));
  extra_->setObjectName(QStringLiteral("EExtra"));
  row->addWidget(new QLabel(QString::fromUtf8("Тело блока"), test_panel_));
  row->addWidget(block_);
  row->addWidget(new QLabel(QStringLiteral("Over"), test_panel_));
  row->addWidget(over_);
  row->addWidget(new QLabel(QStringLiteral("Extra"), test_panel_));
  row->addWidget(extra_);
  auto* send = new QPushButton(QString::fromUtf8("Отправить"), test_panel_);
  send->setObjectName(QStringLiteral("SBAuthor"));
  row->addWidget(send);
  row->addStretch(1);
  connect(send, &QPushButton::clicked, this, &MainWindow::SendTestBlock);
  test_panel_->hide();
}

void MainWindow::Bind(TVL_Trivane& controller) {
  controller_ = &controller;
  status_view_ = new StatusGridView(
      controller.Status(), [&controller](int column) { return controller.StatusHint(column); },
      status_panel_);
  status_view_->setObjectName(QStringLiteral("SGStatus"));
  // In front of the Settings group, taking the width it leaves.
  static_cast<QHBoxLayout*>(status_panel_->layout())->insertWidget(0, status_view_, 1);

  log_view_ = new EventLogView(controller.Log(), log_panel_);
  log_view_->setObjectName(QStringLiteral("SGLog"));
  log_panel_->layout()->addWidget(log_view_);

  connect(settings_button_, &QPushButton::clicked, this,
          [this] { controller_->SBSettingsClick(); });
}

void MainWindow::SendTestBlock() {
  if (controller_ != nullptr) {
    controller_->SBAuthorClick(block_->value(), over_->value(), extra_->value());
  }
}

void MainWindow::SetCaption(const std::string& caption) {
  setWindowTitle(QString::fromStdString(caption));
}

void MainWindow::SetTrayHint(const std::string& hint) {
  tray_->setToolTip(QString::fromStdString(hint));
}

void MainWindow::ShowTrayIcon(bool shown) {
  if (shown && !QSystemTrayIcon::isSystemTrayAvailable()) {
    if (!told_no_tray_) {
      std::fputs("trivane: this desktop has no system tray; the window is minimised instead\n",
                 stderr);
      told_no_tray_ = true;
    }
    return;
  }
  tray_->setVisible(shown);
}

void MainWindow::MinimizeApplication() {
  // OnMinimize follows from the state change, as for the operator's own.
  showMinimized();
}

void MainWindow::ShowCloseDialog(bool shown) {
  if (shown) {
    close_dialog_->show();
    close_dialog_->raise();
  } else {
    close_dialog_->hide();
  }
}

void MainWindow::ShowTestPanel(bool shown) {
  test_panel_->setVisible(shown);
}

void MainWindow::RequestClose() {
  emit CloseRequested();
}

bool MainWindow::Show_Settings() {
  return show_settings_ ? show_settings_() : false;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (controller_ == nullptr || controller_->FormClose()) {
    close_dialog_->hide();
    tray_->hide();
    event->accept();
    emit Closed();
    return;
  }
  event->ignore();
}

void MainWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || controller_ == nullptr) return;
  const bool minimized = isMinimized();
  if (minimized && !was_minimized_) controller_->OnMinimize();
  if (!minimized && was_minimized_) controller_->OnRestore();
  was_minimized_ = minimized;
}

}  // namespace trivane
