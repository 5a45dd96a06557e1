#pragma once

#include <asio.hpp>
#include <cstdint>
#include <functional>
#include <string>

#include "tools/line_output.h"

namespace trivane::sim {

// A listening server that starts one session per peer; with `once` it takes
// only the first peer and is finished when that session ends.
class SessionServer {
 public:
  // Starts a session on the accepted socket; the session calls `ended` once.
  using StartSession =
      std::function<void(asio::ip::tcp::socket socket, std::function<void()> ended)>;

  // Throws SimFailure when the port cannot be had; says where it listens.
  SessionServer(asio::io_context& io, const std::string& bind, std::uint16_t port, bool once,
                const LineSink& out, StartSession start);

  bool Finished() const { return once_ && sessions_ended_ > 0; }

 private:
  void Accept();

  asio::ip::tcp::acceptor acceptor_;
  bool once_;
  const LineSink& out_;
  StartSession start_;
  int sessions_ended_ = 0;
};

}  // namespace trivane::sim
