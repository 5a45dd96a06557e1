#include "tools/net_support.h"

#include <chrono>
#include <thread>

#include "platform/termination_signals.h"
#include "tools/line_output.h"

namespace trivane::sim {
namespace {

constexpr std::chrono::milliseconds kPollPeriod{20};

}  // namespace

void RunUntil(asio::io_context& io, const std::function<bool()>& done) {
  while (!TerminationRequested() && !done()) {
    io.run_for(kPollPeriod);
    if (io.stopped()) {
      // Out of work for now; a handler may still be about to add some.
      io.restart();
      if (!done()) std::this_thread::sleep_for(kPollPeriod);
    }
  }
}

asio::ip::tcp::acceptor ListenOn(asio::io_context& io, const std::string& bind,
                                 std::uint16_t port) {
  asio::ip::tcp::acceptor acceptor(io);
  const asio::ip::tcp::endpoint endpoint(asio::ip::make_address(bind), port);
  asio::error_code error;
  acceptor.open(endpoint.protocol(), error);
  // A restart must not wait for the last run's connections to time out; a
  // port that someone is listening on still fails below.
  if (!error) acceptor.set_option(asio::socket_base::reuse_address(true), error);
  if (!error) acceptor.bind(endpoint, error);
  if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
  if (error) {
    throw SimFailure(SimFailure::kRuntime,
                     "cannot listen on " + EndpointText(endpoint) + ": " + error.message());
  }
  return acceptor;
}

std::string EndpointText(const asio::ip::tcp::endpoint& endpoint) {
  const std::string address = endpoint.address().to_string();
  const std::string port = std::to_string(endpoint.port());
  if (endpoint.address().is_v6()) return "[" + address + "]:" + port;
  return address + ":" + port;
}

}  // namespace trivane::sim
