#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace trivane {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// Wire integers are little-endian and unaligned. Every read names its offset and
// is refused (nothing) when the bytes are not all there.
template <typename T>
constexpr std::optional<T> LoadLE(ByteView bytes, std::size_t at) {
  static_assert(std::is_unsigned_v<T>);
  if (at > bytes.size() || bytes.size() - at < sizeof(T)) return std::nullopt;
  T value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    value = static_cast<T>(value | (static_cast<T>(bytes[at + i]) << (8 * i)));
  }
  return value;
}

constexpr std::optional<std::uint8_t> LoadU8(ByteView bytes, std::size_t at) {
  return LoadLE<std::uint8_t>(bytes, at);
}
constexpr std::optional<std::uint16_t> LoadU16(ByteView bytes, std::size_t at) {
  return LoadLE<std::uint16_t>(bytes, at);
}
constexpr std::optional<std::uint32_t> LoadU32(ByteView bytes, std::size_t at) {
  return LoadLE<std::uint32_t>(bytes, at);
}
inline std::optional<double> LoadF64(ByteView bytes, std::size_t at) {
  const auto raw = LoadLE<std::uint64_t>(bytes, at);
  if (!raw) return std::nullopt;
  return std::bit_cast<double>(*raw);
}

template <typename T>
void AppendLE(Bytes& out, T value) {
  static_assert(std::is_unsigned_v<T>);
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
}

inline void AppendU8(Bytes& out, std::uint8_t value) {
  out.push_back(value);
}
inline void AppendU16(Bytes& out, std::uint16_t value) {
  AppendLE(out, value);
}
inline void AppendU32(Bytes& out, std::uint32_t value) {
  AppendLE(out, value);
}
inline void AppendF64(Bytes& out, double value) {
  AppendLE(out, std::bit_cast<std::uint64_t>(value));
}

}  // namespace trivane
