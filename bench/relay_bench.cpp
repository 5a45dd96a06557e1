// Measures the running relay from outside, over loopback, the way a station
// would see it: the delay from a source's send to a chain peer's and the
// online server's receipt, the relay's idle CPU and memory, a soak with
// four sources carrying one redundant feed, the chain peer's service while
// the online server stops reading, and the same for a studio on the desktop
// bus as source.
//
//   trivane_relay_bench latency [UNITS]      (default 1000)
//   trivane_relay_bench idle [SECONDS]       (default 30)
//   trivane_relay_bench soak [MINUTES] [RATE] (default 10 minutes, 90 units/s)
//   trivane_relay_bench stall [SECONDS]      (default 30 per run, two runs)
//   trivane_relay_bench studio-latency [UNITS]         (default 1000)
//   trivane_relay_bench studio-idle [SECONDS] [ROUNDS] (default 30 s, 3 rounds)
//   trivane_relay_bench window-idle [SECONDS] [ROUNDS] (default 30 s, 3 rounds;
//                                   needs a display, e.g. under xvfb-run)

#include <sys/types.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "links/router.h"
#include "support/bus_studio.h"
#include "support/region_frames.h"
#include "support/relay_process.h"
#include "support/temp_dir.h"

namespace trivane {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackConnection;
using testing::LoopbackListener;
using Clock = std::chrono::steady_clock;

using testing::kChainFrameSize;
constexpr std::size_t kOnlineFrameSize = 7 + TRegionBlock::kWireSize;

// Unit n carries n in its size field, so every receiver can tell which it got.
Bytes NumberedFrame(std::uint32_t n) {
  return BuildVl3Frame(1, 1, TRegionBlock{.Size = n, .Over = 1000}.Encode());
}

// The same, padded with filler to kPaddedFrameSize bytes, so that an online
// server that does not read fills up within a second, not within minutes.
constexpr std::size_t kPaddedFrameSize = 520;
constexpr std::size_t kPaddedOnlineFrameSize =
    kPaddedFrameSize - kVl3HeaderSize + kOnlineHeaderSize;

Bytes PaddedFrame(std::uint32_t n) {
  Bytes payload = TRegionBlock{.Size = n, .Over = 1000}.Encode();
  payload.resize(kPaddedFrameSize - kVl3HeaderSize, static_cast<std::uint8_t>(n));
  return BuildVl3Frame(1, 1, payload);
}

std::uint32_t NumberIn(ByteView frame, std::size_t payload_at) {
  return *LoadU32(frame, payload_at + 2);
}

// Every unit's arrival time at one receiver, in the order they came.
class Receiver {
 public:
  Receiver(LoopbackConnection& connection, std::size_t frame_size, std::size_t payload_at)
      : thread_([this, &connection, frame_size, payload_at] {
          while (!stop_) {
            const Bytes frame = connection.ReadExactly(frame_size, 200ms);
            if (frame.size() != frame_size) {
              if (!frame.empty()) broken_ = true;  // a cut frame: the stream is lost
              continue;
            }
            const std::lock_guard guard(lock_);
            arrivals_.push_back({NumberIn(frame, payload_at), Clock::now()});
          }
        }) {}
  ~Receiver() {
    stop_ = true;
    thread_.join();
  }

  struct Arrival {
    std::uint32_t number;
    Clock::time_point when;
  };
  std::vector<Arrival> Arrivals() {
    const std::lock_guard guard(lock_);
    return arrivals_;
  }
  bool Broken() const { return broken_; }

 private:
  std::mutex lock_;
  std::vector<Arrival> arrivals_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> broken_{false};
  std::thread thread_;
};

struct StationOptions {
  int sources = 0;
  int online_receive_buffer = 0;  // the kernel's default when 0
  // The studio as source (on the bus of TRIVANE_BUS_DIR) instead of TCP sources.
  bool studio_source = false;
  testing::RelayFace face = testing::RelayFace::kHeadless;
};

constexpr std::int32_t kPid = 42;

// The relay with its peers: sources, the chain server with one reading peer,
// and a logged-in online server. Its output is drained so it never blocks.
class Station {
 public:
  explicit Station(StationOptions options)
      : sources_(static_cast<std::size_t>(options.sources)),
        online_server_(0, options.online_receive_buffer) {
    const std::uint16_t server_port = testing::FreePort();
    std::string settings = std::string(options.studio_source ? "SrcMode=0" : "SrcMode=1") +
                           "\r\nDstMode=6\r\nPID=" + std::to_string(kPid) +
                           "\r\nServerPort=" + std::to_string(server_port) +
                           "\r\nOnlineIP=127.0.0.1:" + std::to_string(online_server_.Port()) +
                           ":secret\r\n";
    for (int i = 0; i < options.sources; ++i) {
      settings += testing::SourceEntry(i, sources_[static_cast<std::size_t>(i)].Port());
    }
    relay_.emplace(settings, TRIVANE_EXE, options.face);
    online_ = online_server_.Accept(10s);
    online_.Send(std::string_view("Welcome\r\n"));
    online_.ReadLine(10s);
    online_.Send(std::string_view("\r\n"));
    for (auto& source : sources_) feeds_.push_back(source.Accept(10s));
    for (int attempt = 0; attempt < 100 && !chain_.Open(); ++attempt) {
      chain_ = LoopbackConnection::Connect(server_port);
      if (!chain_.Open()) std::this_thread::sleep_for(50ms);
    }
    std::this_thread::sleep_for(500ms);
    drain_ = std::thread([this] {
      while (!stop_) relay_->Drain(200ms);
    });
  }
  ~Station() { StopDraining(); }

  // Lines the relay has written that contain text; its output is no longer
  // drained afterwards.
  int Count(const std::string& text) {
    StopDraining();
    return relay_->Count(text);
  }

  bool Ready() {
    bool ready = online_.Open() && chain_.Open();
    for (auto& feed : feeds_) ready = ready && feed.Open();
    return ready;
  }
  void SendToAll(const Bytes& frame) {
    for (auto& feed : feeds_) feed.Send(frame);
  }
  LoopbackConnection& Chain() { return chain_; }
  LoopbackConnection& Online() { return online_; }
  pid_t Pid() const { return relay_->Pid(); }

 private:
  void StopDraining() {
    stop_ = true;
    if (drain_.joinable()) drain_.join();
  }

  std::vector<LoopbackListener> sources_;
  LoopbackListener online_server_;
  std::optional<testing::RelayProcess> relay_;
  LoopbackConnection online_, chain_;
  std::vector<LoopbackConnection> feeds_;
  std::atomic<bool> stop_{false};
  std::thread drain_;
};

// CPU seconds the process has used: the scheduler's nanosecond run time of
// each of its threads, finer than the clock ticks of /proc/PID/stat.
double CpuSeconds(pid_t pid) {
  const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code ignored;
  unsigned long long nanoseconds = 0;
  for (const auto& task : std::filesystem::directory_iterator(tasks, ignored)) {
    std::ifstream schedstat(task.path() / "schedstat");
    unsigned long long run_time = 0;
    if (schedstat >> run_time) nanoseconds += run_time;
  }
  return static_cast<double>(nanoseconds) / 1e9;
}

long ResidentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

double Percentile(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  const auto at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
  return values[at];
}

// Each unit goes out by send(n) at a random moment 0 to 10 ms after the
// previous one arrived, and is timed from then to its arrival at the chain
// peer and at the online server. serve() is called while waiting.
template <typename Send, typename Serve>
int TimeArrivals(const char* from, int units, Station& station, Send send, Serve serve) {
  Receiver chain(station.Chain(), kChainFrameSize, 10);
  Receiver online(station.Online(), kOnlineFrameSize, 7);
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> phase_us(0, 10'000);
  std::vector<double> to_chain, to_online;
  for (int n = 1; n <= units; ++n) {
    std::this_thread::sleep_for(std::chrono::microseconds(phase_us(random)));
    const auto sent = Clock::now();
    if (!send(static_cast<std::uint32_t>(n))) {
      std::fprintf(stderr, "unit %d could not be sent\n", n);
      return 1;
    }
    const auto until = sent + 2s;
    while (Clock::now() < until && (chain.Arrivals().size() < static_cast<std::size_t>(n) ||
                                    online.Arrivals().size() < static_cast<std::size_t>(n))) {
      serve();
      std::this_thread::sleep_for(100us);
    }
    const auto c = chain.Arrivals();
    const auto o = online.Arrivals();
    if (c.size() < static_cast<std::size_t>(n) || o.size() < static_cast<std::size_t>(n)) {
      std::fprintf(stderr, "unit %d did not arrive\n", n);
      return 1;
    }
    to_chain.push_back(std::chrono::duration<double, std::milli>(c.back().when - sent).count());
    to_online.push_back(std::chrono::duration<double, std::milli>(o.back().when - sent).count());
  }
  std::printf(
      "latency from %s over %d units, ms: chain median %.2f p99 %.2f max %.2f; "
      "online median %.2f p99 %.2f max %.2f\n",
      from, units, Percentile(to_chain, 0.5), Percentile(to_chain, 0.99), Percentile(to_chain, 1.0),
      Percentile(to_online, 0.5), Percentile(to_online, 0.99), Percentile(to_online, 1.0));
  return 0;
}

int Latency(int units) {
  Station station({.sources = 1});
  if (!station.Ready()) return std::fputs("station not ready\n", stderr), 1;
  return TimeArrivals(
      "a TCP source", units, station,
      [&](std::uint32_t n) {
        station.SendToAll(NumberedFrame(n));
        return true;
      },
      [] {});
}

// What the relay sends a studio source is of no interest here.
struct QuietStudio : WindowProcedure {
  std::int32_t OnMessage(std::uint32_t, std::uint32_t, std::uint32_t) override { return 0; }
  std::int32_t OnCopyData(std::uint32_t, std::uint32_t, ByteView) override { return 0; }
};

// A studio on a private bus, admitted by a relay with the studio as source.
struct StudioStation {
  testing::TempDir dir;
  QuietStudio procedure;
  testing::BusStudio studio{dir / "bus", procedure};
  Station station{{.studio_source = true}};
  WindowHandle relay = 0;

  bool Connect() {
    if (!studio.Usable() || !station.Ready()) return false;
    relay = studio.ReadyRelayWindow(kPid);
    return relay != 0 && studio.SayHello(relay);
  }
};

int StudioLatency(int units) {
  StudioStation studio_station;
  if (!studio_station.Connect()) return std::fputs("studio or station not ready\n", stderr), 1;
  testing::BusStudio& studio = studio_station.studio;
  return TimeArrivals(
      "the studio", units, studio_station.station,
      [&](std::uint32_t n) {
        const Bytes block = TRegionBlock{.Size = n, .Over = 1000}.Encode();
        return studio.SendCopyData(studio_station.relay, 0x00010001, block).Answered();
      },
      [&] { studio.Bus().Pump(); });
}

int Idle(int seconds) {
  Station station({.sources = 4});
  if (!station.Ready()) return std::fputs("station not ready\n", stderr), 1;
  std::this_thread::sleep_for(2s);
  const double cpu_before = CpuSeconds(station.Pid());
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double cpu = CpuSeconds(station.Pid()) - cpu_before;
  std::printf(
      "idle over %d s with 4 silent sources, chain peer and online uplink: "
      "CPU %.3f%% of one core, resident %ld KiB\n",
      seconds, 100.0 * cpu / seconds, ResidentKiB(station.Pid()));
  return 0;
}

// The relay's CPU share over the period, measured after two seconds to settle.
double IdleShare(pid_t pid, int seconds, const std::function<void(std::chrono::seconds)>& wait) {
  wait(2s);
  const double before = CpuSeconds(pid);
  wait(std::chrono::seconds(seconds));
  return 100.0 * (CpuSeconds(pid) - before) / seconds;
}

// Rounds of three relays one after the other, each with the chain peer and
// the online uplink: no studio link, the studio link with no studio, and the
// studio link with a connected studio that sends nothing but serves its
// window all along.
int StudioIdle(int seconds, int rounds) {
  const auto sleep = [](std::chrono::seconds period) { std::this_thread::sleep_for(period); };
  std::vector<double> none, waiting, connected;
  for (int round = 1; round <= rounds; ++round) {
    {
      testing::TempDir dir;
      QuietStudio procedure;
      testing::BusStudio bus_only(dir / "bus", procedure);  // the relay's window goes here
      Station station({});
      if (!station.Ready()) return std::fputs("station not ready\n", stderr), 1;
      none.push_back(IdleShare(station.Pid(), seconds, sleep));
    }
    {
      StudioStation studio_station;
      if (!studio_station.station.Ready()) return std::fputs("station not ready\n", stderr), 1;
      waiting.push_back(IdleShare(studio_station.station.Pid(), seconds, sleep));
    }
    {
      StudioStation studio_station;
      if (!studio_station.Connect()) return std::fputs("studio not admitted\n", stderr), 1;
      connected.push_back(
          IdleShare(studio_station.station.Pid(), seconds,
                    [&](std::chrono::seconds period) { studio_station.studio.Pump(period); }));
    }
    std::printf(
        "round %d, %d s each, CPU %% of one core: no studio link %.3f, "
        "no studio %.3f, silent studio %.3f\n",
        round, seconds, none.back(), waiting.back(), connected.back());
    std::fflush(stdout);
  }
  std::printf(
      "median of %d rounds: no studio link %.3f%%, no studio %.3f%%, "
      "silent studio %.3f%%\n",
      rounds, Percentile(none, 0.5), Percentile(waiting, 0.5), Percentile(connected, 0.5));
  return 0;
}

// Rounds of the headless relay and the window one after the other, each with
// four silent sources, the chain peer and the online uplink.
int WindowIdle(int seconds, int rounds) {
  if (std::getenv("DISPLAY") == nullptr && std::getenv("QT_QPA_PLATFORM") == nullptr) {
    return std::fputs("window-idle needs a display: run it under xvfb-run\n", stderr), 1;
  }
  const auto sleep = [](std::chrono::seconds period) { std::this_thread::sleep_for(period); };
  std::vector<double> headless, window;
  long headless_kib = 0;
  long window_kib = 0;
  for (int round = 1; round <= rounds; ++round) {
    {
      Station station({.sources = 4});
      if (!station.Ready()) return std::fputs("station not ready\n", stderr), 1;
      headless.push_back(IdleShare(station.Pid(), seconds, sleep));
      headless_kib = ResidentKiB(station.Pid());
    }
    {
      Station station({.sources = 4, .face = testing::RelayFace::kWindow});
      if (!station.Ready()) return std::fputs("windowed station not ready\n", stderr), 1;
      window.push_back(IdleShare(station.Pid(), seconds, sleep));
      window_kib = ResidentKiB(station.Pid());
    }
    std::printf(
        "round %d, %d s each, CPU %% of one core: headless %.3f, window %.3f; "
        "resident KiB: headless %ld, window %ld\n",
        round, seconds, headless.back(), window.back(), headless_kib, window_kib);
    std::fflush(stdout);
  }
  std::printf("median of %d rounds: headless %.3f%%, window %.3f%%\n", rounds,
              Percentile(headless, 0.5), Percentile(window, 0.5));
  return 0;
}

int Soak(int minutes, int rate) {
  Station station({.sources = 4});
  if (!station.Ready()) return std::fputs("station not ready\n", stderr), 1;
  Receiver chain(station.Chain(), kChainFrameSize, 10);
  Receiver online(station.Online(), kOnlineFrameSize, 7);
  const auto interval = std::chrono::nanoseconds(1'000'000'000LL / rate);
  const auto start = Clock::now();
  const auto end = start + std::chrono::minutes(minutes);
  auto due = start;
  auto next_report = start;
  std::uint32_t sent = 0;
  while (Clock::now() < end) {
    station.SendToAll(NumberedFrame(++sent));
    due += interval;
    std::this_thread::sleep_until(due);
    if (Clock::now() >= next_report) {
      std::printf(
          "t=%4llds sent %u resident %ld KiB\n",
          static_cast<long long>(
              std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count()),
          sent, ResidentKiB(station.Pid()));
      std::fflush(stdout);
      next_report += 60s;
    }
  }
  std::this_thread::sleep_for(3s);
  int faults = 0;
  for (auto* receiver : {&chain, &online}) {
    const auto arrivals = receiver->Arrivals();
    int misplaced = 0;
    std::uint32_t expected = 1;
    for (const auto& arrival : arrivals) {
      if (arrival.number != expected) ++misplaced;
      expected = arrival.number + 1;
    }
    const bool complete = arrivals.size() == sent && !receiver->Broken();
    std::printf("%s: %zu of %u units, %d out of order or repeated, %s\n",
                receiver == &chain ? "chain peer" : "online server", arrivals.size(), sent,
                misplaced, complete ? "complete" : "INCOMPLETE");
    faults += misplaced + (complete ? 0 : 1);
  }
  std::printf("resident at the end %ld KiB\n", ResidentKiB(station.Pid()));
  return faults == 0 ? 0 : 1;
}

struct StallRun {
  std::uint32_t sent = 0;
  std::size_t received = 0;
  int misplaced = 0;  // out of order, repeated or unknown
  bool broken = false;
  std::vector<double> latency_ms;
  double longest_gap_ms = 0;
  std::size_t online_received = 0;
  int stalls_logged = 0;
  int online_errors = 0;  // log lines tagged Online other than the stall
};

// One source at 50 frames a second for the period, timed at the chain peer;
// the online server reads all along or never after the log-in.
StallRun FiftyPerSecond(int seconds, bool online_reads) {
  StallRun run;
  Station station({.sources = 1, .online_receive_buffer = 4096});
  if (!station.Ready()) {
    std::fputs("station not ready\n", stderr);
    run.broken = true;
    return run;
  }
  Receiver chain(station.Chain(), kPaddedFrameSize, kVl3HeaderSize);
  std::optional<Receiver> online;
  if (online_reads) online.emplace(station.Online(), kPaddedOnlineFrameSize, kOnlineHeaderSize);

  // Each send lands at a random moment of its 20 ms, so that the phase
  // against the relay's tick varies as it would with a real source.
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> phase_us(0, 10'000);
  run.sent = static_cast<std::uint32_t>(seconds) * 50;
  std::vector<Clock::time_point> sent_at(run.sent + 1);
  const auto start = Clock::now();
  for (std::uint32_t n = 1; n <= run.sent; ++n) {
    std::this_thread::sleep_until(start + (n - 1) * 20ms +
                                  std::chrono::microseconds(phase_us(random)));
    sent_at[n] = Clock::now();
    station.SendToAll(PaddedFrame(n));
  }
  std::this_thread::sleep_for(2s);

  const auto arrivals = chain.Arrivals();
  run.received = arrivals.size();
  run.broken = chain.Broken();
  std::uint32_t expected = 1;
  for (std::size_t i = 0; i < arrivals.size(); ++i) {
    const std::uint32_t n = arrivals[i].number;
    if (n != expected) ++run.misplaced;
    expected = n + 1;
    if (n >= 1 && n <= run.sent) {
      run.latency_ms.push_back(
          std::chrono::duration<double, std::milli>(arrivals[i].when - sent_at[n]).count());
    }
    if (i > 0) {
      run.longest_gap_ms = std::max(run.longest_gap_ms, std::chrono::duration<double, std::milli>(
                                                            arrivals[i].when - arrivals[i - 1].when)
                                                            .count());
    }
  }
  if (online) run.online_received = online->Arrivals().size();
  run.stalls_logged = station.Count("takes no data");
  run.online_errors = station.Count("\tOnline") - run.stalls_logged;
  return run;
}

int Stall(int seconds) {
  const StallRun reading = FiftyPerSecond(seconds, true);
  const StallRun stalled = FiftyPerSecond(seconds, false);
  std::printf(
      "stall: one source, 50 VL3 frames/s of %zu bytes, %d s per run; chain peer, ms from the "
      "source's send\n",
      kPaddedFrameSize, seconds);
  std::printf("%-22s %11s %8s %8s %8s %12s  %s\n", "online server", "frames", "median", "p99",
              "max", "longest gap", "online link");
  int faults = 0;
  for (const StallRun* run : {&reading, &stalled}) {
    if (run->latency_ms.empty()) {
      std::printf("%-22s no frame arrived\n", run == &reading ? "reads" : "does not read");
      ++faults;
      continue;
    }
    char online[96];
    if (run == &reading) {
      std::snprintf(online, sizeof online, "%zu of %u frames read", run->online_received,
                    run->sent);
    } else {
      std::snprintf(online, sizeof online, "stall drops: %d, other Online lines: %d",
                    run->stalls_logged, run->online_errors);
    }
    std::printf("%-22s %5zu/%-5u %8.2f %8.2f %8.2f %12.1f  %s%s\n",
                run == &reading ? "reads" : "does not read", run->received, run->sent,
                Percentile(run->latency_ms, 0.5), Percentile(run->latency_ms, 0.99),
                Percentile(run->latency_ms, 1.0), run->longest_gap_ms, online,
                run->misplaced > 0 || run->broken ? ", CHAIN OUT OF ORDER OR CUT" : "");
    faults += run->misplaced + (run->broken ? 1 : 0) + (run->received == run->sent ? 0 : 1);
  }
  return faults == 0 ? 0 : 1;
}

}  // namespace
}  // namespace trivane

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  const auto number = [&](int index, int fallback) {
    return argc > index ? std::stoi(argv[index]) : fallback;
  };
  if (mode == "latency") return trivane::Latency(number(2, 1000));
  if (mode == "idle") return trivane::Idle(number(2, 30));
  if (mode == "soak") return trivane::Soak(number(2, 10), number(3, 90));
  if (mode == "stall") return trivane::Stall(number(2, 30));
  if (mode == "studio-latency") return trivane::StudioLatency(number(2, 1000));
  if (mode == "studio-idle") return trivane::StudioIdle(number(2, 30), number(3, 3));
  if (mode == "window-idle") return trivane::WindowIdle(number(2, 30), number(3, 3));
  std::fputs(
      "usage: trivane_relay_bench latency [UNITS] | idle [SECONDS] | soak [MINUTES] [RATE] | "
      "stall [SECONDS] | studio-latency [UNITS] | studio-idle [SECONDS] [ROUNDS] | "
      "window-idle [SECONDS] [ROUNDS]\n",
      stderr);
  return 2;
}
