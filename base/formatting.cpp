#include "base/formatting.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <string>
#include <system_error>

namespace trivane {
namespace {

// Decimal with leading zeros up to min_digits; the value is never negative here.
std::string Digits(std::int64_t value, int min_digits) {
  std::string text = std::to_string(value);
  if (static_cast<int>(text.size()) < min_digits) {
    text.insert(0, static_cast<std::size_t>(min_digits) - text.size(), '0');
  }
  return text;
}

bool StartsWithToken(std::string_view pattern, std::size_t at, std::string_view token) {
  if (pattern.size() - at < token.size()) return false;
  for (std::size_t i = 0; i < token.size(); ++i) {
    // ASCII only: the patterns are ours, and the locale's tolower is slow.
    const char c = pattern[at + i];
    const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != token[i]) return false;
  }
  return true;
}

// About 31,700 years: far beyond any duration the relay shows, and it keeps the
// integer conversions in range whatever a caller passes.
constexpr double kLongestDuration = 1e12;

}  // namespace

std::string FormatDateTime(std::string_view pattern, TDateTime value) {
  const DateTimeFields f = DecodeDateTime(value);
  struct Token {
    std::string_view text;
    int field;
    int digits;
  };
  const std::array<Token, 8> tokens{{{"yyyy", f.year, 4},
                                     {"yy", f.year % 100, 2},
                                     {"mm", f.month, 2},
                                     {"dd", f.day, 2},
                                     {"hh", f.hour, 2},
                                     {"nn", f.minute, 2},
                                     {"ss", f.second, 2},
                                     {"zzz", f.millisecond, 3}}};

  std::string out;
  std::size_t at = 0;
  while (at < pattern.size()) {
    bool matched = false;
    for (const Token& token : tokens) {
      if (StartsWithToken(pattern, at, token.text)) {
        out += Digits(token.field, token.digits);
        at += token.text.size();
        matched = true;
        break;
      }
    }
    if (!matched) out += pattern[at++];
  }
  return out;
}

std::string FormatFixed(double value, int decimals) {
  // to_chars ignores the locale, so the decimal separator is always ".".
  char digits[400];  // the longest double printed in fixed notation fits
  const auto result = std::to_chars(std::begin(digits), std::end(digits), value,
                                    std::chars_format::fixed, decimals);
  if (result.ec != std::errc()) return "?";
  return std::string(digits, result.ptr);
}

std::string_view TrimControl(std::string_view text) {
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string ReplaceChar(std::string_view text, char from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == from) {
      out += to;
    } else {
      out += c;
    }
  }
  return out;
}

std::string FDateTimeZ(TDateTime value) {
  // Drop the last two digits of the milliseconds: the log shows tenths.
  return FormatDateTime("HH:NN:SS.zzz DD.MM", value).erase(10, 2);
}

std::string LongTimeString(TDateTime value) {
  return FormatDateTime("hh:nn:ss", value);
}

std::string FormatDuration(int mode, double seconds) {
  if (std::isnan(seconds)) seconds = 0;
  const bool negative = seconds < 0;
  double x = std::fmin(std::fabs(seconds), kLongestDuration);
  // Without the bias 0.3 s would read 00:00.2, as 0.3 is stored just below.
  x += 0.0004;

  std::int64_t t = static_cast<std::int64_t>(x);
  const std::int64_t d = t >= 86400 ? t / 86400 : 0;
  x -= static_cast<double>(d * 86400);
  t = static_cast<std::int64_t>(x);
  const std::int64_t h = t / 3600;
  const std::int64_t m = (t - h * 3600) / 60;
  const std::int64_t s = t % 60;
  const double fraction = x - static_cast<double>(t);
  const auto tenths = static_cast<std::int64_t>(fraction * 10);
  const auto ms = static_cast<std::int64_t>(fraction * 1000);
  const std::int64_t total_hours = d * 24 + h;
  const std::int64_t total_minutes = total_hours * 60 + m;

  std::string text;
  switch (mode) {
    case 0:
      if (d != 0) text = std::to_string(d) + " ";
      text += Digits(h, 2) + ":" + Digits(m, 2) + ":" + Digits(s, 2);
      break;
    case 1:
      text = Digits(total_hours, 2) + ":" + Digits(m, 2) + ":" + Digits(s, 2);
      break;
    case 2:
      text = Digits(total_hours, 2) + ":" + Digits(m, 2);
      break;
    case 3:
      text = Digits(total_minutes, 2) + ":" + Digits(s, 2);
      break;
    case 4:
      text = Digits(total_hours, 2) + ":" + Digits(m, 2) + ":" + Digits(s, 2) + "." +
             Digits(tenths, 1);
      break;
    case 5:
      text = std::to_string(d) + " " + Digits(h, 2) + ":" + Digits(m, 2) + ":" + Digits(s, 2);
      break;
    case 6:
      text = Digits(total_minutes, 2) + ":" + Digits(s, 2) + "." + Digits(tenths, 1);
      break;
    case 7:
      text = Digits(total_minutes * 60 + s, 2);
      break;
    case 8:
      text = Digits(total_hours, 2) + ":" + Digits(m, 2) + ":" + Digits(s, 2) + "." + Digits(ms, 3);
      break;
    case 9:
      text = Digits(m, 2) + ":" + Digits(s, 2) + "." + Digits(ms, 3);
      break;
    default:
      text = "!FORMAT!";
      break;
  }
  return negative ? "-" + text : text;
}

}  // namespace trivane
