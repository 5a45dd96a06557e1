#pragma once

#include <asio.hpp>
#include <system_error>

namespace trivane {

// The kernel grows a socket's send buffer to megabytes on its own, and a peer
// that stopped reading would be fed minutes of frames before a write came
// back short: the links' stall limits would never start, and every frame in
// that buffer would be lost with the connection. Bytes already on their way
// do not count against the limit, so it costs nothing while the peer reads;
// 16 KiB a 10 ms tick is far more than the links ever send.
inline void LimitUnsentBytes(asio::ip::tcp::socket& socket) {
#ifdef TCP_NOTSENT_LOWAT
  using UnsentLimit = asio::detail::socket_option::integer<IPPROTO_TCP, TCP_NOTSENT_LOWAT>;
  constexpr int kMaxUnsentBytes = 16 * 1024;
  std::error_code ignored;
  socket.set_option(UnsentLimit(kMaxUnsentBytes), ignored);
#else
  (void)socket;
#endif
}

}  // namespace trivane
