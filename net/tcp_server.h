#pragma once

#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/byte_io.h"
#include "base/wake_plan.h"
#include "net/address_range.h"
#include "net/transport_result.h"

namespace trivane {

// The chain server's transport: listens on one address or on every local
// one, keeps a list of peers, and hands the same blocks to all of them.
//
// One thread of its own accepts peers and reads from every peer at once; what
// they send is thrown away, and a peer that closes is let go that moment, not
// at the next block. Peers the access rule or the cap turns away are closed
// as soon as they are accepted and never join the list.
//
// Writes never block the caller. Each peer has its own backlog of bytes its
// socket has not taken yet; a peer whose backlog stops shrinking for the
// stuck limit, or grows past the backlog limit, is dropped so that it can
// neither stall the tick nor hold back the others.
class TcpServer {
 public:
  struct Limits {
    std::size_t max_backlog = 1 << 20;
    std::chrono::milliseconds stuck_limit{10'000};
    // After a failed accept (typically: no descriptors left). Trying again at
    // once would spin a core while the table stays full.
    std::chrono::milliseconds accept_pause{100};
  };

  struct Access {
    AllowList allow;
    std::size_t max_peers = 0;  // 0: no cap
  };

  // What the accepting thread turned away since the last look, by address
  // (or by failure text), with how many connections each.
  struct Turnaways {
    std::map<std::string, std::uint64_t> by_rule;
    std::map<std::string, std::uint64_t> by_cap;
    std::map<std::string, std::uint64_t> accept_failures;
    bool Empty() const { return by_rule.empty() && by_cap.empty() && accept_failures.empty(); }
  };
  // Beyond this many addresses between two looks the rest share one entry.
  static constexpr std::size_t kMaxTurnawayAddresses = 256;
  static constexpr std::string_view kOtherAddresses = "other addresses";

  // news: called on the accepting thread whenever a peer joins, leaves or is
  // turned away, so the tick can look without polling.
  TcpServer();
  explicit TcpServer(Limits limits, std::function<void()> news = {});
  ~TcpServer();

  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;

  // Fails typically because the port is in use or the address is not one of
  // this machine's. No address: every local address. Port 0 picks a free port
  // (BoundPort tells which).
  TransportResult Listen(std::uint16_t port, const std::optional<asio::ip::address>& bind = {});
  // Closes the listener and every peer.
  void StopListening();
  bool Listening() const { return io_thread_.joinable(); }
  std::uint16_t Port() const { return port_; }
  const std::optional<asio::ip::address>& Bind() const { return bind_; }
  std::uint16_t BoundPort() const { return bound_port_; }

  // For peers accepted from now on. Peers the new rule no longer allows are
  // let go; their names are returned.
  std::vector<std::string> SetAccess(Access access);

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
  Turnaways TakeTurnaways();

 private:
  struct Peer;
  using PeerList = std::list<std::shared_ptr<Peer>>;

  void AcceptNext();
  void Admit(asio::ip::tcp::socket socket);
  void DiscardNext(const std::shared_ptr<Peer>& peer);
  void LetGo(const std::shared_ptr<Peer>& peer);
  void TurnAway(std::map<std::string, std::uint64_t> Turnaways::*kind, const std::string& key);
  PeerList::iterator Drop(PeerList::iterator it);
  std::vector<std::string> Serve(const ByteView* block);
  void Tell() const;

  Limits limits_;
  std::function<void()> news_;
  asio::io_context io_;
  std::unique_ptr<asio::ip::tcp::acceptor> acceptor_;
  std::unique_ptr<asio::steady_timer> accept_pause_;
  std::thread io_thread_;
  std::uint16_t port_ = 0;
  std::optional<asio::ip::address> bind_;
  std::uint16_t bound_port_ = 0;

  // The peer list, the access rule and the turnaways; held while one block
  // goes to all peers and while the accepting thread changes the list.
  std::mutex peers_lock_;
  PeerList peers_;
  Access access_;
  Turnaways turnaways_;
  std::atomic<std::uint64_t> accepted_{0};
};

}  // namespace trivane
