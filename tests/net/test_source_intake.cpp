#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

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

// Junk that nothing parses: its first byte starts no unit, so the buffer it
// fills is stuck for good.
Bytes Junk(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  Bytes junk(size);
  for (std::uint8_t& byte : junk) byte = static_cast<std::uint8_t>(random());
  junk[0] = 0x01;
  return junk;
}

// Sizes of the discards the daily file holds, in order.
std::vector<std::size_t> DiscardSizes(const std::string& daily) {
  std::vector<std::size_t> sizes;
  for (std::size_t at = daily.find("Data ("); at != std::string::npos;
       at = daily.find("Data (", at + 1)) {
    sizes.push_back(std::stoul(daily.substr(at + 6)));
  }
  return sizes;
}

class StuckBufferTest : public SourceIntakeTest {
 protected:
  // Ticks every 10 ms of the clock until `until`, noting when a discard came.
  void TickThrough(std::int64_t until) {
    while (host.now_tick < until) {
      TickAt(host.now_tick + 10);
      if (host.LinesTagged("inside").size() > discard_ticks.size()) {
        discard_ticks.push_back(host.now_tick);
      }
    }
  }
  // Every byte sent so far has been read: kept, or dropped on arrival.
  bool AllRead(std::size_t sent) {
    const auto dropped = host.metrics.sources[0].dropped_bytes.load();
    std::size_t kept = static_cast<std::size_t>(Slot(0).Comm.Count);
    for (const std::size_t size : DiscardSizes(testing::ReadFileBytes(host.DailyFile()))) {
      kept += size;
    }
    return kept + dropped == sent;
  }

  std::vector<std::int64_t> discard_ticks;
};

TEST_F(StuckBufferTest, JunkThatKeepsComingIsDroppedOnArrivalAndTheUnitsAfterItPass) {
  // 128 KiB of junk spread over 2.5 s, then a pause of 1.4 s, then units.
  const Bytes junk = Junk(128 * 1024, 7);
  constexpr std::size_t kPieces = 25;
  const std::size_t piece = junk.size() / kPieces + 1;
  std::size_t sent = 0;
  std::int64_t deadline_while_full = 0;
  std::size_t discards_then = 0;
  for (std::size_t at = 0; at < junk.size(); at += piece) {
    const std::size_t size = std::min(piece, junk.size() - at);
    ASSERT_TRUE(peer.Send(ByteView(junk).subspan(at, size)));
    sent += size;
    ASSERT_TRUE(TickUntil([&] { return AllRead(sent); }));
    // An arrival dropped by a full buffer does not move its deadline.
    const bool full = Slot(0).Comm.Count == TReadComm::kCapacity;
    if (full && deadline_while_full != 0 && discards_then == discard_ticks.size()) {
      EXPECT_EQ(Slot(0).Comm.Deadline, deadline_while_full);
    }
    deadline_while_full = full ? Slot(0).Comm.Deadline : 0;
    discards_then = discard_ticks.size();
    TickThrough(host.now_tick + 100);
  }
  const std::int64_t last_kept = Slot(0).Comm.Deadline - 1000;
  ASSERT_GT(Slot(0).Comm.Count, 0);
  TickAt(last_kept + 1000);
  const std::size_t before_last = discard_ticks.size();
  TickAt(last_kept + 1001);
  EXPECT_EQ(host.LinesTagged("inside").size(), before_last + 1);
  for (std::size_t k = 1; k < discard_ticks.size(); ++k) {
    EXPECT_GE(discard_ticks[k] - discard_ticks[k - 1], 1000) << k;
  }

  // Every discard but the last held a whole buffer, and nothing was read twice.
  const std::vector<std::size_t> sizes = DiscardSizes(testing::ReadFileBytes(host.DailyFile()));
  ASSERT_GE(sizes.size(), 2u);
  for (std::size_t k = 0; k + 1 < sizes.size(); ++k) EXPECT_EQ(sizes[k], TReadComm::kCapacity);
  EXPECT_TRUE(AllRead(sent));
  EXPECT_GT(host.metrics.sources[0].dropped_bytes.load(), 0u);

  TickThrough(host.now_tick + 400);
  std::vector<Bytes> units;
  for (std::uint8_t k = 0; k < 12; ++k) units.push_back(Unit(1, k));
  for (const Bytes& unit : units) ASSERT_TRUE(peer.Send(unit));
  ASSERT_TRUE(TickUntil([&] { return host.routed.size() >= units.size(); }));
  ASSERT_EQ(host.routed.size(), units.size());
  for (std::uint8_t k = 0; k < 12; ++k) EXPECT_EQ(host.routed[k].data[0], k);
}

TEST_F(StuckBufferTest, AnOversizeUnitCostsOneDiscardAndAWholeBufferUnitStillPasses) {
  // A header claiming 65535 bytes, and 100 KB behind it.
  Bytes oversize{'L', '3', 0, 0, 0xFF, 0xFF, 1, 0, 1, 0};
  oversize.resize(10 + 100'000, 0x55);
  ASSERT_TRUE(peer.Send(oversize));
  ASSERT_TRUE(TickUntil([&] { return AllRead(oversize.size()); }));
  EXPECT_EQ(host.metrics.sources[0].dropped_bytes.load(), oversize.size() - TReadComm::kCapacity);
  TickThrough(host.now_tick + 1500);
  EXPECT_EQ(DiscardSizes(testing::ReadFileBytes(host.DailyFile())),
            std::vector<std::size_t>{TReadComm::kCapacity});

  // A unit of exactly the buffer's size, between two small ones.
  const Bytes whole = BuildVl3Frame(1, 2, Bytes(TReadComm::kCapacity - 10, 0x77));
  ASSERT_EQ(whole.size(), TReadComm::kCapacity);
  ASSERT_TRUE(peer.Send(Concat({Unit(1, 1), whole, Unit(1, 3)})));
  ASSERT_TRUE(TickUntil([&] { return host.routed.size() >= 3; }));
  ASSERT_EQ(host.routed.size(), 3u);
  EXPECT_EQ(host.routed[1].num, 2);
  EXPECT_EQ(host.routed[1].data.size(), TReadComm::kCapacity - 10);
  EXPECT_EQ(host.routed[2].data[0], 3);
  TickThrough(host.now_tick + 1500);
  EXPECT_EQ(host.LinesTagged("inside").size(), 1u);
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
