#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/system_text_codec.h"
#include "support/fake_protocol_host.h"
#include "tools/hex.h"
#include "tools/stream_decoder.h"
#include "tools/unit_builders.h"

namespace trivane::sim {
namespace {

using trivane::testing::kTitleCp1251;

class StreamDecoderTest : public ::testing::Test {
 protected:
  StreamDecoder& Decoder(const DecodeSettings& settings = {}) {
    decoder_.emplace(
        *codepage_, [this](std::string_view line) { lines_.emplace_back(line); }, settings);
    return *decoder_;
  }
  std::vector<std::string> TakeLines() { return std::exchange(lines_, {}); }

  std::unique_ptr<SystemTextCodec> codepage_ = SystemTextCodec::Open("WINDOWS-1251");
  std::optional<StreamDecoder> decoder_;
  std::vector<std::string> lines_;
};

Bytes Joined(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST_F(StreamDecoderTest, UnitsInOneArrivalAreLoggedAndRoutedInOrder) {
  const Bytes region = Vl3Region(60000, 120000, 0);
  const Bytes notice = *BuildVl2Frame(0x65, 90.5, kTitleCp1251 + std::string(2, '\0'));
  const std::size_t stored = Decoder().Append(Joined({region, notice}));

  EXPECT_EQ(stored, region.size() + notice.size());
  EXPECT_EQ(decoder_->HeldBytes(), 0u);
  const std::vector<std::string> expected{
      "UNIT 28 bytes: " + ToHex(region),
      "ROUTE type=1 num=1 len=18 hex=010160ea000000000000c0d4010000000000 size=60000 over=120000 "
      "extra=0",
      "FILE In size=60000 over=120000 extra=0",
      "LOG VL3: --> REGION <---: 60.000, Over: 120.000, Extra: 0.000",
      "UNIT " + std::to_string(notice.size()) + " bytes: " + ToHex(notice),
      // The trailing NULs are stripped before routing, as the relay strips them.
      "ROUTE type=1 num=2 len=19 hex=01846101" + std::string("00") +
          ToHex(Bytes(kTitleCp1251.begin(), kTitleCp1251.end())) +
          " kind=1 size=90500 text=\"Рекламный блок\"",
      "LOG VL2: A : 90.5 (01:30.5) : Рекламный блок",
  };
  EXPECT_EQ(TakeLines(), expected);
}

TEST_F(StreamDecoderTest, AUnitSplitOverTwoArrivalsWaitsForItsSecondPart) {
  const Bytes region = Vl3Region(1000, 2000, 3000);
  StreamDecoder& decoder = Decoder();
  decoder.Append(ByteView(region).first(9));
  EXPECT_TRUE(TakeLines().empty());
  EXPECT_EQ(decoder.HeldBytes(), 9u);
  decoder.Append(ByteView(region).subspan(9));
  const auto lines = TakeLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "UNIT 28 bytes: " + ToHex(region));
  EXPECT_TRUE(lines[1].ends_with("size=1000 over=2000 extra=3000")) << lines[1];
}

TEST_F(StreamDecoderTest, AStrayByteBlocksTheUnitsBehindItUntilTheBufferIsGivenUp) {
  const Bytes held = Joined({{0x00}, Vl3Region(1000, 0, 0)});
  StreamDecoder& decoder = Decoder();
  decoder.Append(held);
  EXPECT_TRUE(TakeLines().empty());
  decoder.DiscardHeld();
  EXPECT_EQ(TakeLines(), (std::vector<std::string>{"UNPARSED 29 bytes: " + ToHex(held)}));
  EXPECT_EQ(decoder.HeldBytes(), 0u);
  decoder.DiscardHeld();
  EXPECT_TRUE(TakeLines().empty());
}

TEST_F(StreamDecoderTest, TheBufferTakesWhatTheRelaysBufferTakes) {
  StreamDecoder& decoder = Decoder();
  const Bytes noise(10000, 0x01);
  EXPECT_EQ(decoder.Append(noise), static_cast<std::size_t>(TReadComm::kCapacity));
  EXPECT_EQ(decoder.Append(noise), 0u);
  decoder.DiscardHeld();
  EXPECT_EQ(decoder.Append(ByteView(noise).first(100)), 100u);
}

TEST_F(StreamDecoderTest, AScheduledBlockShowsItsDelayAndIsSent) {
  Decoder().Append(DrcpBlockElement(5000, 30000, -1));
  auto lines = TakeLines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_TRUE(lines[0].starts_with("UNIT 26 bytes: 2d18446e73"));
  EXPECT_EQ(lines[1], "PENDING due_in=5000");
  EXPECT_TRUE(lines[2].starts_with("ROUTE type=1 num=1 len=18 ")) << lines[2];
  EXPECT_TRUE(lines[2].ends_with(" size=30000 over=0 extra=0")) << lines[2];
  EXPECT_EQ(lines[3], "FILE Out size=30000 over=0 extra=0");
  EXPECT_EQ(lines[4], "LOG UECP: --> REGION <---: 30.000, Over: 0.000, Extra: 0.000");

  Decoder({.ignore_delay = true}).Append(DrcpBlockElement(5000, 30000, 0));
  lines = TakeLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1], "PENDING due_in=0");
}

TEST_F(StreamDecoderTest, OtherMessagesAndLogLinesStayOnOneLine) {
  const Bytes other = BuildVl3Frame(9, 3, Bytes{0xAB});
  const Bytes clock = BuildVl3Frame(1, 4, Bytes{0, 0, 0, 0, 0x50, 0x48, 0xE6, 0x40});  // 45634.5
  const Bytes short_block = BuildVl3Frame(1, 1, Bytes{1, 1});
  const auto radiotext = BuildUecpFrame(*RadiotextElement("Line\r\none"));
  Decoder().Append(Joined({other, clock, short_block, *radiotext}));
  std::vector<std::string> lines;
  for (const std::string& line : TakeLines()) {
    if (!line.starts_with("UNIT")) lines.push_back(line);
  }
  const std::vector<std::string> expected{
      "ROUTE type=9 num=3 len=1 hex=ab",
      "LOG VL3: Parm=3",
      "ROUTE type=1 num=4 len=8 hex=000000005048e640 clock=2024-12-08T12:00:00.000",
      "LOG VL3: Clock 12:00:00",
      "ROUTE type=1 num=1 len=2 hex=0101 incomplete",
      "LOG VL3: Parm=1, incomplete: 2 bytes",
      "LOG UECP: RT: Line  one",
  };
  EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace trivane::sim
