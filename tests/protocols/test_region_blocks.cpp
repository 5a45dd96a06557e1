#include <gtest/gtest.h>

#include "protocols/protocol_handlers.h"
#include "support/fake_protocol_host.h"

namespace trivane {
namespace {

using testing::kThirdSource;
using testing::kTitleCp1251;
using testing::kTitleUtf8;

const Origin kStudio = Origin::Studio(0);

class RegionBlocks : public ::testing::Test {
 protected:
  testing::FakeProtocolHost host;
  ProtocolHandlers handlers{host};
};

TEST_F(RegionBlocks, SendDrcpRoutesEighteenBytesWritesOutAndLogs) {
  const TRegionBlock block{.Size = 60000, .Over = 120000, .Extra = 1500};
  handlers.Send_DRCP(block, "DRCP", kThirdSource);

  ASSERT_EQ(host.routed.size(), 1u);
  EXPECT_EQ(host.routed[0].type, 1);
  EXPECT_EQ(host.routed[0].num, 1);
  EXPECT_EQ(host.routed[0].data, block.Encode());
  ASSERT_EQ(host.files.size(), 1u);
  EXPECT_EQ(host.files[0].name, "Out");
  EXPECT_EQ(host.files[0].extra, 1500u);
  EXPECT_EQ(host.LastLine().message, "--> REGION <---: 60.000, Over: 120.000, Extra: 1.500");
  EXPECT_EQ(host.LastLine().tag, "DRCP");
  EXPECT_EQ(host.LastLine().link, 2);  // logged under its source
}

TEST_F(RegionBlocks, RegionLineShowsTheWholeUnsignedRange) {
  EXPECT_EQ(RegionLine({.Size = 0xFFFFFFFF, .Over = 1, .Extra = 999}),
            "--> REGION <---: 4294967.295, Over: 0.001, Extra: 0.999");
}

TEST_F(RegionBlocks, SendBlockStripsTrailingNulsAndEchoes) {
  handlers.Send_Block(1, 90500, std::string("abc\0\0\0", 6), "VL2", kThirdSource);
  ASSERT_EQ(host.routed.size(), 1u);
  EXPECT_EQ(host.routed[0].num, 2);
  EXPECT_EQ(host.routed[0].data, (Bytes{0x01, 0x84, 0x61, 0x01, 0x00, 'a', 'b', 'c'}));
  EXPECT_EQ(host.LastLine().message, "A : 90.5 (01:30.5) : abc");
  EXPECT_EQ(host.LastLine().tag, "VL2");

  handlers.Send_Block(7, 0, std::string(3, '\0'), "VL2", kThirdSource);
  EXPECT_EQ(host.routed[1].data.size(), 5u);
  EXPECT_EQ(host.LastLine().message, "P : 0.0 (00:00.0) : ");
}

TEST_F(RegionBlocks, EchoShowsKindLettersCarriageReturnsAndCyrillic) {
  handlers.EchoBlock(1, 90500, kTitleCp1251, "VL3", kThirdSource);
  EXPECT_EQ(host.LastLine().message, "A : 90.5 (01:30.5) : " + kTitleUtf8);

  handlers.EchoBlock(9, 1000, "one\r\ntwo", "VL3", kThirdSource);
  EXPECT_EQ(host.LastLine().message, "Type9 : 1.0 (00:01.0) : one - \ntwo");

  const std::string letters = "MAIVHJEP";
  for (std::uint8_t kind = 0; kind < 8; ++kind) {
    EXPECT_EQ(BlockKindLetter(kind), std::string(1, letters[kind]));
  }
}

TEST_F(RegionBlocks, StudioRegionBlocksNeedEighteenBytes) {
  const Bytes block = TRegionBlock{.Size = 30000}.Encode();
  handlers.Get_Studio3_DRCP(ByteView(block).first(17), kStudio);
  EXPECT_TRUE(host.routed.empty());
  EXPECT_TRUE(host.log.empty());

  Bytes longer = block;
  longer.push_back(0xEE);
  longer.push_back(0xEE);
  handlers.Get_Studio3_DRCP(longer, kStudio);
  ASSERT_EQ(host.routed.size(), 1u);
  EXPECT_EQ(host.routed[0].data, block);
  EXPECT_EQ(host.LastLine().tag, "VL3");
}

TEST_F(RegionBlocks, StudioNoticesNeedFiveBytes) {
  handlers.Decode_Block(Bytes{2, 0x10, 0x27, 0, 0}, kStudio);
  ASSERT_EQ(host.routed.size(), 1u);
  EXPECT_EQ(host.LastLine().message, "I : 10.0 (00:10.0) : ");
  handlers.Decode_Block(Bytes{2, 0x10, 0x27, 0}, kStudio);
  EXPECT_EQ(host.routed.size(), 1u);
}

TEST_F(RegionBlocks, StudioClockIsOnlyLogged) {
  Bytes clock;
  AppendF64(clock, 45634.42444444444);  // 8 December 2024, 10:11:12
  handlers.Decode_DRCPClock(clock, kStudio);
  EXPECT_EQ(host.LastLine().message, "RunClock! Time=10:11:12 08.12.24");
  EXPECT_EQ(host.LastLine().tag, "");

  handlers.Decode_DRCPClock(ByteView(clock).first(7), kStudio);
  EXPECT_EQ(host.LastLine().message, "RunClock! Time=00:00:00 30.12.99");
  EXPECT_TRUE(host.routed.empty());
}

TEST_F(RegionBlocks, TestPanelSendsABlockAndACyrillicNoticeAsItsOwn) {
  handlers.SBAuthorClick(60, 120, 0, Origin::TestPanel(0));

  ASSERT_EQ(host.routed.size(), 2u);
  EXPECT_EQ(host.routed[0].origin.kind, Origin::Kind::kTestPanel);
  EXPECT_EQ(host.routed[1].origin.kind, Origin::Kind::kTestPanel);
  EXPECT_EQ(TRegionBlock::Decode(host.routed[0].data),
            (TRegionBlock{.Size = 60000, .Over = 120000, .Extra = 0}));
  const auto notice = TBlockNotice::Decode(host.routed[1].data);
  ASSERT_TRUE(notice.has_value());
  EXPECT_EQ(notice->Kind, 1);
  EXPECT_EQ(notice->Size, 60000u);
  EXPECT_EQ(notice->Text, kTitleCp1251);  // converted once, to the wire code page
  EXPECT_EQ(host.LastLine().message, "A : 60.0 (01:00.0) : " + kTitleUtf8);
  EXPECT_EQ(host.LastLine().tag, "Test");
}

}  // namespace
}  // namespace trivane
