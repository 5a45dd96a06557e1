#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/system_desktop.h"
#include "support/sum_window.h"
#include "support/temp_dir.h"

// What the studio channel needs of a desktop, asked of the desktop of the
// system this is built for. Threads stand in for programs: a window belongs
// to the thread that made it, and a send between threads waits as one
// between programs does.
namespace trivane {
namespace {

using Kind = SendOutcome::Kind;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kWmUser = 0x0400;

using testing::Fnv;
using testing::SumWindow;

template <typename Done>
bool Eventually(Done done, milliseconds limit = std::chrono::seconds(3)) {
  const auto end = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(milliseconds(5));
  }
  return true;
}

bool Listed(Desktop& desktop, WindowHandle handle, const std::string& class_name) {
  const auto windows = desktop.EnumWindows();
  return std::any_of(windows.begin(), windows.end(), [&](const DesktopWindow& w) {
    return w.handle == handle && w.class_name == class_name;
  });
}

void ServeFor(Desktop& desktop, milliseconds period, const std::function<bool()>& done = {}) {
  const auto end = Clock::now() + period;
  while (Clock::now() < end && !(done && done())) {
    desktop.WaitForInput(Clock::now() + milliseconds(10));
    desktop.Pump();
  }
}

class SystemDesktopTest : public ::testing::Test {
 protected:
  // One more program's view of the same desktop.
  std::unique_ptr<Desktop> Open() const {
#if defined(_WIN32)
    return std::make_unique<Win32Desktop>();
#else
    DesktopBusOptions options;
    options.directory = (temp / "bus").string();
    options.hung_after = kHungAfter;
    return std::make_unique<DesktopBus>(options);
#endif
  }

  // Windows decides this for itself; the bus is told a shorter time.
#if defined(_WIN32)
  static constexpr milliseconds kHungAfter{5000};
#else
  static constexpr milliseconds kHungAfter{1500};
#endif

  // A second program with one window, served by its own thread until the test ends.
  class Peer {
   public:
    Peer(const SystemDesktopTest& test, std::function<void(Desktop&, Peer&)> body)
        : thread_([this, &test, body = std::move(body)] {
            const auto desktop = test.Open();
            body(*desktop, *this);
          }) {}
    ~Peer() {
      stop = true;
      thread_.join();
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    void ServeUntilStopped(Desktop& desktop) {
      while (!stop) {
        desktop.WaitForInput(Clock::now() + milliseconds(10));
        desktop.Pump();
      }
    }
    std::atomic<WindowHandle> window{0};
    std::atomic<bool> stop{false};

   private:
    std::thread thread_;
  };

  testing::TempDir temp;
};

TEST_F(SystemDesktopTest, WindowsAreListedWithTheirClassNamesToEveryProgramUntilDestroyed) {
  const auto desktop = Open();
  SumWindow procedure;
  const WindowHandle relay = desktop->CreateTopLevelWindow("TVL_Trivane", procedure);
  const WindowHandle studio = desktop->CreateTopLevelWindow("TStudio", procedure);
  ASSERT_NE(relay, 0);
  ASSERT_NE(studio, 0);
  EXPECT_NE(relay, studio);

  const auto other = Open();
  EXPECT_TRUE(Listed(*other, relay, "TVL_Trivane"));
  EXPECT_TRUE(Listed(*other, studio, "TStudio"));
  desktop->DestroyTopLevelWindow(relay);
  EXPECT_FALSE(Listed(*other, relay, "TVL_Trivane"));
  EXPECT_EQ(other->SendMessage(relay, kWmUser, 1, 2, milliseconds(200)).kind, Kind::kNoWindow);
  EXPECT_FALSE(other->IsHung(relay).value_or(false));
  EXPECT_TRUE(Listed(*other, studio, "TStudio"));
}

TEST_F(SystemDesktopTest, AWindowIsServedOnlyWhileItsThreadPumpsAndItsOwnSendIsAPlainCall) {
  const auto desktop = Open();
  SumWindow procedure;
  const WindowHandle mine = desktop->CreateTopLevelWindow("Owned", procedure);
  ASSERT_NE(mine, 0);
  SendOutcome early;
  SendOutcome late;
  std::thread other([&] {
    const auto theirs = Open();
    theirs->Pump();                       // serves none of our windows
    theirs->DestroyTopLevelWindow(mine);  // not its window: ignored
    early = theirs->SendMessage(mine, kWmUser, 1, 2, milliseconds(200));
    late = theirs->SendMessage(mine, kWmUser, 1, 2, milliseconds(5000));
  });
  std::this_thread::sleep_for(milliseconds(400));  // the first send gives up meanwhile
  ServeFor(*desktop, std::chrono::seconds(6), [&] { return procedure.messages >= 1; });
  other.join();
  EXPECT_EQ(early.kind, Kind::kTimedOut);
  EXPECT_EQ(late.kind, Kind::kAnswered);
  EXPECT_EQ(late.result, 3);
  EXPECT_TRUE(Listed(*desktop, mine, "Owned"));
  EXPECT_EQ(desktop->SendMessage(mine, kWmUser, 5, 6, milliseconds(0)).result, 11);
  // Negative answers come back whole.
  procedure.on_message = [](std::uint32_t, std::uint32_t, std::uint32_t) { return -2; };
  EXPECT_EQ(desktop->SendMessage(mine, kWmUser, 0, 0, milliseconds(100)).result, -2);
}

TEST_F(SystemDesktopTest, TwoSidesSendingToEachOtherAtOnceBothGetEveryAnswer) {
  constexpr int kRounds = 100;
  std::atomic<WindowHandle> relay_window{0};
  std::atomic<int> peer_right{-1};
  Peer studio(*this, [&](Desktop& desktop, Peer& self) {
    SumWindow procedure;
    WindowHandle mine = 0;
    procedure.on_message = [&](std::uint32_t message, std::uint32_t w, std::uint32_t l) {
      // A send from inside a message: the relay, waiting on us, serves it.
      if (message == kWmUser + 1) {
        return desktop.SendMessage(relay_window, kWmUser + 2, 0, 0, milliseconds(2000)).result + 1;
      }
      // A window that closes itself on a message still answers it.
      if (message == kWmUser + 3) desktop.DestroyTopLevelWindow(mine);
      return static_cast<std::int32_t>(w + l);
    };
    mine = desktop.CreateTopLevelWindow("TStudio", procedure);
    self.window = mine;
    while (relay_window == 0 && !self.stop) std::this_thread::sleep_for(milliseconds(1));
    int right = 0;
    for (int i = 0; i < kRounds; ++i) {
      const auto out = desktop.SendMessage(relay_window, kWmUser, i, 1000, milliseconds(2000));
      if (out.Answered() && out.result == i + 1000) ++right;
    }
    peer_right = right;
    self.ServeUntilStopped(desktop);
  });
  const auto desktop = Open();
  SumWindow procedure;
  procedure.on_message = [](std::uint32_t message, std::uint32_t w, std::uint32_t l) {
    return message == kWmUser + 2 ? 77 : static_cast<std::int32_t>(w + l);
  };
  ASSERT_TRUE(Eventually([&] { return studio.window != 0; }));
  relay_window = desktop->CreateTopLevelWindow("TVL_Trivane", procedure);
  int right = 0;
  for (int i = 0; i < kRounds; ++i) {
    const auto out = desktop->SendMessage(studio.window, kWmUser, 2 * i, 1, milliseconds(2000));
    if (out.Answered() && out.result == 2 * i + 1) ++right;
  }
  EXPECT_EQ(right, kRounds);
  ServeFor(*desktop, std::chrono::seconds(10), [&] { return peer_right >= 0; });
  EXPECT_EQ(peer_right, kRounds);

  const auto nested = desktop->SendMessage(studio.window, kWmUser + 1, 0, 0, milliseconds(3000));
  EXPECT_EQ(nested.kind, Kind::kAnswered);
  EXPECT_EQ(nested.result, 78);
  const auto closing = desktop->SendMessage(studio.window, kWmUser + 3, 4, 5, milliseconds(3000));
  EXPECT_EQ(closing.kind, Kind::kAnswered);
  EXPECT_EQ(closing.result, 9);
  EXPECT_FALSE(Listed(*desktop, studio.window, "TStudio"));
  EXPECT_EQ(desktop->SendMessage(studio.window, kWmUser, 0, 0, milliseconds(500)).kind,
            Kind::kNoWindow);
}

TEST_F(SystemDesktopTest, CopyDataCarriesTheSenderItsTagAndAMebibyte) {
  SumWindow studio_procedure;
  Peer studio(*this, [&](Desktop& desktop, Peer& self) {
    self.window = desktop.CreateTopLevelWindow("TStudio", studio_procedure);
    self.ServeUntilStopped(desktop);
  });
  ASSERT_TRUE(Eventually([&] { return studio.window != 0; }));
  const auto desktop = Open();
  SumWindow procedure;
  const WindowHandle relay = desktop->CreateTopLevelWindow("TVL_Trivane", procedure);
  Bytes big(1 << 20);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 31);
  const auto out = desktop->SendCopyData(studio.window, static_cast<std::uint32_t>(relay), 7, big,
                                         milliseconds(3000));
  EXPECT_EQ(out.kind, Kind::kAnswered);
  EXPECT_EQ(out.result, Fnv(big));
  EXPECT_EQ(studio_procedure.copy_sender, static_cast<std::uint32_t>(relay));
  const auto empty = desktop->SendCopyData(studio.window, 1, 8, {}, milliseconds(3000));
  EXPECT_EQ(empty.kind, Kind::kAnswered);
  EXPECT_EQ(empty.result, -1);
  EXPECT_EQ(studio_procedure.copy_sender, 1u);
}

TEST_F(SystemDesktopTest, AReceiverThatNeverPumpsTimesOutThenCountsAsHungUntilItServes) {
  std::atomic<bool> serve{false};
  Peer studio(*this, [&](Desktop& desktop, Peer& self) {
    SumWindow procedure;
    self.window = desktop.CreateTopLevelWindow("TStudio", procedure);
    desktop.Pump();
    while (!serve && !self.stop) std::this_thread::sleep_for(milliseconds(10));
    self.ServeUntilStopped(desktop);
  });
  ASSERT_TRUE(Eventually([&] { return studio.window != 0; }));
  const auto desktop = Open();
  ASSERT_TRUE(desktop->IsHung(studio.window).has_value());
  EXPECT_FALSE(*desktop->IsHung(studio.window));

  auto start = Clock::now();
  EXPECT_EQ(desktop->SendMessage(studio.window, kWmUser, 0, 0, milliseconds(300)).kind,
            Kind::kTimedOut);
  EXPECT_GE(Clock::now() - start, milliseconds(290));
  EXPECT_LT(Clock::now() - start, milliseconds(2000));
  EXPECT_TRUE(
      Eventually([&] { return *desktop->IsHung(studio.window); }, kHungAfter + milliseconds(5000)));

  // A hung receiver is not waited for at all, long limit or not.
  start = Clock::now();
  EXPECT_EQ(desktop->SendMessage(studio.window, kWmUser, 0, 0, milliseconds(10000)).kind,
            Kind::kTimedOut);
  EXPECT_LT(Clock::now() - start, milliseconds(2000));

  serve = true;
  EXPECT_TRUE(
      Eventually([&] { return !*desktop->IsHung(studio.window); }, std::chrono::seconds(10)));
  const auto out = desktop->SendMessage(studio.window, kWmUser, 20, 22, milliseconds(3000));
  EXPECT_EQ(out.kind, Kind::kAnswered);
  EXPECT_EQ(out.result, 42);
}

TEST_F(SystemDesktopTest, WaitForInputEndsOnASendOrAtItsTimeNotLaterAndServesNothing) {
  const auto desktop = Open();
  SumWindow procedure;
  const WindowHandle mine = desktop->CreateTopLevelWindow("TVL_Trivane", procedure);
  ASSERT_NE(mine, 0);
  // At its time: deadlines 10 ms apart need better than a coarse system timer's 15.6 ms.
  int late = 0;
  for (int i = 0; i < 20; ++i) {
    const auto until = Clock::now() + milliseconds(10);
    desktop->WaitForInput(until);
    if (Clock::now() > until + milliseconds(4)) ++late;
    EXPECT_GE(Clock::now(), until - milliseconds(1));
  }
  EXPECT_LE(late, 4);

  std::atomic<std::int32_t> answer{0};
  std::thread sender([&] {
    std::this_thread::sleep_for(milliseconds(100));
    const auto theirs = Open();
    answer = theirs->SendMessage(mine, kWmUser, 3, 4, milliseconds(5000)).result;
  });
  const auto start = Clock::now();
  desktop->WaitForInput(start + std::chrono::seconds(5));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(procedure.messages, 0) << "waiting serves nothing";
  ServeFor(*desktop, std::chrono::seconds(5), [&] { return answer != 0; });
  sender.join();
  EXPECT_EQ(procedure.messages, 1);
  EXPECT_EQ(answer, 7);
}

}  // namespace
}  // namespace trivane
