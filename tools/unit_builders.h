#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/byte_io.h"
#include "base/date_time.h"
#include "protocols/records.h"
#include "protocols/uecp_codec.h"
#include "protocols/vl2_frame.h"

namespace trivane::sim {

// The units a source sends, built as a playout system or another relay would
// put them on the wire. Times are milliseconds unless named seconds; texts are
// already in the wire code page.

// The payloads of messages 1, 2 and 4 of type 1, as a VL3 frame and the
// studio's copy data both carry them.
Bytes RegionBlockPayload(std::uint32_t size, std::uint32_t over, std::uint32_t extra);
Bytes BlockNoticePayload(std::uint8_t kind, std::uint32_t size, std::string_view wire_text);
Bytes ClockPayload(TDateTime value);

// VL3: "L3", 0, payload length + 4, type, number, payload.
Bytes Vl3Message(std::uint16_t type, std::uint16_t num, ByteView payload);
Bytes Vl3Region(std::uint32_t size, std::uint32_t over, std::uint32_t extra);
Bytes Vl3Notice(std::uint8_t kind, std::uint32_t size, std::string_view wire_text);

// VL2: magic 5A A5, code, 8 + text length, 5 unused bytes, the value, text.
// Nothing when the text is longer than a VL2 frame can carry.
std::optional<Bytes> Vl2Command(std::uint8_t code, double seconds, std::string_view wire_text);

// The manufacturer "s" command that schedules a region block `delay_ms` ahead,
// as a bare element (2D 18 "Dn" "s" + 21 payload bytes).
Bytes DrcpBlockElement(std::int32_t delay_ms, std::uint32_t size, std::int32_t over);

// A radiotext element: 0A, DSN, PSN, MEL, configuration byte, text.
inline constexpr std::size_t kRadiotextMaxText = 247;
std::optional<Bytes> RadiotextElement(std::string_view wire_text);

// A whole UECP frame around one message field: FE, address, sequence, length,
// the field, CRC (high byte first), FF, with FD FE FF stuffed in between.
// Nothing when the field is longer than a frame can check.
std::optional<Bytes> UecpFrame(ByteView message_field);

}  // namespace trivane::sim
