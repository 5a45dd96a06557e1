#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/date_time.h"

namespace trivane::sim {

// Seconds as typed by an engineer ("90", "1.5", "-0.25") to whole
// milliseconds. Digits past the third decimal are cut off, as the relay cuts
// them, so what is typed is exactly what goes on the wire.
std::optional<std::int64_t> ParseSecondsAsMs(std::string_view text);

// A decimal integer, or hexadecimal with "0x", within [min, max].
std::optional<std::int64_t> ParseInteger(std::string_view text, std::int64_t min, std::int64_t max);

// Any binary64 the text spells, "nan" and "inf" included: VL2 carries the
// value as it is, and a relay must cope with all of them.
std::optional<double> ParseReal(std::string_view text);

// "YYYY-MM-DDTHH:NN:SS.ZZZ", local time, the layout the simulator prints
// clocks in, so a printed clock can be sent again as it is; the milliseconds
// may be left out. Nothing for a day or time that does not exist.
std::optional<TDateTime> ParseDateTimeText(std::string_view text);

// Splits "a,b,rest" into at most `fields` parts; the last part keeps any
// further commas, so a title may contain them.
std::vector<std::string> SplitFields(std::string_view text, std::size_t fields);

}  // namespace trivane::sim
