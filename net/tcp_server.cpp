#include "net/tcp_server.h"

#include <algorithm>
#include <array>
#include <exception>

#include "net/unsent_limit.h"

namespace trivane {

using SteadyClock = std::chrono::steady_clock;

// One connected instance. The accepting thread keeps a read running on it,
// only to throw away what it sends and to see it close.
struct TcpServer::Peer {
  explicit Peer(asio::ip::tcp::socket accepted) : socket(std::move(accepted)) {}

  asio::ip::tcp::socket socket;
  std::string name;
  asio::ip::address address;
  Bytes backlog;
  SteadyClock::time_point last_progress = SteadyClock::now();
  std::array<std::uint8_t, 2048> discard{};
};

TcpServer::TcpServer() : TcpServer(Limits{}) {}

TcpServer::TcpServer(Limits limits, std::function<void()> news)
    : limits_(limits), news_(std::move(news)) {}

TcpServer::~TcpServer() {
  StopListening();
}

TransportResult TcpServer::Listen(std::uint16_t port,
                                  const std::optional<asio::ip::address>& bind) {
  StopListening();
  std::error_code error;
  auto acceptor = std::make_unique<asio::ip::tcp::acceptor>(io_);
  asio::ip::tcp::endpoint endpoint;
  if (bind) {
    endpoint = asio::ip::tcp::endpoint(*bind, port);
    acceptor->open(endpoint.protocol(), error);
  } else {
    // Every local address: dual-stack where the system has IPv6, else IPv4.
    endpoint = asio::ip::tcp::endpoint(asio::ip::tcp::v6(), port);
    acceptor->open(endpoint.protocol(), error);
    if (!error) acceptor->set_option(asio::ip::v6_only(false), error);
    if (error) {
      acceptor = std::make_unique<asio::ip::tcp::acceptor>(io_);
      endpoint = asio::ip::tcp::endpoint(asio::ip::tcp::v4(), port);
      error.clear();
      acceptor->open(endpoint.protocol(), error);
    }
  }
  if (!error) acceptor->set_option(asio::socket_base::reuse_address(true), error);
  if (!error) acceptor->bind(endpoint, error);
  if (!error) acceptor->listen(asio::socket_base::max_listen_connections, error);
  if (error) {
    const std::string where = bind ? " on " + bind->to_string() : std::string();
    return TransportResult::Failure(
        TransportResult::Kind::kFailed,
        "Port " + std::to_string(port) + where + ": " + error.message());
  }

  port_ = port;
  bind_ = bind;
  bound_port_ = acceptor->local_endpoint(error).port();
  acceptor_ = std::move(acceptor);
  accept_pause_ = std::make_unique<asio::steady_timer>(io_);
  io_.restart();
  AcceptNext();
  io_thread_ = std::thread([this] { io_.run(); });
  return {};
}

void TcpServer::Tell() const {
  if (news_) news_();
}

void TcpServer::AcceptNext() {
  acceptor_->async_accept([this](const std::error_code& error, asio::ip::tcp::socket socket) {
    if (error == asio::error::operation_aborted || !acceptor_->is_open()) return;
    if (error) {
      // The connection waits in the listen queue meanwhile; the peers already
      // there are served as before.
      TurnAway(&Turnaways::accept_failures, error.message());
      accept_pause_->expires_after(limits_.accept_pause);
      accept_pause_->async_wait([this](const std::error_code& cancelled) {
        if (!cancelled) AcceptNext();
      });
      return;
    }
    Admit(std::move(socket));
    AcceptNext();
  });
}

void TcpServer::Admit(asio::ip::tcp::socket socket) {
  std::error_code ignored;
  const auto remote = socket.remote_endpoint(ignored);
  const asio::ip::address address = Unmapped(remote.address());
  const std::string name = address.to_string() + ":" + std::to_string(remote.port());
  try {
    std::unique_lock lock(peers_lock_);
    const bool allowed = access_.allow.Allows(address);
    const bool room = access_.max_peers == 0 || peers_.size() < access_.max_peers;
    lock.unlock();
    // Counted before the close, so whoever sees the close sees the count.
    if (!allowed || !room) {
      TurnAway(allowed ? &Turnaways::by_cap : &Turnaways::by_rule, address.to_string());
      socket.close(ignored);
      return;
    }

    socket.non_blocking(true, ignored);
    socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    LimitUnsentBytes(socket);
    auto peer = std::make_shared<Peer>(std::move(socket));
    peer->name = name;
    peer->address = address;
    DiscardNext(peer);
    lock.lock();
    peers_.push_back(std::move(peer));
  } catch (const std::exception& failure) {
    // Whatever a peer needed could not be had; the others go on.
    TurnAway(&Turnaways::accept_failures,
             "peer " + name + " could not be served: " + failure.what());
    socket.close(ignored);
    return;
  }
  accepted_.fetch_add(1, std::memory_order_relaxed);
  Tell();
}

void TcpServer::DiscardNext(const std::shared_ptr<Peer>& peer) {
  peer->socket.async_read_some(asio::buffer(peer->discard),
                               [this, peer](const std::error_code& error, std::size_t) {
                                 if (!error) {
                                   DiscardNext(peer);
                                 } else if (error != asio::error::operation_aborted) {
                                   LetGo(peer);
                                 }
                               });
}

void TcpServer::LetGo(const std::shared_ptr<Peer>& peer) {
  {
    const std::lock_guard guard(peers_lock_);
    const auto it = std::find(peers_.begin(), peers_.end(), peer);
    if (it == peers_.end()) return;  // dropped by the tick already, closed by its post
    peers_.erase(it);
  }
  std::error_code ignored;
  peer->socket.close(ignored);
  Tell();
}

void TcpServer::TurnAway(std::map<std::string, std::uint64_t> Turnaways::*kind,
                         const std::string& key) {
  bool first = false;
  {
    const std::lock_guard guard(peers_lock_);
    first = turnaways_.Empty();
    auto& counts = turnaways_.*kind;
    if (counts.size() >= kMaxTurnawayAddresses && !counts.contains(key)) {
      ++counts[std::string(kOtherAddresses)];
    } else {
      ++counts[key];
    }
  }
  if (first) Tell();
}

TcpServer::Turnaways TcpServer::TakeTurnaways() {
  const std::lock_guard guard(peers_lock_);
  return std::exchange(turnaways_, {});
}

TcpServer::PeerList::iterator TcpServer::Drop(PeerList::iterator it) {
  // Only the accepting thread touches a socket while its read is running;
  // out of the list, the tick never sees this peer again.
  std::shared_ptr<Peer> peer = *it;
  asio::post(io_, [peer] {
    std::error_code ignored;
    peer->socket.close(ignored);
  });
  return peers_.erase(it);
}

std::vector<std::string> TcpServer::SetAccess(Access access) {
  std::vector<std::string> let_go;
  const std::lock_guard guard(peers_lock_);
  access_ = std::move(access);
  for (auto it = peers_.begin(); it != peers_.end();) {
    if (access_.allow.Allows((*it)->address)) {
      ++it;
    } else {
      let_go.push_back((*it)->name);
      it = Drop(it);
    }
  }
  return let_go;
}

void TcpServer::StopListening() {
  if (io_thread_.joinable()) {
    asio::post(io_, [this] {
      std::error_code ignored;
      acceptor_->close(ignored);
      accept_pause_->cancel();
      const std::lock_guard guard(peers_lock_);
      for (const auto& peer : peers_) peer->socket.close(ignored);
      peers_.clear();
    });
    io_thread_.join();
  }
  acceptor_.reset();
  accept_pause_.reset();
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
    if (block != nullptr) peer.backlog.insert(peer.backlog.end(), block->begin(), block->end());
    std::error_code error;
    while (!peer.backlog.empty()) {
      const std::size_t sent = peer.socket.write_some(asio::buffer(peer.backlog), error);
      if (error) break;
      peer.backlog.erase(peer.backlog.begin(),
                         peer.backlog.begin() + static_cast<std::ptrdiff_t>(sent));
      peer.last_progress = now;
    }
    if (peer.backlog.empty()) peer.last_progress = now;

    // A peer that went away between two ticks is gone, not at fault.
    const bool gone = error == asio::error::broken_pipe || error == asio::error::connection_reset ||
                      error == asio::error::eof;
    const bool failed =
        !gone && error && error != asio::error::would_block && error != asio::error::try_again;
    const bool stuck =
        peer.backlog.size() > limits_.max_backlog || now - peer.last_progress > limits_.stuck_limit;
    if (gone || failed || stuck) {
      if (!gone) {
        dropped.push_back("Peer " + peer.name + " dropped: " +
                          (failed ? error.message() : std::string("it does not read")));
      }
      it = Drop(it);
    } else {
      ++it;
    }
  }
  return dropped;
}

}  // namespace trivane
