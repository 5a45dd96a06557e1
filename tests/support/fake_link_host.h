#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/daily_log.h"
#include "links/link_host.h"
#include "net/connect_thread.h"
#include "net/duplicate_check.h"
#include "net/ip_reader_record.h"
#include "platform/system_text_codec.h"
#include "protocols/protocol_host.h"
#include "protocols/unit_pipeline.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace trivane::testing {

struct HostLogLine {
  int link;
  std::string message;
  std::string tag;
};

struct StatusCall {
  int column;
  LineStatus status;
};

struct RoutedUnit {
  std::uint16_t type;
  std::uint16_t num;
  Bytes data;
};

// Polls until done() holds or the limit passes; true when it held.
template <typename Predicate>
bool WaitFor(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(3)) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// A finished attempt can then be collected by the next tick, deterministically.
inline bool WaitConnectorDone(const std::unique_ptr<TConnectThread>& connector,
                              std::chrono::milliseconds limit = std::chrono::seconds(3)) {
  return connector && WaitFor([&] { return connector->Done(); }, limit);
}

// The controller as one link sees it: every report is recorded, time moves only
// when the test moves it, and source units go through the real parsers and the
// real duplicate check of the readers under test (set them with SetReaders).
class FakeLinkHost : public LinkHost {
 public:
  FakeLinkHost()
      : files_(dir_ / "Log", clock),
        protocol_(*this),
        units_(protocol_),
        codepage_(SystemTextCodec::Open(std::string(SystemTextCodec::kDefaultCodePage))) {
    if (!codepage_) throw std::runtime_error("the station code page is not available");
  }

  void OutLog(int link, std::string_view message, std::string_view tag) override {
    log.push_back({link, std::string(message), std::string(tag)});
  }
  void SetLineStatus(int column, LineStatus status) override {
    statuses.push_back({column, status});
  }
  void MarkLastData(int column) override { marks.push_back(column); }
  TSettings& Settings() override { return settings; }
  std::int64_t NowTick() const override { return now_tick; }
  std::int64_t GetTick64() override { return now_tick + fresh_tick_lead; }
  TDateTime Now() override { return clock.Now(); }
  void Write_Error(int source, const TReadComm& comm) override { files_.Write_Error(source, comm); }
  void ParseHeldUnits(TReadComm& comm) override { units_.ParseHeldUnits(comm); }
  ProtocolHandlers& Handlers() override { return units_.Handlers(); }
  RelayMetrics& Metrics() override { return metrics; }

  void SetReaders(tIPReader* readers) { readers_ = readers; }
  void SetServerQueue(RawQueue* queue) { server_queue_ = queue; }
  void Advance(std::int64_t ms) { now_tick += ms; }

  std::vector<HostLogLine> LinesTagged(std::string_view tag) const {
    std::vector<HostLogLine> out;
    std::copy_if(log.begin(), log.end(), std::back_inserter(out),
                 [&](const HostLogLine& line) { return line.tag == tag; });
    return out;
  }
  std::vector<LineStatus> StatusesOf(int column) const {
    std::vector<LineStatus> out;
    for (const StatusCall& call : statuses) {
      if (call.column == column) out.push_back(call.status);
    }
    return out;
  }
  std::size_t MarksOf(int column) const {
    return static_cast<std::size_t>(std::count(marks.begin(), marks.end(), column));
  }
  std::filesystem::path DailyFile() const { return dir_ / "Log" / "24-12-08.txt"; }

  TSettings settings;
  FakeClock clock;  // wall clock for the daily file: 8 December 2024, 12:00
  std::int64_t now_tick = 1'000'000;
  // How far a fresh tick reading runs ahead of the tick sampled for the round.
  std::int64_t fresh_tick_lead = 0;
  std::vector<HostLogLine> log;
  std::vector<StatusCall> statuses;
  std::vector<int> marks;
  std::vector<RoutedUnit> routed;
  RelayMetrics metrics;

 private:
  // What the protocol handlers reach, answered from the same recorded state.
  class Protocol : public ProtocolHost {
   public:
    explicit Protocol(FakeLinkHost& host) : host_(host) {}
    void OutLog(int link, std::string_view message, std::string_view tag) override {
      host_.OutLog(link, message, tag);
    }
    int ActiveReader() const override { return host_.readers_ ? host_.readers_->ActiveReader : 0; }
    bool IPReader_NoDouble_Data(ByteView unit) override {
      if (host_.readers_ == nullptr) return true;
      return trivane::IPReader_NoDouble_Data(*host_.readers_, unit, host_.server_queue_);
    }
    void SenderToDest(std::uint16_t type, std::uint16_t num, ByteView data) override {
      host_.routed.push_back({type, num, Bytes(data.begin(), data.end())});
    }
    void Write_Log(std::uint32_t size, std::uint32_t over, std::uint32_t extra,
                   std::string_view name) override {
      host_.files_.Write_Log(size, over, extra, name);
    }
    TSettings& Settings() override { return host_.settings; }
    std::int64_t NowTick() const override { return host_.now_tick; }
    TRegionBlock& PendingBlock() override { return pending_; }
    std::int64_t& PendingBlockDue() override { return pending_due_; }
    const TextCodec& Codepage() const override { return *host_.codepage_; }

   private:
    FakeLinkHost& host_;
    TRegionBlock pending_{.Head1 = 0, .Head2 = 0};
    std::int64_t pending_due_ = 0;
  };

  TempDir dir_;
  DailyLog files_;
  Protocol protocol_;
  UnitPipeline units_;
  std::unique_ptr<SystemTextCodec> codepage_;
  tIPReader* readers_ = nullptr;
  RawQueue* server_queue_ = nullptr;
};

}  // namespace trivane::testing
