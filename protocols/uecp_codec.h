#pragma once

#include <cstdint>
#include <functional>

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
// 0xFE, and bare manufacturer elements starting 0x2D. It only decodes.
class TUECP {
 public:
  // One decoded element. data is valid only during the call:
  //  0x0A radiotext: the text bytes (the element's own length, within the message field)
  //  0x0D clock: the 8-byte date-time value
  //  0x2D manufacturer "Dn" command (sub = the letter): its payload
  using MessageEvent = std::function<void(std::uint8_t mec, std::uint8_t sub, ByteView data)>;
  // The raw unit before decoding; false means "seen already, do not decode".
  using RawDataEvent = std::function<bool(ByteView unit)>;

  MessageEvent OnMessage;
  RawDataEvent OnRawData;

  // The caller has seen 0xFE at Data[0]. True when one unit left the front.
  bool ExtractFrame(TReadComm& comm);
  // The caller has seen 0x2D at Data[0]. True when one unit left the front.
  bool ExtractBareElement(TReadComm& comm);
};

// CRC-16/GENIBUS: polynomial 0x1021, initial 0xFFFF, no reflection, final XOR 0xFFFF.
std::uint16_t UecpCrc(ByteView bytes);

}  // namespace trivane
