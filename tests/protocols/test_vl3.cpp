#include <gtest/gtest.h>

#include "protocols/protocol_handlers.h"
#include "protocols/vl3_frame.h"
#include "support/comm_buffer.h"
#include "support/fake_protocol_host.h"

namespace trivane {
namespace {

using testing::CommWith;

class Vl3 : public ::testing::Test {
 protected:
  testing::FakeProtocolHost host;
  ProtocolHandlers handlers{host};
};

TEST_F(Vl3, RegionBlockFrameIsRoutedWrittenAndEchoed) {
  const Bytes payload = TRegionBlock{.Size = 60000, .Over = 120000}.Encode();
  const Bytes frame = BuildVl3Frame(1, 1, payload);
  ASSERT_EQ(frame[4], 22);  // length = payload + 4
  TReadComm comm = CommWith(frame);

  EXPECT_TRUE(host.TakeFront(handlers, comm, testing::kThirdSource));
  EXPECT_EQ(comm.Count, 0);
  ASSERT_EQ(host.raw_units.size(), 1u);
  EXPECT_EQ(host.raw_units[0], frame);
  ASSERT_EQ(host.routed.size(), 1u);
  EXPECT_EQ(host.routed[0].data, payload);
  ASSERT_EQ(host.files.size(), 1u);
  EXPECT_EQ(host.files[0].name, "In");
  EXPECT_EQ(host.LastLine().message, "--> REGION <---: 60.000, Over: 120.000, Extra: 0.000");
  EXPECT_EQ(host.LastLine().tag, "VL3");
}

TEST_F(Vl3, EmptyPayloadFramesAreRoutedAndEchoedByNumber) {
  TReadComm comm = CommWith(testing::Concat({BuildVl3Frame(7, 3, {}), BuildVl3Frame(1, 4, {})}));
  EXPECT_TRUE(host.TakeFront(handlers, comm, testing::kThirdSource));
  EXPECT_EQ(comm.Count, 10);  // exactly the first frame's L + 6 bytes left
  EXPECT_EQ(host.LastLine().message, "Parm=3");
  EXPECT_EQ(host.routed[0].type, 7);  // other types pass unchanged
  EXPECT_TRUE(host.TakeFront(handlers, comm, testing::kThirdSource));
  EXPECT_EQ(host.LastLine().message, "Clock 00:00:00");
  EXPECT_EQ(host.routed.size(), 2u);
  EXPECT_TRUE(host.routed[1].data.empty());
}

TEST_F(Vl3, NoticeAndClockEchoes) {
  const Bytes notice =
      TBlockNotice{.Kind = 1, .Size = 90500, .Text = testing::kTitleCp1251}.Encode();
  Bytes clock;
  AppendF64(clock, 45634.42444444444);
  TReadComm comm =
      CommWith(testing::Concat({BuildVl3Frame(1, 2, notice), BuildVl3Frame(1, 4, clock)}));
  EXPECT_TRUE(host.TakeFront(handlers, comm, testing::kThirdSource));
  EXPECT_EQ(host.LastLine().message, "A : 90.5 (01:30.5) : " + testing::kTitleUtf8);
  EXPECT_TRUE(host.TakeFront(handlers, comm, testing::kThirdSource));
  EXPECT_EQ(host.LastLine().message, "Clock 10:11:12");
  // The routed notice keeps its wire bytes; only the log shows UTF-8.
  EXPECT_EQ(host.routed[0].data, notice);
}

TEST_F(Vl3, ShortRegionAndNoticePayloadsAreRelayedButNotReadPastTheirEnd) {
  TReadComm comm = CommWith(
      testing::Concat({BuildVl3Frame(1, 1, Bytes(17, 0x11)), BuildVl3Frame(1, 2, Bytes{1, 2})}));
  EXPECT_TRUE(host.TakeFront(handlers, comm, testing::kThirdSource));
  EXPECT_EQ(host.LastLine().message, "Parm=1, incomplete: 17 bytes");
  EXPECT_TRUE(host.TakeFront(handlers, comm, testing::kThirdSource));
  EXPECT_EQ(host.LastLine().message, "Parm=2, incomplete: 2 bytes");
  EXPECT_EQ(host.routed.size(), 2u);
  EXPECT_TRUE(host.files.empty());  // no "In" line for a block that is not one
}

TEST_F(Vl3, DuplicatesAreConsumedSilently) {
  host.accept_units = false;
  TReadComm comm = CommWith(BuildVl3Frame(1, 3, Bytes{1, 2, 3}));
  EXPECT_TRUE(host.TakeFront(handlers, comm, testing::kThirdSource));
  EXPECT_EQ(comm.Count, 0);
  EXPECT_TRUE(host.routed.empty());
  EXPECT_TRUE(host.log.empty());
}

TEST_F(Vl3, IncompleteOrMalformedFrontsStay) {
  const Bytes frame = BuildVl3Frame(1, 3, Bytes{1, 2, 3});
  TReadComm nine = CommWith(ByteView(frame).first(9));
  EXPECT_FALSE(host.TakeFront(handlers, nine, testing::kThirdSource));
  EXPECT_EQ(nine.Count, 9);

  Bytes wrong_magic = frame;
  wrong_magic[1] = 0x34;
  TReadComm bad = CommWith(wrong_magic);
  EXPECT_FALSE(host.TakeFront(handlers, bad, testing::kThirdSource));

  for (std::uint8_t length : {0, 1, 3}) {
    Bytes short_length = frame;
    short_length[4] = length;
    TReadComm held = CommWith(short_length);
    EXPECT_FALSE(host.TakeFront(handlers, held, testing::kThirdSource)) << int(length);
    EXPECT_EQ(held.Count, static_cast<int>(frame.size()));
  }
  EXPECT_TRUE(host.raw_units.empty());
}

TEST_F(Vl3, FrameFedOneByteAtATimeIsTakenOnlyWhenComplete) {
  const Bytes frame = BuildVl3Frame(1, 1, TRegionBlock{.Size = 1000}.Encode());
  TReadComm comm = CommWith({});
  for (std::size_t i = 0; i < frame.size(); ++i) {
    testing::Append(comm, ByteView(frame).subspan(i, 1));
    EXPECT_EQ(host.TakeFront(handlers, comm, testing::kThirdSource), i + 1 == frame.size()) << i;
  }
  EXPECT_EQ(host.routed.size(), 1u);
}

}  // namespace
}  // namespace trivane
