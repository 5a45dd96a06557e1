#include "gui/tick_driver.h"

#include <algorithm>
#include <chrono>
#include <set>
#include <utility>

namespace trivane {

TickDriver::TickDriver(std::function<void()> tick, Input input, TickClock::duration period,
                       QObject* parent)
    : QObject(parent), tick_(std::move(tick)), input_(std::move(input)), period_(period) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &TickDriver::OnTimer);
}

void TickDriver::Start() {
  running_ = true;
  due_ = TickClock::now() + period_;
  WatchDescriptors();
  Arm();
}

void TickDriver::Stop() {
  running_ = false;
  timer_.stop();
  notifiers_.clear();
}

void TickDriver::Arm() {
  // A fresh reading bounds the wait, as headless: one wild reading of the
  // clock costs one tick, not the distance.
  const auto now = TickClock::now();
  const auto wait = std::clamp(due_ - now, TickClock::duration::zero(), period_);
  timer_.start(std::chrono::ceil<std::chrono::milliseconds>(wait));
}

void TickDriver::OnTimer() {
  if (TickClock::now() < due_) {  // woken early: no tick yet
    Arm();
    return;
  }
  // The desktop's senders are served before the tick reads what they sent;
  // this also keeps the windows counted as responding while nothing comes.
  ServeInput();
  tick_();
  if (!running_) return;  // the tick closed the program
  // The tick's own sends serve the windows too, and may have closed some of
  // their connections.
  WatchDescriptors();
  due_ = NextTickDue(due_, TickClock::now(), period_);
  Arm();
}

void TickDriver::ServeInput() {
  if (!input_.serve) return;
  input_.serve();
  WatchDescriptors();
}

void TickDriver::WatchDescriptors() {
  if (!input_.descriptors) return;
  const std::vector<int> wanted = input_.descriptors();
  const std::set<int> keep(wanted.begin(), wanted.end());
  for (auto it = notifiers_.begin(); it != notifiers_.end();) {
    it = keep.contains(it->first) ? std::next(it) : notifiers_.erase(it);
  }
  for (const int fd : keep) {
    if (notifiers_.contains(fd)) continue;
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, &TickDriver::ServeInput);
    notifiers_.emplace(fd, std::move(notifier));
  }
}

}  // namespace trivane
