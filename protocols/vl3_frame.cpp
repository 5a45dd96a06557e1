#include "protocols/vl3_frame.h"

#include <limits>

namespace trivane {
namespace {

constexpr std::uint16_t kMagic = 0x334C;  // "L3" on the wire
constexpr std::size_t kLengthOffset = 4;
constexpr std::size_t kTypeOffset = 6;
constexpr std::size_t kNumOffset = 8;
// The length counts type and number as well as the payload.
constexpr std::uint16_t kLengthOfEmptyPayload = 4;

}  // namespace

std::optional<std::size_t> Vl3FrameSize(ByteView held) {
  if (held.size() < kVl3HeaderSize || LoadU16(held, 0) != kMagic) return std::nullopt;
  const std::uint16_t length = *LoadU16(held, kLengthOffset);
  // A length below 4 describes no frame; it stays like any unparseable data
  // until the intake gives up on the buffer.
  if (length < kLengthOfEmptyPayload) return std::nullopt;
  const std::size_t size = kVl3HeaderSize + (length - kLengthOfEmptyPayload);
  if (size > held.size()) return std::nullopt;
  return size;
}

Vl3Message ReadVl3Frame(ByteView frame) {
  return {.msg_type = LoadU16(frame, kTypeOffset).value_or(0),
          .msg_num = LoadU16(frame, kNumOffset).value_or(0),
          .payload = frame.size() > kVl3HeaderSize ? frame.subspan(kVl3HeaderSize) : ByteView()};
}

bool Vl3FrameFits(ByteView data) {
  return data.size() <= std::numeric_limits<std::uint16_t>::max() - kVl3HeaderSize;
}

Bytes BuildVl3Frame(std::uint16_t msg_type, std::uint16_t msg_num, ByteView data) {
  Bytes frame;
  frame.reserve(kVl3HeaderSize + data.size());
  AppendU16(frame, kMagic);
  AppendU16(frame, 0);
  AppendU16(frame, static_cast<std::uint16_t>(data.size() + kLengthOfEmptyPayload));
  AppendU16(frame, msg_type);
  AppendU16(frame, msg_num);
  frame.insert(frame.end(), data.begin(), data.end());
  return frame;
}

}  // namespace trivane
