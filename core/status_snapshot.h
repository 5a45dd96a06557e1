#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/event_log.h"
#include "core/status_grid.h"

namespace trivane {

// The operator's two views as data, copied out of the models on the tick's
// thread so that other threads can show them without touching the models.
struct StatusSnapshot {
  struct Column {
    int column = 0;
    std::string title;      // row 0
    std::string address;    // row 1
    std::string state;      // row 2: a status word or the time of the last data
    StatusColor color = 0;  // 0: none, the page's own background
    std::string hint;       // the link's last connection error
  };
  struct Line {
    std::string time;
    std::string source;
    std::string text;
    std::string tag;
    bool error = false;
  };

  std::uint64_t revision = 0;
  std::string caption;
  std::vector<Column> columns;  // the shown link columns, left to right
  std::vector<Line> log;        // newest first
};

using StatusHints = std::function<std::optional<std::string>(int column)>;

StatusSnapshot SnapshotOf(const StatusGrid& grid, const EventLog& log, const StatusHints& hints,
                          std::string caption);

// The snapshot as JSON for scripts and the page: strings in UTF-8, any byte
// that is not valid UTF-8 as U+FFFD, colours as "#RRGGBB" or null.
std::string StatusJson(const StatusSnapshot& snapshot);

}  // namespace trivane
