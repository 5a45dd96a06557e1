#include "wingui/main_window.h"

#include <commctrl.h>

#include <algorithm>

#include "core/controller.h"
#include "platform/windows/termination_event.h"
#include "platform/windows/wide_text.h"
#include "wingui/child_control.h"
#include "wingui/close_window.h"
#include "wingui/event_log_list.h"
#include "wingui/resource_ids.h"
#include "wingui/status_grid_list.h"
#include "wingui/tray_icon.h"
#include "wingui/wake_pacer.h"

namespace trivane {
namespace {

constexpr UINT kCloseMessage = WM_APP + 3;
constexpr int kMargin = 4;
constexpr int kSettingsGroupWidth = 96;
constexpr int kGroupCaptionHeight = 16;

void RegisterClassOnce(WNDPROC procedure, HICON icon) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  if (GetClassInfoExW(GetModuleHandleW(nullptr), MainWindow::kClassName, &window_class)) return;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hIcon = icon;
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = MainWindow::kClassName;
  RegisterClassExW(&window_class);
}

}  // namespace

MainWindow::MainWindow(std::function<bool(HWND)> show_settings, std::function<void()> tick)
    : show_settings_(std::move(show_settings)), tick_(std::move(tick)) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES |
                                                     ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS |
                                                     ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  icon_ = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TRIVANE));
  if (icon_ == nullptr) icon_ = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // the application's
  RegisterClassOnce(Procedure, icon_);

  // The client area's size, centred on the screen's work area.
  // Without WS_CLIPCHILDREN: the group boxes draw no inside of their own, so
  // the window's background must be painted under them.
  const DWORD style = WS_OVERLAPPEDWINDOW;
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  window_ = CreateWindowExW(0, kClassName, L"Veltora Trivane", style,
                            work.left + (work.right - work.left - width) / 2,
                            work.top + (work.bottom - work.top - height) / 2, width, height,
                            nullptr, nullptr, GetModuleHandleW(nullptr), this);

  settings_group_ = ChildControl(window_, WC_BUTTONW, L"Settings", BS_GROUPBOX, kSettingsGroup);
  settings_button_ =
      ChildControl(window_, WC_BUTTONW, L"Settings", BS_PUSHBUTTON | WS_TABSTOP, kSBSettings);
  log_group_ = ChildControl(window_, WC_BUTTONW, L"Log", BS_GROUPBOX, kLogGroup);
  test_panel_ =
      std::make_unique<TestPanel>(window_, [this](double block, double over, double extra) {
        if (controller_ != nullptr) controller_->SBAuthorClick(block, over, extra);
      });
  tray_ = std::make_unique<TrayIcon>(window_, kTrayMessage, icon_);
  close_dialog_ = std::make_unique<CloseWindow>(window_);
}

// The views leave the controller's models with the window; so does the
// window itself, since the controller may outlive it.
MainWindow::~MainWindow() {
  pacer_.reset();
  if (controller_ != nullptr) {
    controller_->Log().RemoveObserver(this);
    controller_->Status().RemoveObserver(this);
  }
  status_.reset();
  log_.reset();
  tray_.reset();
  close_dialog_.reset();
  test_panel_.reset();
  if (window_ != nullptr) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

void MainWindow::Bind(TVL_Trivane& controller) {
  controller_ = &controller;
  status_ = std::make_unique<StatusGridList>(
      window_, kSGStatus, controller.Status(),
      [&controller](int column) { return controller.StatusHint(column); });
  log_ = std::make_unique<EventLogList>(window_, kSGLog, controller.Log());
  // The log group is drawn behind the list it frames.
  SetWindowPos(log_group_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  Layout();
}

void MainWindow::Start() {
  ShowWindow(window_, SW_SHOWNORMAL);
  UpdateWindow(window_);
  pacer_ = std::make_unique<WakePacer>(window_, kTickMessage, kSocketMessage);
}

void MainWindow::ArmWait(const DriverWait& wait) {
  if (pacer_) pacer_->Arm(wait);
}

void MainWindow::Wake() {
  // Kept until this window is gone, so a wake-up from a connect thread never
  // meets a pacer being freed; after the close its message finds no window.
  if (pacer_) pacer_->Wake();
}

void MainWindow::Layout() {
  if (window_ == nullptr) return;
  RECT client{};
  GetClientRect(window_, &client);
  const int width = client.right;
  const int height = client.bottom;
  const int settings_x = std::max(0, width - kSettingsGroupWidth - kMargin);
  MoveWindow(settings_group_, settings_x, 0, kSettingsGroupWidth, kStatusPanelHeight - kMargin,
             TRUE);
  MoveWindow(settings_button_, settings_x + 8, kGroupCaptionHeight + 4, kSettingsGroupWidth - 16,
             26, TRUE);
  if (status_) {
    status_->Place(kMargin, kMargin, settings_x - 2 * kMargin, kStatusPanelHeight - 2 * kMargin);
  }
  const bool panel = IsWindowVisible(test_panel_->Handle()) != FALSE;
  const int bottom = height - (panel ? TestPanel::kHeight : 0);
  if (panel) test_panel_->Place(0, bottom, width);
  const int log_top = kStatusPanelHeight;
  MoveWindow(log_group_, kMargin, log_top, std::max(0, width - 2 * kMargin),
             std::max(0, bottom - log_top - kMargin), TRUE);
  if (log_) {
    log_->Place(2 * kMargin, log_top + kGroupCaptionHeight, width - 4 * kMargin,
                bottom - log_top - kGroupCaptionHeight - 3 * kMargin);
  }
}

void MainWindow::SetCaption(const std::string& caption) {
  SetWindowTextW(window_, WideFromUtf8(caption).c_str());
}

void MainWindow::SetTrayHint(const std::string& hint) {
  tray_->SetHint(WideFromUtf8(hint));
}

void MainWindow::ShowTrayIcon(bool shown) {
  tray_->Show(shown);
  // In the tray, the window leaves the task bar until it is restored.
  if (shown && minimized_) ShowWindow(window_, SW_HIDE);
}

void MainWindow::MinimizeApplication() {
  // OnMinimize follows from the size change, as for the operator's own.
  ShowWindow(window_, SW_MINIMIZE);
}

void MainWindow::ShowCloseDialog(bool shown) {
  close_dialog_->Show(shown);
}

void MainWindow::ShowTestPanel(bool shown) {
  ShowWindow(test_panel_->Handle(), shown ? SW_SHOW : SW_HIDE);
  Layout();
}

void MainWindow::RequestClose() {
  // Asked from inside a tick: the close runs once the tick is over.
  PostMessageW(window_, kCloseMessage, 0, 0);
}

bool MainWindow::Show_Settings() {
  return show_settings_ ? show_settings_(window_) : false;
}

void MainWindow::OnClose() {
  if (controller_ != nullptr && !controller_->FormClose()) return;
  close_dialog_->Show(false);
  tray_->Show(false);
  HWND window = window_;
  window_ = nullptr;
  DestroyWindow(window);
}

void MainWindow::OnSize(WPARAM kind) {
  const bool minimized = kind == SIZE_MINIMIZED;
  if (controller_ != nullptr && minimized != minimized_) {
    minimized_ = minimized;
    if (minimized) {
      controller_->OnMinimize();
    } else {
      controller_->OnRestore();
    }
  }
  if (!minimized) Layout();
}

LRESULT CALLBACK MainWindow::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr || self->window_ == nullptr) {
    if (message == WM_DESTROY && self != nullptr) PostQuitMessage(0);
    return DefWindowProcW(window, message, wparam, lparam);
  }
  return self->OnMessage(message, wparam, lparam);
}

LRESULT MainWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case kTickMessage:
    case kSocketMessage:
      if (message == kTickMessage) pacer_->TickTaken();
      // A tick never starts inside another, whatever loop takes the message.
      if (!in_tick_ && tick_) {
        in_tick_ = true;
        tick_();
        in_tick_ = false;
      }
      return 0;
    case WM_COPYDATA: {
      const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
      if (channel_ == nullptr || copy == nullptr) return 0;
      const ByteView data(static_cast<const std::uint8_t*>(copy->lpData),
                          copy->lpData == nullptr ? 0 : copy->cbData);
      return channel_->OnCopyData(static_cast<std::uint32_t>(wparam),
                                  static_cast<std::uint32_t>(copy->dwData), data);
    }
    case WM_GETMINMAXINFO: {
      auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
      limits->ptMinTrackSize = {kMinWidth, kMinHeight};
      return 0;
    }
    case WM_SIZE:
      OnSize(wparam);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wparam) == kSBSettings && HIWORD(wparam) == BN_CLICKED && controller_ != nullptr) {
        controller_->SBSettingsClick();
      }
      return 0;
    case WM_NOTIFY: {
      LRESULT result = 0;
      const auto& header = *reinterpret_cast<const NMHDR*>(lparam);
      if ((status_ && status_->OnNotify(header, result)) ||
          (log_ && log_->OnNotify(header, result))) {
        return result;
      }
      return 0;
    }
    case kTrayMessage:
      if (TrayIcon::IsSelect(lparam)) {
        ShowWindow(window_, SW_RESTORE);
        SetForegroundWindow(window_);
      }
      return 0;
    case WM_CLOSE:
    case kCloseMessage:
      OnClose();
      return 0;
    case WM_QUERYENDSESSION:
      RequestTermination();
      return TRUE;
    case WM_ENDSESSION:
      // Windows may end the process once this returns: the close runs here.
      if (wparam != FALSE) {
        RequestTermination();
        RunCloseToTheEnd();
      }
      return 0;
    default:
      if (tray_ && tray_->IsTaskbarCreated(message)) {
        tray_->Restore();
        return 0;
      }
      // Program messages below our own belong to the studio channel.
      if (message >= WM_USER && message < WM_APP) {
        return channel_ != nullptr
                   ? channel_->OnMessage(message, static_cast<std::uint32_t>(wparam),
                                         static_cast<std::uint32_t>(lparam))
                   : 0;
      }
      return DefWindowProcW(window_, message, wparam, lparam);
  }
}

}  // namespace trivane
