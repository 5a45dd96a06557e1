// The controller's own tick, timed from inside: the real links on loopback,
// one source sending VL3 frames at 50 per second, a chain peer that reads, and
// an online server that logs the relay in and then reads, or does not. Each
// OnTimer is timed; the two runs are printed side by side.
//
//   trivane_tick_bench [SECONDS]     (default 15 per run)

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "core/controller.h"
#include "links/router.h"
#include "net/internal_server.h"
#include "net/ip_readers.h"
#include "net/online_uplink.h"
#include "platform/iconv_text_codec.h"
#include "platform/system_clock.h"
#include "support/loopback_peer.h"
#include "support/temp_dir.h"

namespace trivane {
namespace {

using Steady = std::chrono::steady_clock;
using std::chrono::milliseconds;

class NullView final : public ControllerView {
 public:
  void SetCaption(const std::string&) override {}
  void SetTrayHint(const std::string&) override {}
  void ShowTrayIcon(bool) override {}
  void MinimizeApplication() override {}
  void ShowCloseDialog(bool) override {}
  void ShowTestPanel(bool) override {}
  void RequestClose() override { closed = true; }
  bool closed = false;
};

constexpr std::size_t kPayload = 510;  // 520-byte frames

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Steady::now().time_since_epoch())
      .count();
}

// The payload carries the moment it was sent, so the chain peer can tell the
// latency of each frame.
Bytes StampedFrame(std::uint32_t number) {
  Bytes payload(kPayload, static_cast<std::uint8_t>(number));
  const std::int64_t sent = NowNs();
  for (int i = 0; i < 8; ++i) payload[i] = static_cast<std::uint8_t>(sent >> (8 * i));
  for (int i = 0; i < 4; ++i) payload[8 + i] = static_cast<std::uint8_t>(number >> (8 * i));
  return BuildVl3Frame(1, 1, payload);
}

struct Figures {
  std::vector<double> tick_ms;
  std::vector<double> latency_ms;
  int sent = 0;
};

double Percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
  return values[at];
}

Figures Run(bool online_reads, int seconds) {
  testing::TempDir dir;
  testing::LoopbackListener source;
  testing::LoopbackListener online(0, 4096);
  const std::uint16_t chain_port = testing::ClosedPort();
  testing::WriteFileBytes(
      dir / "bench.ini",
      "[Settings]\r\nSrcMode=1\r\nDstMode=6\r\nSrcIP=127.0.0.1:" + std::to_string(source.Port()) +
          "\r\nServerPort=" + std::to_string(chain_port) +
          "\r\nOnlineIP=127.0.0.1:" + std::to_string(online.Port()) + ":pw\r\n");

  SystemClock clock;
  NullView view;
  const auto codepage = IconvTextCodec::Open(std::string(IconvTextCodec::kDefaultCodePage));
  TVL_Trivane relay(clock, view, {dir / "bench.ini", dir / "Log"}, *codepage, [](LinkHost& host) {
    ControllerParts parts;
    parts.sources = std::make_unique<IPReaders>(host);
    parts.server = std::make_unique<InternalServer>(host);
    parts.online = std::make_unique<OnlineUplink>(host);
    return parts;
  });

  std::atomic<bool> stop{false};
  Figures figures;
  std::atomic<int> sent{0};
  std::thread source_thread([&] {
    testing::LoopbackConnection feed = source.Accept(milliseconds(5000));
    std::this_thread::sleep_for(milliseconds(500));  // the chain peer joins first
    auto next = Steady::now();
    for (std::uint32_t k = 0; !stop && feed.Open(); ++k) {
      if (!feed.Send(StampedFrame(k))) break;
      ++sent;
      next += milliseconds(20);
      std::this_thread::sleep_until(next);
    }
  });
  std::thread online_thread([&] {
    testing::LoopbackConnection server = online.Accept(milliseconds(5000));
    server.Send("Welcome\r\n");
    server.ReadLine();
    server.Send("\r\n");
    Bytes ignored;
    while (!stop) {
      if (online_reads) {
        ignored.clear();
        server.ReadSome(ignored, milliseconds(10));
      } else {
        std::this_thread::sleep_for(milliseconds(10));
      }
    }
  });
  std::vector<double> latencies;
  std::thread chain_thread([&] {
    std::this_thread::sleep_for(milliseconds(200));
    testing::LoopbackConnection peer = testing::LoopbackConnection::Connect(chain_port);
    Bytes stream;
    while (!stop) {
      if (!peer.ReadSome(stream, milliseconds(10))) continue;
      const std::int64_t now = NowNs();
      const std::size_t frame = 10 + kPayload;
      std::size_t at = 0;
      for (; stream.size() - at >= frame; at += frame) {
        std::int64_t stamp = 0;
        for (int i = 0; i < 8; ++i)
          stamp |= static_cast<std::int64_t>(stream[at + 10 + i]) << (8 * i);
        latencies.push_back(static_cast<double>(now - stamp) / 1e6);
      }
      stream.erase(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(at));
    }
  });

  const auto until = Steady::now() + std::chrono::seconds(seconds);
  auto due = Steady::now();
  while (Steady::now() < until) {
    due += milliseconds(TVL_Trivane::kTickIntervalMs);
    std::this_thread::sleep_until(due);
    const auto started = Steady::now();
    if (relay.TimerEnabled()) relay.OnTimer();
    figures.tick_ms.push_back(
        std::chrono::duration<double, std::milli>(Steady::now() - started).count());
    if (Steady::now() > due) due = Steady::now();
  }
  stop = true;
  relay.FormClose();
  while (!view.closed) relay.OnTimer();
  source_thread.join();
  online_thread.join();
  chain_thread.join();
  figures.latency_ms = std::move(latencies);
  figures.sent = sent;
  return figures;
}

}  // namespace
}  // namespace trivane

int main(int argc, char** argv) {
  using namespace trivane;
  const int seconds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 15;
  const Figures reading = Run(true, seconds);
  const Figures stalled = Run(false, seconds);
  std::printf("%-32s %14s %14s\n", "", "online reads", "online stalls");
  const auto row = [&](const char* name, double a, double b) {
    std::printf("%-32s %14.3f %14.3f\n", name, a, b);
  };
  row("ticks", static_cast<double>(reading.tick_ms.size()),
      static_cast<double>(stalled.tick_ms.size()));
  row("tick median (ms)", Percentile(reading.tick_ms, 0.5), Percentile(stalled.tick_ms, 0.5));
  row("tick 99.9th percentile (ms)", Percentile(reading.tick_ms, 0.999),
      Percentile(stalled.tick_ms, 0.999));
  row("longest tick (ms)", Percentile(reading.tick_ms, 1.0), Percentile(stalled.tick_ms, 1.0));
  row("frames sent by the source", reading.sent, stalled.sent);
  row("frames at the chain peer", static_cast<double>(reading.latency_ms.size()),
      static_cast<double>(stalled.latency_ms.size()));
  row("chain latency median (ms)", Percentile(reading.latency_ms, 0.5),
      Percentile(stalled.latency_ms, 0.5));
  row("chain latency 99th pct (ms)", Percentile(reading.latency_ms, 0.99),
      Percentile(stalled.latency_ms, 0.99));
  row("chain latency max (ms)", Percentile(reading.latency_ms, 1.0),
      Percentile(stalled.latency_ms, 1.0));
  return 0;
}
