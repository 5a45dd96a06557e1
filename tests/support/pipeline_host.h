#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/formatting.h"
#include "core/event_log.h"
#include "core/log_line.h"
#include "links/link_host.h"
#include "links/links.h"
#include "links/router.h"
#include "net/duplicate_check.h"
#include "net/ip_reader_record.h"
#include "platform/system_text_codec.h"
#include "protocols/held_unit.h"
#include "protocols/uecp_codec.h"
#include "protocols/vl2_frame.h"
#include "protocols/vl3_frame.h"
#include "support/queue_links.h"

namespace trivane::testing {

// The source side of the relay wired as the controller wires it, without
// sockets or a window: four running readers with their caches, the intake's
// cut, the real duplicate check and the real router into all three
// destination queues. Log lines are formatted in full and then only counted,
// so the cost of building them stays in what is measured.
class PipelineHost final : public LinkHost {
 public:
  static constexpr std::int64_t kDiscardAfterMs = 1000;
  static constexpr std::int64_t kStartTick = 100'000;

  PipelineHost()
      : codepage_(SystemTextCodec::Open(std::string(SystemTextCodec::kDefaultCodePage))) {
    if (!codepage_) throw std::runtime_error("the station code page is not available");
    settings_.SrcMode = kSrcTcp;
    settings_.DstMode = kDstStudio | kDstServer | kDstOnline;
    Reset();
  }

  PipelineHost(const PipelineHost&) = delete;
  PipelineHost& operator=(const PipelineHost&) = delete;

  // Back to a fresh start: empty buffers, caches and queues, nothing pending.
  void Reset() {
    for (tIP1Reader& reader : readers_.Readers) {
      reader.Comm = TReadComm{};
      reader.Comm.Data.assign(TReadComm::kCapacity, 0);
      reader.Cache.emplace();
    }
    readers_.ActiveReader = 0;
    ClearQueues();
    router_.Pending() = PendingRegionBlock{};
    now_tick_ = kStartTick;
    log_lines_ = 0;
    log_bytes_ = 0;
    file_lines_ = 0;
  }

  void ClearQueues() {
    StudioQueue().clear();
    ServerQueue().clear();
    OnlineQueue().clear();
  }

  // One arrival on a reader, stored as the intake stores it: whatever does not
  // fit the buffer is dropped, and an arrival with no room changes nothing.
  // Returns the number of bytes kept.
  std::size_t Receive(int reader, ByteView bytes) {
    TReadComm& comm = Comm(reader);
    const auto n = static_cast<std::int64_t>(bytes.size());
    std::int64_t m = n;
    if (comm.Count + n > TReadComm::kCapacity - 1) m = TReadComm::kCapacity - comm.Count;
    if (m <= 0) return 0;
    std::copy_n(bytes.begin(), m, comm.Data.begin() + comm.Count);
    comm.Count += static_cast<std::int32_t>(m);
    comm.Deadline = now_tick_ + kDiscardAfterMs;
    comm.NewData = true;
    return static_cast<std::size_t>(m);
  }

  // The intake's parse step for one reader; returns the units taken.
  int Parse(int reader) {
    TReadComm& comm = Comm(reader);
    int units = 0;
    if (comm.Count > 0 && comm.NewData) {
      comm.NewData = false;
      while (TakeFront(reader, CutUnit)) ++units;
    }
    if (comm.Count < 1) comm.Deadline = 0;
    return units;
  }

  // One unit from the front of a reader's buffer as the intake takes it, cut
  // by `cut` (the intake's CutUnit, or one framer alone): through the
  // duplicate check to the router, then removed. False when nothing was cut.
  template <typename Cut>
  bool TakeFront(int reader, Cut&& cut) {
    TReadComm& comm = Comm(reader);
    const std::optional<HeldUnit> unit = cut(comm.Held());
    if (!unit) return false;
    readers_.ActiveReader = static_cast<std::uint8_t>(reader);
    const bool accepted = IPReader_NoDouble_Data(readers_, unit->bytes);
    router_.TakeSourceUnit(reader, *unit, accepted);
    ConsumeFront(comm, static_cast<std::int32_t>(unit->bytes.size()));
    return true;
  }

  // Gives up bytes nobody could parse once their deadline has passed, logging
  // it as the intake does. True when the buffer was discarded.
  bool DiscardStale(int reader) {
    TReadComm& comm = Comm(reader);
    if (comm.Deadline <= 0 || comm.Deadline >= now_tick_) return false;
    OutLog(reader, "Clear invalid data", "inside");
    std::fill(comm.Data.begin(), comm.Data.end(), std::uint8_t{0});
    comm.Count = 0;
    comm.Deadline = 0;
    return true;
  }

  void Advance(std::int64_t ms) { now_tick_ += ms; }

  // Direct access for harnesses that drive a single parser.
  TReadComm& Comm(int reader) { return readers_.Readers.at(static_cast<std::size_t>(reader)).Comm; }
  tIPReader& Readers() { return readers_; }
  PendingRegionBlock& Pending() { return router_.Pending(); }
  MessageQueue& StudioQueue() { return *parts_.studio->Studio_Queue(); }
  RawQueue& ServerQueue() { return *parts_.server->Queue(); }
  RawQueue& OnlineQueue() { return *parts_.online->Queue(); }
  std::size_t LogLines() const { return log_lines_; }
  std::size_t LogBytes() const { return log_bytes_; }
  std::size_t FileLines() const { return file_lines_; }

  // LinkHost
  void OutLog(int link, std::string_view message, std::string_view tag) override {
    const LogEntry entry{kLogTime, link, std::string(message), std::string(tag)};
    log_bytes_ += LogEntryLine(entry).size();
    ++log_lines_;
  }
  void OutError(int link, std::string_view message, std::string_view tag) override {
    OutLog(link, message, tag);
  }
  void SetLineStatus(int, LineStatus) override {}
  void MarkLastData(int) override {}
  const TSettings& Settings() const override { return settings_; }
  std::int64_t NowTick() const override { return now_tick_; }
  std::int64_t GetTick64() override { return now_tick_; }
  TDateTime Now() override { return kLogTime; }
  void Write_Error(int, const TReadComm&) override { ++file_lines_; }
  void Write_Log(std::uint32_t, std::uint32_t, std::uint32_t, std::string_view) override {
    ++file_lines_;
  }
  const TextCodec& Codepage() const override { return *codepage_; }
  UnitRouter& Router() override { return router_; }
  RelayMetrics& Metrics() override { return metrics_; }
  void WakeDriver() override { wakes.fetch_add(1, std::memory_order_relaxed); }

 private:
  static constexpr TDateTime kLogTime = 45634.5;

  std::unique_ptr<SystemTextCodec> codepage_;
  TSettings settings_;
  tIPReader readers_;
  ControllerParts parts_ = QueueDestinations();
  UnitRouter router_{*this, parts_};
  RelayMetrics metrics_;
  std::atomic<int> wakes{0};
  std::int64_t now_tick_ = kStartTick;
  std::size_t log_lines_ = 0;
  std::size_t log_bytes_ = 0;
  std::size_t file_lines_ = 0;
};

// The framers alone, each as the unit kind it cuts, for targets that drive one.
inline std::optional<HeldUnit> CutAs(UnitKind kind, std::optional<std::size_t> size,
                                     ByteView held) {
  if (!size) return std::nullopt;
  return HeldUnit{kind, held.first(*size)};
}
inline std::optional<HeldUnit> CutUecpFrame(ByteView held) {
  return CutAs(UnitKind::kUecpFrame, UecpFrameSize(held), held);
}
inline std::optional<HeldUnit> CutUecpElement(ByteView held) {
  return CutAs(UnitKind::kUecpElement, UecpElementSize(held), held);
}
inline std::optional<HeldUnit> CutVl3(ByteView held) {
  return CutAs(UnitKind::kVl3, Vl3FrameSize(held), held);
}
inline std::optional<HeldUnit> CutVl2(ByteView held) {
  return CutAs(UnitKind::kVl2, Vl2FrameSize(held), held);
}

}  // namespace trivane::testing
