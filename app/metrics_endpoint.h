#pragma once

#include <memory>
#include <string>

#include "links/relay_metrics.h"

namespace trivane {

class MetricsEndpoint {
 public:
  virtual ~MetricsEndpoint() = default;
};

// Serves the relay's metrics at http://ADDRESS:PORT/metrics in Prometheus'
// text format, on threads of its own that read the numbers as they are.
// Nothing, with the reason in error, when the address cannot be served or
// this build has no metrics.
std::unique_ptr<MetricsEndpoint> StartMetricsEndpoint(const std::string& address,
                                                      const RelayMetrics& metrics,
                                                      std::string& error);

}  // namespace trivane
