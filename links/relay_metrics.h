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
  using Gauge = std::atomic<std::uint64_t>;
  static constexpr int kColumns = 9;
  static constexpr int kDestinations = 3;  // the studio, the chain server, the online server

  struct Column {
    std::atomic<int> state{0};  // LineStatus
    // Unix time in milliseconds of the last data through the link, 0 for none yet.
    std::atomic<std::int64_t> last_data_ms{0};
    // Connections made after the link's first one, for whatever reason.
    Count reconnects{0};
    Count connects_failed{0};
    std::atomic<bool> connected_once{false};
  };

  // One TCP source's units, by what the duplicate check made of them.
  struct Source {
    Count received{0};
    Count accepted{0};
    Count suppressed{0};
    Count invalid_discards{0};  // held bytes nobody could parse, given up
    Count dropped_bytes{0};     // arrived while the buffer was full, not kept
  };

  struct Destination {
    Count units_sent{0};
    Count bytes_sent{0};
    Gauge queue_depth{0};
    Count dropped_queue_full{0};  // the oldest, at the queue's bound
    Count dropped_no_peer{0};     // nobody there to take them
    Count unconfirmed{0};         // once for each peer that did not answer in time
  };

  struct Chain {
    Gauge peers{0};
    Count peers_connected{0};
    Count peers_dropped{0};       // dropped for not reading or a failed write
    Count peers_refused_rule{0};  // not in the allow-list
    Count peers_refused_cap{0};   // over the cap on peers
    Count accept_failures{0};     // accepts that failed, or peers that could not be served
  };

  static void Add(Count& counter, std::uint64_t n = 1) {
    counter.fetch_add(n, std::memory_order_relaxed);
  }
  static void Set(Gauge& gauge, std::uint64_t value) {
    gauge.store(value, std::memory_order_relaxed);
  }

  void SetState(int column, LineStatus status) {
    if (!IsColumn(column)) return;
    ColumnOf(column).state.store(static_cast<int>(status), std::memory_order_relaxed);
  }

  // Data events also take the colour away, as in the grid.
  void MarkData(int column) {
    if (!IsColumn(column)) return;
    Column& c = ColumnOf(column);
    c.state.store(static_cast<int>(LineStatus::None), std::memory_order_relaxed);
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    c.last_data_ms.store(std::chrono::duration_cast<std::chrono::milliseconds>(now).count(),
                         std::memory_order_relaxed);
  }

  void CountConnect(int column) {
    if (!IsColumn(column)) return;
    Column& c = ColumnOf(column);
    if (c.connected_once.exchange(true, std::memory_order_relaxed)) Add(c.reconnects);
  }
  void CountConnectFailed(int column) {
    if (IsColumn(column)) Add(ColumnOf(column).connects_failed);
  }

  void CountUnit(int source, bool accepted) {
    if (!IsSource(source)) return;
    Source& s = SourceOf(source);
    Add(s.received);
    Add(accepted ? s.accepted : s.suppressed);
  }
  void CountInvalidDiscard(int source) {
    if (IsSource(source)) Add(SourceOf(source).invalid_discards);
  }
  void CountDroppedBytes(int source, std::uint64_t bytes) {
    if (IsSource(source) && bytes > 0) Add(SourceOf(source).dropped_bytes, bytes);
  }

  // column: one of the destinations' status columns; any other is ignored.
  void CountSent(int column, std::uint64_t bytes) {
    if (Destination* d = DestinationOf(column)) {
      Add(d->units_sent);
      Add(d->bytes_sent, bytes);
    }
  }
  void CountUnconfirmed(int column, std::uint64_t units = 1) {
    if (Destination* d = DestinationOf(column)) Add(d->unconfirmed, units);
  }
  void CountDropped(int column, std::uint64_t queue_full, std::uint64_t no_peer = 0) {
    if (Destination* d = DestinationOf(column)) {
      if (queue_full > 0) Add(d->dropped_queue_full, queue_full);
      if (no_peer > 0) Add(d->dropped_no_peer, no_peer);
    }
  }
  void SetQueueDepth(int column, std::uint64_t entries) {
    if (Destination* d = DestinationOf(column)) Set(d->queue_depth, entries);
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

  // The destination of a status column, null for a column that is none.
  static constexpr int DestinationIndex(int column) {
    switch (column) {
      case status_column::kStudioDest:
        return 0;
      case status_column::kServer:
        return 1;
      case status_column::kOnline:
        return 2;
      default:
        return -1;
    }
  }

  std::array<Column, kColumns> columns;
  std::array<Source, kSourceCount> sources;
  std::array<Destination, kDestinations> destinations;
  Chain chain;
  Count log_errors{0};  // event-log entries that report a failure
  std::atomic<std::uint64_t> longest_tick_us{0};
  Count ticks_skipped{0};

 private:
  static bool IsColumn(int column) { return column >= 0 && column < kColumns; }
  static bool IsSource(int source) { return source >= 0 && source < kSourceCount; }
  Column& ColumnOf(int column) { return columns[static_cast<std::size_t>(column)]; }
  Source& SourceOf(int source) { return sources[static_cast<std::size_t>(source)]; }
  Destination* DestinationOf(int column) {
    const int index = DestinationIndex(column);
    return index < 0 ? nullptr : &destinations[static_cast<std::size_t>(index)];
  }
};

}  // namespace trivane
