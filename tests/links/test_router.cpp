#include <gtest/gtest.h>

#include "links/router.h"

namespace trivane {
namespace {

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
  SenderToDest(settings, All(), 0x0102, 0x0304, payload);

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
  SenderToDest(settings, All(), 1, 2, {});
  EXPECT_EQ(server.at(0).Data, (Bytes{0x4C, 0x33, 0, 0, 4, 0, 1, 0, 2, 0}));
  EXPECT_EQ(server.at(0).Len(), 10);
  EXPECT_EQ(online.at(0).Data, (Bytes{5, 0, 1, 1, 0, 2, 0}));
}

TEST_F(Router, ChainServerTakesRoutedMessagesOnlyFromAStudioSource) {
  settings.DstMode = 7;
  settings.SrcMode = kSrcTcp;
  SenderToDest(settings, All(), 1, 1, Bytes{1});
  EXPECT_EQ(studio.size() + server.size() + online.size(), 2u);
  EXPECT_TRUE(server.empty());
}

TEST_F(Router, DisabledOrMissingDestinationsAreSkipped) {
  settings.DstMode = 0x100 | kDstOnline;  // only the low byte counts
  SenderToDest(settings, {&studio, &server, nullptr}, 1, 1, Bytes{1});
  EXPECT_TRUE(studio.empty());
  EXPECT_TRUE(server.empty());

  settings.DstMode = 7;
  SenderToDest(settings, {}, 1, 1, Bytes{1});  // no queue exists: nothing to do
}

TEST_F(Router, PayloadsTooLongForTheLengthFieldAreNotQueued) {
  settings.DstMode = 6;
  SenderToDest(settings, All(), 1, 1, Bytes(65525, 0));
  EXPECT_EQ(server.size(), 1u);
  EXPECT_EQ(server[0].Len(), 65535);
  EXPECT_EQ(online.size(), 1u);

  SenderToDest(settings, All(), 1, 1, Bytes(65526, 0));
  EXPECT_EQ(server.size(), 1u);
  EXPECT_EQ(online.size(), 2u);
  SenderToDest(settings, All(), 1, 1, Bytes(65529, 0));
  EXPECT_EQ(online.size(), 2u);
}

}  // namespace
}  // namespace trivane
