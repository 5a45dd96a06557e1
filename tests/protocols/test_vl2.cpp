#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "protocols/protocol_handlers.h"
#include "support/comm_buffer.h"
#include "support/fake_protocol_host.h"

namespace trivane {
namespace {

using testing::CommWith;

Bytes Vl2Frame(std::uint8_t code, double value, const std::string& text = "") {
  Bytes frame{0x5A, 0xA5, code};
  AppendU16(frame, static_cast<std::uint16_t>(8 + text.size()));
  frame.insert(frame.end(), 5, 0x77);
  AppendF64(frame, value);
  frame.insert(frame.end(), text.begin(), text.end());
  return frame;
}

class Vl2 : public ::testing::Test {
 protected:
  void Feed(const Bytes& frame) {
    TReadComm comm = CommWith(frame);
    ASSERT_TRUE(host.TakeFront(handlers, comm, testing::kThirdSource));
    EXPECT_EQ(comm.Count, 0);
  }

  testing::FakeProtocolHost host;
  ProtocolHandlers handlers{host};
};

TEST_F(Vl2, RegionBlockTakesAPrepareAndASend) {
  handlers.Pending().Schedule(TRegionBlock{.Size = 5, .Reserved = 9, .Extra = 3}, 777,
                              testing::kThirdSource);
  Feed(Vl2Frame(0x08, 60.0));
  EXPECT_EQ(handlers.Pending().Block(), (TRegionBlock{.Size = 60000}));
  EXPECT_EQ(handlers.Pending().DueTick(), 777);  // its due time is not the VL2 path's business
  EXPECT_TRUE(host.routed.empty());

  Feed(Vl2Frame(0x09, 120.0));
  ASSERT_EQ(host.routed.size(), 1u);
  EXPECT_EQ(TRegionBlock::Decode(host.routed[0].data),
            (TRegionBlock{.Size = 60000, .Over = 120000}));
  EXPECT_EQ(host.LastLine().message, "--> REGION <---: 60.000, Over: 120.000, Extra: 0.000");
  EXPECT_EQ(host.LastLine().tag, "VL2");
}

// 60.123 is a hair below itself as a double; the product must be rounded to
// a double before it is truncated, or the block loses its last millisecond.
TEST_F(Vl2, DecimalSecondsKeepTheirLastMillisecond) {
  Feed(Vl2Frame(0x08, 60.123));
  EXPECT_EQ(handlers.Pending().Block().Size, 60123u);
  Feed(Vl2Frame(0x09, 120.005));
  ASSERT_EQ(host.routed.size(), 1u);
  EXPECT_EQ(TRegionBlock::Decode(host.routed[0].data)->Over, 120005u);
}

TEST_F(Vl2, NoticeCodesSendTheirKinds) {
  const std::vector<std::pair<std::uint8_t, std::uint8_t>> codes{{0x64, 0}, {0x65, 1}, {0x66, 5},
                                                                 {0x67, 2}, {0x68, 7}, {0x6B, 6}};
  for (const auto& [code, kind] : codes) {
    Feed(Vl2Frame(code, 1.2345, testing::kTitleCp1251 + std::string(2, '\0')));
    const auto notice = TBlockNotice::Decode(host.routed.back().data);
    ASSERT_TRUE(notice.has_value());
    EXPECT_EQ(notice->Kind, kind) << int(code);
    EXPECT_EQ(notice->Size, 1234u);  // truncated, not rounded
    EXPECT_EQ(notice->Text, testing::kTitleCp1251);
  }
  EXPECT_EQ(host.LastLine().message, "E : 1.2 (00:01.2) : " + testing::kTitleUtf8);
}

TEST_F(Vl2, NegativeOrMissingValuesCountAsZero) {
  Feed(Vl2Frame(0x64, -5.0));
  EXPECT_EQ(TBlockNotice::Decode(host.routed.back().data)->Size, 0u);
  Feed(Vl2Frame(0x64, std::nan("")));
  EXPECT_EQ(TBlockNotice::Decode(host.routed.back().data)->Size, 0u);
}

TEST_F(Vl2, ValuesPastTheMillisecondRangeAreDroppedNotWrapped) {
  Feed(Vl2Frame(0x64, 4294967.295));
  EXPECT_EQ(TBlockNotice::Decode(host.routed.back().data)->Size, 0xFFFFFFFFu);

  const auto routed = host.routed.size();
  Feed(Vl2Frame(0x64, 4294967.296));
  EXPECT_EQ(host.LastLine().message, "Value out of range: 4294967.296 s, command dropped");
  EXPECT_EQ(host.LastLine().tag, "VL2");
  handlers.Pending().Block() = TRegionBlock{.Size = 5};
  Feed(Vl2Frame(0x08, 1e300));
  Feed(Vl2Frame(0x09, std::numeric_limits<double>::infinity()));
  EXPECT_EQ(host.routed.size(), routed);
  EXPECT_EQ(handlers.Pending().Block().Size, 5u);
}

TEST_F(Vl2, ClockIsLoggedAndUnknownCodesAreIgnored) {
  Feed(Vl2Frame(0x40, 0));
  EXPECT_EQ(host.LastLine().message, "GMT: 00:00:00.000 30.12.99");
  Feed(Vl2Frame(0x40, 45634.42444444444));
  EXPECT_EQ(host.LastLine().message, "GMT: 10:11:12.000 08.12.24");
  const auto lines = host.log.size();
  Feed(Vl2Frame(0x99, 5));
  EXPECT_EQ(host.log.size(), lines);
  EXPECT_TRUE(host.routed.empty());
}

TEST_F(Vl2, LengthAndCompletenessAreCheckedBeforeAnything) {
  const Bytes empty_text = Vl2Frame(0x64, 1);
  ASSERT_EQ(empty_text.size(), 18u);
  TReadComm seventeen = CommWith(ByteView(empty_text).first(17));
  EXPECT_FALSE(host.TakeFront(handlers, seventeen, testing::kThirdSource));

  Bytes too_long = Vl2Frame(0x64, 1, std::string(249, 'x'));
  too_long[3] = 0x01;  // L = 257
  too_long[4] = 0x01;
  TReadComm held = CommWith(too_long);
  EXPECT_FALSE(host.TakeFront(handlers, held, testing::kThirdSource));
  EXPECT_EQ(held.Count, static_cast<int>(too_long.size()));

  Bytes short_length = empty_text;
  short_length[3] = 7;
  TReadComm seven = CommWith(short_length);
  EXPECT_FALSE(host.TakeFront(handlers, seven, testing::kThirdSource));

  TReadComm longest = CommWith(Vl2Frame(0x64, 1, std::string(248, 'x')));
  EXPECT_TRUE(host.TakeFront(handlers, longest, testing::kThirdSource));
  EXPECT_EQ(host.raw_units.size(), 1u);
}

TEST_F(Vl2, DuplicateFramesAreConsumedWithoutEffect) {
  host.accept_units = false;
  Feed(Vl2Frame(0x08, 60));
  EXPECT_EQ(handlers.Pending().Block().Size, 0u);
  EXPECT_TRUE(host.log.empty());
}

}  // namespace
}  // namespace trivane
