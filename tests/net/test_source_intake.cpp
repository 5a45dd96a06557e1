#include <gtest/gtest.h>

#include <algorithm>

#include "links/router.h"
#include "support/comm_buffer.h"
#include "support/reader_harness.h"

namespace trivane {
namespace {

using testing::Concat;
using testing::LoopbackConnection;
using testing::LoopbackListener;

Bytes Unit(std::uint16_t num, std::uint8_t payload) {
  return BuildVl3Frame(1, num, Bytes{payload, payload, payload});
}

class SourceIntakeTest : public testing::ReaderHarness {
 protected:
  SourceIntakeTest() { peer = Connect(0, source); }

  LoopbackListener source;
  LoopbackConnection peer;
};

TEST_F(SourceIntakeTest, AUnitSplitOverTwoArrivalsIsTakenWhenTheRestComes) {
  const Bytes unit = Unit(3, 7);
  Deliver(0, peer, Bytes(unit.begin(), unit.begin() + 6));
  EXPECT_EQ(Slot(0).Comm.Count, 6);
  EXPECT_EQ(Slot(0).Comm.Deadline, host.now_tick + 1000);
  EXPECT_TRUE(host.routed.empty());

  TickAt(host.now_tick + 900);
  EXPECT_TRUE(host.log.empty());
  Deliver(0, peer, Bytes(unit.begin() + 6, unit.end()));
  ASSERT_EQ(host.routed.size(), 1u);
  EXPECT_EQ(host.routed[0].num, 3);
  EXPECT_EQ(host.routed[0].data, (Bytes{7, 7, 7}));
  EXPECT_EQ(Slot(0).Comm.Count, 0);
  EXPECT_EQ(Slot(0).Comm.Deadline, 0);

  TickAt(host.now_tick + 5000);
  EXPECT_TRUE(host.LinesTagged("inside").empty());
}

TEST_F(SourceIntakeTest, EveryUnitOfOneArrivalIsTakenInTheSameTickInOrder) {
  Deliver(0, peer, Concat({Unit(3, 1), Unit(5, 2), Unit(6, 3)}));
  ASSERT_EQ(host.routed.size(), 3u);
  for (std::uint8_t k = 0; k < 3; ++k) EXPECT_EQ(host.routed[k].data[0], k + 1);
  EXPECT_EQ(host.routed[1].num, 5);
  EXPECT_EQ(Slot(0).Comm.Count, 0);
  EXPECT_EQ(host.MarksOf(status_column::kFirstSource), 1u);
}

TEST_F(SourceIntakeTest, AStrayByteHoldsEverythingUntilASecondWithoutArrivals) {
  const Bytes held = Concat({Bytes{0x00}, Unit(3, 1), Unit(3, 2)});
  const std::int64_t first = host.now_tick;
  Deliver(0, peer, held);
  EXPECT_TRUE(host.routed.empty());

  // A later arrival restarts the second.
  host.now_tick = first + 800;
  Deliver(0, peer, Bytes{'\r', '\n'});
  const Bytes all = Concat({held, Bytes{'\r', '\n'}});
  TickAt(first + 1800);
  EXPECT_EQ(Slot(0).Comm.Count, static_cast<std::int32_t>(all.size()));
  EXPECT_TRUE(host.log.empty());

  TickAt(first + 1801);
  ASSERT_EQ(host.log.size(), 1u);
  EXPECT_EQ(host.log[0].link, 0);
  EXPECT_EQ(host.log[0].message, "Clear invalid data");
  EXPECT_EQ(host.log[0].tag, "inside");
  const std::string text(all.begin(), all.end());
  EXPECT_EQ(testing::ReadFileBytes(host.DailyFile()),
            "Src:1. Data (" + std::to_string(all.size()) + ") 12:00:00 : " + text + "\r\n");
  EXPECT_EQ(Slot(0).Comm.Count, 0);
  EXPECT_EQ(Slot(0).Comm.Deadline, 0);
  EXPECT_EQ(Slot(0).Comm.Data, Bytes(TReadComm::kCapacity, 0));
  EXPECT_TRUE(host.routed.empty());

  // The emptied buffer takes units again, and nothing is discarded twice.
  Deliver(0, peer, Unit(3, 9));
  EXPECT_EQ(host.routed.size(), 1u);
  TickAt(first + 9000);
  EXPECT_EQ(host.LinesTagged("inside").size(), 1u);
}

TEST_F(SourceIntakeTest, ArrivalsBeyondTheBufferWaitInTheSocketSoNoUnitIsCut) {
  // 40 KB of 520-byte frames in one go, five buffers' worth and more.
  Bytes burst;
  constexpr int kUnits = 80;
  for (int k = 0; k < kUnits; ++k) {
    Bytes payload(510, static_cast<std::uint8_t>(k));
    burst = Concat({burst, BuildVl3Frame(1, 1, payload)});
  }
  ASSERT_GT(burst.size(), 40'000u);
  ASSERT_TRUE(peer.Send(burst));
  ASSERT_TRUE(TickUntil([&] { return host.routed.size() >= static_cast<std::size_t>(kUnits); }));
  ASSERT_EQ(host.routed.size(), static_cast<std::size_t>(kUnits));
  for (int k = 0; k < kUnits; ++k) {
    EXPECT_EQ(host.routed[static_cast<std::size_t>(k)].data,
              Bytes(510, static_cast<std::uint8_t>(k)));
  }
  TickAt(host.now_tick + 5000);
  EXPECT_TRUE(host.LinesTagged("inside").empty());
  EXPECT_EQ(Slot(0).Comm.Count, 0);
}

TEST_F(SourceIntakeTest, AFullBufferNobodyCanParseIsGivenUpByItsDeadlineAndReadingGoesOn) {
  Bytes junk(10'000);
  for (std::size_t j = 0; j < junk.size(); ++j) junk[j] = static_cast<std::uint8_t>(1 + j % 200);
  ASSERT_TRUE(peer.Send(junk));
  ASSERT_TRUE(TickUntil([&] { return Slot(0).Comm.Count == TReadComm::kCapacity; }));
  EXPECT_TRUE(std::equal(Slot(0).Comm.Data.begin(), Slot(0).Comm.Data.end(), junk.begin()));
  const std::int64_t deadline = Slot(0).Comm.Deadline;

  // The rest waits in the socket: a full buffer takes nothing and keeps its deadline.
  const std::size_t marks = host.MarksOf(status_column::kFirstSource);
  for (int round = 0; round < 20; ++round) TickAt(deadline);
  EXPECT_EQ(Slot(0).Comm.Count, TReadComm::kCapacity);
  EXPECT_EQ(Slot(0).Comm.Deadline, deadline);
  EXPECT_EQ(host.MarksOf(status_column::kFirstSource), marks);

  EXPECT_EQ(host.metrics.sources[0].invalid_discards.load(), 0u);
  TickAt(deadline + 1);
  ASSERT_EQ(host.LinesTagged("inside").size(), 1u);
  EXPECT_EQ(host.metrics.sources[0].invalid_discards.load(), 1u);
  ASSERT_TRUE(TickUntil([&] { return Slot(0).Comm.Count == 10'000 - TReadComm::kCapacity; }));
  EXPECT_TRUE(std::equal(Slot(0).Comm.Held().begin(), Slot(0).Comm.Held().end(),
                         junk.begin() + TReadComm::kCapacity));
  EXPECT_TRUE(host.routed.empty());
}

class TwoSourcesTest : public testing::ReaderHarness {
 protected:
  TwoSourcesTest() {
    a = Connect(0, source_a);
    b = Connect(1, source_b);
    host.SetServerQueue(&server_queue);
  }

  LoopbackListener source_a, source_b;
  LoopbackConnection a, b;
  RawQueue server_queue;
};

TEST_F(TwoSourcesTest, TheSameFeedOnTwoSourcesPassesEachUnitOnce) {
  const Bytes m = Unit(1, 5);
  Deliver(0, a, m);
  EXPECT_EQ(host.routed.size(), 1u);
  Deliver(1, b, m);  // B brings what A just did
  EXPECT_EQ(host.routed.size(), 1u);
  Deliver(0, a, m);  // A repeats itself
  EXPECT_EQ(host.routed.size(), 2u);
  Deliver(1, b, m);  // now B has it among its own
  EXPECT_EQ(host.routed.size(), 3u);

  // The chain server gets each accepted unit exactly as it arrived.
  ASSERT_EQ(server_queue.size(), 3u);
  for (const TRawMsg& entry : server_queue) EXPECT_EQ(entry.Data, m);
}

}  // namespace
}  // namespace trivane
