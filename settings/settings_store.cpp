#include "settings/settings_store.h"

#include <array>
#include <cstdint>
#include <limits>
#include <optional>

#include "base/formatting.h"
#include "settings/ini_file.h"

namespace trivane {

namespace {

constexpr std::string_view kSection = "Settings";
constexpr std::array<std::string_view, kSourceCount> kSourceKeys = {"SrcIP", "SrcIP1", "SrcIP2",
                                                                    "SrcIP3"};
constexpr std::uint16_t kDefaultIPPort = 2102;

std::optional<std::uint64_t> ParseDigits(std::string_view digits, unsigned base,
                                         std::uint64_t limit) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    value = value * base + digit;
    if (value > limit) return std::nullopt;
  }
  return value;
}

// Optional sign, then decimal digits or "$"/"0x" and hex digits; a value
// outside 32 bits counts as not a number rather than wrapping.
std::optional<std::int64_t> ParseInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  unsigned base = 10;
  if (!text.empty() && text.front() == '$') {
    base = 16;
    text.remove_prefix(1);
  } else if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  const std::uint64_t limit = negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1;
  const auto magnitude = ParseDigits(text, base, limit);
  if (!magnitude) return std::nullopt;
  const auto value = static_cast<std::int64_t>(*magnitude);
  return negative ? -value : value;
}

class SettingsReader {
 public:
  explicit SettingsReader(const IniFile& file) : file_(file) {}

  std::int64_t Integer(std::string_view key, std::int64_t min, std::int64_t max,
                       std::int64_t fallback) const {
    const auto text = file_.Get(kSection, key);
    const auto value = text ? ParseInteger(*text) : std::nullopt;
    return (value && *value >= min && *value <= max) ? *value : fallback;
  }

  std::int32_t Int32(std::string_view key) const {
    return static_cast<std::int32_t>(Integer(key, std::numeric_limits<std::int32_t>::min(),
                                             std::numeric_limits<std::int32_t>::max(), 0));
  }

  bool Boolean(std::string_view key) const { return Int32(key) != 0; }

  std::string Text(std::string_view key) const {
    return std::string(TrimControl(file_.Get(kSection, key).value_or("")));
  }

  TIPPortSett IPPort(std::string_view key) const {
    TIPPortSett record;
    Parse_IPPort(file_.Get(kSection, key).value_or(""), record);
    return record;
  }

 private:
  const IniFile& file_;
};

std::string BoolText(bool value) {
  return value ? "1" : "0";
}

void LoadFrom(const IniFile& file, SettingsState& state) {
  const SettingsReader read(file);
  TSettings& s = state.settings;

  s.PID = static_cast<std::int16_t>(read.Integer("PID", std::numeric_limits<std::int16_t>::min(),
                                                 std::numeric_limits<std::int16_t>::max(), 0));
  s.SrcMode = read.Int32("SrcMode");
  s.DstMode = read.Int32("DstMode");
  s.Tray = read.Boolean("Tray");
  for (int i = 0; i < kSourceCount; ++i) s.SrcIP[i] = read.IPPort(kSourceKeys[i]);
  s.ServerPort = static_cast<std::uint16_t>(
      read.Integer("ServerPort", 0, std::numeric_limits<std::uint16_t>::max(), kDefaultServerPort));
  s.OnlineIP = read.IPPort("OnlineIP");
  s.ServerBind = read.Text("ServerBind");
  s.ServerAllow = read.Text("ServerAllow");
  s.ServerMaxPeers = static_cast<std::uint32_t>(
      read.Integer("ServerMaxPeers", 0, kMaxServerMaxPeers, kDefaultServerMaxPeers));
  s.IgnoreDelay = read.Boolean("IgnoreDelay");
  s.ShowPlaylist = read.Boolean("ShowPlaylist");
  state.Author = read.Boolean("Author");
}

}  // namespace

void Load_Settings(const std::filesystem::path& ini, SettingsState& state) {
  LoadFrom(IniFile::Load(ini).value_or(IniFile{}), state);
}

bool Reload_Settings(const std::filesystem::path& ini, SettingsState& state) {
  std::error_code error;
  if (!std::filesystem::exists(ini, error)) return false;
  const std::optional<IniFile> file = IniFile::Load(ini);
  if (!file) return false;
  LoadFrom(*file, state);
  return true;
}

bool Save_Settings(const std::filesystem::path& ini, const TSettings& settings) {
  std::optional<IniFile> file = IniFile::Load(ini);
  if (!file) return false;

  bool stored = true;
  const auto write = [&](std::string_view key, const std::string& value) {
    stored = file->Set(kSection, key, value) && stored;
  };
  write("PID", std::to_string(settings.PID));
  write("SrcMode", std::to_string(settings.SrcMode));
  write("DstMode", std::to_string(settings.DstMode));
  write("Tray", BoolText(settings.Tray));
  for (int i = 0; i < kSourceCount; ++i) {
    if (settings.SrcMode == kSrcTcp) {
      write(kSourceKeys[i], Format_IPPort(settings.SrcIP[i]));
    } else {
      file->Remove(kSection, kSourceKeys[i]);
    }
  }
  if (settings.HasDestination(kDstServer)) {
    write("ServerPort", std::to_string(settings.ServerPort));
  } else {
    file->Remove(kSection, "ServerPort");
  }
  if (settings.HasDestination(kDstOnline)) {
    write("OnlineIP", Format_IPPort(settings.OnlineIP));
  } else {
    file->Remove(kSection, "OnlineIP");
  }
  write("IgnoreDelay", BoolText(settings.IgnoreDelay));
  write("ShowPlaylist", BoolText(settings.ShowPlaylist));

  // All or nothing: a value that cannot be stored leaves the file as it was.
  return stored && file->Save(ini);
}

void Parse_IPPort(std::string_view text, TIPPortSett& record) {
  record = TIPPortSett{};
  std::string_view rest;
  // An IPv6 literal has colons of its own, so it comes in brackets: "[::1]:5000".
  if (text.starts_with('[')) {
    const auto close = text.find("]:");
    if (close == std::string_view::npos || close == 1) return;
    record.Host = text.substr(1, close - 1);
    rest = text.substr(close + 2);
  } else {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) return;
    record.Host = text.substr(0, colon);
    rest = text.substr(colon + 1);
  }

  std::string_view port_text = rest;
  const auto second = rest.find(':');
  if (second != std::string_view::npos && second != 0) {
    port_text = rest.substr(0, second);
    record.Password = rest.substr(second + 1);
  }
  const auto port = ParseDigits(port_text, 10, std::numeric_limits<std::uint16_t>::max());
  record.Port = port ? static_cast<std::uint16_t>(*port) : kDefaultIPPort;
}

std::string Format_IPPort(const TIPPortSett& record) {
  const std::string_view host = TrimControl(record.Host);
  if (host.empty()) return {};
  const bool bracketed = host.find(':') != std::string_view::npos;
  std::string text = bracketed ? "[" + std::string(host) + "]" : std::string(host);
  text += ":" + std::to_string(record.Port);
  const std::string_view password = TrimControl(record.Password);
  if (!password.empty()) text.append(":").append(password);
  return text;
}

}  // namespace trivane
