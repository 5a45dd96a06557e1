#pragma once

#include <cstddef>

#include "net/raw_msg.h"

namespace trivane {

// A destination that cannot send for a long time must not hold every frame
// since: past the bound the oldest go first. Returns how many were dropped.
inline std::size_t DropOldestBeyond(RawQueue& queue, std::size_t bound) {
  const std::size_t excess = queue.size() > bound ? queue.size() - bound : 0;
  queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(excess));
  return excess;
}

inline constexpr std::size_t kMaxQueuedFrames = 10'000;

}  // namespace trivane
