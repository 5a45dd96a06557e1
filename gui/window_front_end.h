#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/text_codec.h"
#include "core/controller.h"
#include "links/links.h"
#include "settings/run_key_store.h"

namespace trivane {

// What the window needs from the machine, wired by the program's entry.
struct WindowSetup {
  Clock* clock = nullptr;
  ControllerPaths paths;
  const TextCodec* codepage = nullptr;
  PartsFactory make_parts;
  // The desktop bus of the studio link, served on the window's thread: the
  // descriptors to watch and the serve call (both empty without a bus).
  std::function<std::vector<int>()> input_descriptors;
  std::function<void()> serve_input;
  // A stop signal has come: the window closes as if the operator closed it.
  std::function<bool()> stop_requested;
  // The start-up list the settings dialog's "Start with Windows" acts on, and
  // the program path its entries name.
  RunKeyStore* autostart = nullptr;
  std::string executable_path;
};

// True when this process can open a window: a display is named, or Qt is
// told which platform to use.
bool WindowCanOpen();

// Runs the window and its controller until the window has closed; returns
// the exit code.
int RunWindow(int argc, char** argv, const WindowSetup& setup);

}  // namespace trivane
