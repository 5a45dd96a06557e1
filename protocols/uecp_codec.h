#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "base/byte_io.h"
#include "protocols/records.h"

namespace trivane {

// Message element codes (UECP: the first byte of an element) the relay knows.
namespace uecp_mec {
inline constexpr std::uint8_t kPs = 0x02;
inline constexpr std::uint8_t kTaTp = 0x03;
inline constexpr std::uint8_t kRadiotext = 0x0A;
inline constexpr std::uint8_t kClock = 0x0D;
inline constexpr std::uint8_t kManufacturer = 0x2D;
}  // namespace uecp_mec

// A frame: start byte, address (2), sequence, length MFL, the message field,
// CRC (2), stop byte; bytes FD to FF in between are stuffed as FD + (byte - FD).
namespace uecp_frame {
inline constexpr std::uint8_t kStart = 0xFE;
inline constexpr std::uint8_t kStop = 0xFF;
inline constexpr std::uint8_t kEscape = 0xFD;
// Longer message fields would stretch the CRC span (address to the end of the
// message field) past 256 bytes.
inline constexpr std::size_t kMaxMessageField = 252;
}  // namespace uecp_frame

// The payload of the manufacturer "s", "p" and "i" commands.
inline constexpr std::size_t kDrcpCommandPayloadSize = 21;

// UECP (the RDS encoder protocol) from a TCP source: whole frames starting
// 0xFE, and bare manufacturer elements starting 0x2D.
//
// One decoded element; data is valid only during the call:
//  0x0A radiotext: the text bytes (the element's own length, within the message field)
//  0x0D clock: the 8-byte date-time value
//  0x2D manufacturer "Dn" command (sub = the letter): its payload
using UecpMessageEvent = std::function<void(std::uint8_t mec, std::uint8_t sub, ByteView data)>;

// The size of the frame at the front of held (0xFE up to the first 0xFF), or
// nothing while its stop byte has not come.
std::optional<std::size_t> UecpFrameSize(ByteView held);
// The size of the bare element at the front of held (MEC, MEL and MEL bytes),
// or nothing while it is incomplete.
std::optional<std::size_t> UecpElementSize(ByteView held);

// Decode a unit cut by the sizes above. A frame that does not check (CRC,
// length, stop byte) or an element the relay does not know emits nothing.
void DecodeUecpFrame(ByteView frame, const UecpMessageEvent& emit);
void DecodeUecpElement(ByteView element, const UecpMessageEvent& emit);

// A whole frame around one message field: FE, address 0 (every encoder),
// sequence 0 (not counted), length, the field, CRC (high byte first), FF,
// with FD FE FF stuffed in between. Nothing when the field is longer than a
// frame can check.
std::optional<Bytes> BuildUecpFrame(ByteView message_field);

// CRC-16/GENIBUS: polynomial 0x1021, initial 0xFFFF, no reflection, final XOR 0xFFFF.
std::uint16_t UecpCrc(ByteView bytes);

}  // namespace trivane
