#include <gtest/gtest.h>

#include "links/router.h"
#include "protocols/vl2_frame.h"
#include "support/fake_link_host.h"
#include "support/queue_links.h"

namespace trivane {
namespace {

const Origin kStudio = Origin::Studio(0);

class Router : public ::testing::Test {
 protected:
  DestinationQueues All() { return {&studio, &server, &online}; }

  TSettings settings;
  MessageQueue studio;
  RawQueue server, online;
};

TEST_F(Router, EachDestinationGetsItsOwnLayout) {
  settings.DstMode = 7;
  const Bytes payload{0xAA, 0xBB, 0xCC};
  SenderToDest(settings, All(), kStudio, 0x0102, 0x0304, payload);

  ASSERT_EQ(studio.size(), 1u);
  EXPECT_EQ(studio[0].MsgType, 0x0102);
  EXPECT_EQ(studio[0].MsgNum, 0x0304);
  EXPECT_EQ(studio[0].Data, payload);
  ASSERT_EQ(server.size(), 1u);
  EXPECT_EQ(server[0].Data,
            (Bytes{0x4C, 0x33, 0x00, 0x00, 0x07, 0x00, 0x02, 0x01, 0x04, 0x03, 0xAA, 0xBB, 0xCC}));
  ASSERT_EQ(online.size(), 1u);
  EXPECT_EQ(online[0].Data, (Bytes{0x08, 0x00, 0x01, 0x02, 0x01, 0x04, 0x03, 0xAA, 0xBB, 0xCC}));
}

TEST_F(Router, EmptyPayloadGivesTheSmallestFrames) {
  settings.DstMode = 6;
  SenderToDest(settings, All(), kStudio, 1, 2, {});
  EXPECT_EQ(server.at(0).Data, (Bytes{0x4C, 0x33, 0, 0, 4, 0, 1, 0, 2, 0}));
  EXPECT_EQ(server.at(0).Len(), 10);
  EXPECT_EQ(online.at(0).Data, (Bytes{5, 0, 1, 1, 0, 2, 0}));
}

TEST_F(Router, DisabledOrMissingDestinationsAreSkipped) {
  settings.DstMode = 0x100 | kDstOnline;  // only the low byte counts
  SenderToDest(settings, {&studio, &server, nullptr}, kStudio, 1, 1, Bytes{1});
  EXPECT_TRUE(studio.empty());
  EXPECT_TRUE(server.empty());

  settings.DstMode = 7;
  SenderToDest(settings, {}, kStudio, 1, 1, Bytes{1});  // no queue exists: nothing to do
}

TEST_F(Router, PayloadsTooLongForTheLengthFieldAreNotQueued) {
  settings.DstMode = 6;
  SenderToDest(settings, All(), kStudio, 1, 1, Bytes(65525, 0));
  EXPECT_EQ(server.size(), 1u);
  EXPECT_EQ(server[0].Len(), 65535);
  EXPECT_EQ(online.size(), 1u);

  SenderToDest(settings, All(), kStudio, 1, 1, Bytes(65526, 0));
  EXPECT_EQ(server.size(), 1u);
  EXPECT_EQ(online.size(), 2u);
  SenderToDest(settings, All(), kStudio, 1, 1, Bytes(65529, 0));
  EXPECT_EQ(online.size(), 2u);
}

// The real router over queues of its own, as the controller wires it.
class Route : public ::testing::Test {
 protected:
  MessageQueue& StudioQueue() { return *parts.studio->Studio_Queue(); }
  RawQueue& ServerQueue() { return *parts.server->Queue(); }
  RawQueue& OnlineQueue() { return *parts.online->Queue(); }
  void Clear() {
    StudioQueue().clear();
    ServerQueue().clear();
    OnlineQueue().clear();
  }

  testing::FakeLinkHost host;
  ControllerParts parts = testing::QueueDestinations();
  UnitRouter router{host, parts};
};

// Every origin under either source mode and every set of destinations: the
// studio and the online server get the routed messages in their layouts; the
// chain server the unit as received from a TCP source, and the routed message
// as a VL3 frame from the studio and the test panel. The source mode changes
// nothing: what a destination gets follows from where it came from alone.
TEST_F(Route, WhatEachDestinationGetsFollowsTheOrigin) {
  const Bytes vl2 = *BuildVl2Frame(0x65, 30.0, "");  // a block notice of kind 1
  const HeldUnit unit{UnitKind::kVl2, vl2};
  const Bytes studio_block = TRegionBlock{.Size = 45000}.Encode();
  enum class From { kSource, kStudio, kTestPanel };
  for (const From from : {From::kSource, From::kStudio, From::kTestPanel}) {
    for (const std::int32_t mode : {kSrcStudio, kSrcTcp}) {
      for (std::int32_t destinations = 0; destinations < 8; ++destinations) {
        SCOPED_TRACE(::testing::Message() << "origin " << static_cast<int>(from) << ", mode "
                                          << mode << ", destinations " << destinations);
        host.settings.SrcMode = mode;
        host.settings.DstMode = destinations;
        Clear();
        std::size_t messages = 1;
        switch (from) {
          case From::kSource:
            router.TakeSourceUnit(1, unit, true);
            break;
          case From::kStudio:
            router.TakeStudioMessage(TCommMsg{1, msg_num::kRegionBlock, studio_block});
            break;
          case From::kTestPanel:
            router.SendTestBlock(60, 0, 0);
            messages = 2;  // the block and its notice
            break;
        }
        const bool to_studio = (destinations & kDstStudio) != 0;
        const bool to_server = (destinations & kDstServer) != 0;
        const bool to_online = (destinations & kDstOnline) != 0;
        EXPECT_EQ(StudioQueue().size(), to_studio ? messages : 0u);
        EXPECT_EQ(OnlineQueue().size(), to_online ? messages : 0u);
        if (from == From::kSource) {
          ASSERT_EQ(ServerQueue().size(), to_server ? 1u : 0u);
          if (to_server) {
            EXPECT_EQ(ServerQueue()[0].Data, vl2);
          }
        } else {
          ASSERT_EQ(ServerQueue().size(), to_server ? messages : 0u);
          if (to_server) {
            EXPECT_EQ(ServerQueue()[0].Data.at(1), '3');  // "L3": a VL3 frame
          }
        }
      }
    }
  }
}

TEST_F(Route, AUnitTheDuplicateCheckHeldBackGoesNowhere) {
  host.settings.DstMode = kDstStudio | kDstServer | kDstOnline;
  const Bytes vl2 = *BuildVl2Frame(0x65, 30.0, "");
  router.TakeSourceUnit(0, {UnitKind::kVl2, vl2}, false);
  EXPECT_TRUE(StudioQueue().empty());
  EXPECT_TRUE(ServerQueue().empty());
  EXPECT_TRUE(OnlineQueue().empty());
  EXPECT_TRUE(host.log.empty());
}

}  // namespace
}  // namespace trivane
