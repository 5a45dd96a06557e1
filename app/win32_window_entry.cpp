#include <memory>

#include "app/production_parts.h"
#include "app/window_entry.h"
#include "base/path_text.h"
#include "platform/executable_path.h"
#include "platform/own_console.h"
#include "platform/system_clock.h"
#include "platform/termination_signals.h"
#include "platform/windows/registry_run_key_store.h"
#include "platform/windows/win32_desktop.h"
#include "studio/relay_main_window.h"
#include "wingui/window_front_end.h"

namespace trivane {

// A Windows session always has a desktop to show the window on.
bool CanOpenWindow() {
  return true;
}

int RunWindowed(int /*argc*/, char** /*argv*/, const ControllerPaths& paths,
                const TextCodec& codepage, const FileVersion& version) {
  LeaveOwnConsole();
  InstallTerminationHandlers();
  SystemClock clock;
  Win32Desktop desktop;
  RegistryRunKeyStore autostart;
  // The window itself is the one the studio finds; the link's end of it
  // comes with the window, before the controller asks for its links.
  std::unique_ptr<RelayMainWindow> main_window;

  WindowSetup setup;
  setup.clock = &clock;
  setup.paths = paths;
  setup.codepage = &codepage;
  setup.version = version;
  setup.adopt_main_window = [&](WindowHandle handle) -> WindowProcedure* {
    main_window = std::make_unique<RelayMainWindow>(desktop, handle);
    return main_window.get();
  };
  setup.make_parts = [&](LinkHost& host) {
    return MakeProductionParts(host, &desktop, main_window.get());
  };
  setup.stop_requested = &TerminationRequested;
  setup.autostart = &autostart;
  setup.executable_path = PathText(ExecutablePath());
  const int status = RunWindow(setup);
  if (main_window) main_window->Attach(nullptr);
  return status;
}

}  // namespace trivane
