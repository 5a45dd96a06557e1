#include "core/status_publisher.h"

namespace trivane {

StatusPublisher::StatusPublisher(TVL_Trivane& controller, StatusBoard& board, std::string caption)
    : controller_(controller), board_(board), caption_(std::move(caption)) {
  controller_.Status().AddObserver(this);
  controller_.Log().AddObserver(this);
}

StatusPublisher::~StatusPublisher() {
  controller_.Status().RemoveObserver(this);
  controller_.Log().RemoveObserver(this);
}

bool StatusPublisher::HintsChanged() {
  bool changed = false;
  for (int column = 0; column < StatusGrid::kColumns; ++column) {
    std::string hint = controller_.StatusHint(column).value_or("");
    auto& known = hints_[static_cast<std::size_t>(column)];
    if (hint != known) {
      known = std::move(hint);
      changed = true;
    }
  }
  return changed;
}

void StatusPublisher::AfterTick(StatusBoard::Clock::time_point now) {
  const bool watched = board_.Watched(now);
  // A page that comes back after a quiet spell gets the views as they are now.
  const bool returning = watched && !watched_;
  watched_ = watched;
  if (!watched) return;
  const bool hints_changed = HintsChanged();
  if (!changed_ && !hints_changed && !returning) return;
  changed_ = false;
  board_.Publish(SnapshotOf(
      controller_.Status(), controller_.Log(),
      [this](int column) { return hints_[static_cast<std::size_t>(column)]; }, caption_));
}

}  // namespace trivane
