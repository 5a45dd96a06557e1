#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "base/desktop.h"
#include "core/controller_view.h"
#include "core/relay_driver.h"
#include "wingui/test_panel.h"

namespace trivane {

class CloseWindow;
class EventLogList;
class StatusGridList;
class WakePacer;
class TrayIcon;
class TVL_Trivane;

// The controls of the main window, by the number GetDlgItem finds them by.
enum MainWindowControl : int {
  kSGStatus = 1001,
  kSettingsGroup,
  kSBSettings,
  kLogGroup,
  kSGLog,
};

// The relay's window, of the class the studio looks for: the status grid
// with the Settings button beside it, the event log, and the test panel
// below. It shows what the controller tells it, hands the operator's actions
// to the controller's handlers, and the two channel messages (WM_PEER_CMD and
// WM_COPYDATA) to the studio link's end of it.
class MainWindow final : public ControllerView {
 public:
  static constexpr wchar_t kClassName[] = L"TVL_Trivane";
  static constexpr int kClientWidth = 671;
  static constexpr int kClientHeight = 451;
  static constexpr int kMinWidth = 400;
  static constexpr int kMinHeight = 200;
  static constexpr int kStatusPanelHeight = 69;
  // Posted by the wake pacer: a tick is due, or was asked for.
  static constexpr UINT kTickMessage = WM_APP + 1;
  // A watched socket is ready.
  static constexpr UINT kSocketMessage = WM_APP + 4;
  // The tray icon's clicks.
  static constexpr UINT kTrayMessage = WM_APP + 2;

  // show_settings runs the settings dialog modally: true after a Save.
  // tick runs one tick of the controller.
  MainWindow(std::function<bool(HWND owner)> show_settings, std::function<void()> tick);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  HWND Handle() const { return window_; }
  // The controller exists only after this window, which it is created with;
  // the grids bind to its models here.
  void Bind(TVL_Trivane& controller);
  // Where WM_PEER_CMD and WM_COPYDATA go; nothing is answered without one.
  void SetChannel(WindowProcedure* channel) { channel_ = channel; }
  // Shows the window and starts waiting for the ticks.
  void Start();
  // After each tick: what the next one waits for.
  void ArmWait(const DriverWait& wait);
  // From any thread: a tick soon (nothing once the window is closed).
  void Wake();
  // False once the controller has let the window go.
  bool Open() const { return window_ != nullptr; }

  // ControllerView
  void SetCaption(const std::string& caption) override;
  void SetTrayHint(const std::string& hint) override;
  void ShowTrayIcon(bool shown) override;
  void MinimizeApplication() override;
  void ShowCloseDialog(bool shown) override;
  void ShowTestPanel(bool shown) override;
  void RequestClose() override;
  bool Show_Settings() override;

  StatusGridList* StatusView() const { return status_.get(); }
  EventLogList* LogView() const { return log_.get(); }
  TrayIcon* Tray() const { return tray_.get(); }
  CloseWindow* CloseDialog() const { return close_dialog_.get(); }
  TestPanel* Tests() const { return test_panel_.get(); }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void OnClose();
  void OnSize(WPARAM kind);
  void Layout();

  std::function<bool(HWND)> show_settings_;
  std::function<void()> tick_;
  HWND window_ = nullptr;
  HICON icon_ = nullptr;
  HWND settings_group_ = nullptr;
  HWND settings_button_ = nullptr;
  HWND log_group_ = nullptr;
  TVL_Trivane* controller_ = nullptr;
  WindowProcedure* channel_ = nullptr;
  std::unique_ptr<StatusGridList> status_;
  std::unique_ptr<EventLogList> log_;
  std::unique_ptr<TestPanel> test_panel_;
  std::unique_ptr<TrayIcon> tray_;
  std::unique_ptr<CloseWindow> close_dialog_;
  std::unique_ptr<WakePacer> pacer_;
  bool minimized_ = false;
  bool in_tick_ = false;
};

}  // namespace trivane
