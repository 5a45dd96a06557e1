#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/byte_io.h"

namespace trivane::sim {

// Lower-case pairs with nothing between them, so a printed unit can be pasted
// back into --hex as it is.
std::string ToHex(ByteView bytes);

// Pairs of hex digits; blanks and ':' between them are allowed. Nothing when a
// character is not a hex digit, the digits are odd in number or there are none.
std::optional<Bytes> ParseHex(std::string_view text);

}  // namespace trivane::sim
