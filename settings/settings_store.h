#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace trivane {

// Reads every key of section "Settings" once; a missing or unreadable file,
// a missing key or a value that is not a number gives that field's default.
// A PID or ServerPort that does not fit its field counts as not a number.
void Load_Settings(const std::filesystem::path& ini, SettingsState& state);

// The same for a settings file read again while the relay runs, except that a
// file that is missing or cannot be read leaves the state as it was: false then.
bool Reload_Settings(const std::filesystem::path& ini, SettingsState& state);

// Writes the record into the file, leaving every line it does not own as it
// was; Author is never written. False when the file could not be read or written.
bool Save_Settings(const std::filesystem::path& ini, const TSettings& settings);

// "host:port[:password]", an IPv6 literal in brackets ("[::1]:5000"). No colon,
// or one at the very start, leaves the record empty; a port that is not a
// decimal 0..65535 becomes 2102.
void Parse_IPPort(std::string_view text, TIPPortSett& record);

// Empty text for an entry without a host; the password only when there is one;
// a host with colons (IPv6) in brackets.
std::string Format_IPPort(const TIPPortSett& record);

}  // namespace trivane
