#include "gui/tick_driver.h"

#include <algorithm>
#include <set>

namespace trivane {

TickDriver::TickDriver(std::function<void()> tick, std::function<DriverWait()> next_wait,
                       Input input, QObject* parent)
    : QObject(parent),
      tick_(std::move(tick)),
      next_wait_(std::move(next_wait)),
      input_(std::move(input)) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &TickDriver::RunTick);
}

void TickDriver::Start() {
  running_ = true;
  WatchDescriptors();
  Arm();
}

void TickDriver::Stop() {
  running_ = false;
  timer_.stop();
  sockets_.clear();
  desktop_.clear();
}

void TickDriver::Wake() {
  if (wake_posted_.exchange(true)) return;
  QMetaObject::invokeMethod(this, "TakeWake", Qt::QueuedConnection);
}

void TickDriver::TakeWake() {
  wake_posted_ = false;
  RunTick();
}

void TickDriver::RunTick() {
  if (!running_ || in_tick_) return;
  in_tick_ = true;
  // The desktop's senders are served before the tick reads what they sent.
  if (input_.serve) input_.serve();
  tick_();
  in_tick_ = false;
  if (!running_) return;  // the tick closed the program
  // The tick's own sends serve the windows too, and may have closed some of
  // their connections.
  WatchDescriptors();
  Arm();
}

void TickDriver::Arm() {
  DriverWait wait = next_wait_();
  Watch(wait.plan);
  auto until = wait.until;
  if (input_.serve) until = std::min(until, TickClock::now() + kServeAtLeastEvery);
  const auto left = std::max(until - TickClock::now(), TickClock::duration::zero());
  // Rounded up, so the timer never fires just short of the due time.
  timer_.start(std::chrono::ceil<std::chrono::milliseconds>(left));
}

void TickDriver::Watch(const WakePlan& plan) {
  std::set<std::pair<int, QSocketNotifier::Type>> wanted;
  for (const WakePlan::Watch& watch : plan.Sockets()) {
    const int fd = static_cast<int>(watch.socket);
    if (watch.read) wanted.emplace(fd, QSocketNotifier::Read);
    if (watch.write) wanted.emplace(fd, QSocketNotifier::Write);
  }
  for (auto it = sockets_.begin(); it != sockets_.end();) {
    it = wanted.contains(it->first) ? std::next(it) : sockets_.erase(it);
  }
  for (const auto& key : wanted) {
    if (sockets_.contains(key)) continue;
    auto notifier = std::make_unique<QSocketNotifier>(key.first, key.second);
    connect(notifier.get(), &QSocketNotifier::activated, this, &TickDriver::RunTick);
    sockets_.emplace(key, std::move(notifier));
  }
}

void TickDriver::WatchDescriptors() {
  if (!input_.descriptors) return;
  const std::vector<int> wanted = input_.descriptors();
  const std::set<int> keep(wanted.begin(), wanted.end());
  for (auto it = desktop_.begin(); it != desktop_.end();) {
    it = keep.contains(it->first) ? std::next(it) : desktop_.erase(it);
  }
  for (const int fd : keep) {
    if (desktop_.contains(fd)) continue;
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, &TickDriver::RunTick);
    desktop_.emplace(fd, std::move(notifier));
  }
}

}  // namespace trivane
