#include <gtest/gtest.h>

#include "platform/event_wait.h"

#if defined(_WIN32)
#include <winsock2.h>
#else
#include <fcntl.h>
#endif

#include <chrono>
#include <thread>

#include "support/loopback_peer.h"

namespace trivane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::LoopbackConnection;
using testing::LoopbackListener;

NativeSocket Native(const LoopbackConnection& connection) {
  return static_cast<NativeSocket>(connection.Handle());
}

// How long one wait took, for a plan that should or should not end it.
Clock::duration Waited(EventWait& events, const WakePlan& plan, Clock::duration limit) {
  const auto start = Clock::now();
  events.Wait(plan, start + limit);
  return Clock::now() - start;
}

// Sends without waiting until the socket takes no more.
void FillUntilFull(const LoopbackConnection& connection) {
#if defined(_WIN32)
  u_long on = 1;
  ioctlsocket(connection.Handle(), FIONBIO, &on);
#else
  fcntl(connection.Handle(), F_SETFL, fcntl(connection.Handle(), F_GETFL) | O_NONBLOCK);
#endif
  const std::string block(65536, 'x');
  while (send(connection.Handle(), block.data(), static_cast<int>(block.size()),
              testing::kNoSignal) > 0) {
  }
}

TEST(EventWait, BytesToReadAndAWakeFromAnyThreadEndTheWaitAndNothingElseDoes) {
  EventWait events(nullptr);
  LoopbackListener listener;
  LoopbackConnection client = LoopbackConnection::Connect(listener.Port());
  LoopbackConnection server = listener.Accept();
  ASSERT_TRUE(client.Open() && server.Open());
  WakePlan plan;
  plan.Read(Native(server));

  EXPECT_GE(Waited(events, plan, 300ms), 250ms) << "nothing came: the wait lasts its time";
  ASSERT_TRUE(client.Send("x"));
  EXPECT_LT(Waited(events, plan, 10s), 5s);

  // A wake-up ends the wait under way, and one that came before ends the next.
  std::thread waker([&] {
    std::this_thread::sleep_for(50ms);
    events.Wake();
  });
  EXPECT_LT(Waited(events, WakePlan{}, 10s), 5s);
  waker.join();
  events.Wake();
  EXPECT_LT(Waited(events, WakePlan{}, 10s), 5s);
  EXPECT_GE(Waited(events, WakePlan{}, 300ms), 250ms) << "a wake-up counts once";
}

TEST(EventWait, ASocketThatCannotTakeBytesWaitsWithoutSpinningUntilItCan) {
  EventWait events(nullptr);
  LoopbackListener listener(0, 4096);
  LoopbackConnection client = LoopbackConnection::Connect(listener.Port());
  LoopbackConnection reader = listener.Accept();
  ASSERT_TRUE(client.Open() && reader.Open());
  FillUntilFull(client);
  WakePlan plan;
  plan.Write(Native(client));

  // Asked for room that is not there, the wait does not end at once (a loop
  // around it would spin) but lasts its time.
  EXPECT_GE(Waited(events, plan, 300ms), 250ms);
  EXPECT_GE(Waited(events, plan, 300ms), 250ms);

  // The peer reads: there is room again, and the wait ends for it.
  Bytes taken;
  while (reader.ReadSome(taken, 200ms)) {
  }
  EXPECT_LT(Waited(events, plan, 10s), 5s);
}

}  // namespace
}  // namespace trivane
