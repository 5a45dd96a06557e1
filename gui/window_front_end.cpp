#include "gui/window_front_end.h"

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <utility>

#include "core/relay_driver.h"
#include "gui/main_window.h"
#include "gui/settings_dialog.h"
#include "gui/tick_driver.h"

namespace trivane {
namespace {

bool Named(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

}  // namespace

bool WindowCanOpen() {
  return Named("QT_QPA_PLATFORM") || Named("DISPLAY") || Named("WAYLAND_DISPLAY");
}

WindowFrontEnd::WindowFrontEnd(const WindowSetup& setup) : setup_(setup) {
  window_ = std::make_unique<MainWindow>([this] {
    return ShowSettingsDialog(window_.get(), controller_->Config().settings, setup_.paths.ini_file,
                              *setup_.autostart, setup_.executable_path);
  });
  controller_ = std::make_unique<TVL_Trivane>(*setup.clock, *window_, setup.paths, *setup.codepage,
                                              setup.make_parts, setup.version);
  window_->Bind(*controller_);
  DriverHooks hooks;
  hooks.stop_requested = setup.stop_requested;
  hooks.reload_requested = setup.reload_requested;
  hooks.close_window = [this] { window_->RequestClose(); };
  ticks_ =
      std::make_unique<TickDriver>([this] { Tick(); }, [this] { return driver_->NextWait(); },
                                   TickDriver::Input{setup.input_descriptors, setup.serve_input});
  driver_ = std::make_unique<RelayDriver>(*controller_, std::move(hooks),
                                          [ticks = ticks_.get()] { ticks->Wake(); });
  QObject::connect(window_.get(), &MainWindow::Closed, ticks_.get(), &TickDriver::Stop);
}

// The window's views are bound to the controller's models, so they go first.
// The driver goes before the ticks it wakes.
WindowFrontEnd::~WindowFrontEnd() {
  driver_.reset();
  ticks_.reset();
  window_.reset();
}

void WindowFrontEnd::Start() {
  window_->show();
  driver_->Start();
  ticks_->Start();
}

void WindowFrontEnd::Tick() {
  driver_->ServeRequests();
  driver_->Tick();
}

WindowApplication::WindowApplication(int& argc, char** argv) {
  if (!WindowCanOpen()) qputenv("QT_QPA_PLATFORM", "offscreen");
  application_ = std::make_unique<QApplication>(argc, argv);
}

WindowApplication::~WindowApplication() = default;

std::string WindowApplication::PlatformName() const {
  return QApplication::platformName().toStdString();
}

void WindowApplication::RunFor(std::chrono::milliseconds period) {
  const auto until = std::chrono::steady_clock::now() + period;
  while (std::chrono::steady_clock::now() < until) {
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
}

int RunWindow(int argc, char** argv, const WindowSetup& setup) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Veltora Trivane"));
  // The window hides to the tray and comes back; closing is the controller's.
  QApplication::setQuitOnLastWindowClosed(false);

  WindowFrontEnd front_end(setup);
  QObject::connect(&front_end.Window(), &MainWindow::Closed, &application, &QApplication::quit);
  front_end.Start();
  return QApplication::exec();
}

}  // namespace trivane
