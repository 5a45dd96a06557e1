#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "base/date_time.h"
#include "base/desktop.h"
#include "tools/source_units.h"
#include "tools/stream_decoder.h"

namespace trivane::sim {

enum class SimCommand { kNone, kSource, kOnline, kListen, kDecode, kStudio };

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

// A clock message; without a value it carries the wall clock at the moment it
// is sent.
struct ClockUnit {
  std::optional<TDateTime> value;
};

// What the studio sends as copy data, all of message type 1; a message unit's
// type is always 1 here.
using StudioRecipe = std::variant<Vl3RegionUnit, Vl3NoticeUnit, ClockUnit, Vl3MessageUnit>;

inline constexpr const char* kRelayWindowClass = "TVL_Trivane";

struct StudioOptions {
  std::optional<WindowHandle> window;  // nothing: every relay window
  std::string window_class = "TStudio3";
  bool pid_query = false;
  std::vector<StudioRecipe> messages;
  std::uint32_t receive_ms = 0;
  std::uint32_t hang_ms = 0;
  bool vanish = false;
  // The relay admits a hello at its next scan, every 100 ms; data sent before
  // that is dropped as coming from a stranger.
  std::uint32_t admit_wait_ms = 250;
};

struct SimCommandLine {
  SimCommand command = SimCommand::kNone;
  bool help = false;
  std::string codepage = "WINDOWS-1251";
  SourceOptions source;
  OnlineOptions online;
  ListenOptions listen;
  DecodeOptions decode;
  StudioOptions studio;
  std::string error;  // set when the arguments cannot be used
};

// The arguments after the program name.
SimCommandLine ParseSimCommandLine(std::span<const std::string> arguments);

// "source " and so on; empty for none.
const char* CommandName(SimCommand command);

// The program's usage, or one subcommand's.
std::string UsageText(SimCommand command);

}  // namespace trivane::sim
