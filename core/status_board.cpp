#include "core/status_board.h"

namespace trivane {

StatusBoard::View StatusBoard::Look(Clock::time_point now, Clock::duration fresh_within) {
  std::unique_lock lock(lock_);
  const bool quiet = now >= watched_until_;
  watched_until_ = now + kWatchedFor;
  if (quiet) {
    const std::uint64_t stale = revision_;
    lock.unlock();
    if (wake_) wake_();
    lock.lock();
    published_.wait_for(lock, fresh_within, [&] { return revision_ != stale; });
  }
  if (!latest_.snapshot) return {};
  if (latest_.json) return {revision_, latest_.json};
  // Made outside the lock, so that the tick's swap never waits for it.
  const Entry taken = latest_;
  const std::uint64_t revision = revision_;
  lock.unlock();
  auto json = std::make_shared<const std::string>(StatusJson(*taken.snapshot));
  lock.lock();
  if (revision_ == revision) latest_.json = json;
  return {revision, json};
}

bool StatusBoard::Watched(Clock::time_point now) const {
  const std::lock_guard guard(lock_);
  return now < watched_until_;
}

void StatusBoard::Publish(StatusSnapshot snapshot) {
  auto shared = std::make_shared<StatusSnapshot>(std::move(snapshot));
  {
    const std::lock_guard guard(lock_);
    shared->revision = ++revision_;
    latest_ = {std::move(shared), nullptr};
  }
  published_.notify_all();
}

}  // namespace trivane
