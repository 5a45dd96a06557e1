#pragma once

struct mg_connection;

namespace trivane {

class StatusBoard;

// The status page and its data beside the metrics, on the metrics
// endpoint's own threads: "/" and "/status.json", read-only, answered from
// the board's snapshots. civetweb's callback carries nothing of ours, so the
// board is registered for the process: one status page per relay.
class StatusRoutes {
 public:
  explicit StatusRoutes(StatusBoard& board);
  ~StatusRoutes();

  StatusRoutes(const StatusRoutes&) = delete;
  StatusRoutes& operator=(const StatusRoutes&) = delete;

  // civetweb's begin_request: 1 when the request was answered here, 0 to
  // leave it to the endpoint's own handlers (the metrics).
  static int BeginRequest(mg_connection* connection);
};

}  // namespace trivane
