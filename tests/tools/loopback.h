#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace trivane::sim::testing {

// Plain loopback sockets whose every wait has a limit, so a test facing a
// silent peer fails instead of hanging.
class LoopbackSocket {
 public:
  explicit LoopbackSocket(int fd = -1) : fd_(fd) {}
  ~LoopbackSocket() {
    if (fd_ >= 0) close(fd_);
  }
  LoopbackSocket(LoopbackSocket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;

  static LoopbackSocket Connect(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      close(fd);
      return LoopbackSocket();
    }
    return LoopbackSocket(fd);
  }

  bool Valid() const { return fd_ >= 0; }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  bool Write(const std::string& bytes) const {
    return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }

  // Whatever arrives within the limit, up to `wanted` bytes.
  std::string Read(std::size_t wanted, std::chrono::milliseconds limit) {
    std::string data;
    const auto until = std::chrono::steady_clock::now() + limit;
    while (data.size() < wanted) {
      const auto chunk = ReadSome(until);
      if (!chunk || chunk->empty()) break;
      data += *chunk;
    }
    return data;
  }

  // One line without its CR LF, or nothing when none comes in time.
  std::optional<std::string> ReadLine(std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
      const auto end = pending_.find('\n');
      if (end != std::string::npos) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
      }
      const auto chunk = ReadSome(until);
      if (!chunk || chunk->empty()) return std::nullopt;
      pending_ += *chunk;
    }
  }

  // True when the peer closes within the limit (bytes still coming are read
  // and dropped).
  bool ClosedByPeer(std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
      const auto chunk = ReadSome(until);
      if (!chunk) return false;
      if (chunk->empty()) return true;
    }
  }

 protected:
  static sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
  }

  // Nothing on time-out, an empty string at the end of the stream.
  std::optional<std::string> ReadSome(std::chrono::steady_clock::time_point until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    pollfd poller{fd_, POLLIN, 0};
    if (left.count() <= 0 || poll(&poller, 1, static_cast<int>(left.count())) <= 0) {
      return std::nullopt;
    }
    char buffer[4096];
    const auto n = recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return std::string();
    return std::string(buffer, static_cast<std::size_t>(n));
  }

  int fd_;
  std::string pending_;
};

// A listening loopback socket on a port the system picks.
class LoopbackListener {
 public:
  LoopbackListener() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd_, 4);
    socklen_t size = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~LoopbackListener() { Close(); }
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  std::uint16_t Port() const { return port_; }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  LoopbackSocket Accept(std::chrono::milliseconds limit) {
    pollfd poller{fd_, POLLIN, 0};
    if (poll(&poller, 1, static_cast<int>(limit.count())) <= 0) return LoopbackSocket();
    return LoopbackSocket(accept(fd_, nullptr, nullptr));
  }

 private:
  int fd_;
  std::uint16_t port_ = 0;
};

}  // namespace trivane::sim::testing
