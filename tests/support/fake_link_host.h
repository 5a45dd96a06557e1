#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/severity.h"
#include "core/daily_log.h"
#include "links/link_host.h"
#include "links/links.h"
#include "links/router.h"
#include "net/connect_thread.h"
#include "net/duplicate_check.h"
#include "net/ip_reader_record.h"
#include "platform/system_text_codec.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace trivane::testing {

struct HostLogLine {
  int link;
  std::string message;
  std::string tag;
  Severity severity = Severity::kInformation;
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
// when the test moves it, and units go through the real router and handlers;
// what they route is recorded, and raw units for the chain server go to the
// queue set with SetServerQueue.
class FakeLinkHost : public LinkHost {
 public:
  FakeLinkHost()
      : files_(dir_ / "Log", clock),
        router_(*this, parts_),
        codepage_(SystemTextCodec::Open(std::string(SystemTextCodec::kDefaultCodePage))) {
    if (!codepage_) throw std::runtime_error("the station code page is not available");
  }

  void OutLog(int link, std::string_view message, std::string_view tag) override {
    log.push_back({link, std::string(message), std::string(tag)});
  }
  void OutError(int link, std::string_view message, std::string_view tag) override {
    log.push_back({link, std::string(message), std::string(tag), Severity::kError});
  }
  void SetLineStatus(int column, LineStatus status) override {
    statuses.push_back({column, status});
  }
  void MarkLastData(int column) override { marks.push_back(column); }
  const TSettings& Settings() const override { return settings; }
  std::int64_t NowTick() const override { return now_tick; }
  std::int64_t GetTick64() override { return now_tick + fresh_tick_lead; }
  TDateTime Now() override { return clock.Now(); }
  void Write_Error(int source, const TReadComm& comm) override { files_.Write_Error(source, comm); }
  void Write_Log(std::uint32_t size, std::uint32_t over, std::uint32_t extra,
                 std::string_view name) override {
    files_.Write_Log(size, over, extra, name);
  }
  const TextCodec& Codepage() const override { return *codepage_; }
  UnitRouter& Router() override { return router_; }
  RelayMetrics& Metrics() override { return metrics; }
  void WakeDriver() override { wakes.fetch_add(1, std::memory_order_relaxed); }

  // The chain server's queue, on: accepted raw source units are copied there.
  void SetServerQueue(RawQueue* queue) {
    settings.DstMode |= kDstServer;
    parts_.server = std::make_unique<FakeServer>(queue);
  }
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
  // WakeDriver calls, from any thread.
  std::atomic<int> wakes{0};
  std::vector<RoutedUnit> routed;
  RelayMetrics metrics;

 private:
  // Every routed message is recorded as it is handed to the destinations.
  class RecordingRouter final : public UnitRouter {
   public:
    RecordingRouter(FakeLinkHost& host, const ControllerParts& parts)
        : UnitRouter(host, parts), host_(host) {}
    void SenderToDest(const Origin& /*origin*/, std::uint16_t type, std::uint16_t num,
                      ByteView data) override {
      host_.routed.push_back({type, num, Bytes(data.begin(), data.end())});
    }

   private:
    FakeLinkHost& host_;
  };
  class FakeServer final : public ServerLink {
   public:
    explicit FakeServer(RawQueue* queue) : queue_(queue) {}
    void Server_Init() override {}
    void Server_Bye() override {}
    void TCPServer_OTick() override {}
    RawQueue* Queue() override { return queue_; }
    void PlanWake(WakePlan& /*plan*/) override {}

   private:
    RawQueue* queue_;
  };

  TempDir dir_;
  DailyLog files_;
  ControllerParts parts_;
  RecordingRouter router_;
  std::unique_ptr<SystemTextCodec> codepage_;
};

}  // namespace trivane::testing
