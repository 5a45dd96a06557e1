#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/byte_io.h"
#include "base/date_time.h"
#include "protocols/records.h"
#include "protocols/uecp_codec.h"
#include "protocols/vl2_frame.h"
#include "protocols/vl3_frame.h"

namespace trivane::sim {

// The units a source sends, built as a playout system or another relay would
// put them on the wire. Times are milliseconds unless named seconds; texts are
// already in the wire code page.

// The payloads of messages 1, 2 and 4 of type 1, as a VL3 frame and the
// studio's copy data both carry them.
Bytes RegionBlockPayload(std::uint32_t size, std::uint32_t over, std::uint32_t extra);
Bytes BlockNoticePayload(std::uint8_t kind, std::uint32_t size, std::string_view wire_text);
Bytes ClockPayload(TDateTime value);

// Region blocks and notices of type 1 as VL3 frames.
Bytes Vl3Region(std::uint32_t size, std::uint32_t over, std::uint32_t extra);
Bytes Vl3Notice(std::uint8_t kind, std::uint32_t size, std::string_view wire_text);

// The manufacturer "s" command that schedules a region block `delay_ms` ahead,
// as a bare element (2D 18 "Dn" "s" + 21 payload bytes).
Bytes DrcpBlockElement(std::int32_t delay_ms, std::uint32_t size, std::int32_t over);

// A radiotext element: 0A, DSN, PSN, MEL, configuration byte, text.
inline constexpr std::size_t kRadiotextMaxText = 247;
std::optional<Bytes> RadiotextElement(std::string_view wire_text);

}  // namespace trivane::sim
