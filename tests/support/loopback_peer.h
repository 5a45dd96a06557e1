#pragma once

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/byte_io.h"

namespace trivane::testing {

using std::chrono::milliseconds;

// The few calls where Winsock and the POSIX sockets differ.
#if defined(_WIN32)
using SocketHandle = SOCKET;
inline constexpr SocketHandle kNoSocket = INVALID_SOCKET;
inline constexpr int kNoSignal = 0;
inline void CloseSocket(SocketHandle socket) {
  closesocket(socket);
}
inline int PollOne(pollfd& poller, int timeout_ms) {
  return WSAPoll(&poller, 1, timeout_ms);
}
// Winsock wants starting once per process, before the first socket.
struct WinsockStarted {
  WinsockStarted() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
};
inline const WinsockStarted winsock_started;
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
inline constexpr int kNoSignal = MSG_NOSIGNAL;
inline void CloseSocket(SocketHandle socket) {
  close(socket);
}
inline int PollOne(pollfd& poller, int timeout_ms) {
  return poll(&poller, 1, timeout_ms);
}
#endif

template <typename Value>
int SetOption(SocketHandle socket, int name, const Value& value) {
  return setsockopt(socket, SOL_SOCKET, name, reinterpret_cast<const char*>(&value), sizeof value);
}

inline sockaddr_in LoopbackAddress(std::uint16_t port, std::uint32_t host = INADDR_LOOPBACK) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(host);
  return address;
}

// The test's end of a TCP connection on 127.0.0.1. Every wait has a limit, so
// a test fails instead of hanging.
class LoopbackConnection {
 public:
  LoopbackConnection() = default;
  explicit LoopbackConnection(SocketHandle fd) : fd_(fd) {}
  ~LoopbackConnection() { Close(); }
  LoopbackConnection(LoopbackConnection&& other) noexcept
      : fd_(std::exchange(other.fd_, kNoSocket)) {}
  LoopbackConnection& operator=(LoopbackConnection&& other) noexcept {
    std::swap(fd_, other.fd_);
    std::swap(closed_, other.closed_);
    return *this;
  }

  // receive_buffer > 0 shrinks the receive buffer first, so that a peer that
  // never reads fills up quickly. host: another of the loopback addresses
  // (127.0.0.0/8), in host order.
  static LoopbackConnection Connect(std::uint16_t port, int receive_buffer = 0,
                                    std::uint32_t host = INADDR_LOOPBACK) {
    const SocketHandle fd = socket(AF_INET, SOCK_STREAM, 0);
    if (receive_buffer > 0) SetOption(fd, SO_RCVBUF, receive_buffer);
    const sockaddr_in address = LoopbackAddress(port, host);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      CloseSocket(fd);
      return LoopbackConnection();
    }
    return LoopbackConnection(fd);
  }

  bool Open() const { return fd_ != kNoSocket; }
  SocketHandle Handle() const { return fd_; }
  void Close() {
    if (fd_ != kNoSocket) CloseSocket(fd_);
    fd_ = kNoSocket;
  }
  // Ends with a reset instead of an orderly close: the other side's read fails.
  void Reset() {
    const linger abort{1, 0};
    if (fd_ != kNoSocket) SetOption(fd_, SO_LINGER, abort);
    Close();
  }

  bool Send(ByteView bytes) {
    return send(fd_, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()),
                kNoSignal) == static_cast<int>(bytes.size());
  }
  bool Send(std::string_view text) {
    return Send(ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  }

  // Appends at most max bytes of what arrives within the limit; false on a
  // timeout or once the other side has closed.
  bool ReadSome(Bytes& into, milliseconds limit, std::size_t max = 65536) {
    pollfd poller{fd_, POLLIN, 0};
    if (PollOne(poller, static_cast<int>(std::max<long long>(limit.count(), 0))) <= 0) {
      return false;
    }
    std::uint8_t buffer[65536];
    const auto n = recv(fd_, reinterpret_cast<char*>(buffer),
                        static_cast<int>(std::min(max, sizeof buffer)), 0);
    if (n <= 0) {
      closed_ = true;
      return false;
    }
    into.insert(into.end(), buffer, buffer + n);
    return true;
  }

  // n bytes, or what came before the limit.
  Bytes ReadExactly(std::size_t n, milliseconds limit = milliseconds(3000)) {
    const auto until = Clock::now() + limit;
    Bytes out;
    while (out.size() < n && ReadSome(out, Left(until), n - out.size())) {
    }
    return out;
  }

  // Everything until the other side closes, or until the limit.
  Bytes ReadToEnd(milliseconds limit = milliseconds(3000)) {
    const auto until = Clock::now() + limit;
    Bytes out;
    while (!closed_ && Left(until).count() > 0) ReadSome(out, Left(until));
    return out;
  }

  std::optional<std::string> ReadLine(milliseconds limit = milliseconds(3000)) {
    const auto until = Clock::now() + limit;
    Bytes line;
    while (line.empty() || line.back() != '\n') {
      if (!ReadSome(line, Left(until), 1)) return std::nullopt;
    }
    line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return std::string(line.begin(), line.end());
  }

  // True when the other side closes within the limit; what arrives meanwhile is skipped.
  bool WaitClosed(milliseconds limit = milliseconds(3000)) {
    ReadToEnd(limit);
    return closed_;
  }

  // True when nothing arrives, not even a close, for a while.
  bool StaysQuiet(milliseconds limit = milliseconds(100)) {
    Bytes ignored;
    return !ReadSome(ignored, limit) && !closed_;
  }

 private:
  using Clock = std::chrono::steady_clock;
  static milliseconds Left(Clock::time_point until) {
    return std::chrono::duration_cast<milliseconds>(until - Clock::now());
  }

  SocketHandle fd_ = kNoSocket;
  bool closed_ = false;
};

// A listening socket on 127.0.0.1. The kernel completes connects into its
// backlog, so a client's connect succeeds before the test calls Accept.
class LoopbackListener {
 public:
  // Port 0 picks a free port; receive_buffer > 0 shrinks the buffer of every
  // connection it accepts, so a server that never reads fills up quickly.
  explicit LoopbackListener(std::uint16_t port = 0, int receive_buffer = 0) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (receive_buffer > 0) SetOption(fd_, SO_RCVBUF, receive_buffer);
    const sockaddr_in address = LoopbackAddress(port);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd_, 16) != 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &length)) {
      Close();
    }
    port_ = ntohs(bound.sin_port);
  }
  ~LoopbackListener() { Close(); }
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  std::uint16_t Port() const { return port_; }
  void Close() {
    if (fd_ != kNoSocket) CloseSocket(fd_);
    fd_ = kNoSocket;
  }

  // The next connection, or a closed one when none comes in time.
  LoopbackConnection Accept(milliseconds limit = milliseconds(3000)) {
    pollfd poller{fd_, POLLIN, 0};
    if (PollOne(poller, static_cast<int>(limit.count())) <= 0) return LoopbackConnection();
    return LoopbackConnection(accept(fd_, nullptr, nullptr));
  }

 private:
  SocketHandle fd_ = kNoSocket;
  std::uint16_t port_ = 0;
};

// A port nobody listens on: connects to it are refused.
inline std::uint16_t ClosedPort() {
  return LoopbackListener().Port();
}

}  // namespace trivane::testing
