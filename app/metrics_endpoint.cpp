#include "app/metrics_endpoint.h"

#if TRIVANE_HAVE_METRICS
#include <prometheus/collectable.h>
#include <prometheus/exposer.h>
#include <prometheus/metric_family.h>
#endif

#include <array>
#include <deque>
#include <exception>
#include <iterator>
#include <string_view>
#include <vector>

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

void AddSample(prometheus::MetricFamily& family, std::string_view link, double value) {
  prometheus::ClientMetric sample;
  if (!link.empty()) sample.label.push_back({"link", std::string(link)});
  if (family.type == prometheus::MetricType::Counter) {
    sample.counter.value = value;
  } else {
    sample.gauge.value = value;
  }
  family.metric.push_back(std::move(sample));
}

double Read(const std::atomic<std::uint64_t>& value) {
  return static_cast<double>(value.load(std::memory_order_relaxed));
}

class RelayCollectable final : public prometheus::Collectable {
 public:
  explicit RelayCollectable(const RelayMetrics& metrics) : metrics_(metrics) {}

  std::vector<prometheus::MetricFamily> Collect() const override {
    using prometheus::MetricType;
    Families out;
    auto& state = out.Add("trivane_link_state",
                          "The link's state in the status grid: 0 none (or data since), "
                          "1 Connected, 2 Wait, 3 Error",
                          MetricType::Gauge);
    auto& last_data =
        out.Add("trivane_link_last_data_timestamp_seconds",
                "When data last went through the link (Unix time); 0 for never", MetricType::Gauge);
    for (int column = 1; column < RelayMetrics::kColumns; ++column) {
      const auto& c = metrics_.columns[static_cast<std::size_t>(column)];
      const auto link = kColumnLinks[static_cast<std::size_t>(column)];
      AddSample(state, link, c.state.load(std::memory_order_relaxed));
      AddSample(last_data, link,
                static_cast<double>(c.last_data_ms.load(std::memory_order_relaxed)) / 1000.0);
    }

    auto& received = out.Add("trivane_source_units_received_total", "Units a TCP source delivered",
                             MetricType::Counter);
    auto& accepted =
        out.Add("trivane_source_units_accepted_total",
                "Units of a TCP source the duplicate check let through", MetricType::Counter);
    auto& suppressed = out.Add("trivane_source_units_suppressed_total",
                               "Units of a TCP source the duplicate check held back as "
                               "already delivered",
                               MetricType::Counter);
    for (int i = 0; i < kSourceCount; ++i) {
      const auto& s = metrics_.sources[static_cast<std::size_t>(i)];
      const int column = status_column::kFirstSource + i;
      const auto link = kColumnLinks[static_cast<std::size_t>(column)];
      AddSample(received, link, Read(s.received));
      AddSample(accepted, link, Read(s.accepted));
      AddSample(suppressed, link, Read(s.suppressed));
    }

    AddSample(
        out.Add("trivane_tick_longest_seconds", "The longest 10 ms tick so far", MetricType::Gauge),
        {}, Read(metrics_.longest_tick_us) / 1e6);
    AddSample(
        out.Add("trivane_ticks_skipped_total",
                "Ticks left out because the one before ran into their time", MetricType::Counter),
        {}, Read(metrics_.ticks_skipped));
    return out.Take();
  }

 private:
  const RelayMetrics& metrics_;
};

class PrometheusEndpoint final : public MetricsEndpoint {
 public:
  PrometheusEndpoint(const std::string& address, const RelayMetrics& metrics)
      : collectable_(std::make_shared<RelayCollectable>(metrics)), exposer_(address, 1) {
    exposer_.RegisterCollectable(collectable_);
  }

 private:
  std::shared_ptr<RelayCollectable> collectable_;
  prometheus::Exposer exposer_;
};

}  // namespace

std::unique_ptr<MetricsEndpoint> StartMetricsEndpoint(const std::string& address,
                                                      const RelayMetrics& metrics,
                                                      std::string& error) {
  try {
    return std::make_unique<PrometheusEndpoint>(address, metrics);
  } catch (const std::exception& failure) {
    error = failure.what();
    return nullptr;
  }
}

#else

std::unique_ptr<MetricsEndpoint> StartMetricsEndpoint(const std::string& /*address*/,
                                                      const RelayMetrics& /*metrics*/,
                                                      std::string& error) {
  error = "this build has no metrics (built without prometheus-cpp)";
  return nullptr;
}

#endif

}  // namespace trivane
