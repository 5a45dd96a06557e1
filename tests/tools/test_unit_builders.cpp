#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/system_text_codec.h"
#include "protocols/protocol_handlers.h"
#include "protocols/uecp_codec.h"
#include "support/fake_protocol_host.h"
#include "support/temp_dir.h"
#include "tools/line_output.h"
#include "tools/source_units.h"
#include "tools/unit_builders.h"

namespace trivane::sim {
namespace {

using trivane::testing::FakeProtocolHost;
using trivane::testing::kThirdSource;
using trivane::testing::kTitleCp1251;
using trivane::testing::kTitleUtf8;

TReadComm Holding(ByteView bytes) {
  TReadComm comm;
  comm.Data.assign(TReadComm::kCapacity, 0);
  std::copy(bytes.begin(), bytes.end(), comm.Data.begin());
  comm.Count = static_cast<std::int32_t>(bytes.size());
  return comm;
}

struct UecpEvent {
  std::uint8_t mec, sub;
  Bytes data;
};

// The relay's own codec, with its events recorded.
std::vector<UecpEvent> UecpEvents(ByteView unit, bool framed) {
  std::vector<UecpEvent> events;
  const auto emit = [&](std::uint8_t mec, std::uint8_t sub, ByteView data) {
    events.push_back({mec, sub, Bytes(data.begin(), data.end())});
  };
  const auto cut = CutUnit(unit);
  EXPECT_TRUE(cut.has_value());
  if (!cut) return events;
  EXPECT_EQ(cut->bytes.size(), unit.size()) << "the whole unit is one unit";
  EXPECT_EQ(cut->kind, framed ? UnitKind::kUecpFrame : UnitKind::kUecpElement);
  if (framed) {
    DecodeUecpFrame(cut->bytes, emit);
  } else {
    DecodeUecpElement(cut->bytes, emit);
  }
  return events;
}

TEST(Vl3Units, TheRelayRoutesThemAsBuilt) {
  FakeProtocolHost host;
  ProtocolHandlers handlers(host);
  const Bytes region = Vl3Region(60000, 120500, 1500);
  const Bytes notice = Vl3Notice(1, 90500, kTitleCp1251);
  Bytes both = region;
  both.insert(both.end(), notice.begin(), notice.end());
  TReadComm comm = Holding(both);

  ASSERT_TRUE(host.TakeFront(handlers, comm, kThirdSource));
  ASSERT_TRUE(host.TakeFront(handlers, comm, kThirdSource));
  EXPECT_EQ(comm.Count, 0);
  ASSERT_EQ(host.routed.size(), 2u);
  EXPECT_EQ(host.routed[0].type, 1);
  EXPECT_EQ(host.routed[0].num, 1);
  const auto block = TRegionBlock::Decode(host.routed[0].data);
  ASSERT_TRUE(block);
  EXPECT_EQ(*block, (TRegionBlock{.Size = 60000, .Over = 120500, .Extra = 1500}));
  EXPECT_EQ(host.routed[1].num, 2);
  const auto routed_notice = TBlockNotice::Decode(host.routed[1].data);
  ASSERT_TRUE(routed_notice);
  EXPECT_EQ(routed_notice->Kind, 1);
  EXPECT_EQ(routed_notice->Size, 90500u);
  EXPECT_EQ(routed_notice->Text, kTitleCp1251);
}

TEST(Vl2Units, ARegionBlockInTwoCommandsAndANoticeWithItsText) {
  FakeProtocolHost host;
  ProtocolHandlers handlers(host);
  for (const auto& frame :
       {BuildVl2Frame(vl2_frame::kPrepareBlock, 60, ""),
        BuildVl2Frame(vl2_frame::kSendBlock, 120.5, ""), BuildVl2Frame(0x67, 1.2345, "Ad")}) {
    ASSERT_TRUE(frame);
    TReadComm comm = Holding(*frame);
    ASSERT_TRUE(host.TakeFront(handlers, comm, kThirdSource));
    EXPECT_EQ(comm.Count, 0);
  }
  ASSERT_EQ(host.routed.size(), 2u);
  EXPECT_EQ(*TRegionBlock::Decode(host.routed[0].data),
            (TRegionBlock{.Size = 60000, .Over = 120500}));
  const auto notice = TBlockNotice::Decode(host.routed[1].data);
  EXPECT_EQ(notice->Kind, 2);  // code "g"
  EXPECT_EQ(notice->Size, 1234u);
  EXPECT_EQ(notice->Text, "Ad");
}

TEST(Vl2Units, TheLongestTextAFrameCarries) {
  const auto longest = BuildVl2Frame(0x64, 1, std::string(vl2_frame::kMaxText, 'x'));
  ASSERT_TRUE(longest);
  EXPECT_EQ(longest->size(), 266u);
  FakeProtocolHost host;
  ProtocolHandlers handlers(host);
  TReadComm comm = Holding(*longest);
  EXPECT_TRUE(host.TakeFront(handlers, comm, kThirdSource));
  EXPECT_FALSE(BuildVl2Frame(0x64, 1, std::string(vl2_frame::kMaxText + 1, 'x')));
}

TEST(DrcpUnits, TheBareElementSchedulesTheBlock) {
  const Bytes element = DrcpBlockElement(5000, 30000, 60000);
  ASSERT_EQ(element.size(), 26u);
  EXPECT_EQ(Bytes(element.begin(), element.begin() + 5), (Bytes{0x2D, 0x18, 0x44, 0x6E, 0x73}));

  const auto events = UecpEvents(element, false);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].mec, 0x2D);
  EXPECT_EQ(events[0].sub, 's');
  EXPECT_EQ(events[0].data, Bytes(element.begin() + 5, element.end()));

  FakeProtocolHost host;
  ProtocolHandlers handlers(host);
  handlers.UECP_Receive(events[0].mec, events[0].sub, events[0].data, kThirdSource);
  EXPECT_EQ(handlers.Pending().Block(), (TRegionBlock{.Size = 30000, .Over = 60000}));
  EXPECT_EQ(handlers.Pending().DueTick(), host.now_tick + 5000);
}

TEST(DrcpUnits, AFrameStuffsEveryReservedByteAndPassesTheCrc) {
  // Delay and size chosen so that FD, FE and FF all appear in the payload.
  const Bytes element = DrcpBlockElement(-2, 0xFDFEFFFD, 1);
  const auto frame = BuildUecpFrame(element);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->front(), 0xFE);
  EXPECT_EQ(frame->back(), 0xFF);
  const ByteView inner = ByteView(*frame).subspan(1, frame->size() - 2);
  EXPECT_EQ(std::count(inner.begin(), inner.end(), 0xFE), 0);
  EXPECT_EQ(std::count(inner.begin(), inner.end(), 0xFF), 0);

  const auto events = UecpEvents(*frame, true);
  ASSERT_EQ(events.size(), 1u) << "a frame with a wrong CRC gives no event";
  EXPECT_EQ(events[0].data, Bytes(element.begin() + 5, element.end()));
}

TEST(UecpUnits, RadiotextInAFrameAndTheLongestMessageField) {
  const auto frame = BuildUecpFrame(*RadiotextElement("Now on air"));
  const auto events = UecpEvents(*frame, true);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].mec, 0x0A);
  EXPECT_EQ(std::string(events[0].data.begin(), events[0].data.end()), "Now on air");

  EXPECT_TRUE(BuildUecpFrame(Bytes(uecp_frame::kMaxMessageField, 0x02)));
  EXPECT_FALSE(BuildUecpFrame(Bytes(uecp_frame::kMaxMessageField + 1, 0x02)));
  EXPECT_FALSE(RadiotextElement(std::string(kRadiotextMaxText + 1, 'x')));
}

TEST(BuildUnits, ConvertsTextsReadsFilesAndSplitsTheVl2Region) {
  const auto codepage = SystemTextCodec::Open("WINDOWS-1251");
  trivane::testing::TempDir dir;
  trivane::testing::WriteFileBytes(dir / "unit.bin", std::string("\xFE\x00\xFF", 3));

  const auto units = BuildUnits({Vl3NoticeUnit{1, 5000, kTitleUtf8}, Vl2RegionUnit{60, 120},
                                 FileUnit{(dir / "unit.bin").string()}, HexUnit{{0x00}}},
                                *codepage);
  ASSERT_EQ(units.size(), 5u);
  EXPECT_EQ(units[0], Vl3Notice(1, 5000, kTitleCp1251));
  EXPECT_EQ(units[1], *BuildVl2Frame(vl2_frame::kPrepareBlock, 60, ""));
  EXPECT_EQ(units[2], *BuildVl2Frame(vl2_frame::kSendBlock, 120, ""));
  EXPECT_EQ(units[3], (Bytes{0xFE, 0x00, 0xFF}));
  EXPECT_EQ(units[4], (Bytes{0x00}));

  try {
    BuildUnits({FileUnit{(dir / "missing.bin").string()}}, *codepage);
    FAIL() << "a missing file is a bad argument";
  } catch (const SimFailure& failure) {
    EXPECT_EQ(failure.ExitCode(), SimFailure::kBadArguments);
  }
  // 248 bytes in the wire code page: two-byte UTF-8 letters become one byte each.
  std::string cyrillic;
  for (std::size_t i = 0; i < vl2_frame::kMaxText; ++i) cyrillic += "Ж";
  EXPECT_EQ(BuildUnits({Vl2NoticeUnit{0x64, 1, cyrillic}}, *codepage).at(0).size(), 266u);
  EXPECT_THROW(BuildUnits({Vl2NoticeUnit{0x64, 1, cyrillic + "Ж"}}, *codepage), SimFailure);
}

}  // namespace
}  // namespace trivane::sim
