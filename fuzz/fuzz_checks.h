#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "links/router.h"
#include "protocols/records.h"
#include "support/pipeline_host.h"

namespace trivane::fuzz {

// A violated invariant is a finding: libFuzzer keeps the input that caused it.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "invariant violated: %s\n", what);
  std::abort();
}

inline void Require(bool ok, const char* what) {
  if (!ok) Fail(what);
}

// What every holder of a running reader's buffer relies on: the count fits the
// buffer and nothing stale lingers past it, so a later unit never reads old bytes.
inline void CheckBuffer(const TReadComm& comm) {
  Require(comm.Data.size() == TReadComm::kCapacity, "buffer lost its capacity");
  Require(comm.Count >= 0 && comm.Count <= TReadComm::kCapacity, "Count out of 0..8192");
  Require(std::all_of(comm.Data.begin() + comm.Count, comm.Data.end(),
                      [](std::uint8_t byte) { return byte == 0; }),
          "bytes past Count are not zero");
}

// The bytes a buffer should hold, kept beside it: parsers may only ever remove
// whole units from the front, never reorder, alter or invent held bytes.
class HeldBytes {
 public:
  void Append(ByteView bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }

  void Consume(std::size_t n) {
    Require(n <= bytes_.size() - front_, "more consumed than was held");
    front_ += n;
    if (front_ == bytes_.size()) {
      bytes_.clear();
      front_ = 0;
    }
  }

  void Clear() {
    bytes_.clear();
    front_ = 0;
  }

  std::size_t Size() const { return bytes_.size() - front_; }

  void Check(const TReadComm& comm) const {
    Require(static_cast<std::size_t>(comm.Count) == Size(), "Count disagrees with what was held");
    Require(std::equal(comm.Data.begin(), comm.Data.begin() + comm.Count,
                       bytes_.begin() + static_cast<std::ptrdiff_t>(front_), bytes_.end()),
            "held bytes changed other than by removal from the front");
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t front_ = 0;
};

// One call of a single-unit parser, checked: true took at least one byte,
// false took nothing.
template <typename Parser>
bool CheckedStep(TReadComm& comm, HeldBytes& held, Parser&& parse) {
  const std::int32_t before = comm.Count;
  const bool taken = parse(comm);
  CheckBuffer(comm);
  if (taken) {
    Require(comm.Count < before, "a unit was reported taken but no byte was consumed");
  } else {
    Require(comm.Count == before, "a refused unit consumed bytes");
  }
  held.Consume(static_cast<std::size_t>(before - comm.Count));
  held.Check(comm);
  return taken;
}

// Every routed message reaches the studio and the online queue alike, the online
// copy in its own frame; the chain server holds whole source units as received.
inline void CheckQueues(testing::PipelineHost& host) {
  const MessageQueue& studio = host.StudioQueue();
  const RawQueue& online = host.OnlineQueue();
  Require(studio.size() == online.size(), "studio and online queues differ in length");
  for (std::size_t i = 0; i < studio.size(); ++i) {
    const TCommMsg& msg = studio[i];
    Require(online[i].Data == BuildOnlineFrame(msg.MsgType, msg.MsgNum, msg.Data),
            "online frame does not match the routed message");
  }
  for (const TRawMsg& unit : host.ServerQueue()) {
    Require(!unit.Data.empty(), "empty unit relayed to the chain server");
    const std::uint8_t first = unit.Data.front();
    Require(first == 0x2D || first == 0x4C || first == 0x5A || first == 0xFE,
            "chain server got a unit no parser starts with");
  }
}

// The single-parser targets: the input, cut to the buffer's size, is one
// arrival; the parser runs as long as the dispatcher would keep calling it.
template <typename Parser>
void ParseOneArrival(testing::PipelineHost& host, const std::uint8_t* data, std::size_t size,
                     int first_byte, Parser&& parse) {
  host.Reset();
  TReadComm& comm = host.Comm(0);
  const ByteView input(data, std::min<std::size_t>(size, TReadComm::kCapacity));
  Require(host.Receive(0, input) == input.size(), "an arrival that fits was cut");
  HeldBytes held;
  held.Append(input);
  CheckBuffer(comm);
  held.Check(comm);
  while (comm.Count > 0 && (first_byte < 0 || comm.Data[0] == first_byte) &&
         CheckedStep(comm, held, parse)) {
  }
  CheckQueues(host);
}

}  // namespace trivane::fuzz
