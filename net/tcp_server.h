#pragma once

#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/byte_io.h"
#include "base/wake_plan.h"
#include "net/transport_result.h"

namespace trivane {

// The chain server's transport: listens on every local address, keeps a list
// of peers, and hands the same blocks to all of them. What peers send is
// discarded unread.
//
// Writes never block the caller. Each peer has its own backlog of bytes its
// socket has not taken yet; a peer whose backlog stops shrinking for
// the stuck limit, or grows past the backlog limit, is dropped so that it can neither
// stall the tick nor hold back the others.
class TcpServer {
 public:
  struct Limits {
    std::size_t max_backlog = 1 << 20;
    std::chrono::milliseconds stuck_limit{10'000};
  };

  TcpServer() = default;
  explicit TcpServer(Limits limits) : limits_(limits) {}
  ~TcpServer();

  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;

  // Fails typically because the port is in use. Port 0 picks a free port
  // (BoundPort tells which).
  TransportResult Listen(std::uint16_t port);
  // Closes the listener and every peer.
  void StopListening();
  bool Listening() const { return accept_thread_.joinable(); }
  std::uint16_t Port() const { return port_; }
  std::uint16_t BoundPort() const { return bound_port_; }

  // Appends the block to every peer's backlog and pushes out what each socket
  // takes. Returns one text per peer dropped on the way.
  std::vector<std::string> Broadcast(ByteView block);
  // Pushes out what is still waiting, without new data.
  std::vector<std::string> Flush();
  std::size_t PeerCount();
  // The peers with bytes still to take, watched until their socket takes
  // more, and when the first of them reaches the stuck limit; now_tick is
  // the plan's clock reading now.
  void PlanWake(WakePlan& plan, std::int64_t now_tick);
  // Peers accepted since the last call.
  std::uint64_t TakeAccepted() { return accepted_.exchange(0, std::memory_order_relaxed); }

 private:
  struct Peer;

  void AcceptNext();
  std::vector<std::string> Serve(const ByteView* block);
  static void Close(Peer& peer);

  Limits limits_;
  asio::io_context io_;
  std::unique_ptr<asio::ip::tcp::acceptor> acceptor_;
  std::thread accept_thread_;
  std::uint16_t port_ = 0;
  std::uint16_t bound_port_ = 0;

  std::mutex peers_lock_;  // the peer list; held while one block goes to all
  std::list<std::shared_ptr<Peer>> peers_;
  std::atomic<std::uint64_t> accepted_{0};
};

}  // namespace trivane
