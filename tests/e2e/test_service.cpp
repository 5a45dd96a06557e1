#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/region_frames.h"
#include "support/relay_process.h"
#include "support/temp_dir.h"

namespace trivane {
namespace {

using namespace std::chrono_literals;
using testing::ConnectChainPeer;
using testing::FreePort;
using testing::kChainFrameSize;
using testing::LoopbackConnection;
using testing::LoopbackListener;
using testing::RegionFrame;
using testing::RelayProcess;
using testing::SourceEntry;
using Clock = std::chrono::steady_clock;

// The service manager's end of the notification socket: the datagrams the
// relay sends, one state message each.
class NotifySocket {
 public:
  explicit NotifySocket(std::filesystem::path path) : path_(std::move(path)) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path_.string().copy(address.sun_path, sizeof address.sun_path - 1);
    bound_ = bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  ~NotifySocket() { close(fd_); }
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  bool Bound() const { return bound_; }
  const std::filesystem::path& Path() const { return path_; }

  // The next message, or nothing within the limit.
  std::optional<std::string> Next(std::chrono::milliseconds limit) {
    timeval wait{static_cast<time_t>(limit.count() / 1000),
                 static_cast<suseconds_t>(limit.count() % 1000 * 1000)};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    char buffer[4096];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(n));
  }

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  bool bound_ = false;
};

// The environment a service manager gives, for the relays this test starts.
class ServiceEnvironment {
 public:
  ServiceEnvironment(const std::filesystem::path& socket, const char* watchdog_usec) {
    setenv("NOTIFY_SOCKET", socket.c_str(), 1);
    setenv("WATCHDOG_USEC", watchdog_usec, 1);
  }
  ~ServiceEnvironment() {
    unsetenv("NOTIFY_SOCKET");
    unsetenv("WATCHDOG_USEC");
  }
  ServiceEnvironment(const ServiceEnvironment&) = delete;
  ServiceEnvironment& operator=(const ServiceEnvironment&) = delete;
};

bool Contains(const std::string& message, const std::string& line) {
  return ("\n" + message + "\n").find("\n" + line + "\n") != std::string::npos;
}

TEST(ServiceManager, HearsReadyAfterTheApplyThenWatchdogPingsThenStopping) {
  testing::TempDir dir;
  NotifySocket manager(dir / "notify");
  ASSERT_TRUE(manager.Bound());
  const std::uint16_t server_port = FreePort();
  std::optional<RelayProcess> relay;
  {
    const ServiceEnvironment service(manager.Path(), "200000");  // a 200 ms watchdog
    relay.emplace("SrcMode=1\r\nDstMode=2\r\nServerPort=" + std::to_string(server_port) + "\r\n");
  }
  const auto first = manager.Next(3s);
  ASSERT_TRUE(first.has_value()) << "no word from the relay";
  EXPECT_TRUE(Contains(*first, "READY=1")) << *first;
  // Ready means applied: the chain server listens by then.
  EXPECT_TRUE(LoopbackConnection::Connect(server_port).Open());

  // At least every half period while the tick runs.
  const auto start = Clock::now();
  int pings = 0;
  while (Clock::now() - start < 1s) {
    const auto message = manager.Next(300ms);
    ASSERT_TRUE(message.has_value()) << "a gap of 300 ms without a ping after " << pings;
    pings += Contains(*message, "WATCHDOG=1");
  }
  EXPECT_GE(pings, 8);
  EXPECT_LE(pings, 12) << "the pings are paced by the watchdog, not by every tick";

  relay->Signal(SIGTERM);
  bool stopping = false;
  while (!stopping) {
    const auto message = manager.Next(3s);
    if (!message) break;
    stopping = Contains(*message, "STOPPING=1");
  }
  EXPECT_TRUE(stopping);
  EXPECT_EQ(relay->Stop(), 0);
}

// The journal keeps each line whole and gives it its priority from the prefix;
// on a plain pipe the lines stay as they are.
TEST(Journal, ErrorLinesGoOutAtErrorPriorityTheRestAtInfoAndOnlyOnTheJournal) {
  const std::string settings =
      "SrcMode=1\r\nDstMode=2\r\nServerPort=" + std::to_string(FreePort()) + "\r\n" +
      SourceEntry(0, testing::ClosedPort());
  for (const auto output : {testing::ChildOutput::kJournal, testing::ChildOutput::kPipe}) {
    const bool journal = output == testing::ChildOutput::kJournal;
    RelayProcess relay(settings, TRIVANE_EXE, testing::RelayFace::kHeadless, {}, output);
    const auto started = relay.WaitFor("Program started");
    const auto refused = relay.WaitFor(">> ERROR <<");
    ASSERT_TRUE(started && refused);
    EXPECT_EQ(started->starts_with("<6>"), journal) << *started;
    EXPECT_EQ(refused->starts_with("<3>"), journal) << *refused;
    EXPECT_EQ(relay.Stop(), 0);
  }
}

TEST(Reload, AChangedSourceAloneReconnectsAndTheChainPeerStays) {
  LoopbackListener kept_source, moved_source, new_source;
  const std::uint16_t server_port = FreePort();
  const std::string common = "SrcMode=1\r\nDstMode=2\r\nServerPort=" + std::to_string(server_port) +
                             "\r\n" + SourceEntry(0, kept_source.Port());
  RelayProcess relay(common + SourceEntry(1, moved_source.Port()));
  LoopbackConnection kept = kept_source.Accept(5s);
  LoopbackConnection moved = moved_source.Accept(5s);
  ASSERT_TRUE(kept.Open());
  ASSERT_TRUE(moved.Open());
  LoopbackConnection chain = ConnectChainPeer(server_port);
  ASSERT_TRUE(chain.Open());

  relay.RewriteSettings(common + SourceEntry(1, new_source.Port()));
  relay.Signal(SIGHUP);
  ASSERT_TRUE(relay.WaitFor("Settings read again from"));
  LoopbackConnection moved_again = new_source.Accept(5s);
  EXPECT_TRUE(moved_again.Open()) << "the changed source is not connected";
  EXPECT_TRUE(moved.WaitClosed(3s)) << "the old address is still connected";
  EXPECT_TRUE(kept.StaysQuiet(300ms)) << "the unchanged source was dropped";
  EXPECT_FALSE(new_source.Accept(300ms).Open()) << "a second connection to the new address";

  // Both sources and the chain peer carry data after the reload.
  ASSERT_TRUE(kept.Send(RegionFrame(61000)));
  EXPECT_EQ(chain.ReadExactly(kChainFrameSize, 3s).size(), kChainFrameSize);
  ASSERT_TRUE(moved_again.Send(RegionFrame(62000)));
  EXPECT_EQ(chain.ReadExactly(kChainFrameSize, 3s).size(), kChainFrameSize);
  EXPECT_EQ(relay.Stop(), 0);
}

TEST(Reload, AnUnreadableFileKeepsTheRunningSettings) {
  LoopbackListener source;
  const std::uint16_t server_port = FreePort();
  RelayProcess relay("SrcMode=1\r\nDstMode=2\r\nServerPort=" + std::to_string(server_port) +
                     "\r\n" + SourceEntry(0, source.Port()));
  LoopbackConnection feed = source.Accept(5s);
  ASSERT_TRUE(feed.Open());
  LoopbackConnection chain = ConnectChainPeer(server_port);
  ASSERT_TRUE(chain.Open());

  std::filesystem::remove(relay.SettingsFile());
  std::filesystem::create_directory(relay.SettingsFile());
  relay.Signal(SIGHUP);
  EXPECT_TRUE(relay.WaitFor("cannot be read: the running settings stay"));
  ASSERT_TRUE(feed.Send(RegionFrame(63000)));
  EXPECT_EQ(chain.ReadExactly(kChainFrameSize, 3s).size(), kChainFrameSize);
  EXPECT_EQ(relay.Stop(), 0);
}

}  // namespace
}  // namespace trivane
