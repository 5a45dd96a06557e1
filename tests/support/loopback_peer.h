#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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

inline sockaddr_in LoopbackAddress(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// The test's end of a TCP connection on 127.0.0.1. Every wait has a limit, so
// a test fails instead of hanging.
class LoopbackConnection {
 public:
  LoopbackConnection() = default;
  explicit LoopbackConnection(int fd) : fd_(fd) {}
  ~LoopbackConnection() { Close(); }
  LoopbackConnection(LoopbackConnection&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  LoopbackConnection& operator=(LoopbackConnection&& other) noexcept {
    std::swap(fd_, other.fd_);
    std::swap(closed_, other.closed_);
    return *this;
  }

  // receive_buffer > 0 shrinks the receive buffer first, so that a peer that
  // never reads fills up quickly.
  static LoopbackConnection Connect(std::uint16_t port, int receive_buffer = 0) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (receive_buffer > 0) {
      setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    }
    const sockaddr_in address = LoopbackAddress(port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      close(fd);
      return LoopbackConnection();
    }
    return LoopbackConnection(fd);
  }

  bool Open() const { return fd_ >= 0; }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  // Ends with a reset instead of an orderly close: the other side's read fails.
  void Reset() {
    const linger abort{1, 0};
    if (fd_ >= 0) setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    Close();
  }

  bool Send(ByteView bytes) {
    return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }
  bool Send(std::string_view text) {
    return Send(ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  }

  // Appends at most max bytes of what arrives within the limit; false on a
  // timeout or once the other side has closed.
  bool ReadSome(Bytes& into, milliseconds limit, std::size_t max = 65536) {
    pollfd poller{fd_, POLLIN, 0};
    if (poll(&poller, 1, static_cast<int>(std::max<long long>(limit.count(), 0))) <= 0) {
      return false;
    }
    std::uint8_t buffer[65536];
    const auto n = recv(fd_, buffer, std::min(max, sizeof buffer), 0);
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

  int fd_ = -1;
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
    if (receive_buffer > 0) {
      setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    }
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
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  // The next connection, or a closed one when none comes in time.
  LoopbackConnection Accept(milliseconds limit = milliseconds(3000)) {
    pollfd poller{fd_, POLLIN, 0};
    if (poll(&poller, 1, static_cast<int>(limit.count())) <= 0) return LoopbackConnection();
    return LoopbackConnection(accept(fd_, nullptr, nullptr));
  }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// A port nobody listens on: connects to it are refused.
inline std::uint16_t ClosedPort() {
  return LoopbackListener().Port();
}

}  // namespace trivane::testing
