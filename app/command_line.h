#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace trivane {

struct CommandLine {
  bool headless = false;
  bool help = false;
  bool version = false;
  std::optional<std::filesystem::path> ini_file;
  std::optional<std::filesystem::path> log_dir;
  std::optional<std::string> codepage;
  std::optional<std::string> metrics;  // ADDRESS:PORT of the metrics endpoint
  std::string error;                   // set when the arguments cannot be used
};

// arguments: in UTF-8, the program's name first.
CommandLine ParseCommandLine(std::span<const std::string> arguments);
std::string UsageText();

}  // namespace trivane
