#include "wingui/window_front_end.h"

#include <utility>

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
  DriverHooks hooks;
  hooks.stop_requested = setup.stop_requested;
  hooks.close_window = [this] { window_->RequestClose(); };
  driver_ = std::make_unique<RelayDriver>(*controller_, std::move(hooks),
                                          [window = window_.get()] { window->Wake(); });
}

// The window's views are bound to the controller's models, so they go first.
WindowFrontEnd::~WindowFrontEnd() {
  driver_.reset();
  window_.reset();
}

void WindowFrontEnd::Start() {
  window_->Start();
  driver_->Start();
  window_->ArmWait(driver_->NextWait());
}

bool WindowFrontEnd::Open() const {
  return window_->Open();
}

void WindowFrontEnd::Tick() {
  driver_->ServeRequests();
  driver_->Tick();
  if (!driver_->Closed()) window_->ArmWait(driver_->NextWait());
}

int RunWindow(const WindowSetup& setup) {
  WindowFrontEnd front_end(setup);
  // At the end of the session Windows may end the process as soon as
  // WM_ENDSESSION returns: the close runs to its end inside it, on the
  // tick's schedule.
  SetCloseToTheEnd([&front_end] { front_end.Driver().CloseToTheEnd(&SleepUntil); });
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
