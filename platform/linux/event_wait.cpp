#include "platform/event_wait.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "platform/linux/stop_signal_descriptor.h"

namespace trivane {

struct EventWait::State {
  SystemDesktop* desktop = nullptr;
  int wake_fd = -1;
};

EventWait::EventWait(SystemDesktop* desktop) : state_(std::make_unique<State>()) {
  state_->desktop = desktop;
  // Without it a wake-up from another thread waits for the next due time,
  // which only delays; the relay runs on.
  state_->wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

EventWait::~EventWait() {
  if (state_->wake_fd >= 0) close(state_->wake_fd);
}

void EventWait::Wake() {
  if (state_->wake_fd < 0) return;
  const std::uint64_t one = 1;
  // A full counter already means "wake": nothing to do when this fails.
  [[maybe_unused]] const ssize_t written = write(state_->wake_fd, &one, sizeof one);
}

void EventWait::Wait(const WakePlan& plan, std::chrono::steady_clock::time_point until) {
  std::vector<pollfd> fds;
  if (state_->wake_fd >= 0) fds.push_back({state_->wake_fd, POLLIN, 0});
  if (const int signals = StopSignalDescriptor(); signals >= 0) fds.push_back({signals, POLLIN, 0});
  for (const WakePlan::Watch& watch : plan.Sockets()) {
    const auto events = static_cast<short>((watch.read ? POLLIN : 0) | (watch.write ? POLLOUT : 0));
    fds.push_back({static_cast<int>(watch.socket), events, 0});
  }
  if (state_->desktop != nullptr) {
    state_->desktop->WaitForInputOr(until, std::move(fds));
  } else {
    const auto left = until - std::chrono::steady_clock::now();
    // Rounded up, so a wait never ends just short of its time and spins.
    const auto ms =
        std::max<std::int64_t>(std::chrono::ceil<std::chrono::milliseconds>(left).count(), 0);
    poll(fds.data(), fds.size(), static_cast<int>(std::min<std::int64_t>(ms, INT_MAX)));
  }
  if (state_->wake_fd >= 0) {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t taken = read(state_->wake_fd, &count, sizeof count);
  }
}

}  // namespace trivane
