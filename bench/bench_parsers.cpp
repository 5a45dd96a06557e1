#include <benchmark/benchmark.h>

#include <numeric>
#include <string>

#include "links/router.h"
#include "protocols/uecp_codec.h"
#include "support/fake_protocol_host.h"
#include "support/pipeline_host.h"
#include "tools/unit_builders.h"

namespace trivane {
namespace {

using testing::PipelineHost;

// A full 64-character radiotext.
Bytes RadiotextFrame() {
  const std::string text = "Veltora FM - News at ten, then the late show with the night desk.";
  return *BuildUecpFrame(*sim::RadiotextElement(text.substr(0, 64)));
}

// "Dn" "s": a region block of 60 s with 120 s over, due in 2 s.
Bytes BlockElement() {
  return sim::DrcpBlockElement(2000, 60000, 120000);
}

// An "A" notice of 30.5 s with a Cyrillic title.
Bytes Vl2Notice() {
  return *BuildVl2Frame(0x65, 30.5, testing::kTitleCp1251);
}

// One unit stored and taken again and again by one parser, with the real
// handlers, duplicate check and router behind it. The queues it fills are
// emptied inside the timing, as the links would drain them, so the
// measurement includes freeing what the unit queued.
template <typename Parser, typename Done>
void ParseOneUnit(benchmark::State& state, const Bytes& unit, Parser parse, Done done) {
  PipelineHost host;
  TReadComm& comm = host.Comm(0);
  for (auto _ : state) {
    host.Receive(0, unit);
    const bool taken = parse(host, comm);
    host.ClearQueues();
    if (!taken || comm.Count != 0) {
      state.SkipWithError("the unit was not taken whole");
      return;
    }
  }
  // The work measured is the work wanted: each unit reached its handler.
  if (!done(host, static_cast<std::size_t>(state.iterations()))) {
    state.SkipWithError("the handler did not act on every unit");
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(unit.size()));
}

void UecpCrc256(benchmark::State& state) {
  Bytes bytes(256);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
  for (auto _ : state) {
    benchmark::DoNotOptimize(bytes.data());
    benchmark::DoNotOptimize(UecpCrc(bytes));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

void UecpRadiotextFrame(benchmark::State& state) {
  ParseOneUnit(
      state, RadiotextFrame(),
      [](PipelineHost& host, TReadComm&) {
        return host.TakeFront(0, trivane::testing::CutUecpFrame);
      },
      [](PipelineHost& host, std::size_t n) { return host.LogLines() == n; });
}

void UecpDrcpBlockElement(benchmark::State& state) {
  ParseOneUnit(
      state, BlockElement(),
      [](PipelineHost& host, TReadComm&) {
        return host.TakeFront(0, trivane::testing::CutUecpElement);
      },
      [](PipelineHost& host, std::size_t) {
        return host.Pending().Block().Size == 60000 && host.Pending().DueTick() != 0;
      });
}

void Vl3RegionBlock(benchmark::State& state) {
  const Bytes payload = TRegionBlock{.Size = 60000, .Over = 120000}.Encode();
  ParseOneUnit(
      state, BuildVl3Frame(kOwnMsgType, msg_num::kRegionBlock, payload),
      [](PipelineHost& host, TReadComm&) { return host.TakeFront(0, trivane::testing::CutVl3); },
      [](PipelineHost& host, std::size_t n) {
        return host.FileLines() == n && host.LogLines() == n;
      });
}

void Vl2BlockNotice(benchmark::State& state) {
  ParseOneUnit(
      state, Vl2Notice(),
      [](PipelineHost& host, TReadComm&) { return host.TakeFront(0, trivane::testing::CutVl2); },
      [](PipelineHost& host, std::size_t n) { return host.LogLines() == n; });
}

// The most units one buffer can hold: 819 distinct 10-byte VL3 frames and the
// first two bytes of the next, parsed in one pass, every unit checked against
// four full caches, accepted, queued for all three destinations and logged.
// Refilling the buffer and emptying caches and queues happen with the timer
// paused; that pause costs about a microsecond against a pass of hundreds.
void WorstTick(benchmark::State& state) {
  constexpr std::size_t kFrames = TReadComm::kCapacity / kVl3HeaderSize;
  Bytes buffer;
  buffer.reserve(TReadComm::kCapacity);
  for (std::size_t i = 0; i < kFrames; ++i) {
    const Bytes frame = BuildVl3Frame(kOwnMsgType, static_cast<std::uint16_t>(16 + i), {});
    buffer.insert(buffer.end(), frame.begin(), frame.end());
  }
  buffer.push_back(0x4C);
  buffer.push_back(0x33);

  PipelineHost host;
  tIPReader& readers = host.Readers();
  // The other sources' caches are full of units of the same size that differ
  // late, so no comparison ends early.
  for (std::size_t r = 1; r < readers.Readers.size(); ++r) {
    for (std::size_t k = 0; k < kCachedUnits; ++k) {
      readers.Readers[r].Cache->push_back(TRawMsg{
          BuildVl3Frame(static_cast<std::uint16_t>(2 + r), static_cast<std::uint16_t>(k), {})});
    }
  }

  int units = 0;
  for (auto _ : state) {
    state.PauseTiming();
    host.ClearQueues();
    readers.Readers[0].Cache->clear();
    ConsumeFront(host.Comm(0), host.Comm(0).Count);
    host.Receive(0, buffer);
    state.ResumeTiming();

    units = host.Parse(0);
  }
  if (units != static_cast<int>(kFrames) || host.StudioQueue().size() != kFrames ||
      host.ServerQueue().size() != kFrames || host.OnlineQueue().size() != kFrames) {
    state.SkipWithError("not every unit was taken and queued for all three destinations");
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kFrames));
}

BENCHMARK(UecpCrc256);
BENCHMARK(UecpRadiotextFrame);
BENCHMARK(UecpDrcpBlockElement);
BENCHMARK(Vl3RegionBlock);
BENCHMARK(Vl2BlockNotice);
BENCHMARK(WorstTick)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace trivane

BENCHMARK_MAIN();
