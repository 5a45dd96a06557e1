#pragma once

#include <cstddef>
#include <cstdint>

#include "base/byte_io.h"

namespace trivane {

// An online frame: length L (the bytes after it), kind 0x01, type, number,
// payload. The relay only sends them.
inline constexpr std::size_t kOnlineHeaderSize = 7;

// Whether a frame of this payload stays within 65535 bytes.
bool OnlineFrameFits(ByteView data);

// The caller has checked OnlineFrameFits.
Bytes BuildOnlineFrame(std::uint16_t msg_type, std::uint16_t msg_num, ByteView data);

}  // namespace trivane
