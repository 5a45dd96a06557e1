#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/fake_link_host.h"
#include "support/process_stats.h"
#include "support/region_frames.h"
#include "support/relay_process.h"

namespace trivane {
namespace {

using namespace std::chrono_literals;
using testing::ConnectChainPeer;
using testing::CpuTicks;
using testing::LoopbackConnection;
using testing::LoopbackListener;
using testing::OpenDescriptors;
using testing::RegionFrame;
using testing::RelayProcess;
using testing::SourceEntry;
using testing::StatusValue;
using testing::WaitFor;

// Far fewer descriptors than a service gets, so that a test's flood
// exhausts them; the relay itself needs about fifteen.
constexpr rlim_t kRelayDescriptors = 64;
constexpr int kFlood = 200;

// Lowers this process's descriptor limit until Restore, for a child to inherit.
class LoweredDescriptorLimit {
 public:
  explicit LoweredDescriptorLimit(rlim_t limit) {
    getrlimit(RLIMIT_NOFILE, &own_);
    rlimit lowered = own_;
    lowered.rlim_cur = limit;
    setrlimit(RLIMIT_NOFILE, &lowered);
  }
  void Restore() const { setrlimit(RLIMIT_NOFILE, &own_); }

 private:
  rlimit own_{};
};

// A relay with one TCP source and the chain server without a cap, started
// with the descriptor limit lowered.
struct StarvedRelay {
  // The sanitizers' runtime needs descriptors of its own (it probes memory
  // through a pipe) and takes their want for a fault of the relay.
  static std::optional<std::string> Unsuitable() {
#if TRIVANE_SANITIZED_RELAY
    return "the sanitizers' runtime cannot run without descriptors";
#else
    return std::nullopt;
#endif
  }

  StarvedRelay() {
    limit.Restore();
    feed = source.Accept(10s);
  }

  std::vector<LoopbackConnection> Flood() const {
    std::vector<LoopbackConnection> flood;
    for (int k = 0; k < kFlood; ++k) flood.push_back(LoopbackConnection::Connect(server_port));
    return flood;
  }

  LoopbackListener source;
  std::uint16_t server_port = testing::FreePort();
  LoweredDescriptorLimit limit{kRelayDescriptors};
  RelayProcess relay{"SrcMode=1\r\nDstMode=2\r\nServerMaxPeers=0\r\n" +
                     SourceEntry(0, source.Port()) + "ServerPort=" + std::to_string(server_port) +
                     "\r\n"};
  LoopbackConnection feed;
};

TEST(ChainServerLimits, AFloodThatClosesAgainIsLetGoAndARealPeerGetsTheNextUnit) {
  if (const auto why = StarvedRelay::Unsuitable()) GTEST_SKIP() << *why;
  StarvedRelay starved;
  ASSERT_TRUE(starved.feed.Open());
  RelayProcess& relay = starved.relay;
  ConnectChainPeer(starved.server_port).Close();  // the server is up
  std::this_thread::sleep_for(300ms);             // and has let that peer go
  const std::optional<long> descriptors = OpenDescriptors(relay.Pid());
  const std::optional<long> threads = StatusValue(relay.Pid(), "Threads");
  ASSERT_TRUE(descriptors && threads);

  starved.Flood().clear();  // opened, more than the relay can hold, and closed again
  EXPECT_TRUE(WaitFor([&] { return OpenDescriptors(relay.Pid()) <= descriptors; }, 3s))
      << *OpenDescriptors(relay.Pid()) << " descriptors open, " << *descriptors << " before";
  EXPECT_EQ(StatusValue(relay.Pid(), "Threads"), threads);

  LoopbackConnection peer = ConnectChainPeer(starved.server_port);
  ASSERT_TRUE(peer.Open());
  const Bytes frame = RegionFrame(61000);
  ASSERT_TRUE(starved.feed.Send(frame));
  EXPECT_EQ(peer.ReadExactly(frame.size(), 5s), frame);
  EXPECT_EQ(relay.Stop(), 0);
}

TEST(ChainServerLimits, DescriptorsHeldExhaustedCostNoCpuAndThePeersThereAreServed) {
  if (const auto why = StarvedRelay::Unsuitable()) GTEST_SKIP() << *why;
  StarvedRelay starved;
  ASSERT_TRUE(starved.feed.Open());
  RelayProcess& relay = starved.relay;
  LoopbackConnection peer = ConnectChainPeer(starved.server_port);
  ASSERT_TRUE(peer.Open());

  const std::vector<LoopbackConnection> held = starved.Flood();
  ASSERT_TRUE(relay.WaitFor("Accept failed", 5s));
  const std::optional<long> before = CpuTicks(relay.Pid());
  std::this_thread::sleep_for(2s);
  const std::optional<long> after = CpuTicks(relay.Pid());
  ASSERT_TRUE(before && after);
  // An accept retried at once would take the whole core: 200 ticks in 2 s.
  EXPECT_LT(*after - *before, 20) << "clock ticks of CPU in 2 s";

  const Bytes frame = RegionFrame(62000);
  ASSERT_TRUE(starved.feed.Send(frame));
  EXPECT_EQ(peer.ReadExactly(frame.size(), 5s), frame);
  EXPECT_EQ(relay.Count("Accept failed"), 1) << "once a minute";
  EXPECT_EQ(relay.Stop(), 0);
}

}  // namespace
}  // namespace trivane
