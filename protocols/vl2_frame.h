#pragma once

#include <cstddef>
#include <cstdint>

namespace trivane::vl2_frame {

// Magic 5A A5, code, length L (8 + text length), 5 bytes not read, the value
// (binary64, little-endian), then the text. L counts from the value on.
inline constexpr std::uint8_t kMagic1 = 0x5A;
inline constexpr std::uint8_t kMagic2 = 0xA5;
inline constexpr std::size_t kLengthOffset = 3;
inline constexpr std::size_t kUnusedBytes = 5;
inline constexpr std::size_t kValueOffset = 10;
inline constexpr std::size_t kTextOffset = 18;
inline constexpr std::uint16_t kLengthWithoutText = 8;
inline constexpr std::uint16_t kMaxLength = 256;
inline constexpr std::size_t kMaxText = kMaxLength - kLengthWithoutText;

inline constexpr std::uint8_t kPrepareBlock = 0x08;
inline constexpr std::uint8_t kSendBlock = 0x09;

}  // namespace trivane::vl2_frame
