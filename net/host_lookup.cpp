#include "net/host_lookup.h"

#include <asio/io_context.hpp>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace trivane {
namespace {

// Shared by the waiting caller and the lookup thread; whichever is last frees it.
struct PendingLookup {
  std::mutex lock;
  std::condition_variable_any finished;
  std::optional<HostLookup> result;
};

}  // namespace

HostLookup SystemLookup(const std::string& host, std::uint16_t port) {
  asio::io_context io;
  asio::ip::tcp::resolver resolver(io);
  std::error_code error;
  const auto results = resolver.resolve(host, std::to_string(port), error);
  HostLookup found;
  if (error) {
    found.failure = error.message();
    return found;
  }
  for (const auto& entry : results) found.endpoints.push_back(entry.endpoint());
  found.outcome = HostLookup::Outcome::kFound;
  return found;
}

HostLookup LookUpWithin(const std::string& host, std::uint16_t port,
                        std::chrono::steady_clock::time_point deadline, const std::stop_token& stop,
                        const LookupFunction& lookup) {
  auto pending = std::make_shared<PendingLookup>();
  try {
    std::thread([pending, lookup, host, port] {
      HostLookup found = lookup(host, port);
      {
        const std::lock_guard guard(pending->lock);
        pending->result = std::move(found);
      }
      pending->finished.notify_all();
    }).detach();
  } catch (const std::system_error& error) {
    HostLookup failed;
    failed.failure = error.what();
    return failed;
  }

  std::unique_lock guard(pending->lock);
  if (pending->finished.wait_until(guard, stop, deadline,
                                   [&] { return pending->result.has_value(); })) {
    return std::move(*pending->result);
  }
  HostLookup given_up;
  given_up.outcome =
      stop.stop_requested() ? HostLookup::Outcome::kStopped : HostLookup::Outcome::kTimedOut;
  return given_up;
}

}  // namespace trivane
