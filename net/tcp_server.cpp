#include "net/tcp_server.h"

#include <algorithm>
#include <array>

#include "net/unsent_limit.h"

namespace trivane {

using SteadyClock = std::chrono::steady_clock;

// One connected instance. Its thread only idles until the peer is closed:
// nothing is ever read from a peer.
struct TcpServer::Peer {
  explicit Peer(asio::ip::tcp::socket accepted) : socket(std::move(accepted)) {}

  asio::ip::tcp::socket socket;
  std::string name;
  Bytes backlog;
  SteadyClock::time_point last_progress = SteadyClock::now();
  std::mutex idle_lock;
  std::condition_variable idle;
  bool stopping = false;
  std::thread thread;
};

TcpServer::~TcpServer() {
  StopListening();
}

TransportResult TcpServer::Listen(std::uint16_t port) {
  StopListening();
  std::error_code error;
  auto acceptor = std::make_unique<asio::ip::tcp::acceptor>(io_);
  // Every local address: dual-stack where the system has IPv6, else IPv4.
  asio::ip::tcp::endpoint endpoint(asio::ip::tcp::v6(), port);
  acceptor->open(endpoint.protocol(), error);
  if (!error) acceptor->set_option(asio::ip::v6_only(false), error);
  if (error) {
    acceptor = std::make_unique<asio::ip::tcp::acceptor>(io_);
    endpoint = asio::ip::tcp::endpoint(asio::ip::tcp::v4(), port);
    error.clear();
    acceptor->open(endpoint.protocol(), error);
  }
  if (!error) acceptor->set_option(asio::socket_base::reuse_address(true), error);
  if (!error) acceptor->bind(endpoint, error);
  if (!error) acceptor->listen(asio::socket_base::max_listen_connections, error);
  if (error) {
    return TransportResult::Failure(TransportResult::Kind::kFailed,
                                    "Port " + std::to_string(port) + ": " + error.message());
  }

  port_ = port;
  bound_port_ = acceptor->local_endpoint(error).port();
  acceptor_ = std::move(acceptor);
  io_.restart();
  AcceptNext();
  accept_thread_ = std::thread([this] { io_.run(); });
  return {};
}

void TcpServer::AcceptNext() {
  acceptor_->async_accept([this](const std::error_code& error, asio::ip::tcp::socket socket) {
    if (error) {
      if (error == asio::error::operation_aborted || !acceptor_->is_open()) return;
      AcceptNext();
      return;
    }
    std::error_code ignored;
    socket.non_blocking(true, ignored);
    socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    LimitUnsentBytes(socket);
    auto peer = std::make_shared<Peer>(std::move(socket));
    const auto remote = peer->socket.remote_endpoint(ignored);
    auto address = remote.address();
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
      address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    }
    peer->name = address.to_string() + ":" + std::to_string(remote.port());
    peer->thread = std::thread([raw = peer.get()] {
      std::unique_lock lock(raw->idle_lock);
      raw->idle.wait(lock, [raw] { return raw->stopping; });
    });
    {
      const std::lock_guard guard(peers_lock_);
      peers_.push_back(std::move(peer));
    }
    accepted_.fetch_add(1, std::memory_order_relaxed);
    AcceptNext();
  });
}

void TcpServer::Close(Peer& peer) {
  {
    const std::lock_guard guard(peer.idle_lock);
    peer.stopping = true;
  }
  peer.idle.notify_one();
  if (peer.thread.joinable()) peer.thread.join();
  std::error_code ignored;
  peer.socket.shutdown(asio::socket_base::shutdown_both, ignored);
  peer.socket.close(ignored);
}

void TcpServer::StopListening() {
  if (accept_thread_.joinable()) {
    asio::post(io_, [this] {
      std::error_code ignored;
      acceptor_->close(ignored);
    });
    accept_thread_.join();
  }
  acceptor_.reset();
  const std::lock_guard guard(peers_lock_);
  for (const auto& peer : peers_) Close(*peer);
  peers_.clear();
}

std::size_t TcpServer::PeerCount() {
  const std::lock_guard guard(peers_lock_);
  return peers_.size();
}

void TcpServer::PlanWake(WakePlan& plan, std::int64_t now_tick) {
  const std::lock_guard guard(peers_lock_);
  const auto now = SteadyClock::now();
  for (const auto& peer : peers_) {
    if (peer->backlog.empty()) continue;
    plan.Write(static_cast<NativeSocket>(peer->socket.native_handle()));
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(peer->last_progress +
                                                                   limits_.stuck_limit - now);
    // The limit is passed, not reached, before the peer is dropped.
    plan.DueAt(now_tick + std::max<std::int64_t>(left.count(), 0) + 1);
  }
}

std::vector<std::string> TcpServer::Broadcast(ByteView block) {
  return Serve(&block);
}

std::vector<std::string> TcpServer::Flush() {
  return Serve(nullptr);
}

std::vector<std::string> TcpServer::Serve(const ByteView* block) {
  std::vector<std::string> dropped;
  const std::lock_guard guard(peers_lock_);
  const auto now = SteadyClock::now();
  for (auto it = peers_.begin(); it != peers_.end();) {
    Peer& peer = **it;
    // Between entries only a peer with bytes still to take needs a look.
    if (block == nullptr && peer.backlog.empty()) {
      ++it;
      continue;
    }
    std::error_code error;

    // Whatever a peer sends is thrown away unread; taking it in is the only way
    // to see a close that comes after it.
    std::array<std::uint8_t, 4096> discard;
    peer.socket.read_some(asio::buffer(discard), error);
    bool gone = error == asio::error::eof || error == asio::error::connection_reset;

    if (!gone && block != nullptr) {
      peer.backlog.insert(peer.backlog.end(), block->begin(), block->end());
    }
    error.clear();
    while (!gone && !peer.backlog.empty()) {
      const std::size_t sent = peer.socket.write_some(asio::buffer(peer.backlog), error);
      if (error) break;
      peer.backlog.erase(peer.backlog.begin(),
                         peer.backlog.begin() + static_cast<std::ptrdiff_t>(sent));
      peer.last_progress = now;
    }
    if (peer.backlog.empty()) peer.last_progress = now;

    // A peer that went away between two ticks is gone, not at fault.
    gone = gone || error == asio::error::broken_pipe || error == asio::error::connection_reset;
    const bool failed =
        !gone && error && error != asio::error::would_block && error != asio::error::try_again;
    const bool stuck =
        peer.backlog.size() > limits_.max_backlog || now - peer.last_progress > limits_.stuck_limit;
    if (gone || failed || stuck) {
      if (!gone) {
        dropped.push_back("Peer " + peer.name + " dropped: " +
                          (failed ? error.message() : std::string("it does not read")));
      }
      Close(peer);
      it = peers_.erase(it);
    } else {
      ++it;
    }
  }
  return dropped;
}

}  // namespace trivane
