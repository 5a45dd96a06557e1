#include "protocols/online_frame.h"

#include <limits>

namespace trivane {
namespace {

constexpr std::uint8_t kFrameKind = 0x01;
// The length counts the kind, type and number as well as the payload.
constexpr std::uint16_t kLengthOfEmptyPayload = 5;

}  // namespace

bool OnlineFrameFits(ByteView data) {
  return data.size() <= std::numeric_limits<std::uint16_t>::max() - kOnlineHeaderSize;
}

Bytes BuildOnlineFrame(std::uint16_t msg_type, std::uint16_t msg_num, ByteView data) {
  Bytes frame;
  frame.reserve(kOnlineHeaderSize + data.size());
  AppendU16(frame, static_cast<std::uint16_t>(data.size() + kLengthOfEmptyPayload));
  AppendU8(frame, kFrameKind);
  AppendU16(frame, msg_type);
  AppendU16(frame, msg_num);
  frame.insert(frame.end(), data.begin(), data.end());
  return frame;
}

}  // namespace trivane
