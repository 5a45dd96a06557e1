#pragma once

#include <array>
#include <string>

#include "core/controller.h"
#include "core/status_board.h"

namespace trivane {

// Takes a snapshot of the controller's grid and log after a tick that
// changed them, but only while somebody watches the board: a relay nobody
// looks at pays one flag test per tick.
class StatusPublisher final : private StatusGridObserver, private EventLogObserver {
 public:
  StatusPublisher(TVL_Trivane& controller, StatusBoard& board, std::string caption);
  ~StatusPublisher() override;

  StatusPublisher(const StatusPublisher&) = delete;
  StatusPublisher& operator=(const StatusPublisher&) = delete;

  // On the tick's thread, after each tick.
  void AfterTick(StatusBoard::Clock::time_point now);

 private:
  void ColumnChanged(int /*column*/) override { changed_ = true; }
  void WidthsChanged() override { changed_ = true; }
  void OldestDropped() override { changed_ = true; }
  void EntryAdded(const LogEntry& /*entry*/) override { changed_ = true; }
  bool HintsChanged();

  TVL_Trivane& controller_;
  StatusBoard& board_;
  std::string caption_;
  bool changed_ = true;
  bool watched_ = false;
  // The links' errors change without telling the grid.
  std::array<std::string, StatusGrid::kColumns> hints_;
};

}  // namespace trivane
