#pragma once

#include <filesystem>

namespace trivane {

// The ini file sits beside the program: its path with the extension replaced by
// ".ini", or ".ini" appended when the name has none.
std::filesystem::path IniPathFor(const std::filesystem::path& executable);

// The daily log files go to "Log" in the program's directory.
std::filesystem::path LogDirFor(const std::filesystem::path& executable);

}  // namespace trivane
