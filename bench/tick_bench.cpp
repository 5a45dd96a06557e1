// The controller's own tick, timed from inside: the real links on loopback,
// one source sending VL3 frames at 50 per second, a chain peer that reads, and
// an online server that logs the relay in and then reads, or does not; in a
// third run the online server reads and a studio on the desktop bus takes
// the messages too, says hello and then stops serving them (hung). Each
// OnTimer is timed; the three runs are printed side by side.
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
#include "platform/linux/desktop_bus.h"
#include "platform/system_clock.h"
#include "platform/system_text_codec.h"
#include "studio/relay_main_window.h"
#include "studio/studio_link.h"
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
  bool Show_Settings() override { return false; }
  // What the studio link says shows that the studio really went silent.
  void EntryAdded(const LogEntry& entry) override {
    if (entry.tag == DesktopStudioLink::kTag)
      std::fprintf(stderr, "  log: %s\n", entry.message.c_str());
  }
  bool closed = false;
};

constexpr std::size_t kPayload = 510;  // 520-byte frames
constexpr int kPid = 7;

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

struct Scenario {
  bool online_reads = true;
  bool hung_studio = false;
};

// A studio window on its own thread: hello, served for a moment so that the
// relay admits it, then never served again until the run ends.
void HungStudio(Desktop& desktop, WindowHandle relay, const std::atomic<bool>& stop) {
  struct Silent : WindowProcedure {
    std::int32_t OnMessage(std::uint32_t, std::uint32_t, std::uint32_t) override { return 0; }
    std::int32_t OnCopyData(std::uint32_t, std::uint32_t, ByteView) override { return 0; }
  } procedure;
  const WindowHandle window = desktop.CreateTopLevelWindow("TStudio3", procedure);
  // The relay's channel exists from its first tick on: until then, its
  // identity answer is 0 and a hello would go unheard.
  const auto until = Steady::now() + milliseconds(5000);
  while (Steady::now() < until &&
         desktop.SendMessage(relay, TWinMSG::WM_PEER_CMD, static_cast<std::uint32_t>(window),
                             0x7FFF7FFF, milliseconds(1000))
                 .result != kPid) {
    std::this_thread::sleep_for(milliseconds(10));
  }
  desktop.SendMessage(relay, TWinMSG::WM_PEER_CMD, static_cast<std::uint32_t>(window), 0x7FFF0000,
                      milliseconds(1000));
  const auto admitted = Steady::now() + milliseconds(300);
  while (Steady::now() < admitted) {
    desktop.WaitForInput(admitted);
    desktop.Pump();
  }
  while (!stop) std::this_thread::sleep_for(milliseconds(10));
  desktop.DestroyTopLevelWindow(window);
}

Figures Run(Scenario scenario, int seconds) {
  const bool online_reads = scenario.online_reads;
  testing::TempDir dir;
  testing::LoopbackListener source;
  testing::LoopbackListener online(0, 4096);
  const std::uint16_t chain_port = testing::ClosedPort();
  testing::WriteFileBytes(
      dir / "bench.ini",
      "[Settings]\r\nSrcMode=1\r\nDstMode=" + std::string(scenario.hung_studio ? "7" : "6") +
          "\r\nPID=" + std::to_string(kPid) + "\r\nSrcIP=127.0.0.1:" +
          std::to_string(source.Port()) + "\r\nServerPort=" + std::to_string(chain_port) +
          "\r\nOnlineIP=127.0.0.1:" + std::to_string(online.Port()) + ":pw\r\n");

  SystemClock clock;
  NullView view;
  DesktopBus bus(DesktopBusOptions{.directory = (dir / "bus").string()});
  RelayMainWindow main_window(bus);
  Desktop* desktop = scenario.hung_studio && main_window.Handle() != 0 ? &bus : nullptr;
  const auto codepage = SystemTextCodec::Open(std::string(SystemTextCodec::kDefaultCodePage));
  TVL_Trivane relay(clock, view, {dir / "bench.ini", dir / "Log"}, *codepage, [&](LinkHost& host) {
    ControllerParts parts;
    parts.sources = std::make_unique<IPReaders>(host);
    if (desktop != nullptr) {
      auto studio = std::make_unique<DesktopStudioLink>(host, bus, main_window.Handle());
      main_window.Attach(studio.get());
      parts.studio = std::move(studio);
    }
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
  std::thread studio_thread;
  if (desktop != nullptr) {
    studio_thread = std::thread([&] { HungStudio(bus, main_window.Handle(), stop); });
  }
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
    // As the headless loop: the desktop is served between ticks.
    while (Steady::now() < due) {
      if (desktop != nullptr) {
        desktop->WaitForInput(due);
        desktop->Pump();
      } else {
        std::this_thread::sleep_until(due);
      }
    }
    const auto started = Steady::now();
    if (relay.TimerEnabled()) relay.OnTimer();
    figures.tick_ms.push_back(
        std::chrono::duration<double, std::milli>(Steady::now() - started).count());
    if (Steady::now() > due) due = Steady::now();
  }
  stop = true;
  relay.FormClose();
  while (!view.closed) relay.OnTimer();
  main_window.Attach(nullptr);
  if (studio_thread.joinable()) studio_thread.join();
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
  const Figures runs[] = {Run({.online_reads = true}, seconds),
                          Run({.online_reads = false}, seconds),
                          Run({.online_reads = true, .hung_studio = true}, seconds)};
  std::printf("%-30s %14s %14s %14s\n", "", "online reads", "online stalls", "studio hung");
  const auto row = [&](const char* name, auto figure) {
    std::printf("%-30s", name);
    for (const Figures& run : runs) std::printf(" %14.3f", static_cast<double>(figure(run)));
    std::printf("\n");
  };
  row("ticks", [](const Figures& f) { return f.tick_ms.size(); });
  row("tick median (ms)", [](const Figures& f) { return Percentile(f.tick_ms, 0.5); });
  row("tick 99.9th percentile (ms)", [](const Figures& f) { return Percentile(f.tick_ms, 0.999); });
  row("longest tick (ms)", [](const Figures& f) { return Percentile(f.tick_ms, 1.0); });
  row("frames sent by the source", [](const Figures& f) { return f.sent; });
  row("frames at the chain peer", [](const Figures& f) { return f.latency_ms.size(); });
  row("chain latency median (ms)", [](const Figures& f) { return Percentile(f.latency_ms, 0.5); });
  row("chain latency 99th pct (ms)",
      [](const Figures& f) { return Percentile(f.latency_ms, 0.99); });
  row("chain latency max (ms)", [](const Figures& f) { return Percentile(f.latency_ms, 1.0); });
  return 0;
}
