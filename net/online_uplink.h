#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "links/link_host.h"
#include "links/links.h"
#include "links/raw_msg.h"
#include "net/connect_thread.h"
#include "net/tcp_client.h"

namespace trivane {

struct tOutDataOnline {
  std::unique_ptr<TConnectThread> Connector;
  std::unique_ptr<TcpClient> Client;  // none while the uplink is off
  bool LoggedIn = false;
  std::int64_t ReconnectAt = 0;
  std::string ErrText;  // last connect or log-in error, shown as the column's hint
  std::optional<RawQueue> Queue;
};

struct OnlineUplinkLimits {
  // A server that accepts and then says nothing must not hold the attempt.
  std::chrono::milliseconds login_line{5000};
  // A server that takes no byte for this long while frames wait has stopped
  // reading: the same limit the chain server gives its peers.
  std::int64_t stall_ms = 10'000;
};

// The uplink to the online server: connect and log in on a connect thread,
// then hand the socket the queued online frames as fast as it takes them.
//
//   off --Init--> connecting --connect failed--> Error, retry in 5 s
//                     |--accepted--> logged in: sends its queue
//                     |--refused, hung up, or no answer in time--> Error, log, retry in 5 s
//   logged in --closed, reset, write failed, or no byte taken for the stall limit-->
//                 log why, Wait, retry in 1 s
//
// A frame leaves the queue only once the socket has taken all of it, so the
// tick never waits for the server, and a frame cut off by a lost connection
// goes out again whole after the next log-in, in its place.
class OnlineUplink final : public OnlineLink {
 public:
  static constexpr std::chrono::milliseconds kConnectLimit{5000};
  static constexpr std::int64_t kRetryAfterFailureMs = 5000;
  static constexpr std::int64_t kRetryAfterLossMs = 1000;

  using Limits = OnlineUplinkLimits;

  explicit OnlineUplink(LinkHost& host, Limits limits = {}) : host_(host), limits_(limits) {}
  ~OnlineUplink() override;

  OnlineUplink(const OnlineUplink&) = delete;
  OnlineUplink& operator=(const OnlineUplink&) = delete;

  void Online_Init() override;
  void Online_Bye() override;
  void Online_Tick() override;
  const std::string& ErrText() const override { return record_.ErrText; }
  RawQueue* Queue() override { return record_.Queue ? &*record_.Queue : nullptr; }
  void PlanWake(WakePlan& plan) override;

  void Online_Connect();
  void Online_CheckConnect();
  void Online_Send();
  void Online_OnDisconnected();

  tOutDataOnline& Record() { return record_; }

 private:
  // Written by the connect thread, read by the tick only after the attempt is Done.
  struct LoginOutcome {
    bool logged_in = false;
    std::string err_text;
  };

  void Online_OnConnected(TcpClient& client, const std::string& password,
                          const std::stop_token& stop);
  void AbandonAttempt();
  // Closes a logged-in connection and says why; a retry follows in 1 s.
  void DropConnection(std::string_view reason);
  void BoundQueue();
  void LogOnline(std::string_view text);

  LinkHost& host_;
  Limits limits_;
  tOutDataOnline record_;
  LoginOutcome login_;
  // Bytes of the oldest queued frame the socket has taken on this connection.
  std::size_t front_sent_ = 0;
  // When the socket last took a byte, or nothing was waiting.
  std::int64_t last_progress_ = 0;
};

}  // namespace trivane
