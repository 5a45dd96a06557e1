#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "core/controller_view.h"

class QDoubleSpinBox;
class QProgressDialog;
class QPushButton;
class QSystemTrayIcon;
class QVBoxLayout;

namespace trivane {

class EventLogView;
class StatusGridView;
class TVL_Trivane;

// The relay's window: the status grid with the Settings button above, the
// event log, and the test panel below. It only shows what the controller
// tells it and hands the operator's actions to the controller's handlers.
class MainWindow final : public QWidget, public ControllerView {
  Q_OBJECT

 public:
  // show_settings runs the settings dialog modally: true after a Save.
  explicit MainWindow(std::function<bool()> show_settings);
  ~MainWindow() override;

  // The controller exists only after this window, which it is created with;
  // the grids bind to its models here.
  void Bind(TVL_Trivane& controller);

  // ControllerView
  void SetCaption(const std::string& caption) override;
  void SetTrayHint(const std::string& hint) override;
  void ShowTrayIcon(bool shown) override;
  void MinimizeApplication() override;
  void ShowCloseDialog(bool shown) override;
  void ShowTestPanel(bool shown) override;
  void RequestClose() override;
  bool Show_Settings() override;

  QWidget* TestPanel() const { return test_panel_; }
  QProgressDialog* CloseDialog() const { return close_dialog_.get(); }
  QSystemTrayIcon* TrayIcon() const { return tray_.get(); }
  StatusGridView* StatusView() const { return status_view_; }
  EventLogView* LogView() const { return log_view_; }

 signals:
  // The controller has let the close through: the window is gone for good.
  void Closed();
  // RequestClose, queued to the window's own event loop.
  void CloseRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void BuildTestPanel();
  void SendTestBlock();

  std::function<bool()> show_settings_;
  TVL_Trivane* controller_ = nullptr;
  QVBoxLayout* layout_ = nullptr;
  QWidget* status_panel_ = nullptr;
  QWidget* log_panel_ = nullptr;
  StatusGridView* status_view_ = nullptr;
  EventLogView* log_view_ = nullptr;
  QWidget* test_panel_ = nullptr;
  QDoubleSpinBox* block_ = nullptr;
  QDoubleSpinBox* over_ = nullptr;
  QDoubleSpinBox* extra_ = nullptr;
  QPushButton* settings_button_ = nullptr;
  std::unique_ptr<QSystemTrayIcon> tray_;
  std::unique_ptr<QProgressDialog> close_dialog_;
  bool told_no_tray_ = false;
  bool was_minimized_ = false;
};

}  // namespace trivane
