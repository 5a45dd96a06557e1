#include <gtest/gtest.h>

#include "protocols/protocol_handlers.h"
#include "support/fake_protocol_host.h"

namespace trivane {
namespace {

using testing::kThirdSource;
using testing::kTitleCp1251;
using testing::kTitleUtf8;

// The 21-byte "s" payload: delay at 1, size at 13, over at 17.
Bytes SPayload(std::int32_t delay, std::uint32_t size, std::int32_t over) {
  Bytes payload(21, 0xAA);
  Bytes fields;
  AppendU32(fields, static_cast<std::uint32_t>(delay));
  std::copy(fields.begin(), fields.end(), payload.begin() + 1);
  fields.clear();
  AppendU32(fields, size);
  AppendU32(fields, static_cast<std::uint32_t>(over));
  std::copy(fields.begin(), fields.end(), payload.begin() + 13);
  return payload;
}

// The "f" payload: position, compact date, title.
Bytes FPayload(std::uint8_t position, const std::string& title) {
  Bytes payload{position, 24, 12, 8, 14, 5, 9, 10, 0};
  payload.insert(payload.end(), title.begin(), title.end());
  return payload;
}

class UecpMessages : public ::testing::Test {
 protected:
  testing::FakeProtocolHost host;
  ProtocolHandlers handlers{host};
};

TEST_F(UecpMessages, BlockCommandBecomesThePendingBlockDueAfterItsDelay) {
  handlers.UECP_Receive(0x2D, 's', SPayload(5000, 60000, 120000), kThirdSource);
  EXPECT_EQ(handlers.Pending().Block(), (TRegionBlock{.Size = 60000, .Over = 120000}));
  EXPECT_EQ(handlers.Pending().DueTick(), host.now_tick + 5000);
  EXPECT_TRUE(host.routed.empty());  // the tick sends it when due
  EXPECT_TRUE(host.log.empty());

  handlers.UECP_Receive(0x2D, 's', SPayload(65534, 30000, -1), kThirdSource);
  EXPECT_EQ(handlers.Pending().DueTick(), host.now_tick + 65534);
  EXPECT_EQ(handlers.Pending().Block().Over, 0u);  // a negative over time counts as 0
  EXPECT_EQ(handlers.Pending().Block().Size, 30000u);
}

TEST_F(UecpMessages, BlockCommandIsDueAtOnceForLongDelaysOrWhenDelaysAreIgnored) {
  handlers.UECP_Receive(0x2D, 's', SPayload(65535, 1000, 0), kThirdSource);
  EXPECT_EQ(handlers.Pending().DueTick(), host.now_tick);

  host.settings.IgnoreDelay = true;
  handlers.UECP_Receive(0x2D, 's', SPayload(5000, 1000, 0), kThirdSource);
  EXPECT_EQ(handlers.Pending().DueTick(), host.now_tick);
}

TEST_F(UecpMessages, DueTimeNeverReadsAsNothingPending) {
  host.now_tick = 10;
  handlers.UECP_Receive(0x2D, 's', SPayload(-500, 1000, 0), kThirdSource);
  EXPECT_GT(handlers.Pending().DueTick(), 0);
}

TEST_F(UecpMessages, BlockSizeWithTheTopBitSetIsDroppedAndLogged) {
  handlers.Pending().Block() = TRegionBlock{.Size = 7};
  handlers.UECP_Receive(0x2D, 's', SPayload(0, 0x8000'0000u, 0), kThirdSource);
  EXPECT_EQ(handlers.Pending().Block().Size, 7u);
  EXPECT_EQ(handlers.Pending().DueTick(), 0);
  ASSERT_EQ(host.log.size(), 1u);
  EXPECT_EQ(host.LastLine().tag, "DRCP");
  EXPECT_NE(host.LastLine().message.find("2147483648"), std::string::npos);
}

TEST_F(UecpMessages, OtherManufacturerCommandsDoNothing) {
  handlers.UECP_Receive(0x2D, 'p', SPayload(0, 1000, 0), kThirdSource);
  handlers.UECP_Receive(0x2D, 'i', SPayload(0, 1000, 0), kThirdSource);
  handlers.UECP_Receive(0x2D, 's', ByteView(SPayload(0, 1000, 0)).first(20), kThirdSource);
  handlers.UECP_Receive(0x02, 0, Bytes{'A'}, kThirdSource);
  EXPECT_EQ(handlers.Pending().DueTick(), 0);
  EXPECT_TRUE(host.log.empty());
  EXPECT_TRUE(host.routed.empty());
}

TEST_F(UecpMessages, TitleAtPositionZeroIsABlockNotice) {
  handlers.UECP_Receive(0x2D, 'f', FPayload(0, std::string("News\0tail", 9)), kThirdSource);
  ASSERT_EQ(host.routed.size(), 1u);
  const auto notice = TBlockNotice::Decode(host.routed[0].data);
  ASSERT_TRUE(notice.has_value());
  EXPECT_EQ(notice->Kind, 0);
  EXPECT_EQ(notice->Size, 0u);
  EXPECT_EQ(notice->Text, "News");
  EXPECT_EQ(host.LastLine().tag, "DRCP");
}

TEST_F(UecpMessages, NoticeTitleIsCutAt128Bytes) {
  handlers.UECP_Receive(0x2D, 'f', FPayload(0, std::string(200, 'x')), kThirdSource);
  EXPECT_EQ(TBlockNotice::Decode(host.routed[0].data)->Text.size(), 128u);
}

TEST_F(UecpMessages, PlaylistEntriesAreLoggedOnlyWhenShown) {
  handlers.UECP_Receive(0x2D, 'f', FPayload(3, kTitleCp1251), kThirdSource);
  EXPECT_TRUE(host.log.empty());

  host.settings.ShowPlaylist = true;
  handlers.UECP_Receive(0x2D, 'f', FPayload(3, kTitleCp1251), kThirdSource);
  ASSERT_EQ(host.log.size(), 1u);
  EXPECT_EQ(host.LastLine().message, "PL-3 : 14:05:09.1 08.12 : " + kTitleUtf8);
  EXPECT_EQ(host.LastLine().tag, "DRCP");
  EXPECT_TRUE(host.routed.empty());
}

TEST_F(UecpMessages, RadiotextAndClockAreLogged) {
  handlers.UECP_Receive(0x0A, 0, Bytes{'H', 'i', ' ', 0xC4, 0, 'x'}, kThirdSource);
  EXPECT_EQ(host.LastLine().message, "RT: Hi Д");
  EXPECT_EQ(host.LastLine().tag, "UECP");

  Bytes clock;
  AppendF64(clock, 45634.42444444444);
  handlers.UECP_Receive(0x0D, 0, clock, kThirdSource);
  EXPECT_EQ(host.LastLine().message, "GMT: 10:11:12.000 08.12.24");
  EXPECT_EQ(host.LastLine().link, kThirdSource.source);
}

}  // namespace
}  // namespace trivane
