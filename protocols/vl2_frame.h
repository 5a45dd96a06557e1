#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/byte_io.h"

namespace trivane {

// A VL2 frame: magic 5A A5, code, length L (8 + text length), 5 bytes not
// read, the value (binary64, little-endian), then the text. L counts from the
// value on.
namespace vl2_frame {
inline constexpr std::uint8_t kMagic1 = 0x5A;
inline constexpr std::uint8_t kMagic2 = 0xA5;
inline constexpr std::uint16_t kLengthWithoutText = 8;
inline constexpr std::uint16_t kMaxLength = 256;
inline constexpr std::size_t kMaxText = kMaxLength - kLengthWithoutText;

inline constexpr std::uint8_t kPrepareBlock = 0x08;
inline constexpr std::uint8_t kSendBlock = 0x09;
}  // namespace vl2_frame

struct Vl2Command {
  std::uint8_t code = 0;
  double value = 0;
  ByteView text;  // within the frame it was read from, in the wire's code page
};

// The size of the whole frame at the front of held, or nothing while the
// front is incomplete or is no frame (a length outside 8..256).
std::optional<std::size_t> Vl2FrameSize(ByteView held);

// The fields of a frame Vl2FrameSize cut.
Vl2Command ReadVl2Frame(ByteView frame);

// Nothing when the text is longer than a frame holds.
std::optional<Bytes> BuildVl2Frame(std::uint8_t code, double value, std::string_view wire_text);

}  // namespace trivane
