#pragma once

#include <string>
#include <string_view>

#include "base/date_time.h"

namespace trivane {

// Time texts use ":" and "." whatever the host locale: the operators read the
// same layout on every station.

// Pattern tokens (case-insensitive): yyyy, yy, mm (month), dd, hh, nn (minutes),
// ss, zzz (milliseconds); any other character is copied.
std::string FormatDateTime(std::string_view pattern, TDateTime value);

// "HH:NN:SS.z DD.MM": tenths of a second, day and month, e.g. 14:03:27.4 08.12.
std::string FDateTimeZ(TDateTime value);

// The system's long time format, hh:nn:ss.
std::string LongTimeString(TDateTime value);

// printf's "%.Nf" with "." as the decimal separator whatever the locale.
std::string FormatFixed(double value, int decimals);

// Without the blanks and control characters (codes up to 32) at both ends.
std::string_view TrimControl(std::string_view text);

// Every `from` character in text replaced by `to`.
std::string ReplaceChar(std::string_view text, char from, std::string_view to);

// Modes 0..9 of the duration table; any other mode gives "!FORMAT!".
std::string FormatDuration(int mode, double seconds);

}  // namespace trivane
