#pragma once

#include <asio.hpp>
#include <cstdint>
#include <functional>
#include <string>

namespace trivane::sim {

// Runs the context until `done` holds or SIGINT/SIGTERM has been received;
// both are looked at several times a second, so stopping never hangs.
void RunUntil(asio::io_context& io, const std::function<bool()>& done);

// A listening socket on bind:port. Throws SimFailure (runtime) with the
// reason, e.g. when the port is in use.
asio::ip::tcp::acceptor ListenOn(asio::io_context& io, const std::string& bind, std::uint16_t port);

// "127.0.0.1:9999", "[::1]:9999".
std::string EndpointText(const asio::ip::tcp::endpoint& endpoint);

}  // namespace trivane::sim
