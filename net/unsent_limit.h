#pragma once

#include <asio.hpp>
#include <system_error>

namespace trivane {

// The kernel grows a socket's send buffer to megabytes on its own, and a peer
// that stopped reading would be fed minutes of frames before a write came
// back short: the links' stall limits would never start, every frame in that
// buffer would be lost with the connection, and one tick would spend its
// time handing over those megabytes.
inline void LimitUnsentBytes(asio::ip::tcp::socket& socket) {
  std::error_code ignored;
#ifdef TCP_NOTSENT_LOWAT
  // Bytes already on their way do not count against this limit, so it costs
  // nothing while the peer reads; 16 KiB a 10 ms tick is far more than the
  // links ever send.
  using UnsentLimit = asio::detail::socket_option::integer<IPPROTO_TCP, TCP_NOTSENT_LOWAT>;
  constexpr int kMaxUnsentBytes = 16 * 1024;
  socket.set_option(UnsentLimit(kMaxUnsentBytes), ignored);
#else
  // Windows has no such option; the send buffer itself is bounded instead.
  // Bytes the peer has not acknowledged count too, which on a 100 ms path
  // still leaves 640 KiB a second, far more than the links ever send.
  constexpr int kMaxBufferedBytes = 64 * 1024;
  socket.set_option(asio::socket_base::send_buffer_size(kMaxBufferedBytes), ignored);
#endif
}

}  // namespace trivane
