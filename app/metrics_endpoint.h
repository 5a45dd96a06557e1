#pragma once

#include <memory>
#include <string>

#include "links/relay_metrics.h"

namespace trivane {

class StatusBoard;

class MetricsEndpoint {
 public:
  virtual ~MetricsEndpoint() = default;
};

// Serves the relay's metrics at http://ADDRESS:PORT/metrics in Prometheus'
// text format, on threads of its own that read the numbers as they are, and
// the status page from the board at "/" and "/status.json". Nothing, with
// the reason in error, when the address cannot be served or this build has
// no metrics.
std::unique_ptr<MetricsEndpoint> StartMetricsEndpoint(const std::string& address,
                                                      const RelayMetrics& metrics,
                                                      StatusBoard& board, std::string& error);

}  // namespace trivane
