#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "base/formatting.h"
#include "core/event_log.h"
#include "core/log_line.h"
#include "links/router.h"
#include "net/duplicate_check.h"
#include "net/ip_reader_record.h"
#include "platform/system_text_codec.h"
#include "protocols/protocol_handlers.h"
#include "protocols/uecp_codec.h"
#include "protocols/unit_pipeline.h"

namespace trivane::testing {

// The source side of the relay wired as the controller wires it, without
// sockets or a window: four running readers with their caches, the real
// duplicate check and router into all three destination queues, the UECP
// codec's events on the real handlers. Log lines are formatted in full and
// then only counted, so the cost of building them stays in what is measured.
class PipelineHost final : public ProtocolHost {
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
    pending_ = TRegionBlock{.Head1 = 0, .Head2 = 0};
    pending_due_ = 0;
    now_tick_ = kStartTick;
    log_lines_ = 0;
    log_bytes_ = 0;
    file_lines_ = 0;
  }

  void ClearQueues() {
    studio_.clear();
    server_.clear();
    online_.clear();
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
      readers_.ActiveReader = static_cast<std::uint8_t>(reader);
      units = units_.ParseHeldUnits(comm);
    }
    if (comm.Count < 1) comm.Deadline = 0;
    return units;
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
  TUECP& Uecp() { return units_.Codec(); }
  ProtocolHandlers& Handlers() { return units_.Handlers(); }
  MessageQueue& StudioQueue() { return studio_; }
  RawQueue& ServerQueue() { return server_; }
  RawQueue& OnlineQueue() { return online_; }
  std::size_t LogLines() const { return log_lines_; }
  std::size_t LogBytes() const { return log_bytes_; }
  std::size_t FileLines() const { return file_lines_; }

  // ProtocolHost
  void OutLog(int link, std::string_view message, std::string_view tag) override {
    const LogEntry entry{kLogTime, link, std::string(message), std::string(tag)};
    log_bytes_ += LogEntryLine(entry).size();
    ++log_lines_;
  }
  int ActiveReader() const override { return readers_.ActiveReader; }
  bool IPReader_NoDouble_Data(ByteView unit) override {
    return trivane::IPReader_NoDouble_Data(readers_, unit, &server_);
  }
  void SenderToDest(std::uint16_t msg_type, std::uint16_t msg_num, ByteView data) override {
    trivane::SenderToDest(settings_, DestinationQueues{&studio_, &server_, &online_}, msg_type,
                          msg_num, data);
  }
  void Write_Log(std::uint32_t, std::uint32_t, std::uint32_t, std::string_view) override {
    ++file_lines_;
  }
  TSettings& Settings() override { return settings_; }
  std::int64_t NowTick() const override { return now_tick_; }
  TRegionBlock& PendingBlock() override { return pending_; }
  std::int64_t& PendingBlockDue() override { return pending_due_; }
  const TextCodec& Codepage() const override { return *codepage_; }

 private:
  static constexpr TDateTime kLogTime = 45634.5;

  std::unique_ptr<SystemTextCodec> codepage_;
  TSettings settings_;
  tIPReader readers_;
  MessageQueue studio_;
  RawQueue server_;
  RawQueue online_;
  TRegionBlock pending_;
  std::int64_t pending_due_ = 0;
  std::int64_t now_tick_ = kStartTick;
  std::size_t log_lines_ = 0;
  std::size_t log_bytes_ = 0;
  std::size_t file_lines_ = 0;
  UnitPipeline units_{*this};
};

}  // namespace trivane::testing
