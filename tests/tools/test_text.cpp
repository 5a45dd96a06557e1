#include <gtest/gtest.h>

#include "platform/system_text_codec.h"
#include "tools/hex.h"
#include "tools/message_text.h"

namespace trivane::sim {
namespace {

TEST(Hex, PrintedUnitsPasteBackUnchanged) {
  const Bytes bytes{0x00, 0x4C, 0xFE, 0xFF, 0x0A};
  EXPECT_EQ(ToHex(bytes), "004cfeff0a");
  EXPECT_EQ(ParseHex(ToHex(bytes)), bytes);
  EXPECT_EQ(ParseHex("00 4C:fe\tFF\n0a"), bytes);
  for (const char* bad : {"", "  ", "0", "4c3", "4g", "0x4c"}) EXPECT_FALSE(ParseHex(bad)) << bad;
}

TEST(MessageText, TitlesCannotBreakOrFakeALine) {
  EXPECT_EQ(Quoted("a\"b\\c\r\nd\te\x01"), R"("a\"b\\c\r\nd\te\x01")");
  EXPECT_EQ(Quoted("Реклама"), "\"Реклама\"");
  EXPECT_EQ(OneLine("a\tb\r\nc"), "a b  c");

  const auto codepage = SystemTextCodec::Open("WINDOWS-1251");
  // Kind 1, 5000 ms, the cp1251 bytes of "Я" and an LF.
  EXPECT_EQ(DescribeMessage(1, 2, Bytes{1, 0x88, 0x13, 0, 0, 0xDF, 0x0A}, *codepage),
            "type=1 num=2 len=7 hex=0188130000df0a kind=1 size=5000 text=\"Я\\n\"");
  // Only the relay's own type is taken apart.
  EXPECT_EQ(DescribeMessage(2, 2, Bytes{1, 0x88, 0x13, 0, 0}, *codepage),
            "type=2 num=2 len=5 hex=0188130000");
  EXPECT_EQ(DescribeMessage(1, 4, Bytes{}, *codepage), "type=1 num=4 len=0 hex= incomplete");
}

}  // namespace
}  // namespace trivane::sim
