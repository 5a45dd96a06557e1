#pragma once

#include <asio/ip/tcp.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

namespace trivane {

struct HostLookup {
  enum class Outcome { kFound, kFailed, kTimedOut, kStopped };
  Outcome outcome = Outcome::kFailed;
  std::vector<asio::ip::tcp::endpoint> endpoints;
  std::string failure;  // the resolver's text when it failed
};

using LookupFunction = std::function<HostLookup(const std::string& host, std::uint16_t port)>;

// The system resolver. It has time limits of its own, but a name server that
// does not answer can hold it for tens of seconds.
HostLookup SystemLookup(const std::string& host, std::uint16_t port);

// Runs the lookup on a thread of its own and waits for it until the deadline
// or a stop request, so a silent name server holds a connect attempt (and a
// close waiting for that attempt) no longer than the attempt's time limit. A
// lookup given up on runs to its end unseen: the function is copied, and what
// it captures must not depend on the caller still being there.
HostLookup LookUpWithin(const std::string& host, std::uint16_t port,
                        std::chrono::steady_clock::time_point deadline, const std::stop_token& stop,
                        const LookupFunction& lookup = SystemLookup);

}  // namespace trivane
