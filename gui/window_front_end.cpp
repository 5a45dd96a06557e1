#include "gui/window_front_end.h"

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <memory>

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

int RunWindow(int argc, char** argv, const WindowSetup& setup) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Veltora Trivane"));
  QApplication::setApplicationDisplayName(QStringLiteral("Veltora Trivane"));
  // The window hides to the tray and comes back; closing is the controller's.
  QApplication::setQuitOnLastWindowClosed(false);

  TVL_Trivane* controller = nullptr;
  MainWindow window([&] {
    return controller != nullptr &&
           ShowSettingsDialog(&window, controller->Config().settings, setup.paths.ini_file,
                              *setup.autostart, setup.executable_path);
  });
  TVL_Trivane relay(*setup.clock, window, setup.paths, *setup.codepage, setup.make_parts);
  controller = &relay;
  window.Bind(relay);

  bool close_signalled = false;
  TickDriver ticks(
      [&] {
        if (setup.stop_requested && !close_signalled && setup.stop_requested()) {
          close_signalled = true;
          window.close();
        }
        if (relay.TimerEnabled()) relay.OnTimer();
      },
      TickDriver::Input{setup.input_descriptors, setup.serve_input},
      std::chrono::milliseconds(TVL_Trivane::kTickIntervalMs));
  // The window goes once the controller lets its close through.
  QObject::connect(&window, &MainWindow::Closed, &application, [&] {
    ticks.Stop();
    QApplication::quit();
  });
  window.show();
  ticks.Start();
  return QApplication::exec();
}

}  // namespace trivane
