#include <array>

#include "fuzz_checks.h"

namespace {

using trivane::ByteView;
using trivane::TReadComm;
using trivane::fuzz::CheckBuffer;
using trivane::fuzz::HeldBytes;
using trivane::fuzz::Require;
using trivane::testing::PipelineHost;

constexpr int kReaders = 4;
constexpr std::int64_t kTickMs = 10;

// Input: a seed byte that shapes the arrivals, a byte that assigns them to
// readers (two bits per arrival, cycling), then the bytes the sources send.
// The seed cuts the stream into arrivals as TCP would: mostly small pieces that
// split units, sometimes all that is left at once (which can overflow the
// buffer), and now and then a silence long enough for held bytes to be given up.
class Arrivals {
 public:
  explicit Arrivals(std::uint8_t seed) : state_(0x9E3779B9u ^ seed) {}

  struct Next {
    std::size_t size;
    bool silence_after;
  };

  Next Draw(std::size_t left) {
    const std::uint32_t r = Step();
    std::size_t size = left;
    switch ((r >> 8) & 7) {
      case 0:
        break;
      case 1:
      case 2:
      case 3:
        size = 1 + r % 8;
        break;
      default:
        size = 1 + r % 256;
        break;
    }
    return {std::min(size, left), ((r >> 16) & 15) == 0};
  }

 private:
  std::uint32_t Step() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }

  std::uint32_t state_;
};

// One tick's intake pass over every reader, checked against what each holds.
// A reader with nothing new is not parsed and needs only the cheap checks.
void ParseAll(PipelineHost& host, std::array<HeldBytes, kReaders>& held) {
  for (int i = 0; i < kReaders; ++i) {
    const TReadComm& comm = host.Comm(i);
    const std::int32_t before = comm.Count;
    const bool parsed = comm.Count > 0 && comm.NewData;
    const int units = host.Parse(i);
    Require(comm.Count >= 0 && comm.Count <= before, "parsing grew the buffer");
    // Every unit taken consumed at least one byte; no unit, no bytes.
    Require(before - comm.Count >= units, "a unit was reported taken but no byte was consumed");
    if (units == 0) Require(comm.Count == before, "bytes vanished while no unit was taken");
    if (parsed) {
      CheckBuffer(comm);
      held[i].Consume(static_cast<std::size_t>(before - comm.Count));
      held[i].Check(comm);
    }
    if (host.DiscardStale(i)) {
      held[i].Clear();
      CheckBuffer(comm);
      Require(comm.Count == 0, "a discarded buffer still holds bytes");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static PipelineHost host;
  host.Reset();
  const std::uint8_t seed = size > 0 ? data[0] : 0;
  const std::uint8_t schedule = size > 1 ? data[1] : 0;
  const ByteView stream = size > 2 ? ByteView(data + 2, size - 2) : ByteView();

  Arrivals arrivals(seed);
  std::array<HeldBytes, kReaders> held;
  std::size_t at = 0;
  for (unsigned k = 0; at < stream.size(); ++k) {
    const auto next = arrivals.Draw(stream.size() - at);
    const ByteView arrival = stream.subspan(at, next.size);
    at += next.size;

    const int reader = (schedule >> (2 * (k % 4))) & 3;
    const auto room = static_cast<std::size_t>(TReadComm::kCapacity - host.Comm(reader).Count);
    const std::size_t kept = host.Receive(reader, arrival);
    Require(kept == std::min(arrival.size(), room), "an arrival was not cut at the capacity");
    held[reader].Append(arrival.first(kept));
    CheckBuffer(host.Comm(reader));
    held[reader].Check(host.Comm(reader));

    ParseAll(host, held);
    host.Advance(next.silence_after ? PipelineHost::kDiscardAfterMs + kTickMs : kTickMs);
  }

  // The sources fall silent: whatever is left is given up on the next ticks.
  host.Advance(PipelineHost::kDiscardAfterMs + kTickMs);
  ParseAll(host, held);
  for (int i = 0; i < kReaders; ++i) Require(host.Comm(i).Count == 0, "bytes outlived silence");
  trivane::fuzz::CheckQueues(host);
  return 0;
}
