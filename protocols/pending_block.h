#pragma once

#include <cstdint>
#include <optional>

#include "protocols/origin.h"
#include "protocols/records.h"

namespace trivane {

// The one region block waiting to be sent: a UECP "s" command schedules it,
// and VL2's two steps build theirs in the same place.
class PendingRegionBlock {
 public:
  struct Due {
    TRegionBlock block;
    Origin origin;
  };

  TRegionBlock& Block() { return block_; }

  // due is on the GetTick64 scale.
  void Schedule(const TRegionBlock& block, std::int64_t due, const Origin& origin) {
    block_ = block;
    // 0 means "nothing pending": a due time must never read as that.
    due_ = due < 1 ? 1 : due;
    origin_ = origin;
  }

  // The block once its time has come, and then not again.
  std::optional<Due> TakeDue(std::int64_t now) {
    if (due_ == 0 || now < due_) return std::nullopt;
    due_ = 0;
    return Due{block_, origin_};
  }

  std::int64_t DueTick() const { return due_; }  // 0 for nothing pending

 private:
  TRegionBlock block_;
  std::int64_t due_ = 0;
  Origin origin_;
};

}  // namespace trivane
