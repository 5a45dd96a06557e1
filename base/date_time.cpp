#include "base/date_time.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace trivane {
namespace {

using std::chrono::day;
using std::chrono::days;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;

constexpr std::int64_t kMsPerDay = 86'400'000;
// Day numbers of 1 January 0001 and 31 December 9999: the calendar range the
// encoder accepts, so anything outside cannot have come from a real date.
constexpr double kFirstDay = -693'593;
constexpr double kLastDay = 2'958'465;

constexpr sys_days kEpoch = sys_days{year{1899} / 12 / 30};

}  // namespace

bool IsValidDate(int year_value, int month_value, int day_value) {
  if (year_value < 1 || year_value > 9999) return false;
  if (month_value < 1 || month_value > 12 || day_value < 1 || day_value > 31) return false;
  return year_month_day{year{year_value}, month{static_cast<unsigned>(month_value)},
                        day{static_cast<unsigned>(day_value)}}
      .ok();
}

std::optional<TDateTime> EncodeDateTime(const DateTimeFields& fields) {
  if (!IsValidDate(fields.year, fields.month, fields.day)) return std::nullopt;
  if (fields.hour < 0 || fields.hour > 23 || fields.minute < 0 || fields.minute > 59 ||
      fields.second < 0 || fields.second > 59 || fields.millisecond < 0 ||
      fields.millisecond > 999) {
    return std::nullopt;
  }
  const sys_days date{year{fields.year} / fields.month / fields.day};
  const auto day_number = static_cast<double>((date - kEpoch).count());
  const double time =
      static_cast<double>(((fields.hour * 60 + fields.minute) * 60 + fields.second) * 1000 +
                          fields.millisecond) /
      static_cast<double>(kMsPerDay);
  // Before the epoch the fraction still counts forward from midnight, so it is
  // subtracted from the negative day number.
  return day_number < 0 ? day_number - time : day_number + time;
}

DateTimeFields DecodeDateTime(TDateTime value) {
  if (!std::isfinite(value) || value < kFirstDay || value >= kLastDay + 1) return {};

  const auto total_ms = std::llround(value * static_cast<double>(kMsPerDay));
  const std::int64_t day_number = total_ms / kMsPerDay;
  const std::int64_t ms_of_day = std::llabs(total_ms) % kMsPerDay;

  const year_month_day date{kEpoch + days{day_number}};
  DateTimeFields fields;
  fields.year = static_cast<int>(date.year());
  fields.month = static_cast<int>(static_cast<unsigned>(date.month()));
  fields.day = static_cast<int>(static_cast<unsigned>(date.day()));
  fields.hour = static_cast<int>(ms_of_day / 3'600'000);
  fields.minute = static_cast<int>(ms_of_day / 60'000 % 60);
  fields.second = static_cast<int>(ms_of_day / 1000 % 60);
  fields.millisecond = static_cast<int>(ms_of_day % 1000);
  return fields;
}

}  // namespace trivane
