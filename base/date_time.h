#pragma once

#include <optional>

namespace trivane {

// Days since 30 December 1899 00:00 local time, the time of day as the fraction.
// This is the value clock messages carry on the wire, so it stays a plain double.
using TDateTime = double;

struct DateTimeFields {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

bool IsValidDate(int year, int month, int day);

// Nothing when a field is out of range or the calendar rejects the day.
std::optional<TDateTime> EncodeDateTime(const DateTimeFields& fields);

// Rounded to the nearest millisecond before splitting, so that 45634.42444444444
// reads 10:11:12.000 and not 10:11:11.999.
DateTimeFields DecodeDateTime(TDateTime value);

}  // namespace trivane
