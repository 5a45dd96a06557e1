#include "tools/argument_values.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>

namespace trivane::sim {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::optional<std::int64_t> ParseSecondsAsMs(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const auto point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if (whole.empty() && fraction.empty()) return std::nullopt;
  // Ten digits of seconds already exceed every field that carries milliseconds.
  if (whole.size() > 10) return std::nullopt;

  std::int64_t ms = 0;
  for (const char c : whole) {
    if (!IsDigit(c)) return std::nullopt;
    ms = ms * 10 + (c - '0');
  }
  ms *= 1000;
  std::int64_t scale = 100;
  for (const char c : fraction) {
    if (!IsDigit(c)) return std::nullopt;
    ms += (c - '0') * scale;
    scale /= 10;
  }
  return negative ? -ms : ms;
}

std::optional<std::int64_t> ParseInteger(std::string_view text, std::int64_t min,
                                         std::int64_t max) {
  int base = 10;
  bool negative = false;
  if (!text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.front() == '-' || text.front() == '+') return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (negative) value = -value;
  if (value < min || value > max) return std::nullopt;
  return value;
}

std::optional<double> ParseReal(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || errno == ERANGE) return std::nullopt;
  return value;
}

std::vector<std::string> SplitFields(std::string_view text, std::size_t fields) {
  std::vector<std::string> parts;
  while (parts.size() + 1 < fields) {
    const auto comma = text.find(',');
    if (comma == std::string_view::npos) break;
    parts.emplace_back(text.substr(0, comma));
    text.remove_prefix(comma + 1);
  }
  parts.emplace_back(text);
  return parts;
}

}  // namespace trivane::sim
