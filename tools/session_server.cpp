#include "tools/session_server.h"

#include <utility>

#include "tools/net_support.h"

namespace trivane::sim {

SessionServer::SessionServer(asio::io_context& io, const std::string& bind, std::uint16_t port,
                             bool once, const LineSink& out, StartSession start)
    : acceptor_(ListenOn(io, bind, port)), once_(once), out_(out), start_(std::move(start)) {
  out_("listening " + EndpointText(acceptor_.local_endpoint()));
  Accept();
}

void SessionServer::Accept() {
  acceptor_.async_accept([this](asio::error_code error, asio::ip::tcp::socket socket) {
    if (error) {
      if (error != asio::error::operation_aborted) out_("accept failed: " + error.message());
      return;
    }
    start_(std::move(socket), [this] { ++sessions_ended_; });
    if (once_) {
      asio::error_code ignored;
      acceptor_.close(ignored);
    } else {
      Accept();
    }
  });
}

}  // namespace trivane::sim
