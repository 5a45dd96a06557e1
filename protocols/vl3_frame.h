#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "base/byte_io.h"

namespace trivane {

// A VL3 frame: magic "L3", 2 bytes not read, length L (the bytes after it:
// type, number, payload), type, number, payload. All 16-bit little-endian.
inline constexpr std::size_t kVl3HeaderSize = 10;

struct Vl3Message {
  std::uint16_t msg_type = 0;
  std::uint16_t msg_num = 0;
  ByteView payload;  // within the frame it was read from
};

// The size of the whole frame at the front of held, or nothing while the
// front is incomplete or is no frame (a length below 4 describes none).
std::optional<std::size_t> Vl3FrameSize(ByteView held);

// The fields of a frame Vl3FrameSize cut.
Vl3Message ReadVl3Frame(ByteView frame);

// Whether a frame of this payload stays within 65535 bytes, the most a
// queue entry holds; a longer one would wrap its length field.
bool Vl3FrameFits(ByteView data);

// The caller has checked Vl3FrameFits.
Bytes BuildVl3Frame(std::uint16_t msg_type, std::uint16_t msg_num, ByteView data);

}  // namespace trivane
