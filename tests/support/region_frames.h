#pragma once

#include <cstddef>
#include <cstdint>

#include "links/router.h"

namespace trivane::testing {

// A source's VL3 region block, as a playout studio's feed carries it.
inline Bytes RegionFrame(std::uint32_t size_ms, std::uint32_t over_ms = 120000) {
  return BuildVl3Frame(1, 1, TRegionBlock{.Size = size_ms, .Over = over_ms}.Encode());
}

// One region block as the chain server passes it on.
inline constexpr std::size_t kChainFrameSize = 10 + TRegionBlock::kWireSize;

}  // namespace trivane::testing
