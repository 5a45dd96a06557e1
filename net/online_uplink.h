#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "core/link_host.h"
#include "core/links.h"
#include "net/connect_thread.h"
#include "net/raw_msg.h"
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

// The uplink to the online server: connect and log in on a connect thread,
// then send every queued online frame once logged in.
//
//   off --Init--> connecting --connect failed--> Error, retry in 5 s
//                     |--accepted--> logged in: sends its queue
//                     |--refused, or no answer in time--> Error, log, close, retry in 5 s
//   logged in --lost--> Wait, retry in 1 s
class OnlineUplink final : public OnlineLink {
 public:
  static constexpr std::chrono::milliseconds kConnectLimit{5000};
  // A server that accepts and then says nothing must not hold the attempt.
  static constexpr std::chrono::milliseconds kLoginLineLimit{5000};
  static constexpr std::chrono::milliseconds kWriteLimit{2000};
  static constexpr std::int64_t kRetryAfterFailureMs = 5000;
  static constexpr std::int64_t kRetryAfterLossMs = 1000;

  explicit OnlineUplink(LinkHost& host,
                        std::chrono::milliseconds login_line_limit = kLoginLineLimit)
      : host_(host), login_line_limit_(login_line_limit) {}
  ~OnlineUplink() override;

  OnlineUplink(const OnlineUplink&) = delete;
  OnlineUplink& operator=(const OnlineUplink&) = delete;

  void Online_Init() override;
  void Online_Bye() override;
  void Online_Tick() override;
  const std::string& ErrText() const override { return record_.ErrText; }
  RawQueue* Queue() override { return record_.Queue ? &*record_.Queue : nullptr; }

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

  LinkHost& host_;
  std::chrono::milliseconds login_line_limit_;
  tOutDataOnline record_;
  LoginOutcome login_;
};

}  // namespace trivane
