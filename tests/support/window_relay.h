#pragma once

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/subprocess.h"
#include "support/temp_dir.h"

// The real relay with its window, on a virtual X display of the test's own,
// driven from outside with the X tools an operator's desktop would answer to.
namespace trivane::testing {

// The program's full path, found as a shell would find it, or nothing.
inline std::optional<std::string> FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (folder.empty()) continue;
    const std::string candidate = folder + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

// The X tools the window tests drive the display with.
struct XTools {
  std::string server, xdotool, xclip, import;

  // Nothing, with the missing tool's name in why, when one is not installed.
  static std::optional<XTools> Find(std::string& why) {
    XTools tools;
    for (auto [name, into] :
         {std::pair{"Xvfb", &tools.server}, std::pair{"xdotool", &tools.xdotool},
          std::pair{"xclip", &tools.xclip}, std::pair{"import", &tools.import}}) {
      const auto found = FindProgram(name);
      if (!found) {
        why = std::string(name) + " is not installed";
        return std::nullopt;
      }
      *into = *found;
    }
    return tools;
  }
};

// What a short-lived command printed, and how it ended.
struct CommandResult {
  std::optional<int> exit_code;  // nothing when it was still running at the limit
  std::string output;
  bool Ok() const { return exit_code == 0; }
};

// An X server of the test's own; the server picks a free display number
// itself, so parallel runs and a desktop already there do not collide.
class VirtualDisplay {
 public:
  explicit VirtualDisplay(const std::string& server)
      : process_({"/bin/sh", "-c",
                  "exec \"$0\" -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null",
                  server}) {
    if (const auto number = process_.WaitForLine("", std::chrono::seconds(10))) {
      if (!number->empty()) display_ = ":" + *number;
    }
  }

  // A terminated server removes its lock and socket; a killed one would leave them.
  ~VirtualDisplay() {
    process_.Signal(SIGTERM);
    process_.WaitForExit(std::chrono::seconds(5));
  }

  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  bool Ready() const { return !display_.empty(); }
  const std::string& Name() const { return display_; }

  // Runs a command against this display, within the limit.
  CommandResult Run(std::vector<std::string> command,
                    std::chrono::milliseconds limit = std::chrono::seconds(5)) const {
    Subprocess child(WithDisplay(std::move(command)));
    CommandResult result;
    result.exit_code = child.WaitForExit(limit);
    if (result.exit_code) result.output = child.RemainingOutput();
    return result;
  }

  // The command line that runs command with only this display to talk to.
  std::vector<std::string> WithDisplay(std::vector<std::string> command) const {
    std::vector<std::string> line{
        "/usr/bin/env", "-u", "QT_QPA_PLATFORM", "-u", "WAYLAND_DISPLAY", "DISPLAY=" + display_};
    line.insert(line.end(), command.begin(), command.end());
    return line;
  }

 private:
  Subprocess process_;
  std::string display_;
};

// An RGB picture of a window as the screen shows it.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;

  std::uint32_t Pixel(int x, int y) const {
    const std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
    return (std::uint32_t{rgb[at]} << 16) | (std::uint32_t{rgb[at + 1]} << 8) | rgb[at + 2];
  }

  // A binary PPM with 8-bit samples; an empty picture for anything else.
  static Picture FromPpm(const std::string& bytes) {
    std::istringstream in(bytes);
    std::string magic;
    int max_value = 0;
    Picture picture;
    in >> magic >> picture.width >> picture.height >> max_value;
    in.get();  // the one whitespace before the samples
    const auto size = static_cast<std::size_t>(picture.width) * picture.height * 3;
    if (!in || magic != "P6" || max_value != 255 || bytes.size() - in.tellg() < size) return {};
    picture.rgb.assign(bytes.end() - static_cast<std::ptrdiff_t>(size), bytes.end());
    return picture;
  }
};

// The relay with its window on the display, its settings and logs in a
// folder of its own. Its standard error joins its output, where a build
// without a window says so.
class WindowRelay {
 public:
  WindowRelay(const VirtualDisplay& display, const XTools& tools, const std::string& settings,
              const std::string& exe = TRIVANE_EXE)
      : display_(display), tools_(tools), ini_(dir_ / "relay.ini") {
    WriteFileBytes(ini_, "[Settings]\r\n" + settings);
    process_.emplace(display.WithDisplay({"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", exe, "--ini",
                                          ini_.string(), "--log-dir", (dir_ / "Log").string()}));
  }

  ~WindowRelay() {
    if (process_) Stop();
  }

  // The main window's id once it is on the screen, or nothing after the limit
  // or when the relay ran without a window.
  std::optional<std::string> WaitForWindow(
      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
      const CommandResult found = display_.Run(
          {tools_.xdotool, "search", "--onlyvisible", "--name", "^Veltora Trivane \\(ver\\."});
      if (found.Ok() && !found.output.empty()) {
        return found.output.substr(0, found.output.find('\n'));
      }
      process_->Drain(std::chrono::milliseconds(100));
      if (SaidNoWindow()) return std::nullopt;
    }
    return std::nullopt;
  }

  // The relay fell back to running headless: the build or the display has no window.
  bool SaidNoWindow() const {
    for (const auto& line : process_->Lines()) {
      if (line.find("has no window") != std::string::npos ||
          line.find("no display can be opened") != std::string::npos) {
        return true;
      }
    }
    return false;
  }

  // SIGTERM; the exit code, or nothing when the relay did not stop in time.
  std::optional<int> Stop() {
    process_->Signal(SIGTERM);
    return process_->WaitForExit(std::chrono::seconds(10));
  }

  // The window as the screen shows it, or an empty picture.
  Picture Capture(const std::string& window) const {
    const auto file = dir_ / "window.ppm";
    if (!display_.Run({tools_.import, "-window", window, "-depth", "8", "ppm:" + file.string()})
             .Ok()) {
      return {};
    }
    return Picture::FromPpm(ReadFileBytes(file));
  }

 private:
  const VirtualDisplay& display_;
  const XTools& tools_;
  TempDir dir_;
  std::filesystem::path ini_;
  std::optional<Subprocess> process_;
};

}  // namespace trivane::testing
