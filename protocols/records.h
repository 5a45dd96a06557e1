#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "base/byte_io.h"
#include "base/date_time.h"

namespace trivane {

// One TCP source's receive buffer. A unit always starts at Data[0]; bytes from
// Count to the end are zero.
struct TReadComm {
  static constexpr int kCapacity = 8192;

  std::int32_t Count = 0;
  std::int64_t Deadline = 0;  // GetTick64 scale; 0 = nothing waiting
  bool NewData = false;
  Bytes Data;  // kCapacity zero bytes while the reader runs, empty when stopped

  // The held bytes; a Count the buffer cannot back is never trusted.
  ByteView Held() const {
    const auto count = static_cast<std::size_t>(Count < 0 ? 0 : Count);
    return ByteView(Data).first(count < Data.size() ? count : Data.size());
  }
  // How many more bytes one arrival may bring; 0 while the reader is stopped.
  std::size_t Room() const { return Data.size() - Held().size(); }
};

// Removes the first n bytes (clamped to Count); n < 1 changes nothing.
void ConsumeFront(TReadComm& comm, std::int32_t n);

// Message numbers the relay itself understands.
namespace msg_num {
inline constexpr std::uint16_t kRegionBlock = 1;
inline constexpr std::uint16_t kBlockNotice = 2;
inline constexpr std::uint16_t kClock = 4;
}  // namespace msg_num

inline constexpr std::uint16_t kOwnMsgType = 1;

// The routed message; its payload is its own copy.
struct TCommMsg {
  std::uint16_t MsgType = kOwnMsgType;
  std::uint16_t MsgNum = 0;
  Bytes Data;

  std::uint16_t DataLen() const { return static_cast<std::uint16_t>(Data.size()); }
};

// Message 1: exactly 18 bytes on the wire.
struct TRegionBlock {
  static constexpr std::size_t kWireSize = 18;

  std::uint8_t Head1 = 1;
  std::uint8_t Head2 = 1;
  std::uint32_t Size = 0;  // milliseconds
  std::uint32_t Reserved = 0;
  std::uint32_t Over = 0;
  std::uint32_t Extra = 0;

  Bytes Encode() const;
  static std::optional<TRegionBlock> Decode(ByteView bytes);  // needs >= 18 bytes

  bool operator==(const TRegionBlock&) const = default;
};

// Message 2: kind, duration, then text bytes in the wire code page.
struct TBlockNotice {
  static constexpr std::size_t kHeaderSize = 5;

  std::uint8_t Kind = 0;
  std::uint32_t Size = 0;  // milliseconds
  std::string Text;

  Bytes Encode() const;
  static std::optional<TBlockNotice> Decode(ByteView bytes);  // needs >= 5 bytes
};

// Message 4 carries one date-time value: 8 bytes, binary64 little-endian.
inline constexpr std::size_t kClockPayloadSize = 8;

// The 8-byte date of UECP clock elements and "f" commands:
// year-2000, month, day, hour, minute, second, hundredths, unused.
inline constexpr std::size_t kCompactDateSize = 8;

// 0 when any field is out of range, the year is before 2019 or the day does not
// exist in that month.
TDateTime DecodeCompactDate(std::span<const std::uint8_t, kCompactDateSize> bytes);

// Byte i becomes character i; NUL bytes stay. n <= 0 gives the empty string.
std::string BytesToStr(ByteView bytes, std::int32_t n);

}  // namespace trivane
