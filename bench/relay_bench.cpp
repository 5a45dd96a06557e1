// Measures the running relay from outside, over loopback, the way a station
// would see it: the delay from a source's send to a chain peer's and the
// online server's receipt, the relay's idle CPU and memory, a soak with
// four sources carrying one redundant feed, the chain peer's service while
// the online server stops reading, the same for a studio on the desktop bus
// as source, and each hop beside socat, a plain byte relay, doing the same.
//
//   trivane_relay_bench latency [UNITS]      (default 1000)
//   trivane_relay_bench idle [SECONDS]       (default 30)
//   trivane_relay_bench soak [MINUTES] [RATE] (default 10 minutes, 90 units/s)
//   trivane_relay_bench stall [SECONDS]      (default 30 per run, two runs)
//   trivane_relay_bench studio-latency [UNITS]         (default 1000)
//   trivane_relay_bench studio-idle [SECONDS] [ROUNDS] (default 30 s, 3 rounds)
//   trivane_relay_bench window-idle [SECONDS] [ROUNDS] (default 30 s, 3 rounds;
//                                   needs a display, e.g. under xvfb-run)
//   trivane_relay_bench hops [UNITS] [SECONDS]  (default 300 units, 60 s idle;
//                                   beside socat, which must be installed)

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
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
  std::size_t Count() {
    const std::lock_guard guard(lock_);
    return arrivals_.size();
  }
  Arrival Last() {
    const std::lock_guard guard(lock_);
    return arrivals_.back();
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
  // The studio as a destination too, beside the chain server and the online server.
  bool studio_destination = false;
  testing::RelayFace face = testing::RelayFace::kHeadless;
};

constexpr std::int32_t kPid = 42;
constexpr std::string_view kOnlinePassword = "secret";

// The relay with its peers: sources, the chain server with one reading peer,
// and a logged-in online server. Its output is drained so it never blocks.
class Station {
 public:
  explicit Station(StationOptions options)
      : sources_(static_cast<std::size_t>(options.sources)),
        online_server_(0, options.online_receive_buffer) {
    const std::uint16_t server_port = testing::FreePort();
    std::string settings = std::string(options.studio_source ? "SrcMode=0" : "SrcMode=1") +
                           "\r\nDstMode=" + (options.studio_destination ? "7" : "6") +
                           "\r\nPID=" + std::to_string(kPid) +
                           "\r\nServerPort=" + std::to_string(server_port) +
                           "\r\nOnlineIP=127.0.0.1:" + std::to_string(online_server_.Port()) + ":" +
                           std::string(kOnlinePassword) + "\r\n";
    for (int i = 0; i < options.sources; ++i) {
      settings += testing::SourceEntry(i, sources_[static_cast<std::size_t>(i)].Port());
    }
    relay_.emplace(settings, TRIVANE_EXE, options.face);
    // The server's half of the three-line log-in: a greeting, then the
    // relay's password, then the verdict, empty to let it in. A wrong password
    // gets no verdict, so the station is never ready.
    online_ = online_server_.Accept(10s);
    online_.Send(std::string_view("Welcome\r\n"));
    logged_in_ = online_.ReadLine(10s) == kOnlinePassword;
    if (logged_in_) online_.Send(std::string_view("\r\n"));
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
    bool ready = logged_in_ && online_.Open() && chain_.Open();
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
  bool logged_in_ = false;
  std::vector<LoopbackConnection> feeds_;
  std::atomic<bool> stop_{false};
  std::thread drain_;
};

// What the process's threads have used so far: the scheduler's nanosecond
// run time (/proc/PID/task/*/schedstat, finer than the clock ticks of
// /proc/PID/stat) and their context switches, voluntary and not
// (/proc/PID/task/*/status): each is one time a thread went off the CPU and
// came back, so their count is the wake-ups.
struct TaskCounters {
  unsigned long long run_ns = 0;
  unsigned long long switches = 0;
};

TaskCounters Counters(pid_t pid) {
  const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code ignored;
  TaskCounters counters;
  for (const auto& task : std::filesystem::directory_iterator(tasks, ignored)) {
    std::ifstream schedstat(task.path() / "schedstat");
    unsigned long long run_time = 0;
    if (schedstat >> run_time) counters.run_ns += run_time;
    std::ifstream status(task.path() / "status");
    for (std::string line; std::getline(status, line);) {
      if (line.starts_with("voluntary_ctxt_switches:") ||
          line.starts_with("nonvoluntary_ctxt_switches:")) {
        counters.switches += std::stoull(line.substr(line.find(':') + 1));
      }
    }
  }
  return counters;
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

// Where units are read: the connection and the layout of what arrives on it.
struct Tap {
  LoopbackConnection* connection;
  std::size_t frame_size;
  std::size_t payload_at;
};

// Each unit goes out by send(n) at a random moment 0 to 10 ms after the
// previous one arrived everywhere, and is timed from then to its arrival at
// every tap; serve() is called while waiting. The delays in ms, per tap and
// unit; nothing when a unit was not sent, did not arrive, or another came in
// its place.
template <typename Send, typename Serve>
std::optional<std::vector<std::vector<double>>> Delays(int units, const std::vector<Tap>& taps,
                                                       Send send, Serve serve) {
  std::vector<std::unique_ptr<Receiver>> receivers;
  for (const Tap& tap : taps) {
    receivers.push_back(
        std::make_unique<Receiver>(*tap.connection, tap.frame_size, tap.payload_at));
  }
  const auto all_in = [&](std::size_t n) {
    return std::all_of(receivers.begin(), receivers.end(),
                       [n](const auto& receiver) { return receiver->Count() >= n; });
  };
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> phase_us(0, 10'000);
  std::vector<std::vector<double>> delays(taps.size());
  for (int n = 1; n <= units; ++n) {
    std::this_thread::sleep_for(std::chrono::microseconds(phase_us(random)));
    const auto sent = Clock::now();
    if (!send(static_cast<std::uint32_t>(n))) {
      std::fprintf(stderr, "unit %d could not be sent\n", n);
      return std::nullopt;
    }
    const auto until = sent + 2s;
    while (Clock::now() < until && !all_in(static_cast<std::size_t>(n))) {
      serve();
      std::this_thread::sleep_for(100us);
    }
    if (!all_in(static_cast<std::size_t>(n))) {
      std::fprintf(stderr, "unit %d did not arrive\n", n);
      return std::nullopt;
    }
    for (std::size_t i = 0; i < receivers.size(); ++i) {
      const Receiver::Arrival last = receivers[i]->Last();
      if (last.number != static_cast<std::uint32_t>(n) ||
          receivers[i]->Count() != static_cast<std::size_t>(n)) {
        std::fprintf(stderr, "unit %d: unit %u came in its place\n", n, last.number);
        return std::nullopt;
      }
      delays[i].push_back(std::chrono::duration<double, std::milli>(last.when - sent).count());
    }
  }
  return delays;
}

// The relay's chain peer and online server, as Delays reads them.
std::vector<Tap> RelayTaps(Station& station) {
  return {{&station.Chain(), kChainFrameSize, kVl3HeaderSize},
          {&station.Online(), kOnlineFrameSize, kOnlineHeaderSize}};
}

template <typename Send, typename Serve>
int TimeArrivals(const char* from, int units, Station& station, Send send, Serve serve) {
  const auto delays = Delays(units, RelayTaps(station), send, serve);
  if (!delays) return 1;
  const auto& to_chain = (*delays)[0];
  const auto& to_online = (*delays)[1];
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
  explicit StudioStation(StationOptions options = {.studio_source = true}) : station(options) {}

  testing::TempDir dir;
  QuietStudio procedure;
  testing::BusStudio studio{dir / "bus", procedure};
  Station station;
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

struct Activity {
  double cpu_percent = 0;  // of one core
  double wakeups_per_second = 0;
};

// The processes' CPU share and wake-ups over the period, taken together and
// measured after two seconds to settle.
Activity IdleActivity(const std::vector<pid_t>& pids, int seconds,
                      const std::function<void(std::chrono::seconds)>& wait) {
  const auto total = [&pids] {
    TaskCounters sum;
    for (const pid_t pid : pids) {
      const TaskCounters one = Counters(pid);
      sum.run_ns += one.run_ns;
      sum.switches += one.switches;
    }
    return sum;
  };
  wait(2s);
  const TaskCounters before = total();
  wait(std::chrono::seconds(seconds));
  const TaskCounters after = total();
  return {.cpu_percent = 100.0 * static_cast<double>(after.run_ns - before.run_ns) / 1e9 / seconds,
          .wakeups_per_second = static_cast<double>(after.switches - before.switches) / seconds};
}

double IdleShare(pid_t pid, int seconds, const std::function<void(std::chrono::seconds)>& wait) {
  return IdleActivity({pid}, seconds, wait).cpu_percent;
}

void Sleep(std::chrono::seconds period) {
  std::this_thread::sleep_for(period);
}

int Idle(int seconds) {
  Station station({.sources = 4});
  if (!station.Ready()) return std::fputs("station not ready\n", stderr), 1;
  const Activity idle = IdleActivity({station.Pid()}, seconds, Sleep);
  std::printf(
      "idle over %d s with 4 silent sources, chain peer and online uplink: "
      "CPU %.3f%% of one core, %.1f wake-ups/s, resident %ld KiB\n",
      seconds, idle.cpu_percent, idle.wakeups_per_second, ResidentKiB(station.Pid()));
  return 0;
}

// Rounds of three relays one after the other, each with the chain peer and
// the online uplink: no studio link, the studio link with no studio, and the
// studio link with a connected studio that sends nothing but serves its
// window all along.
int StudioIdle(int seconds, int rounds) {
  std::vector<double> none, waiting, connected;
  for (int round = 1; round <= rounds; ++round) {
    {
      testing::TempDir dir;
      QuietStudio procedure;
      testing::BusStudio bus_only(dir / "bus", procedure);  // the relay's window goes here
      Station station({});
      if (!station.Ready()) return std::fputs("station not ready\n", stderr), 1;
      none.push_back(IdleShare(station.Pid(), seconds, Sleep));
    }
    {
      StudioStation studio_station;
      if (!studio_station.station.Ready()) return std::fputs("station not ready\n", stderr), 1;
      waiting.push_back(IdleShare(studio_station.station.Pid(), seconds, Sleep));
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
  std::vector<double> headless, window;
  long headless_kib = 0;
  long window_kib = 0;
  for (int round = 1; round <= rounds; ++round) {
    {
      Station station({.sources = 4});
      if (!station.Ready()) return std::fputs("station not ready\n", stderr), 1;
      headless.push_back(IdleShare(station.Pid(), seconds, Sleep));
      headless_kib = ResidentKiB(station.Pid());
    }
    {
      Station station({.sources = 4, .face = testing::RelayFace::kWindow});
      if (!station.Ready()) return std::fputs("windowed station not ready\n", stderr), 1;
      window.push_back(IdleShare(station.Pid(), seconds, Sleep));
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

// socat from PATH; empty when it is not installed.
std::string SocatPath() {
  const char* path = std::getenv("PATH");
  std::string_view dirs = path != nullptr ? path : "/usr/bin:/bin";
  while (!dirs.empty()) {
    const std::size_t end = std::min(dirs.find(':'), dirs.size());
    const std::string candidate = std::string(dirs.substr(0, end)) + "/socat";
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    dirs.remove_prefix(std::min(end + 1, dirs.size()));
  }
  return {};
}

// How the far end of a socat hop is reached: a peer connects to socat, as the
// chain peer connects to the relay's server, or socat connects out to a
// listening server, as the relay's online uplink does.
enum class SocatOut { kPeerConnects, kToServer };

// socat carrying one source's stream unchanged, the plain byte relay each hop
// is held against. Like the relay it connects out to the source, and like the
// relay it leaves Nagle's algorithm on.
class SocatHop {
 public:
  SocatHop(const std::string& socat, SocatOut out) {
    const std::string source = "TCP:127.0.0.1:" + std::to_string(source_.Port());
    if (out == SocatOut::kPeerConnects) {
      const std::uint16_t port = testing::FreePort();
      process_.emplace(std::vector<std::string>{
          socat, "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr", source});
      out_ = testing::ConnectChainPeer(port);
    } else {
      process_.emplace(std::vector<std::string>{socat, source,
                                                "TCP:127.0.0.1:" + std::to_string(server_.Port())});
      out_ = server_.Accept(10s);
    }
    feed_ = source_.Accept(10s);
  }

  bool Ready() const { return process_->Started() && feed_.Open() && out_.Open(); }
  LoopbackConnection& Feed() { return feed_; }
  LoopbackConnection& Out() { return out_; }
  pid_t Pid() const { return process_->Pid(); }

 private:
  LoopbackListener source_;
  LoopbackListener server_;
  std::optional<testing::Subprocess> process_;
  LoopbackConnection feed_, out_;
};

void PrintRow(const char* what, double relay, std::optional<double> socat, const char* format) {
  char relay_text[32], socat_text[32], ratio_text[48];
  std::snprintf(relay_text, sizeof relay_text, format, relay);
  if (!socat) {
    std::snprintf(socat_text, sizeof socat_text, "-");
    std::snprintf(ratio_text, sizeof ratio_text, "no socat equivalent");
  } else {
    std::snprintf(socat_text, sizeof socat_text, format, *socat);
    if (*socat > 0) {
      std::snprintf(ratio_text, sizeof ratio_text, "%.1f", relay / *socat);
    } else {
      std::snprintf(ratio_text, sizeof ratio_text, "n/a (socat 0)");
    }
  }
  std::printf("%-47s %9s %9s  %s\n", what, relay_text, socat_text, ratio_text);
}

// Each hop of the relay beside socat doing the same hop, in one run: the
// latency of TCP source to chain peer, TCP source to online server and studio
// to chain peer, then the idle CPU and wake-ups with four silent sources,
// without and with a connected studio.
int Hops(int units, int seconds) {
  const std::string socat = SocatPath();
  if (socat.empty()) {
    return std::fputs("socat is not installed (BENCH_PACKAGES in scripts/packages.sh)\n", stderr),
           1;
  }
  const auto numbered = [](LoopbackConnection& feed) {
    return [&feed](std::uint32_t n) { return feed.Send(NumberedFrame(n)); };
  };
  const auto nothing = [] {};

  std::vector<double> relay_chain, relay_online, studio_chain;
  {
    Station station({.sources = 1});
    if (!station.Ready()) return std::fputs("station not ready\n", stderr), 1;
    const auto delays = Delays(
        units, RelayTaps(station),
        [&](std::uint32_t n) {
          station.SendToAll(NumberedFrame(n));
          return true;
        },
        nothing);
    if (!delays) return 1;
    relay_chain = (*delays)[0];
    relay_online = (*delays)[1];
  }
  std::vector<double> socat_chain, socat_online;
  for (const SocatOut out : {SocatOut::kPeerConnects, SocatOut::kToServer}) {
    SocatHop hop(socat, out);
    if (!hop.Ready()) return std::fputs("socat hop not ready\n", stderr), 1;
    // socat passes the source's frames unchanged, so both ends read VL3 frames.
    const auto delays = Delays(units, {{&hop.Out(), kChainFrameSize, kVl3HeaderSize}},
                               numbered(hop.Feed()), nothing);
    if (!delays) return 1;
    (out == SocatOut::kPeerConnects ? socat_chain : socat_online) = (*delays)[0];
  }
  {
    StudioStation studio_station;
    if (!studio_station.Connect()) return std::fputs("studio or station not ready\n", stderr), 1;
    testing::BusStudio& studio = studio_station.studio;
    const auto delays = Delays(
        units, RelayTaps(studio_station.station),
        [&](std::uint32_t n) {
          const Bytes block = TRegionBlock{.Size = n, .Over = 1000}.Encode();
          return studio.SendCopyData(studio_station.relay, 0x00010001, block).Answered();
        },
        [&] { studio.Bus().Pump(); });
    if (!delays) return 1;
    studio_chain = (*delays)[0];
  }

  Activity relay_idle, relay_studio_idle, socat_idle;
  {
    // The bus is there, as in the next case; only the link is not in use.
    StudioStation station({.sources = 4});
    if (!station.station.Ready()) return std::fputs("station not ready\n", stderr), 1;
    relay_idle = IdleActivity({station.station.Pid()}, seconds, Sleep);
  }
  {
    StudioStation station({.sources = 4, .studio_destination = true});
    if (!station.Connect()) return std::fputs("studio not admitted\n", stderr), 1;
    relay_studio_idle =
        IdleActivity({station.station.Pid()}, seconds,
                     [&](std::chrono::seconds period) { station.studio.Pump(period); });
  }
  {
    // socat carries one stream per process: one per silent source.
    std::vector<std::unique_ptr<SocatHop>> hops;
    std::vector<pid_t> pids;
    for (int i = 0; i < 4; ++i) {
      hops.push_back(std::make_unique<SocatHop>(socat, SocatOut::kPeerConnects));
      if (!hops.back()->Ready()) return std::fputs("socat hop not ready\n", stderr), 1;
      pids.push_back(hops.back()->Pid());
    }
    socat_idle = IdleActivity(pids, seconds, Sleep);
  }

  std::printf(
      "hops: %d units per case, each sent 0 to 10 ms after the previous one arrived; "
      "ms from the send to the receipt\n",
      units);
  std::printf("%-47s %9s %9s  %s\n", "", "relay", "socat", "relay/socat");
  const auto latency = [](const char* hop, const std::vector<double>& relay,
                          const std::vector<double>* other) {
    for (const auto& [name, share] : {std::pair{"median", 0.5}, std::pair{"p99", 0.99}}) {
      const std::string what = std::string(hop) + ", " + name + " ms";
      PrintRow(what.c_str(), Percentile(relay, share),
               other != nullptr ? std::optional(Percentile(*other, share)) : std::nullopt, "%.3f");
    }
  };
  latency("TCP source -> chain peer", relay_chain, &socat_chain);
  latency("TCP source -> online server", relay_online, &socat_online);
  latency("studio -> chain peer", studio_chain, nullptr);
  std::printf(
      "idle over %d s, 4 silent TCP sources (relay: with the chain peer and online uplink; "
      "socat: 4 processes, one per source, each with a connected peer)\n",
      seconds);
  PrintRow("no studio link, CPU % of one core", relay_idle.cpu_percent, socat_idle.cpu_percent,
           "%.3f");
  PrintRow("no studio link, wake-ups/s", relay_idle.wakeups_per_second,
           socat_idle.wakeups_per_second, "%.1f");
  PrintRow("studio link, silent studio, CPU % of one core", relay_studio_idle.cpu_percent,
           socat_idle.cpu_percent, "%.3f");
  PrintRow("studio link, silent studio, wake-ups/s", relay_studio_idle.wakeups_per_second,
           socat_idle.wakeups_per_second, "%.1f");
  std::puts(
      "CPU: run time of all threads (/proc/PID/task/*/schedstat); wake-ups: their voluntary + "
      "nonvoluntary context switches (/proc/PID/task/*/status)");
  return 0;
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
  if (mode == "hops") return trivane::Hops(number(2, 300), number(3, 60));
  std::fputs(
      "usage: trivane_relay_bench latency [UNITS] | idle [SECONDS] | soak [MINUTES] [RATE] | "
      "stall [SECONDS] | studio-latency [UNITS] | studio-idle [SECONDS] [ROUNDS] | "
      "window-idle [SECONDS] [ROUNDS] | hops [UNITS] [SECONDS]\n",
      stderr);
  return 2;
}
