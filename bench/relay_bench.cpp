// Measures the running relay from outside, over loopback, the way a station
// would see it: the delay from a source's send to a chain peer's and the
// online server's receipt, the relay's idle CPU and memory, and a soak with
// four sources carrying one redundant feed.
//
//   trivane_relay_bench latency [UNITS]      (default 1000)
//   trivane_relay_bench idle [SECONDS]       (default 30)
//   trivane_relay_bench soak [MINUTES] [RATE] (default 10 minutes, 90 units/s)

#include <sys/types.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "links/router.h"
#include "support/relay_process.h"

namespace trivane {
namespace {

using namespace std::chrono_literals;
using testing::LoopbackConnection;
using testing::LoopbackListener;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kChainFrameSize = 10 + TRegionBlock::kWireSize;
constexpr std::size_t kOnlineFrameSize = 7 + TRegionBlock::kWireSize;

// Unit n carries n in its size field, so every receiver can tell which it got.
Bytes NumberedFrame(std::uint32_t n) {
  return BuildVl3Frame(1, 1, TRegionBlock{.Size = n, .Over = 1000}.Encode());
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

// The relay with its peers: sources, the chain server with one reading peer,
// and a logged-in online server. Its output is drained so it never blocks.
class Station {
 public:
  explicit Station(int sources) : sources_(static_cast<std::size_t>(sources)) {
    const std::uint16_t server_port = testing::FreePort();
    std::string settings = "SrcMode=1\r\nDstMode=6\r\nServerPort=" + std::to_string(server_port) +
                           "\r\nOnlineIP=127.0.0.1:" + std::to_string(online_server_.Port()) +
                           ":secret\r\n";
    for (int i = 0; i < sources; ++i) {
      settings += testing::SourceEntry(i, sources_[static_cast<std::size_t>(i)].Port());
    }
    relay_.emplace(settings);
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
  ~Station() {
    stop_ = true;
    drain_.join();
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

int Latency(int units) {
  Station station(1);
  if (!station.Ready()) return std::fputs("station not ready\n", stderr), 1;
  Receiver chain(station.Chain(), kChainFrameSize, 10);
  Receiver online(station.Online(), kOnlineFrameSize, 7);
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> phase_us(0, 10'000);
  std::vector<double> to_chain, to_online;
  for (int n = 1; n <= units; ++n) {
    std::this_thread::sleep_for(std::chrono::microseconds(phase_us(random)));
    const auto sent = Clock::now();
    station.SendToAll(NumberedFrame(static_cast<std::uint32_t>(n)));
    const auto until = sent + 2s;
    while (Clock::now() < until && (chain.Arrivals().size() < static_cast<std::size_t>(n) ||
                                    online.Arrivals().size() < static_cast<std::size_t>(n))) {
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
      "latency over %d units, ms: chain median %.2f p99 %.2f max %.2f; "
      "online median %.2f p99 %.2f max %.2f\n",
      units, Percentile(to_chain, 0.5), Percentile(to_chain, 0.99), Percentile(to_chain, 1.0),
      Percentile(to_online, 0.5), Percentile(to_online, 0.99), Percentile(to_online, 1.0));
  return 0;
}

int Idle(int seconds) {
  Station station(4);
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

int Soak(int minutes, int rate) {
  Station station(4);
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
  std::fputs(
      "usage: trivane_relay_bench latency [UNITS] | idle [SECONDS] | soak [MINUTES] [RATE]\n",
      stderr);
  return 2;
}
