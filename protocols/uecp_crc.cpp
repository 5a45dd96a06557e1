#include <array>
#include <cstdint>

#include "protocols/uecp_codec.h"

namespace trivane {
namespace {

constexpr std::uint16_t kPolynomial = 0x1021;

// One entry per value of the register's top byte: the eight shifts it causes.
constexpr std::array<std::uint16_t, 256> kTable = [] {
  std::array<std::uint16_t, 256> table{};
  for (unsigned top = 0; top < table.size(); ++top) {
    auto crc = static_cast<std::uint16_t>(top << 8);
    for (int bit = 0; bit < 8; ++bit) {
      const bool carry = (crc & 0x8000) != 0;
      crc = static_cast<std::uint16_t>(crc << 1);
      if (carry) crc ^= kPolynomial;
    }
    table[top] = crc;
  }
  return table;
}();

}  // namespace

std::uint16_t UecpCrc(ByteView bytes) {
  std::uint16_t crc = 0xFFFF;
  for (const std::uint8_t byte : bytes) {
    crc = static_cast<std::uint16_t>((crc << 8) ^ kTable[((crc >> 8) ^ byte) & 0xFF]);
  }
  return static_cast<std::uint16_t>(crc ^ 0xFFFF);
}

}  // namespace trivane
