#include "tools/argument_values.h"

#include <cerrno>
#include <charconv>
#include <cstdlib>

namespace trivane::sim {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A field of exactly `width` digits at `at`, or -1.
int FixedDigits(std::string_view text, std::size_t at, std::size_t width) {
  if (at + width > text.size()) return -1;
  int value = 0;
  for (const char c : text.substr(at, width)) {
    if (!IsDigit(c)) return -1;
    value = value * 10 + (c - '0');
  }
  return value;
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

std::optional<TDateTime> ParseDateTimeText(std::string_view text) {
  static constexpr std::string_view kLayout = "0000-00-00T00:00:00";
  if (text.size() != kLayout.size() && text.size() != kLayout.size() + 4) return std::nullopt;
  for (std::size_t i = 0; i < kLayout.size(); ++i) {
    if (kLayout[i] != '0' && text[i] != kLayout[i]) return std::nullopt;
  }
  DateTimeFields fields;
  fields.year = FixedDigits(text, 0, 4);
  fields.month = FixedDigits(text, 5, 2);
  fields.day = FixedDigits(text, 8, 2);
  fields.hour = FixedDigits(text, 11, 2);
  fields.minute = FixedDigits(text, 14, 2);
  fields.second = FixedDigits(text, 17, 2);
  if (text.size() > kLayout.size()) {
    if (text[kLayout.size()] != '.') return std::nullopt;
    fields.millisecond = FixedDigits(text, kLayout.size() + 1, 3);
  } else {
    fields.millisecond = 0;
  }
  for (const int field : {fields.year, fields.month, fields.day, fields.hour, fields.minute,
                          fields.second, fields.millisecond}) {
    if (field < 0) return std::nullopt;
  }
  return EncodeDateTime(fields);
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
