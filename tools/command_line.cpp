#include "tools/command_line.h"

#include <asio/ip/address.hpp>
#include <limits>
#include <optional>
#include <string_view>

#include "protocols/records.h"
#include "tools/argument_values.h"
#include "tools/hex.h"

namespace trivane::sim {
namespace {

constexpr std::int64_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();
constexpr std::int64_t kMinI32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kMaxI32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kMaxIntervalMs = 86'400'000;

// One option at a time; "--name value" and "--name=value" both work.
class Cursor {
 public:
  Cursor(std::span<const std::string> arguments, std::string& error)
      : arguments_(arguments), error_(error) {}

  bool Next() {
    if (++index_ >= arguments_.size()) return false;
    const std::string& argument = arguments_[index_];
    const auto equals = argument.find('=');
    if (argument.starts_with("--") && equals != std::string::npos) {
      name_ = argument.substr(0, equals);
      inline_value_ = argument.substr(equals + 1);
    } else {
      name_ = argument;
      inline_value_.reset();
    }
    return true;
  }

  const std::string& Name() const { return name_; }

  std::optional<std::string> Value() {
    if (inline_value_) return inline_value_;
    if (index_ + 1 >= arguments_.size()) {
      Fail(name_ + " needs a value");
      return std::nullopt;
    }
    return arguments_[++index_];
  }

  void Fail(const std::string& message) {
    if (error_.empty()) error_ = message;
  }
  bool Failed() const { return !error_.empty(); }

 private:
  std::span<const std::string> arguments_;
  std::string& error_;
  std::size_t index_ = 0;
  std::string name_;
  std::optional<std::string> inline_value_;
};

// Parses one value with `parse`, or records `what` as the error.
template <typename T, typename Parse>
std::optional<T> Parsed(Cursor& cursor, Parse parse, const std::string& what) {
  const auto value = cursor.Value();
  if (!value) return std::nullopt;
  auto result = parse(*value);
  if (!result) cursor.Fail(cursor.Name() + ": " + what + ", not \"" + *value + "\"");
  return result;
}

std::optional<std::uint16_t> Port(const std::string& text, std::int64_t min) {
  const auto port = ParseInteger(text, min, 65535);
  if (!port) return std::nullopt;
  return static_cast<std::uint16_t>(*port);
}

std::optional<std::string> Address(const std::string& text) {
  asio::error_code error;
  asio::ip::make_address(text, error);
  if (error) return std::nullopt;
  return text;
}

std::optional<std::uint32_t> UnsignedMs(std::string_view text) {
  const auto ms = ParseSecondsAsMs(text);
  if (!ms || *ms < 0 || *ms > kMaxU32) return std::nullopt;
  return static_cast<std::uint32_t>(*ms);
}

std::optional<std::int32_t> SignedMs(std::string_view text) {
  const auto ms = ParseSecondsAsMs(text);
  if (!ms || *ms < kMinI32 || *ms > kMaxI32) return std::nullopt;
  return static_cast<std::int32_t>(*ms);
}

// A block kind by number or by its letter.
std::optional<std::uint8_t> BlockKind(std::string_view text) {
  static constexpr std::string_view kLetters = "MAIVHJEP";
  if (text.size() == 1 && kLetters.find(text[0]) != std::string_view::npos) {
    return static_cast<std::uint8_t>(kLetters.find(text[0]));
  }
  const auto kind = ParseInteger(text, 0, 255);
  if (!kind) return std::nullopt;
  return static_cast<std::uint8_t>(*kind);
}

// A VL2 command code by number, or a single letter standing for its own code
// ("e" is 0x65).
std::optional<std::uint8_t> Vl2Code(std::string_view text) {
  if (text.size() == 1 && !(text[0] >= '0' && text[0] <= '9')) {
    return static_cast<std::uint8_t>(text[0]);
  }
  const auto code = ParseInteger(text, 0, 255);
  if (!code) return std::nullopt;
  return static_cast<std::uint8_t>(*code);
}

std::optional<Vl3RegionUnit> Vl3RegionFrom(const std::string& text) {
  const auto fields = SplitFields(text, 3);
  if (fields.size() < 2) return std::nullopt;
  const auto size = UnsignedMs(fields[0]);
  const auto over = UnsignedMs(fields[1]);
  const auto extra = fields.size() == 3 ? UnsignedMs(fields[2]) : std::optional<std::uint32_t>(0);
  if (!size || !over || !extra) return std::nullopt;
  return Vl3RegionUnit{*size, *over, *extra};
}

std::optional<Vl3NoticeUnit> Vl3NoticeFrom(const std::string& text) {
  const auto fields = SplitFields(text, 3);
  if (fields.size() != 3) return std::nullopt;
  const auto kind = BlockKind(fields[0]);
  const auto size = UnsignedMs(fields[1]);
  if (!kind || !size) return std::nullopt;
  return Vl3NoticeUnit{*kind, *size, fields[2]};
}

std::optional<UnitRecipe> Vl3MessageFrom(const std::string& text) {
  const auto fields = SplitFields(text, 3);
  if (fields.size() != 3) return std::nullopt;
  const auto type = ParseInteger(fields[0], 0, 65535);
  const auto num = ParseInteger(fields[1], 0, 65535);
  const auto payload = fields[2].empty() ? std::optional<Bytes>(Bytes()) : ParseHex(fields[2]);
  if (!type || !num || !payload) return std::nullopt;
  return Vl3MessageUnit{static_cast<std::uint16_t>(*type), static_cast<std::uint16_t>(*num),
                        *payload};
}

// NUM,HEX: any message of type 1.
std::optional<Vl3MessageUnit> StudioMessageFrom(const std::string& text) {
  const auto fields = SplitFields(text, 2);
  if (fields.size() != 2) return std::nullopt;
  const auto num = ParseInteger(fields[0], 0, 65535);
  const auto payload = fields[1].empty() ? std::optional<Bytes>(Bytes()) : ParseHex(fields[1]);
  if (!num || !payload) return std::nullopt;
  return Vl3MessageUnit{kOwnMsgType, static_cast<std::uint16_t>(*num), *payload};
}

std::optional<ClockUnit> ClockFrom(const std::string& text) {
  if (text == "now") return ClockUnit{};
  const auto value = ParseDateTimeText(text);
  if (!value) return std::nullopt;
  return ClockUnit{*value};
}

// Handles are 32 bits and printed as signed; a hex handle may be written as
// the unsigned value it reads as. 0 is no window at all.
std::optional<WindowHandle> WindowFrom(const std::string& text) {
  const auto handle = ParseInteger(text, kMinI32, kMaxU32);
  if (!handle || *handle == 0) return std::nullopt;
  return static_cast<WindowHandle>(static_cast<std::uint32_t>(*handle));
}

std::optional<UnitRecipe> Vl2RegionFrom(const std::string& text) {
  const auto fields = SplitFields(text, 2);
  if (fields.size() != 2) return std::nullopt;
  const auto size = ParseReal(fields[0]);
  const auto over = ParseReal(fields[1]);
  if (!size || !over) return std::nullopt;
  return Vl2RegionUnit{*size, *over};
}

std::optional<UnitRecipe> Vl2NoticeFrom(const std::string& text) {
  const auto fields = SplitFields(text, 3);
  if (fields.size() != 3) return std::nullopt;
  const auto code = Vl2Code(fields[0]);
  const auto seconds = ParseReal(fields[1]);
  if (!code || !seconds) return std::nullopt;
  return Vl2NoticeUnit{*code, *seconds, fields[2]};
}

std::optional<UnitRecipe> DrcpBlockFrom(const std::string& text, bool in_uecp_frame) {
  const auto fields = SplitFields(text, 3);
  if (fields.size() != 3) return std::nullopt;
  const auto delay = ParseInteger(fields[0], kMinI32, kMaxI32);
  const auto size = UnsignedMs(fields[1]);
  const auto over = SignedMs(fields[2]);
  if (!delay || !size || !over) return std::nullopt;
  return DrcpBlockUnit{static_cast<std::int32_t>(*delay), *size, *over, in_uecp_frame};
}

// --port and --bind of the commands that listen.
bool ServerAddressOption(Cursor& cursor, std::uint16_t& port, std::string& bind) {
  const std::string& name = cursor.Name();
  if (name == "--port") {
    if (auto value = Parsed<std::uint16_t>(
            cursor, [](const std::string& t) { return Port(t, 0); }, "a port 0..65535")) {
      port = *value;
    }
  } else if (name == "--bind") {
    if (auto value = Parsed<std::string>(cursor, Address, "an IP address")) bind = *value;
  } else {
    return false;
  }
  return true;
}

bool SourceOption(Cursor& cursor, SourceOptions& options) {
  const std::string& name = cursor.Name();
  auto add = [&](auto parse, const std::string& what) {
    if (auto unit = Parsed<UnitRecipe>(cursor, parse, what)) options.units.push_back(*unit);
    return true;
  };
  if (ServerAddressOption(cursor, options.port, options.bind)) return true;
  if (name == "--file") {
    if (auto path = cursor.Value()) options.units.push_back(FileUnit{*path});
  } else if (name == "--hex") {
    return add(
        [](const std::string& t) -> std::optional<UnitRecipe> {
          if (auto bytes = ParseHex(t)) return HexUnit{*bytes};
          return std::nullopt;
        },
        "pairs of hex digits");
  } else if (name == "--vl3-region") {
    return add(Vl3RegionFrom, "S,O[,E] in seconds");
  } else if (name == "--vl3-notice") {
    return add(Vl3NoticeFrom, "KIND,SECONDS,TEXT");
  } else if (name == "--vl3-message") {
    return add(Vl3MessageFrom, "TYPE,NUM,HEX");
  } else if (name == "--vl2-region") {
    return add(Vl2RegionFrom, "S,O in seconds");
  } else if (name == "--vl2-notice") {
    return add(Vl2NoticeFrom, "CODE,SECONDS,TEXT");
  } else if (name == "--drcp-block") {
    return add([](const std::string& t) { return DrcpBlockFrom(t, false); },
               "DELAY_MS,S,O (S and O in seconds)");
  } else if (name == "--uecp-drcp-block") {
    return add([](const std::string& t) { return DrcpBlockFrom(t, true); },
               "DELAY_MS,S,O (S and O in seconds)");
  } else if (name == "--uecp-rt") {
    if (auto text = cursor.Value()) options.units.push_back(RadiotextUnit{*text});
  } else if (name == "--repeat") {
    if (auto n = Parsed<std::int64_t>(
            cursor, [](const std::string& t) { return ParseInteger(t, 0, kMaxU32); },
            "a count (0 = endlessly)")) {
      options.repeat = static_cast<std::uint32_t>(*n);
    }
  } else if (name == "--interval") {
    if (auto ms = Parsed<std::int64_t>(
            cursor, [](const std::string& t) { return ParseInteger(t, 0, kMaxIntervalMs); },
            "milliseconds")) {
      options.interval_ms = static_cast<std::uint32_t>(*ms);
    }
  } else if (name == "--hold") {
    options.hold = true;
  } else if (name == "--once") {
    options.once = true;
  } else {
    return false;
  }
  return true;
}

bool OnlineOption(Cursor& cursor, OnlineOptions& options, bool& password_given) {
  const std::string& name = cursor.Name();
  if (ServerAddressOption(cursor, options.port, options.bind)) return true;
  if (name == "--password") {
    if (auto password = cursor.Value()) {
      options.password = *password;
      password_given = true;
    }
  } else if (name == "--greeting") {
    if (auto greeting = cursor.Value()) options.greeting = *greeting;
  } else if (name == "--refuse") {
    // An empty refusal would read as "accepted" on the relay's side.
    if (auto refusal = Parsed<std::string>(
            cursor,
            [](const std::string& t) { return t.empty() ? std::nullopt : std::optional(t); },
            "a non-empty text")) {
      options.refusal = *refusal;
    }
  } else if (name == "--silent") {
    options.silent = true;
  } else if (name == "--once") {
    options.once = true;
  } else {
    return false;
  }
  return true;
}

bool StudioOption(Cursor& cursor, StudioOptions& options) {
  const std::string& name = cursor.Name();
  auto add = [&](auto parse, const std::string& what) {
    if (auto message = Parsed<StudioRecipe>(cursor, parse, what)) {
      options.messages.push_back(*message);
    }
    return true;
  };
  auto seconds = [&](std::uint32_t& ms) {
    if (auto value = Parsed<std::uint32_t>(cursor, UnsignedMs, "seconds")) ms = *value;
    return true;
  };
  if (name == "--window") {
    if (auto window = Parsed<WindowHandle>(cursor, WindowFrom, "a window handle")) {
      options.window = *window;
    }
  } else if (name == "--class") {
    // The desktop keeps class names to 255 characters.
    if (auto class_name = Parsed<std::string>(
            cursor,
            [](const std::string& t) {
              return t.empty() || t.size() > 255 ? std::nullopt : std::optional(t);
            },
            "a class name of 1..255 characters")) {
      options.window_class = *class_name;
    }
  } else if (name == "--pid-query") {
    options.pid_query = true;
  } else if (name == "--region") {
    return add(Vl3RegionFrom, "S,O[,E] in seconds");
  } else if (name == "--notice") {
    return add(Vl3NoticeFrom, "KIND,SECONDS,TEXT");
  } else if (name == "--clock") {
    return add(ClockFrom, "now or YYYY-MM-DDTHH:NN:SS.ZZZ");
  } else if (name == "--message") {
    return add(StudioMessageFrom, "NUM,HEX");
  } else if (name == "--receive") {
    return seconds(options.receive_ms);
  } else if (name == "--hang") {
    return seconds(options.hang_ms);
  } else if (name == "--vanish") {
    options.vanish = true;
  } else {
    return false;
  }
  return true;
}

bool DecodeSettingOption(const std::string& name, DecodeSettings& settings) {
  if (name == "--show-playlist") {
    settings.show_playlist = true;
  } else if (name == "--ignore-delay") {
    settings.ignore_delay = true;
  } else {
    return false;
  }
  return true;
}

bool ListenOption(Cursor& cursor, ListenOptions& options) {
  const std::string& name = cursor.Name();
  if (name == "--host") {
    if (auto host = Parsed<std::string>(
            cursor,
            [](const std::string& t) { return t.empty() ? std::nullopt : std::optional(t); },
            "a host name or address")) {
      options.host = *host;
    }
  } else if (name == "--port") {
    if (auto port = Parsed<std::uint16_t>(
            cursor, [](const std::string& t) { return Port(t, 1); }, "a port 1..65535")) {
      options.port = *port;
    }
  } else {
    return DecodeSettingOption(name, options.decode);
  }
  return true;
}

SimCommand CommandNamed(std::string_view name) {
  if (name == "source") return SimCommand::kSource;
  if (name == "online") return SimCommand::kOnline;
  if (name == "listen") return SimCommand::kListen;
  if (name == "decode") return SimCommand::kDecode;
  if (name == "studio") return SimCommand::kStudio;
  return SimCommand::kNone;
}

}  // namespace

SimCommandLine ParseSimCommandLine(std::span<const std::string> arguments) {
  SimCommandLine result;
  if (arguments.empty()) {
    result.error = "no subcommand given";
    return result;
  }
  const std::string& first = arguments[0];
  if (first == "--help" || first == "-h" || first == "help") {
    result.help = true;
    if (arguments.size() > 1) result.command = CommandNamed(arguments[1]);
    return result;
  }
  result.command = CommandNamed(first);
  if (result.command == SimCommand::kNone) {
    result.error = "unknown subcommand: " + first;
    return result;
  }

  bool port_given = false;
  bool password_given = false;
  bool file_given = false;
  Cursor cursor(arguments, result.error);
  while (!cursor.Failed() && cursor.Next()) {
    const std::string& name = cursor.Name();
    if (name == "--help" || name == "-h") {
      result.help = true;
      return result;
    }
    if (name == "--port") port_given = true;
    if (name == "--codepage") {
      if (auto codepage = cursor.Value()) result.codepage = *codepage;
      continue;
    }
    bool known = false;
    switch (result.command) {
      case SimCommand::kSource:
        known = SourceOption(cursor, result.source);
        break;
      case SimCommand::kOnline:
        known = OnlineOption(cursor, result.online, password_given);
        break;
      case SimCommand::kListen:
        known = ListenOption(cursor, result.listen);
        break;
      case SimCommand::kStudio:
        known = StudioOption(cursor, result.studio);
        break;
      case SimCommand::kDecode:
        known = DecodeSettingOption(name, result.decode.decode);
        if (!known && !file_given && (name == "-" || !name.starts_with("-"))) {
          result.decode.file = name;
          file_given = known = true;
        }
        break;
      case SimCommand::kNone:
        break;
    }
    if (!known) cursor.Fail("unknown option for " + first + ": " + name);
  }
  if (!result.error.empty()) return result;

  const bool needs_port =
      result.command != SimCommand::kDecode && result.command != SimCommand::kStudio;
  if (needs_port && !port_given) {
    result.error = first + " needs --port";
  } else if (result.command == SimCommand::kOnline && !password_given && !result.online.silent) {
    result.error = "online needs --password";
  }
  return result;
}

}  // namespace trivane::sim
