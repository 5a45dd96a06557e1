#include "app/command_line.h"

#include <string_view>

#include "base/path_text.h"

namespace trivane {
namespace {

// Accepts "--name value" and "--name=value"; i moves past what was used.
std::optional<std::string> OptionValue(std::span<const std::string> arguments, std::size_t& i,
                                       std::string_view name, std::string& error) {
  const std::string_view argument = arguments[i];
  if (argument == name) {
    if (i + 1 >= arguments.size()) {
      error = std::string(name) + " needs a value";
      return std::nullopt;
    }
    return std::string(arguments[++i]);
  }
  if (argument.size() > name.size() && argument.starts_with(name) && argument[name.size()] == '=') {
    return std::string(argument.substr(name.size() + 1));
  }
  return std::nullopt;
}

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string> arguments) {
  CommandLine result;
  for (std::size_t i = 1; i < arguments.size() && result.error.empty(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "--headless") {
      result.headless = true;
    } else if (argument == "--help" || argument == "-h") {
      result.help = true;
    } else if (argument == "--version") {
      result.version = true;
    } else if (auto ini = OptionValue(arguments, i, "--ini", result.error)) {
      result.ini_file = PathFromText(*ini);
    } else if (auto log_dir = OptionValue(arguments, i, "--log-dir", result.error)) {
      result.log_dir = PathFromText(*log_dir);
    } else if (auto codepage = OptionValue(arguments, i, "--codepage", result.error)) {
      result.codepage = *codepage;
    } else if (auto metrics = OptionValue(arguments, i, "--metrics", result.error)) {
      result.metrics = *metrics;
    } else if (result.error.empty()) {
      result.error = "unknown option: " + std::string(argument);
    }
  }
  if (result.error.empty() && ((result.ini_file && result.ini_file->empty()) ||
                               (result.log_dir && result.log_dir->empty()))) {
    result.error = "--ini and --log-dir need a non-empty path";
  }
  return result;
}

std::string UsageText() {
  return "Usage: trivane [--headless] [--ini FILE] [--log-dir DIR] [--codepage NAME]\n"
         "               [--metrics ADDRESS:PORT]\n"
         "\n"
         "  --headless       run without a window; the event log goes to standard output,\n"
         "                   one entry per line: time TAB source TAB message TAB tag\n"
         "  --ini FILE       settings file (default: the program's path with .ini)\n"
         "  --log-dir DIR    directory of the daily log files (default: Log beside the program)\n"
         "  --codepage NAME  code page of the texts on the wire (default: WINDOWS-1251)\n"
         "  --metrics ADDRESS:PORT\n"
         "                   serve the metrics for monitoring at http://ADDRESS:PORT/metrics\n"
         "                   (off unless given; 127.0.0.1:9488 keeps them on this machine)\n"
         "  --help           show this text\n"
         "  --version        show the program's version\n"
         "\n"
#if defined(_WIN32)
         "Ctrl+C, Ctrl+Break, closing the console or the end of the session closes the\n"
         "links and ends the program.\n";
#else
         "SIGINT or SIGTERM closes the links and ends the program; SIGHUP reads the\n"
         "settings file again and applies it.\n";
#endif
}

}  // namespace trivane
