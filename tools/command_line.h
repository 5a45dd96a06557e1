#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/source_units.h"
#include "tools/stream_decoder.h"

namespace trivane::sim {

enum class SimCommand { kNone, kSource, kOnline, kListen, kDecode };

inline constexpr const char* kLoopback = "127.0.0.1";

struct SourceOptions {
  std::string bind = kLoopback;
  std::uint16_t port = 0;  // 0: the system picks one
  std::vector<UnitRecipe> units;
  std::uint32_t repeat = 1;  // 0: endlessly
  std::uint32_t interval_ms = 1000;
  bool hold = false;
  bool once = false;  // end after the first connection
};

struct OnlineOptions {
  std::string bind = kLoopback;
  std::uint16_t port = 0;
  std::string password;  // UTF-8
  std::string greeting = "Trivane-sim online server";
  std::string refusal = "Wrong password";
  bool silent = false;
  bool once = false;
};

struct ListenOptions {
  std::string host = kLoopback;
  std::uint16_t port = 0;
  DecodeSettings decode;
};

struct DecodeOptions {
  std::string file = "-";  // "-": standard input
  DecodeSettings decode;
};

struct SimCommandLine {
  SimCommand command = SimCommand::kNone;
  bool help = false;
  std::string codepage = "WINDOWS-1251";
  SourceOptions source;
  OnlineOptions online;
  ListenOptions listen;
  DecodeOptions decode;
  std::string error;  // set when the arguments cannot be used
};

// The arguments after the program name.
SimCommandLine ParseSimCommandLine(std::span<const std::string> arguments);

// "source " and so on; empty for none.
const char* CommandName(SimCommand command);

// The program's usage, or one subcommand's.
std::string UsageText(SimCommand command);

}  // namespace trivane::sim
