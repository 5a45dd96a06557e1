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
//   trivane_relay_bench compare [UNITS] [SECONDS] [--window]  (the same as a
//                                   markdown table, headless or with the window)

#include <sys/resource.h>
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
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
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
  std::string more_settings;  // lines added to the settings file as they are
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
                           std::string(kOnlinePassword) + "\r\n" + options.more_settings;
    server_port_ = server_port;
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
  std::uint16_t ServerPort() const { return server_port_; }

 private:
  void StopDraining() {
    stop_ = true;
    if (drain_.joinable()) drain_.join();
  }

  std::vector<LoopbackListener> sources_;
  LoopbackListener online_server_;
  std::uint16_t server_port_ = 0;
  std::optional<testing::RelayProcess> relay_;
  LoopbackConnection online_, chain_;
  bool logged_in_ = false;
  std::vector<LoopbackConnection> feeds_;
  std::atomic<bool> stop_{false};
  std::thread drain_;
};

// What the process's threads have used so far: the scheduler's nanosecond
// run time (/proc/PID/task/*/schedstat), the clock ticks of user and system
// time the process as a whole was charged (utime and stime of
// /proc/PID/stat, coarser, but what ps and top show), and the threads'
// context switches, voluntary and not (/proc/PID/task/*/status): each is one
// time a thread went off the CPU and came back, so their count is the
// wake-ups.
struct TaskCounters {
  unsigned long long run_ns = 0;
  unsigned long long ticks = 0;
  unsigned long long switches = 0;
  // Each thread as PID/TID, with its name; a thread that ends takes its
  // counts with it.
  std::map<std::string, std::string> threads;
};

// utime + stime, the 14th and 15th fields; the command name before them is
// in parentheses and may itself hold spaces or parentheses.
unsigned long long ChargedTicks(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  const std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const std::size_t name_end = stat.rfind(')');
  if (name_end == std::string::npos) return 0;
  std::istringstream fields(stat.substr(name_end + 1));
  std::string skipped;
  for (int field = 3; field < 14; ++field) fields >> skipped;
  unsigned long long user = 0;
  unsigned long long system = 0;
  fields >> user >> system;
  return user + system;
}

TaskCounters Counters(pid_t pid) {
  const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code ignored;
  TaskCounters counters;
  counters.ticks = ChargedTicks(pid);
  for (const auto& task : std::filesystem::directory_iterator(tasks, ignored)) {
    std::ifstream name(task.path() / "comm");
    std::string& thread =
        counters.threads[std::to_string(pid) + "/" + task.path().filename().string()];
    std::getline(name, thread);
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

// Each unit goes out by send(n) at a random moment 10 to 20 ms after the
// previous one arrived everywhere (so the chain server's one entry per 10 ms
// never holds one back, and what is timed is the relay's own delay), and is timed from then to its
// arrival at every tap; serve() is called while waiting. The delays in ms, per tap and unit;
// nothing when a unit was not sent, did not arrive, or another came in its place.
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
  std::uniform_int_distribution<int> phase_us(10'000, 20'000);
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
  double cpu_percent = 0;        // of one core, from the scheduler's run time
  double ticks_cpu_percent = 0;  // the same from the charged clock ticks
  double wakeups_per_second = 0;
  // False when threads started or ended during the period: an ended thread's
  // run time and switches are missing from the sums, so the figures are off.
  bool same_threads = true;
};

// Whether the threads at the end of a period are those of its start; where
// not, standard error names the ones that came and went.
bool SameThreads(const TaskCounters& before, const TaskCounters& after) {
  bool same = true;
  const auto missing = [&same](const char* what, const TaskCounters& in, const TaskCounters& from) {
    for (const auto& [id, name] : in.threads) {
      if (from.threads.contains(id)) continue;
      std::fprintf(stderr, "thread %s %s (%s) during the idle period\n", id.c_str(), what,
                   name.c_str());
      same = false;
    }
  };
  missing("ended", before, after);
  missing("started", after, before);
  return same;
}

// The processes' CPU share and wake-ups over the period, taken together and
// measured after they had time to settle.
Activity IdleActivity(const std::vector<pid_t>& pids, int seconds,
                      const std::function<void(std::chrono::seconds)>& wait,
                      std::chrono::seconds settle = 2s) {
  const auto total = [&pids] {
    TaskCounters sum;
    for (const pid_t pid : pids) {
      TaskCounters one = Counters(pid);
      sum.run_ns += one.run_ns;
      sum.ticks += one.ticks;
      sum.switches += one.switches;
      sum.threads.merge(one.threads);
    }
    return sum;
  };
  wait(settle);
  const TaskCounters before = total();
  wait(std::chrono::seconds(seconds));
  const TaskCounters after = total();
  return {.cpu_percent = 100.0 * static_cast<double>(after.run_ns - before.run_ns) / 1e9 / seconds,
          .ticks_cpu_percent = 100.0 * static_cast<double>(after.ticks - before.ticks) /
                               static_cast<double>(sysconf(_SC_CLK_TCK)) / seconds,
          .wakeups_per_second = static_cast<double>(after.switches - before.switches) / seconds,
          .same_threads = SameThreads(before, after)};
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

// Every figure of one comparison: the delays in ms per route, and the idle
// activity of the relay without and with the studio link and of socat.
struct HopFigures {
  std::vector<double> relay_chain, relay_online, studio_chain;
  std::vector<double> socat_chain, socat_online;
  Activity relay_idle, relay_studio_idle, socat_idle;
  std::chrono::seconds relay_settle{};  // before the relay's idle periods
};

// Each route of the relay, in the given face, and socat doing the same hop
// where it can, one case after the other: TCP source to chain peer and to
// online server, studio to chain peer, then the idle activity with four
// silent sources without and with a connected studio. Nothing when a case
// could not be set up or a unit went astray; standard error says which.
std::optional<HopFigures> MeasureHops(int units, int seconds, testing::RelayFace face) {
  const std::string socat = SocatPath();
  const auto failed = [](const char* why) {
    std::fprintf(stderr, "%s\n", why);
    return std::nullopt;
  };
  if (socat.empty()) {
    return failed("socat is not installed (BENCH_PACKAGES in scripts/packages.sh)");
  }
  const auto numbered = [](LoopbackConnection& feed) {
    return [&feed](std::uint32_t n) { return feed.Send(NumberedFrame(n)); };
  };
  const auto nothing = [] {};

  HopFigures figures;
  {
    Station station({.sources = 1, .face = face});
    if (!station.Ready()) return failed("station not ready");
    const auto delays = Delays(
        units, RelayTaps(station),
        [&](std::uint32_t n) {
          station.SendToAll(NumberedFrame(n));
          return true;
        },
        nothing);
    if (!delays) return std::nullopt;
    figures.relay_chain = (*delays)[0];
    figures.relay_online = (*delays)[1];
  }
  for (const SocatOut out : {SocatOut::kPeerConnects, SocatOut::kToServer}) {
    SocatHop hop(socat, out);
    if (!hop.Ready()) return failed("socat hop not ready");
    // socat passes the source's frames unchanged, so both ends read VL3 frames.
    const auto delays = Delays(units, {{&hop.Out(), kChainFrameSize, kVl3HeaderSize}},
                               numbered(hop.Feed()), nothing);
    if (!delays) return std::nullopt;
    (out == SocatOut::kPeerConnects ? figures.socat_chain : figures.socat_online) = (*delays)[0];
  }
  {
    StudioStation studio_station({.studio_source = true, .face = face});
    if (!studio_station.Connect()) return failed("studio or station not ready");
    testing::BusStudio& studio = studio_station.studio;
    const auto delays = Delays(
        units, RelayTaps(studio_station.station),
        [&](std::uint32_t n) {
          const Bytes block = TRegionBlock{.Size = n, .Over = 1000}.Encode();
          return studio.SendCopyData(studio_station.relay, 0x00010001, block).Answered();
        },
        [&] { studio.Bus().Pump(); });
    if (!delays) return std::nullopt;
    figures.studio_chain = (*delays)[0];
  }

  // The window's toolkit starts pooled threads that end after 30 s without
  // work; the relay's period starts once they are gone, so that every thread
  // it sums lives through it.
  figures.relay_settle = face == testing::RelayFace::kWindow ? 35s : 2s;
  {
    // The bus is there, as in the next case; only the link is not in use.
    StudioStation station({.sources = 4, .face = face});
    if (!station.station.Ready()) return failed("station not ready");
    figures.relay_idle =
        IdleActivity({station.station.Pid()}, seconds, Sleep, figures.relay_settle);
  }
  {
    StudioStation station({.sources = 4, .studio_destination = true, .face = face});
    if (!station.Connect()) return failed("studio not admitted");
    figures.relay_studio_idle = IdleActivity(
        {station.station.Pid()}, seconds,
        [&](std::chrono::seconds period) { station.studio.Pump(period); }, figures.relay_settle);
  }
  {
    // socat carries one stream per process: one per silent source.
    std::vector<std::unique_ptr<SocatHop>> hops;
    std::vector<pid_t> pids;
    for (int i = 0; i < 4; ++i) {
      hops.push_back(std::make_unique<SocatHop>(socat, SocatOut::kPeerConnects));
      if (!hops.back()->Ready()) return failed("socat hop not ready");
      pids.push_back(hops.back()->Pid());
    }
    figures.socat_idle = IdleActivity(pids, seconds, Sleep);
  }
  return figures;
}

// One row of a comparison: the relay's figure and socat's, where socat has one.
struct HopRow {
  std::string what;
  double relay;
  std::optional<double> socat;
  const char* format;
};

// The rows in the order they are printed, the CPU share from the scheduler's
// run time or from the charged clock ticks.
std::vector<HopRow> HopRows(const HopFigures& figures, bool cpu_from_ticks) {
  std::vector<HopRow> rows;
  const auto latency = [&rows](const char* route, const std::vector<double>& relay,
                               const std::vector<double>* socat) {
    for (const auto& [name, share] : {std::pair{"median", 0.5}, std::pair{"p99", 0.99}}) {
      rows.push_back({std::string(route) + ", " + name + " ms", Percentile(relay, share),
                      socat != nullptr ? std::optional(Percentile(*socat, share)) : std::nullopt,
                      "%.3f"});
    }
  };
  latency("TCP source -> chain peer", figures.relay_chain, &figures.socat_chain);
  latency("TCP source -> online server", figures.relay_online, &figures.socat_online);
  latency("studio -> chain peer", figures.studio_chain, nullptr);
  const auto cpu = [cpu_from_ticks](const Activity& activity) {
    return cpu_from_ticks ? activity.ticks_cpu_percent : activity.cpu_percent;
  };
  const std::string unsteady = figures.socat_idle.same_threads ? "" : " (socat's threads changed)";
  for (const auto& [link, relay] :
       {std::pair{"idle, no studio link", &figures.relay_idle},
        std::pair{"idle, studio link, silent studio", &figures.relay_studio_idle}}) {
    const std::string what =
        link + std::string(relay->same_threads ? "" : " (relay's threads changed)") + unsteady;
    rows.push_back({what + ", CPU % of one core", cpu(*relay), cpu(figures.socat_idle), "%.3f"});
    rows.push_back({what + ", wake-ups/s", relay->wakeups_per_second,
                    figures.socat_idle.wakeups_per_second, "%.1f"});
  }
  return rows;
}

struct RowCells {
  std::string relay, socat, ratio;  // empty where socat has no figure, or a 0
};

RowCells Cells(const HopRow& row) {
  const auto text = [](const char* format, double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    return std::string(buffer);
  };
  RowCells cells;
  cells.relay = text(row.format, row.relay);
  if (row.socat) {
    cells.socat = text(row.format, *row.socat);
    if (*row.socat > 0) cells.ratio = text("%.1f", row.relay / *row.socat);
  }
  return cells;
}

// What the relay holds at one moment.
struct Holdings {
  long resident_kib = 0;
  std::size_t threads = 0;
  long descriptors = 0;
};

Holdings HoldingsOf(pid_t pid) {
  std::error_code ignored;
  const std::filesystem::directory_iterator fds("/proc/" + std::to_string(pid) + "/fd", ignored);
  return {ResidentKiB(pid), Counters(pid).threads.size(),
          static_cast<long>(std::distance(fds, std::filesystem::directory_iterator{}))};
}

// A flood of connections at the chain server while a real chain peer is
// timed: units 1 to UNITS before it, the rest during it. The flood opens
// CONNECTIONS connections as fast as it can, closes them, and starts again
// until the last unit is in.
int Flood(int connections, int cap, int units) {
  rlimit own{};
  getrlimit(RLIMIT_NOFILE, &own);
  own.rlim_cur = own.rlim_max;  // this process holds the flood's own ends
  setrlimit(RLIMIT_NOFILE, &own);
  Station station(
      {.sources = 1, .more_settings = "ServerMaxPeers=" + std::to_string(cap) + "\r\n"});
  if (!station.Ready()) return std::fputs("station not ready\n", stderr), 1;
  const Holdings before = HoldingsOf(station.Pid());

  std::atomic<bool> flooding{false};
  std::atomic<long> opened{0};
  std::atomic<int> rounds{0};
  std::thread flooder;
  Holdings peak = before;
  const auto sample = [&] {
    const Holdings now = HoldingsOf(station.Pid());
    peak = {std::max(peak.resident_kib, now.resident_kib), std::max(peak.threads, now.threads),
            std::max(peak.descriptors, now.descriptors)};
  };
  const auto delays = Delays(
      2 * units, {{&station.Chain(), kChainFrameSize, kVl3HeaderSize}},
      [&](std::uint32_t n) {
        if (n == static_cast<std::uint32_t>(units) + 1) {
          flooding = true;
          flooder = std::thread([&] {
            while (flooding) {
              std::vector<LoopbackConnection> flood;
              for (int k = 0; k < connections && flooding; ++k) {
                flood.push_back(LoopbackConnection::Connect(station.ServerPort()));
                opened += flood.back().Open() ? 1 : 0;
              }
              ++rounds;
            }
          });
        }
        station.SendToAll(NumberedFrame(n));
        return true;
      },
      [&] {
        if (flooding) sample();
      });
  flooding = false;
  if (flooder.joinable()) flooder.join();
  std::this_thread::sleep_for(1s);
  const Holdings after = HoldingsOf(station.Pid());
  if (!delays) return 1;

  const std::vector<double>& all = (*delays)[0];
  const std::vector<double> quiet(all.begin(), all.begin() + units);
  const std::vector<double> flooded(all.begin() + units, all.end());
  std::printf(
      "flood: rounds of %d connections at the chain server (ServerMaxPeers=%d), each opened as "
      "fast as one thread can and closed again; %d rounds, %ld connections while a real chain "
      "peer was timed over %d units; %d units before the flood\n\n",
      connections, cap, rounds.load(), opened.load(), units, units);
  std::printf("| | before | flood's peak | 1 s after it |\n|---|---|---|---|\n");
  std::printf("| resident memory | %ld KiB | %ld KiB | %ld KiB |\n", before.resident_kib,
              peak.resident_kib, after.resident_kib);
  std::printf("| threads | %zu | %zu | %zu |\n", before.threads, peak.threads, after.threads);
  std::printf("| descriptors | %ld | %ld | %ld |\n", before.descriptors, peak.descriptors,
              after.descriptors);
  std::printf("| chain peer, median / p99 / max ms | %.2f / %.2f / %.2f | %.2f / %.2f / %.2f | |\n",
              Percentile(quiet, 0.5), Percentile(quiet, 0.99), Percentile(quiet, 1.0),
              Percentile(flooded, 0.5), Percentile(flooded, 0.99), Percentile(flooded, 1.0));
  std::printf("\nlog lines about peers refused by the cap: %d\n",
              station.Count("refused: ServerMaxPeers"));
  return 0;
}

// Each hop of the relay beside socat doing the same hop, in one run, as
// aligned text.
int Hops(int units, int seconds) {
  const auto figures = MeasureHops(units, seconds, testing::RelayFace::kHeadless);
  if (!figures) return 1;
  std::printf(
      "hops: %d units per case, each sent 10 to 20 ms after the previous one arrived; "
      "ms from the send to the receipt; idle over %d s, 4 silent TCP sources (relay: with the "
      "chain peer and online uplink; socat: 4 processes, one per source, each with a connected "
      "peer)\n",
      units, seconds);
  std::printf("%-52s %9s %9s  %s\n", "", "relay", "socat", "relay/socat");
  for (const HopRow& row : HopRows(*figures, false)) {
    const RowCells cells = Cells(row);
    const char* ratio = !row.socat            ? "no socat equivalent"
                        : cells.ratio.empty() ? "n/a (socat 0)"
                                              : cells.ratio.c_str();
    std::printf("%-52s %9s %9s  %s\n", row.what.c_str(), cells.relay.c_str(),
                row.socat ? cells.socat.c_str() : "-", ratio);
  }
  std::puts(
      "CPU: run time of all threads (/proc/PID/task/*/schedstat); wake-ups: their voluntary + "
      "nonvoluntary context switches (/proc/PID/task/*/status)");
  return 0;
}

// The same comparison, headless or with the relay's window, as one markdown
// table for the benchmark page, and what each row stands for beneath it.
int Compare(int units, int seconds, bool window) {
  std::string face = "headless";
  if (window) {
    // The window needs a display; without one, Qt draws into memory.
    if (std::getenv("DISPLAY") == nullptr && std::getenv("QT_QPA_PLATFORM") == nullptr) {
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    face = platform != nullptr ? std::string("window, QT_QPA_PLATFORM=") + platform
                               : std::string("window, DISPLAY=") + std::getenv("DISPLAY");
  }
  const auto figures = MeasureHops(
      units, seconds, window ? testing::RelayFace::kWindow : testing::RelayFace::kHeadless);
  if (!figures) return 1;
  std::printf(
      "compare: the relay (%s) beside socat; %d units per route, each sent 10 to 20 ms after the "
      "previous one arrived, ms from the send to the receipt; idle over %d s, the relay's "
      "after %lld s to settle, socat's after 2 s\n\n",
      face.c_str(), units, seconds, static_cast<long long>(figures->relay_settle.count()));
  std::printf("| Case | Relay (%s) | socat | Relay / socat |\n|---|---|---|---|\n", face.c_str());
  for (const HopRow& row : HopRows(*figures, true)) {
    const RowCells cells = Cells(row);
    std::printf("| %s | %s | %s | %s |\n", row.what.c_str(), cells.relay.c_str(),
                row.socat ? cells.socat.c_str() : "no counterpart", cells.ratio.c_str());
  }
  std::printf(
      "\n"
      "- TCP source -> online server: the relay is logged in first (greeting, password, empty "
      "verdict); socat (`socat TCP:SOURCE TCP:SERVER`) relays the frames' bytes as they come and "
      "does no log-in.\n"
      "- studio -> chain peer: region blocks by WM_COPYDATA over a private desktop bus, SrcMode "
      "0; socat does not speak the desktop bus, so the relay stands alone.\n"
      "- idle: four connected, silent TCP sources (SrcMode 1), the chain peer and the online "
      "uplink; DstMode 6 without the studio link, DstMode 7 with it and a studio that said hello "
      "and stays silent. socat: four processes, one per silent source, each with a connected "
      "peer, summed, measured once and shown beside both.\n"
      "- CPU: utime + stime of /proc/PID/stat in clock ticks of 1/%ld s (one tick over %d s is "
      "%.3f%%); wake-ups: voluntary + nonvoluntary context switches summed over "
      "/proc/PID/task/*/status. Ratios are relay over socat, none where socat's figure is 0.\n",
      sysconf(_SC_CLK_TCK), seconds, 100.0 / static_cast<double>(sysconf(_SC_CLK_TCK)) / seconds);
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
  if (mode == "flood") return trivane::Flood(number(2, 5000), number(3, 64), number(4, 100));
  if (mode == "compare") {
    std::vector<std::string> numbers;
    bool window = false;
    bool unknown = false;
    for (int i = 2; i < argc; ++i) {
      const std::string_view argument = argv[i];
      if (argument == "--window") {
        window = true;
      } else {
        unknown = unknown || argument.starts_with("-") || numbers.size() == 2;
        numbers.emplace_back(argument);
      }
    }
    if (!unknown) {
      return trivane::Compare(numbers.size() > 0 ? std::stoi(numbers[0]) : 300,
                              numbers.size() > 1 ? std::stoi(numbers[1]) : 60, window);
    }
  }
  std::fputs(
      "usage: trivane_relay_bench latency [UNITS] | idle [SECONDS] | soak [MINUTES] [RATE] | "
      "stall [SECONDS] | studio-latency [UNITS] | studio-idle [SECONDS] [ROUNDS] | "
      "window-idle [SECONDS] [ROUNDS] | hops [UNITS] [SECONDS] | "
      "compare [UNITS] [SECONDS] [--window] | flood [CONNECTIONS] [CAP] [UNITS]\n",
      stderr);
  return 2;
}
