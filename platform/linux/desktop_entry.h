#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace trivane {

// What an autostart desktop entry tells us: the program its Exec line starts
// and whether the entry is switched off (Hidden=true).
struct DesktopEntry {
  std::string program;
  bool hidden = false;
};

// Reads group [Desktop Entry]; the program is the first Exec argument after
// string escapes, argument quoting and "%%" are undone. nullopt when the entry
// has no usable Exec line.
std::optional<DesktopEntry> ParseDesktopEntry(std::string_view text);

// A minimal application entry that starts the program with no arguments.
std::string FormatDesktopEntry(std::string_view display_name, std::string_view program);

}  // namespace trivane
