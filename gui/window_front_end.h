#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/text_codec.h"
#include "core/controller.h"
#include "links/links.h"
#include "settings/run_key_store.h"

class QApplication;

namespace trivane {

// What the window needs from the machine, wired by the program's entry.
struct WindowSetup {
  Clock* clock = nullptr;
  ControllerPaths paths;
  const TextCodec* codepage = nullptr;
  FileVersion version = BuiltFileVersion();
  PartsFactory make_parts;
  // The desktop bus of the studio link, served on the window's thread: the
  // descriptors to watch and the serve call (both empty without a bus).
  std::function<std::vector<int>()> input_descriptors;
  std::function<void()> serve_input;
  // A stop signal has come: the window closes as if the operator closed it.
  std::function<bool()> stop_requested;
  // SIGHUP has come: the settings file is read again and applied.
  std::function<bool()> reload_requested;
  // The start-up list the settings dialog's "Start with Windows" acts on, and
  // the program path its entries name.
  RunKeyStore* autostart = nullptr;
  std::string executable_path;
};

class MainWindow;
class RelayDriver;
class TickDriver;

// The window, its controller and the ticks that drive them, wired once for
// the program and for its tests. Needs a QApplication.
class WindowFrontEnd {
 public:
  explicit WindowFrontEnd(const WindowSetup& setup);
  ~WindowFrontEnd();

  WindowFrontEnd(const WindowFrontEnd&) = delete;
  WindowFrontEnd& operator=(const WindowFrontEnd&) = delete;

  // Shows the window and starts the ticks; MainWindow::Closed says when the
  // controller has let the window go, and the ticks have stopped by then.
  void Start();

  MainWindow& Window() { return *window_; }
  TVL_Trivane& Controller() { return *controller_; }

 private:
  void Tick();

  const WindowSetup& setup_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<TVL_Trivane> controller_;
  std::unique_ptr<RelayDriver> driver_;
  std::unique_ptr<TickDriver> ticks_;
};

// True when this process can open a window: a display is named, or Qt is
// told which platform to use.
bool WindowCanOpen();

// The Qt application the window needs, for programs that drive the window
// themselves (the benchmarks): on the offscreen platform unless a display is
// named.
class WindowApplication {
 public:
  WindowApplication(int& argc, char** argv);
  ~WindowApplication();
  WindowApplication(const WindowApplication&) = delete;
  WindowApplication& operator=(const WindowApplication&) = delete;

  std::string PlatformName() const;
  // Serves the window's events, ticks included, for that long.
  void RunFor(std::chrono::milliseconds period);

 private:
  std::unique_ptr<QApplication> application_;
};

// Runs the window and its controller until the window has closed; returns
// the exit code.
int RunWindow(int argc, char** argv, const WindowSetup& setup);

}  // namespace trivane
