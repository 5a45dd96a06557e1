#include "net/tcp_client.h"

#include <algorithm>
#include <array>
#include <vector>

#include "net/host_lookup.h"
#include "net/unsent_limit.h"

namespace trivane {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Waits are cut into slices so a stop request is seen quickly.
constexpr auto kWaitSlice = std::chrono::milliseconds(50);

std::string TextOf(const std::error_code& error) {
  return error.message();
}

}  // namespace

TcpClient::~TcpClient() {
  on_disconnected_ = nullptr;
  CloseSocket();
}

void TcpClient::SetAddress(std::string host, std::uint16_t port) {
  host_ = std::move(host);
  port_ = port;
}

void TcpClient::SetConnectedNotification(Notification notification) {
  on_connected_ = std::move(notification);
}

void TcpClient::SetDisconnectedNotification(Notification notification) {
  on_disconnected_ = std::move(notification);
}

template <typename Finished>
TcpClient::Wait TcpClient::RunUntil(Finished finished, SteadyClock::time_point deadline,
                                    const std::stop_token& stop) {
  io_.restart();
  while (!finished()) {
    if (stop.stop_requested()) return Wait::kStopped;
    const auto now = SteadyClock::now();
    if (now >= deadline) return Wait::kTimedOut;
    io_.run_one_for(std::min<SteadyClock::duration>(deadline - now, kWaitSlice));
  }
  return Wait::kDone;
}

// An operation given up on still holds references to the caller's locals:
// cancel it and let its handler run before they go away.
void TcpClient::AbandonPending(bool close) {
  std::error_code ignored;
  if (close) {
    CloseSocket();
  } else {
    socket_.cancel(ignored);
  }
  io_.restart();
  io_.run();
}

std::optional<NativeSocket> TcpClient::Socket() {
  if (!socket_.is_open()) return std::nullopt;
  return static_cast<NativeSocket>(socket_.native_handle());
}

void TcpClient::CloseSocket() {
  peer_closed_ = false;
  std::error_code ignored;
  if (socket_.is_open()) {
    socket_.shutdown(asio::socket_base::shutdown_both, ignored);
    socket_.close(ignored);
  }
}

TransportResult TcpClient::Connect(Milliseconds limit, const std::stop_token& stop) {
  connecting_ = true;
  TransportResult result = ConnectAndNotify(limit, stop);
  connecting_ = false;
  return result;
}

TransportResult TcpClient::ConnectAndNotify(Milliseconds limit, const std::stop_token& stop) {
  using Kind = TransportResult::Kind;
  const auto deadline = SteadyClock::now() + limit;
  CloseSocket();
  input_.clear();

  std::error_code error;
  std::vector<asio::ip::tcp::endpoint> endpoints;
  const auto literal = asio::ip::make_address(host_, error);
  if (!error) {
    endpoints.emplace_back(literal, port_);
  } else {
    HostLookup found = LookUpWithin(host_, port_, deadline, stop);
    switch (found.outcome) {
      case HostLookup::Outcome::kFound:
        endpoints = std::move(found.endpoints);
        break;
      case HostLookup::Outcome::kFailed:
        return TransportResult::Failure(Kind::kFailed, "Host " + host_ + ": " + found.failure);
      case HostLookup::Outcome::kTimedOut:
        return TransportResult::Failure(
            Kind::kTimedOut, "Host " + host_ + ": no answer from the name service in time");
      case HostLookup::Outcome::kStopped:
        return TransportResult::Failure(Kind::kCancelled, "Connect cancelled");
    }
  }

  bool finished = false;
  asio::async_connect(socket_, endpoints,
                      [&](const std::error_code& result, const asio::ip::tcp::endpoint&) {
                        error = result;
                        finished = true;
                      });
  const Wait wait = RunUntil([&] { return finished; }, deadline, stop);
  if (wait != Wait::kDone) {
    AbandonPending(true);
    return wait == Wait::kStopped ? TransportResult::Failure(Kind::kCancelled, "Connect cancelled")
                                  : TransportResult::Failure(Kind::kTimedOut, "Connect timed out");
  }
  if (error) {
    CloseSocket();
    return TransportResult::Failure(
        Kind::kFailed, TextOf(error) + " (" + host_ + ":" + std::to_string(port_) + ")");
  }
  socket_.set_option(asio::ip::tcp::no_delay(true), error);
  LimitUnsentBytes(socket_);
  socket_.non_blocking(true, error);
  if (on_connected_) on_connected_(*this);
  return {};
}

bool TcpClient::Connected() {
  if (!socket_.is_open()) return false;
  if (!peer_closed_) return true;
  CloseSocket();
  NotifyDropped();
  return false;
}

void TcpClient::Disconnect() {
  if (!socket_.is_open()) return;
  CloseSocket();
  if (on_disconnected_) on_disconnected_(*this);
}

TransportResult TcpClient::ReadArrived(std::size_t room) {
  if (!socket_.is_open() || room == 0) return {};
  std::array<std::uint8_t, kMaxReceive> buffer;
  std::error_code error;
  const std::size_t n =
      socket_.read_some(asio::buffer(buffer.data(), std::min(room, buffer.size())), error);
  if (error == asio::error::would_block || error == asio::error::try_again) return {};
  if (error == asio::error::eof) {
    Disconnect();
    return TransportResult::Failure(TransportResult::Kind::kClosedByPeer,
                                    "Connection closed by the peer");
  }
  if (error) return TransportResult::Failure(TransportResult::Kind::kFailed, TextOf(error));
  input_.insert(input_.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
  return {};
}

TransportResult TcpClient::ReadLine(std::string& line, Milliseconds limit,
                                    const std::stop_token& stop) {
  using Kind = TransportResult::Kind;
  const auto deadline = SteadyClock::now() + limit;
  line.clear();
  for (;;) {
    const auto lf = std::find(input_.begin(), input_.end(), std::uint8_t{'\n'});
    if (lf != input_.end()) {
      line.assign(input_.begin(), lf);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      input_.erase(input_.begin(), lf + 1);
      return {};
    }
    if (input_.size() > kMaxLine) return TransportResult::Failure(Kind::kFailed, "Line too long");
    if (!socket_.is_open()) return TransportResult::Failure(Kind::kFailed, "Connection closed");

    std::array<std::uint8_t, 4096> buffer;
    std::error_code error;
    std::size_t received = 0;
    bool finished = false;
    socket_.async_read_some(asio::buffer(buffer),
                            [&](const std::error_code& result, std::size_t n) {
                              error = result;
                              received = n;
                              finished = true;
                            });
    const Wait wait = RunUntil([&] { return finished; }, deadline, stop);
    if (wait != Wait::kDone) {
      AbandonPending(false);
      return wait == Wait::kStopped
                 ? TransportResult::Failure(Kind::kCancelled, "Read cancelled")
                 : TransportResult::Failure(Kind::kTimedOut, "No answer from the server in time");
    }
    if (error == asio::error::eof) {
      peer_closed_ = true;
      return TransportResult::Failure(Kind::kClosedByPeer, "Connection closed by the server");
    }
    if (error) return TransportResult::Failure(Kind::kFailed, TextOf(error));
    input_.insert(input_.end(), buffer.begin(),
                  buffer.begin() + static_cast<std::ptrdiff_t>(received));
  }
}

TransportResult TcpClient::WriteLine(std::string_view text, Milliseconds limit,
                                     const std::stop_token& stop) {
  Bytes bytes(text.begin(), text.end());
  bytes.push_back('\r');
  bytes.push_back('\n');
  return WriteBlock(bytes, limit, stop);
}

TransportResult TcpClient::WriteBlock(ByteView bytes, Milliseconds limit,
                                      const std::stop_token& stop) {
  using Kind = TransportResult::Kind;
  if (!socket_.is_open()) return TransportResult::Failure(Kind::kFailed, "Not connected");
  std::error_code error;
  bool finished = false;
  asio::async_write(socket_, asio::buffer(bytes.data(), bytes.size()),
                    [&](const std::error_code& result, std::size_t) {
                      error = result;
                      finished = true;
                    });
  const Wait wait = RunUntil([&] { return finished; }, SteadyClock::now() + limit, stop);
  if (wait != Wait::kDone) {
    // Closed, not only cancelled: a cancel that comes between two pieces of
    // the block misses them, and the write would go on waiting for a peer
    // that does not read. The stream is broken either way.
    AbandonPending(true);
    NotifyDropped();
    // The last piece may have gone out just as the time ran out: then the
    // block was sent whole, and calling it failed would have it sent twice.
    if (finished && !error) return {};
    return wait == Wait::kStopped ? TransportResult::Failure(Kind::kCancelled, "Write cancelled")
                                  : TransportResult::Failure(Kind::kTimedOut, "Write timed out");
  }
  return error ? TransportResult::Failure(Kind::kFailed, TextOf(error)) : TransportResult{};
}

TransportResult TcpClient::WriteSome(ByteView bytes, std::size_t& sent) {
  using Kind = TransportResult::Kind;
  sent = 0;
  if (!socket_.is_open()) return TransportResult::Failure(Kind::kFailed, "Not connected");
  if (bytes.empty()) return {};
  std::error_code error;
  sent = socket_.write_some(asio::buffer(bytes.data(), bytes.size()), error);
  if (error == asio::error::would_block || error == asio::error::try_again) {
    sent = 0;
    return {};
  }
  if (error == asio::error::broken_pipe) {
    return TransportResult::Failure(Kind::kClosedByPeer, "Connection closed by the peer");
  }
  return error ? TransportResult::Failure(Kind::kFailed, TextOf(error)) : TransportResult{};
}

void TcpClient::NotifyDropped() {
  // Inside Connect the caller learns of the failure from Connect's result, on
  // the connecting thread, where the notification must not run.
  if (!connecting_ && on_disconnected_) on_disconnected_(*this);
}

}  // namespace trivane
