#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace trivane {

// Paths as the relay's texts carry them, in UTF-8 on every system. On Windows
// path::string() would go through the ANSI code page and lose (or throw on)
// every character it has not got.
inline std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

inline std::filesystem::path PathFromText(std::string_view utf8) {
  return {std::u8string(utf8.begin(), utf8.end())};
}

}  // namespace trivane
