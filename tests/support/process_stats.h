#pragma once

#include <sys/types.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

namespace trivane::testing {

// What the kernel says of another process of this machine, from /proc.

// The CPU time it has used so far, in clock ticks: utime and stime of
// /proc/PID/stat, what the kernel charged it, whatever the wall clock did.
inline std::optional<long> CpuTicks(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const std::size_t name_end = text.rfind(')');
  if (name_end == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(name_end + 1));
  std::string field;
  long ticks = 0;
  // Fields 3 to 13 come before utime (14) and stime (15).
  for (int number = 3; number <= 15 && fields >> field; ++number) {
    if (number >= 14) ticks += std::stol(field);
  }
  return ticks;
}

// A "Name:" line of /proc/PID/status as a number ("Threads", "VmRSS" in kB).
inline std::optional<long> StatusValue(pid_t pid, const std::string& name) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with(name + ":")) return std::stol(line.substr(name.size() + 1));
  }
  return std::nullopt;
}

inline std::optional<long> OpenDescriptors(pid_t pid) {
  std::error_code error;
  std::filesystem::directory_iterator entries("/proc/" + std::to_string(pid) + "/fd", error);
  if (error) return std::nullopt;
  return static_cast<long>(std::distance(entries, std::filesystem::directory_iterator{}));
}

}  // namespace trivane::testing
