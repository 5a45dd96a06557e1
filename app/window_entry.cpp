#include "app/window_entry.h"

#include "app/production_parts.h"
#include "base/path_text.h"
#include "gui/window_front_end.h"
#include "platform/executable_path.h"
#include "platform/linux/desktop_bus.h"
#include "platform/linux/xdg_autostart_store.h"
#include "platform/system_clock.h"
#include "platform/termination_signals.h"
#include "studio/relay_main_window.h"

namespace trivane {

bool CanOpenWindow() {
  return WindowCanOpen();
}

int RunWindowed(int argc, char** argv, const ControllerPaths& paths, const TextCodec& codepage,
                const FileVersion& version) {
  InstallTerminationHandlers(HangUp::kReloads);
  SystemClock clock;
  DesktopBus bus;
  RelayMainWindow main_window(bus);
  Desktop* desktop = UsableDesktop(bus, main_window);
  XdgAutostartStore autostart = XdgAutostartStore::FromEnvironment();

  WindowSetup setup;
  setup.clock = &clock;
  setup.paths = paths;
  setup.codepage = &codepage;
  setup.version = version;
  setup.make_parts = [&](LinkHost& host) {
    return MakeProductionParts(host, desktop, &main_window);
  };
  if (desktop != nullptr) {
    setup.input_descriptors = [&bus] { return bus.InputDescriptors(); };
    setup.serve_input = [&bus] { bus.Pump(); };
  }
  setup.stop_requested = &TerminationRequested;
  setup.reload_requested = &TakeReloadRequest;
  setup.autostart = &autostart;
  setup.executable_path = PathText(ExecutablePath());
  const int status = RunWindow(argc, argv, setup);
  main_window.Attach(nullptr);
  return status;
}

}  // namespace trivane
