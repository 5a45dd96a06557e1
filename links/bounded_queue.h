#pragma once

#include <algorithm>
#include <cstddef>

#include "links/raw_msg.h"

namespace trivane {

// A destination that cannot send for a long time must not hold every frame
// since: past the bound the oldest go first. The first `pinned` entries stay
// (a frame half handed to a socket must be finished, or the peer would read
// the next frame as its rest). Returns how many were dropped.
template <typename Queue>
std::size_t DropOldestBeyond(Queue& queue, std::size_t bound, std::size_t pinned = 0) {
  pinned = std::min(pinned, queue.size());
  const std::size_t excess = queue.size() > bound ? queue.size() - bound : 0;
  const auto first = queue.begin() + static_cast<std::ptrdiff_t>(pinned);
  const auto last = first + static_cast<std::ptrdiff_t>(std::min(excess, queue.size() - pinned));
  const auto dropped = static_cast<std::size_t>(last - first);
  queue.erase(first, last);
  return dropped;
}

inline constexpr std::size_t kMaxQueuedFrames = 10'000;

}  // namespace trivane
