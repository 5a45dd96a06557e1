#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "net/host_lookup.h"
#include "support/fake_link_host.h"

namespace trivane {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
using Outcome = HostLookup::Outcome;

// A name server that answers only when the test lets it. Shared, because a
// lookup given up on outlives the call that started it.
struct SilentNameServer {
  std::atomic<bool> answer{false};
  std::atomic<bool> finished{false};

  static LookupFunction Serve(const std::shared_ptr<SilentNameServer>& server) {
    return [server](const std::string&, std::uint16_t port) {
      while (!server->answer) std::this_thread::sleep_for(milliseconds(5));
      HostLookup found;
      found.outcome = Outcome::kFound;
      found.endpoints.emplace_back(asio::ip::make_address("127.0.0.1"), port);
      server->finished = true;
      return found;
    };
  }
};

TEST(HostLookup, ASilentNameServerCannotHoldTheCallerPastItsDeadlineOrAStop) {
  auto server = std::make_shared<SilentNameServer>();

  const auto started = Clock::now();
  const HostLookup timed_out = LookUpWithin("slow.example", 7, started + milliseconds(200), {},
                                            SilentNameServer::Serve(server));
  const auto waited = Clock::now() - started;
  EXPECT_EQ(timed_out.outcome, Outcome::kTimedOut);
  EXPECT_GE(waited, milliseconds(200));
  EXPECT_LT(waited, milliseconds(1500));

  std::stop_source stop;
  std::jthread stopper([&] {
    std::this_thread::sleep_for(milliseconds(100));
    stop.request_stop();
  });
  const auto stop_started = Clock::now();
  const HostLookup stopped = LookUpWithin("slow.example", 7, Clock::now() + std::chrono::hours(1),
                                          stop.get_token(), SilentNameServer::Serve(server));
  EXPECT_EQ(stopped.outcome, Outcome::kStopped);
  EXPECT_LT(Clock::now() - stop_started, milliseconds(1500));

  // The lookups given up on end by themselves once the server answers.
  server->answer = true;
  EXPECT_TRUE(testing::WaitFor([&] { return server->finished.load(); }));
}

TEST(HostLookup, AnswersAndFailuresPassThrough) {
  auto server = std::make_shared<SilentNameServer>();
  server->answer = true;
  const HostLookup found = LookUpWithin("fast.example", 5000, Clock::now() + milliseconds(2000), {},
                                        SilentNameServer::Serve(server));
  ASSERT_EQ(found.outcome, Outcome::kFound);
  ASSERT_EQ(found.endpoints.size(), 1U);
  EXPECT_EQ(found.endpoints[0].port(), 5000);

  const HostLookup failed =
      LookUpWithin("gone.example", 5000, Clock::now() + milliseconds(2000), {},
                   [](const std::string&, std::uint16_t) {
                     return HostLookup{Outcome::kFailed, {}, "Host not found"};
                   });
  EXPECT_EQ(failed.outcome, Outcome::kFailed);
  EXPECT_EQ(failed.failure, "Host not found");
}

}  // namespace
}  // namespace trivane
