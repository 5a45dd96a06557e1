#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

#include "links/line_status.h"
#include "settings/settings.h"

namespace trivane {

// What the station's monitoring reads of the running relay. The tick only
// stores and increments, with relaxed atomics; a reader on another thread
// takes the numbers as they are, without holding the tick (numbers of one
// scrape may be a tick apart). Counters only ever go up.
class RelayMetrics {
 public:
  using Count = std::atomic<std::uint64_t>;
  static constexpr int kColumns = 9;

  struct Column {
    std::atomic<int> state{0};  // LineStatus
    // Unix time in milliseconds of the last data through the link, 0 for none yet.
    std::atomic<std::int64_t> last_data_ms{0};
  };

  // One TCP source's units, by what the duplicate check made of them.
  struct Source {
    Count received{0};
    Count accepted{0};
    Count suppressed{0};
  };

  static void Add(Count& counter, std::uint64_t n = 1) {
    counter.fetch_add(n, std::memory_order_relaxed);
  }

  void SetState(int column, LineStatus status) {
    if (column < 0 || column >= kColumns) return;
    columns[static_cast<std::size_t>(column)].state.store(static_cast<int>(status),
                                                          std::memory_order_relaxed);
  }

  // Data events also take the colour away, as in the grid.
  void MarkData(int column) {
    if (column < 0 || column >= kColumns) return;
    Column& c = columns[static_cast<std::size_t>(column)];
    c.state.store(static_cast<int>(LineStatus::None), std::memory_order_relaxed);
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    c.last_data_ms.store(std::chrono::duration_cast<std::chrono::milliseconds>(now).count(),
                         std::memory_order_relaxed);
  }

  void CountUnit(int source, bool accepted) {
    if (source < 0 || source >= kSourceCount) return;
    Source& s = sources[static_cast<std::size_t>(source)];
    Add(s.received);
    Add(accepted ? s.accepted : s.suppressed);
  }

  // One tick's own run time, and how many ticks its lateness cost.
  void RecordTick(std::chrono::microseconds took, std::uint64_t skipped) {
    const auto us = static_cast<std::uint64_t>(took.count() < 0 ? 0 : took.count());
    std::uint64_t longest = longest_tick_us.load(std::memory_order_relaxed);
    while (us > longest &&
           !longest_tick_us.compare_exchange_weak(longest, us, std::memory_order_relaxed)) {
    }
    if (skipped > 0) Add(ticks_skipped, skipped);
  }

  std::array<Column, kColumns> columns;
  std::array<Source, kSourceCount> sources;
  std::atomic<std::uint64_t> longest_tick_us{0};
  Count ticks_skipped{0};
};

}  // namespace trivane
