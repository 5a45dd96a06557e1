#include "wingui/window_front_end.h"

#include <chrono>

#include "base/tick_schedule.h"
#include "platform/termination_signals.h"
#include "platform/windows/precise_wait.h"
#include "platform/windows/win32_desktop.h"
#include "wingui/main_window.h"
#include "wingui/settings_dialog.h"

namespace trivane {

WindowFrontEnd::WindowFrontEnd(const WindowSetup& setup) : setup_(setup) {
  window_ = std::make_unique<MainWindow>(
      [this](HWND owner) {
        return ShowSettingsDialog(owner, controller_->Config().settings, setup_.paths.ini_file,
                                  *setup_.autostart, setup_.executable_path);
      },
      [this] { Tick(); });
  if (setup.adopt_main_window) {
    window_->SetChannel(setup.adopt_main_window(Win32Desktop::FromHwnd(window_->Handle())));
  }
  controller_ = std::make_unique<TVL_Trivane>(*setup.clock, *window_, setup.paths, *setup.codepage,
                                              setup.make_parts, setup.version);
  window_->Bind(*controller_);
}

// The window's views are bound to the controller's models, so they go first.
WindowFrontEnd::~WindowFrontEnd() {
  window_.reset();
}

void WindowFrontEnd::Start() {
  window_->Start();
}

bool WindowFrontEnd::Open() const {
  return window_->Open();
}

void WindowFrontEnd::Tick() {
  if (setup_.stop_requested && !close_signalled_ && setup_.stop_requested()) {
    close_signalled_ = true;
    // As if the operator closed it; the close runs once this tick is over.
    window_->RequestClose();
  }
  if (controller_->TimerEnabled()) controller_->OnTimer();
}

int RunWindow(const WindowSetup& setup) {
  WindowFrontEnd front_end(setup);
  // At the end of the session Windows may end the process as soon as
  // WM_ENDSESSION returns: the close runs to its end inside it, on the
  // tick's schedule.
  SetCloseToTheEnd([&front_end] {
    TVL_Trivane& controller = front_end.Controller();
    if (controller.FormClose()) return;
    const auto period = std::chrono::milliseconds(TVL_Trivane::kTickIntervalMs);
    auto due = TickClock::now() + period;
    while (controller.TimerEnabled()) {
      SleepUntil(due);
      controller.OnTimer();
      due = NextTickDue(due, TickClock::now(), period);
    }
    controller.FormClose();
  });
  front_end.Start();
  MSG message;
  while (front_end.Open() && GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  SetCloseToTheEnd(nullptr);
  return 0;
}

}  // namespace trivane
