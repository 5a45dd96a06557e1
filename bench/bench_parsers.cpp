#include <benchmark/benchmark.h>

#include <numeric>
#include <string>

#include "net/router.h"
#include "protocols/uecp_codec.h"
#include "support/pipeline_host.h"

namespace trivane {
namespace {

using testing::PipelineHost;

const std::string kTitleCp1251 = "\xD0\xE5\xEA\xEB\xE0\xEC\xED\xFB\xE9 \xE1\xEB\xEE\xEA";

Bytes Join(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

// As an encoder sends it: address, sequence, CRC high byte first, stuffing between STA and STP.
Bytes UecpFrame(const Bytes& msg) {
  Bytes body = Join({0x00, 0x01, 0x00, static_cast<std::uint8_t>(msg.size())}, msg);
  const std::uint16_t crc = UecpCrc(body);
  body.push_back(static_cast<std::uint8_t>(crc >> 8));
  body.push_back(static_cast<std::uint8_t>(crc));
  Bytes wire{0xFE};
  for (const std::uint8_t byte : body) {
    if (byte >= 0xFD) wire.push_back(0xFD);
    wire.push_back(byte >= 0xFD ? static_cast<std::uint8_t>(byte - 0xFD) : byte);
  }
  wire.push_back(0xFF);
  return wire;
}

// A full 64-character radiotext.
Bytes RadiotextFrame() {
  const std::string text = "Veltora FM - News at ten, then the late show with the night desk.";
  Bytes msg{0x0A, 0x00, 0x00, static_cast<std::uint8_t>(64 + 1), 0x00};
  msg.insert(msg.end(), text.begin(), text.begin() + 64);
  return UecpFrame(msg);
}

// "Dn" "s": a region block of 60 s with 120 s over, due in 2 s.
Bytes BlockElement() {
  Bytes payload(21, 0);
  auto put = [&payload](std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) payload[at + i] = static_cast<std::uint8_t>(value >> 8 * i);
  };
  put(1, 2000);
  put(13, 60000);
  put(17, 120000);
  return Join({0x2D, 0x18, 0x44, 0x6E, 0x73}, payload);
}

Bytes Vl2Notice() {
  Bytes frame{0x5A, 0xA5, 0x65};
  AppendU16(frame, static_cast<std::uint16_t>(8 + kTitleCp1251.size()));
  frame.insert(frame.end(), 5, 0x00);
  AppendF64(frame, 30.5);
  frame.insert(frame.end(), kTitleCp1251.begin(), kTitleCp1251.end());
  return frame;
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
      [](PipelineHost& host, TReadComm& comm) { return host.Uecp().ExtractFrame(comm); },
      [](PipelineHost& host, std::size_t n) { return host.LogLines() == n; });
}

void UecpDrcpBlockElement(benchmark::State& state) {
  ParseOneUnit(
      state, BlockElement(),
      [](PipelineHost& host, TReadComm& comm) { return host.Uecp().ExtractBareElement(comm); },
      [](PipelineHost& host, std::size_t) {
        return host.PendingBlock().Size == 60000 && host.PendingBlockDue() != 0;
      });
}

void Vl3RegionBlock(benchmark::State& state) {
  const Bytes payload = TRegionBlock{.Size = 60000, .Over = 120000}.Encode();
  ParseOneUnit(
      state, BuildVl3Frame(kOwnMsgType, msg_num::kRegionBlock, payload),
      [](PipelineHost& host, TReadComm& comm) { return host.Handlers().VL3_COMMExec(comm); },
      [](PipelineHost& host, std::size_t n) {
        return host.FileLines() == n && host.LogLines() == n;
      });
}

void Vl2BlockNotice(benchmark::State& state) {
  ParseOneUnit(
      state, Vl2Notice(),
      [](PipelineHost& host, TReadComm& comm) { return host.Handlers().VL2_COMMExec(comm); },
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
