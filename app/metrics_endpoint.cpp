#include "app/metrics_endpoint.h"

#if TRIVANE_HAVE_METRICS
#include <CivetServer.h>
#include <prometheus/collectable.h>
#include <prometheus/exposer.h>
#include <prometheus/metric_family.h>
#endif

#include <array>
#include <deque>
#include <exception>
#include <initializer_list>
#include <iterator>
#include <string_view>
#include <vector>

#if TRIVANE_HAVE_METRICS
#include "app/status_routes.h"
#endif

namespace trivane {

#if TRIVANE_HAVE_METRICS
namespace {

// The link label of each status-grid column (column 0 holds the row labels).
constexpr std::array<std::string_view, RelayMetrics::kColumns> kColumnLinks = {
    "", "studio_source", "source1", "source2", "source3", "source4", "studio", "server", "online"};

// Families are filled after they are added, so they are kept where adding
// more does not move them.
class Families {
 public:
  prometheus::MetricFamily& Add(std::string name, std::string help, prometheus::MetricType type) {
    families_.push_back({std::move(name), std::move(help), type, {}});
    return families_.back();
  }
  std::vector<prometheus::MetricFamily> Take() {
    return {std::make_move_iterator(families_.begin()), std::make_move_iterator(families_.end())};
  }

 private:
  std::deque<prometheus::MetricFamily> families_;
};

struct Label {
  std::string_view name;
  std::string_view value;
};

void AddSample(prometheus::MetricFamily& family, std::string_view link, double value,
               std::initializer_list<Label> more = {}) {
  prometheus::ClientMetric sample;
  if (!link.empty()) sample.label.push_back({"link", std::string(link)});
  for (const Label& label : more) {
    sample.label.push_back({std::string(label.name), std::string(label.value)});
  }
  if (family.type == prometheus::MetricType::Counter) {
    sample.counter.value = value;
  } else {
    sample.gauge.value = value;
  }
  family.metric.push_back(std::move(sample));
}

template <typename Number>
double Read(const std::atomic<Number>& value) {
  return static_cast<double>(value.load(std::memory_order_relaxed));
}

std::string_view LinkOf(int column) {
  return kColumnLinks[static_cast<std::size_t>(column)];
}

// The links that connect out, or wait for a peer to say hello.
constexpr std::array<int, 7> kConnectingColumns = {
    status_column::kStudioSource,    status_column::kFirstSource,
    status_column::kFirstSource + 1, status_column::kFirstSource + 2,
    status_column::kFirstSource + 3, status_column::kStudioDest,
    status_column::kOnline};
constexpr std::array<int, RelayMetrics::kDestinations> kDestinationColumns = {
    status_column::kStudioDest, status_column::kServer, status_column::kOnline};

class RelayCollectable final : public prometheus::Collectable {
 public:
  explicit RelayCollectable(const RelayMetrics& metrics) : metrics_(metrics) {}

  std::vector<prometheus::MetricFamily> Collect() const override {
    Families out;
    CollectColumns(out);
    CollectSources(out);
    CollectDestinations(out);
    CollectChain(out);
    CollectTicks(out);
    return out.Take();
  }

 private:
  void CollectColumns(Families& out) const {
    using prometheus::MetricType;
    auto& state = out.Add("trivane_link_state",
                          "The link's state in the status grid: 0 none (or data since), "
                          "1 Connected, 2 Wait, 3 Error",
                          MetricType::Gauge);
    auto& last_data =
        out.Add("trivane_link_last_data_timestamp_seconds",
                "When data last went through the link (Unix time); 0 for never", MetricType::Gauge);
    for (int column = 1; column < RelayMetrics::kColumns; ++column) {
      const auto& c = metrics_.columns[static_cast<std::size_t>(column)];
      AddSample(state, LinkOf(column), c.state.load(std::memory_order_relaxed));
      AddSample(last_data, LinkOf(column), Read(c.last_data_ms) / 1000.0);
    }
    auto& reconnects = out.Add("trivane_link_reconnects_total",
                               "Connections the link made after its first one (for the studio: "
                               "hellos after the first)",
                               MetricType::Counter);
    auto& failed = out.Add("trivane_link_connects_failed_total",
                           "Connect attempts of the link that failed, a refused log-in included",
                           MetricType::Counter);
    for (const int column : kConnectingColumns) {
      const auto& c = metrics_.columns[static_cast<std::size_t>(column)];
      AddSample(reconnects, LinkOf(column), Read(c.reconnects));
      AddSample(failed, LinkOf(column), Read(c.connects_failed));
    }
  }

  void CollectSources(Families& out) const {
    using prometheus::MetricType;
    auto& received = out.Add("trivane_source_units_received_total", "Units a TCP source delivered",
                             MetricType::Counter);
    auto& accepted =
        out.Add("trivane_source_units_accepted_total",
                "Units of a TCP source the duplicate check let through", MetricType::Counter);
    auto& suppressed = out.Add("trivane_source_units_suppressed_total",
                               "Units of a TCP source the duplicate check held back as "
                               "already delivered",
                               MetricType::Counter);
    auto& discards = out.Add("trivane_source_invalid_discards_total",
                             "Times a TCP source's held bytes were given up as invalid "
                             "(\"Clear invalid data\")",
                             MetricType::Counter);
    auto& dropped = out.Add("trivane_source_dropped_bytes_total",
                            "Bytes a TCP source sent while its buffer was full of bytes "
                            "nobody could parse; read and not kept",
                            MetricType::Counter);
    for (int i = 0; i < kSourceCount; ++i) {
      const auto& s = metrics_.sources[static_cast<std::size_t>(i)];
      const auto link = LinkOf(status_column::kFirstSource + i);
      AddSample(received, link, Read(s.received));
      AddSample(accepted, link, Read(s.accepted));
      AddSample(suppressed, link, Read(s.suppressed));
      AddSample(discards, link, Read(s.invalid_discards));
      AddSample(dropped, link, Read(s.dropped_bytes));
    }
  }

  void CollectDestinations(Families& out) const {
    using prometheus::MetricType;
    auto& units = out.Add("trivane_destination_units_sent_total", "Units a destination sent",
                          MetricType::Counter);
    auto& bytes = out.Add("trivane_destination_bytes_sent_total",
                          "Bytes of the units a destination sent", MetricType::Counter);
    auto& unconfirmed =
        out.Add("trivane_destination_units_unconfirmed_total",
                "Units a studio did not confirm in time, once for every studio window that "
                "did not",
                MetricType::Counter);
    auto& depth =
        out.Add("trivane_queue_depth", "Entries waiting in the link's queue at its last tick",
                MetricType::Gauge);
    auto& dropped =
        out.Add("trivane_queue_dropped_total",
                "Entries dropped: the oldest at the queue's bound (reason full), or with "
                "nobody to take them (reason no_peer)",
                MetricType::Counter);
    for (int index = 0; index < RelayMetrics::kDestinations; ++index) {
      const auto& d = metrics_.destinations[static_cast<std::size_t>(index)];
      const auto link = LinkOf(kDestinationColumns[static_cast<std::size_t>(index)]);
      AddSample(units, link, Read(d.units_sent));
      AddSample(bytes, link, Read(d.bytes_sent));
      // Only the studio answers each unit.
      if (index == RelayMetrics::DestinationIndex(status_column::kStudioDest)) {
        AddSample(unconfirmed, link, Read(d.unconfirmed));
      }
      AddSample(depth, link, Read(d.queue_depth));
      AddSample(dropped, link, Read(d.dropped_queue_full), {{"reason", "full"}});
      AddSample(dropped, link, Read(d.dropped_no_peer), {{"reason", "no_peer"}});
    }
  }

  void CollectChain(Families& out) const {
    using prometheus::MetricType;
    const auto& chain = metrics_.chain;
    AddSample(out.Add("trivane_chain_peers", "Instances connected to the chain server now",
                      MetricType::Gauge),
              {}, Read(chain.peers));
    AddSample(out.Add("trivane_chain_peers_connected_total", "Instances the chain server accepted",
                      MetricType::Counter),
              {}, Read(chain.peers_connected));
    AddSample(out.Add("trivane_chain_peers_dropped_total",
                      "Instances the chain server dropped because they did not read or a write "
                      "failed",
                      MetricType::Counter),
              {}, Read(chain.peers_dropped));
    auto& refused = out.Add("trivane_chain_peers_refused_total",
                            "Connections the chain server closed at once, by reason: not in "
                            "ServerAllow (rule) or over ServerMaxPeers (cap)",
                            MetricType::Counter);
    AddSample(refused, {}, Read(chain.peers_refused_rule), {{"reason", "rule"}});
    AddSample(refused, {}, Read(chain.peers_refused_cap), {{"reason", "cap"}});
    AddSample(out.Add("trivane_chain_accept_failures_total",
                      "Connections the chain server could not accept or serve, each retried "
                      "after a pause",
                      MetricType::Counter),
              {}, Read(chain.accept_failures));
  }

  void CollectTicks(Families& out) const {
    using prometheus::MetricType;
    AddSample(out.Add("trivane_tick_longest_seconds", "The longest tick so far", MetricType::Gauge),
              {}, Read(metrics_.longest_tick_us) / 1e6);
    AddSample(
        out.Add("trivane_ticks_skipped_total",
                "Ticks left out because the one before ran into their time", MetricType::Counter),
        {}, Read(metrics_.ticks_skipped));
    AddSample(out.Add("trivane_log_errors_total",
                      "Event-log entries that report a failure (the journal's error lines)",
                      MetricType::Counter),
              {}, Read(metrics_.log_errors));
  }

  const RelayMetrics& metrics_;
};

// A few threads: a page or a scraper that stops reading holds one until the
// request time-out, and the others go on.
const std::vector<std::string> EndpointOptions(const std::string& address) {
  return {"listening_ports", address, "num_threads", "4", "request_timeout_ms", "5000"};
}

CivetCallbacks StatusCallbacks() {
  CivetCallbacks callbacks;
  callbacks.begin_request = &StatusRoutes::BeginRequest;
  return callbacks;
}

class PrometheusEndpoint final : public MetricsEndpoint {
 public:
  PrometheusEndpoint(const std::string& address, const RelayMetrics& metrics, StatusBoard& board)
      : collectable_(std::make_shared<RelayCollectable>(metrics)),
        routes_(board),
        callbacks_(StatusCallbacks()),
        exposer_(EndpointOptions(address), &callbacks_) {
    exposer_.RegisterCollectable(collectable_);
  }

 private:
  std::shared_ptr<RelayCollectable> collectable_;
  StatusRoutes routes_;  // gone only after the exposer's threads have ended
  CivetCallbacks callbacks_;
  prometheus::Exposer exposer_;
};

}  // namespace

std::unique_ptr<MetricsEndpoint> StartMetricsEndpoint(const std::string& address,
                                                      const RelayMetrics& metrics,
                                                      StatusBoard& board, std::string& error) {
  try {
    return std::make_unique<PrometheusEndpoint>(address, metrics, board);
  } catch (const std::exception& failure) {
    error = failure.what();
    return nullptr;
  }
}

#else

std::unique_ptr<MetricsEndpoint> StartMetricsEndpoint(const std::string& /*address*/,
                                                      const RelayMetrics& /*metrics*/,
                                                      StatusBoard& /*board*/, std::string& error) {
  error = "this build has no metrics (built without prometheus-cpp)";
  return nullptr;
}

#endif

}  // namespace trivane
