#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/clock.h"
#include "base/desktop.h"
#include "base/file_version.h"
#include "base/text_codec.h"
#include "core/controller.h"
#include "core/relay_driver.h"
#include "links/links.h"
#include "settings/run_key_store.h"

namespace trivane {

class MainWindow;

// What the window needs from the machine, wired by the program's entry.
struct WindowSetup {
  Clock* clock = nullptr;
  ControllerPaths paths;
  const TextCodec* codepage = nullptr;
  FileVersion version = BuiltFileVersion();
  PartsFactory make_parts;
  // The studio link's end of the main window: given the window, made before
  // the controller, the procedure its two channel messages go to (or null:
  // no studio link).
  std::function<WindowProcedure*(WindowHandle main_window)> adopt_main_window;
  // A stop has been asked for (Ctrl+C on the console, the end of the
  // session): the window closes as if the operator closed it.
  std::function<bool()> stop_requested;
  // The start-up list the settings dialog's "Start with Windows" acts on, and
  // the program path its entries name.
  RunKeyStore* autostart = nullptr;
  std::string executable_path;
};

// The window, its controller and the ticks that drive them, wired once for
// the program and for its tests, on the calling thread.
class WindowFrontEnd {
 public:
  explicit WindowFrontEnd(const WindowSetup& setup);
  ~WindowFrontEnd();
  WindowFrontEnd(const WindowFrontEnd&) = delete;
  WindowFrontEnd& operator=(const WindowFrontEnd&) = delete;

  // Shows the window and starts the ticks; the window is gone (Open() is
  // false) once the controller has let it close.
  void Start();
  bool Open() const;

  MainWindow& Window() { return *window_; }
  TVL_Trivane& Controller() { return *controller_; }
  RelayDriver& Driver() { return *driver_; }

 private:
  void Tick();

  const WindowSetup& setup_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<TVL_Trivane> controller_;
  std::unique_ptr<RelayDriver> driver_;
};

// Runs the window and its controller until the window has closed; returns
// the exit code.
int RunWindow(const WindowSetup& setup);

}  // namespace trivane
