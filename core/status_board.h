#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "core/status_snapshot.h"

namespace trivane {

// Where the tick leaves its latest snapshot for the status page's threads.
// The tick only swaps a pointer under the lock; the JSON is made once per
// snapshot, by the first reader that asks for it. While nobody has looked
// for a while the tick takes no snapshots at all.
class StatusBoard {
 public:
  using Clock = std::chrono::steady_clock;
  // How long one look keeps the snapshots coming.
  static constexpr Clock::duration kWatchedFor = std::chrono::seconds(10);

  struct View {
    std::uint64_t revision = 0;
    std::shared_ptr<const std::string> json;
  };

  // wake: how a reader gets the tick to take a fresh snapshot.
  explicit StatusBoard(std::function<void()> wake) : wake_(std::move(wake)) {}

  // Readers, on any thread. A look after a quiet spell wakes the tick and
  // waits up to `fresh_within` for the snapshot it takes.
  View Look(Clock::time_point now, Clock::duration fresh_within = std::chrono::seconds(1));

  // The tick's side.
  bool Watched(Clock::time_point now) const;
  void Publish(StatusSnapshot snapshot);

 private:
  struct Entry {
    std::shared_ptr<const StatusSnapshot> snapshot;
    std::shared_ptr<const std::string> json;
  };

  std::function<void()> wake_;
  mutable std::mutex lock_;
  std::condition_variable published_;
  Entry latest_;
  std::uint64_t revision_ = 0;
  Clock::time_point watched_until_{};
};

}  // namespace trivane
