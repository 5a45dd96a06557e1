#pragma once

#include <cstdint>
#include <deque>

#include "base/byte_io.h"
#include "protocols/records.h"

namespace trivane {

// One stored unit: a duplicate-cache entry, or a frame waiting in the server
// or online queue. Its bytes are its own copy.
struct TRawMsg {
  Bytes Data;

  std::uint16_t Len() const { return static_cast<std::uint16_t>(Data.size()); }
};

using RawQueue = std::deque<TRawMsg>;
using MessageQueue = std::deque<TCommMsg>;

}  // namespace trivane
