#include <gtest/gtest.h>

#include <array>

#include "base/byte_io.h"

namespace trivane {
namespace {

TEST(ByteIo, ReadsLittleEndianOnlyWhenAllBytesArePresent) {
  const std::array<std::uint8_t, 5> bytes{0x01, 0x02, 0x03, 0x04, 0x05};
  EXPECT_EQ(LoadU16(bytes, 0), 0x0201);
  EXPECT_EQ(LoadU32(bytes, 1), 0x05040302u);
  EXPECT_FALSE(LoadU32(bytes, 2).has_value());
  EXPECT_FALSE(LoadU8(bytes, 5).has_value());
  EXPECT_FALSE(LoadU16(bytes, static_cast<std::size_t>(-1)).has_value());
}

TEST(ByteIo, WritesWhatItReads) {
  Bytes out;
  AppendU16(out, 0xBEEF);
  AppendU32(out, 0xDEADBEEF);
  AppendF64(out, 45634.5);
  ASSERT_EQ(out.size(), 14u);
  EXPECT_EQ(out[0], 0xEF);
  EXPECT_EQ(out[1], 0xBE);
  EXPECT_EQ(LoadU32(out, 2), 0xDEADBEEFu);
  EXPECT_EQ(LoadF64(out, 6), 45634.5);
}

}  // namespace
}  // namespace trivane
