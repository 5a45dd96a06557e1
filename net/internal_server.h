#pragma once

#include <memory>
#include <optional>

#include "links/link_host.h"
#include "links/links.h"
#include "links/raw_msg.h"
#include "net/tcp_server.h"
#include "net/turnaway_log.h"

namespace trivane {

struct tOutDataServer {
  std::unique_ptr<TcpServer> Server;  // none while the destination is off
  std::optional<RawQueue> Queue;      // frames or raw units for every peer, oldest first
};

// The chain server other instances connect to as a TCP source. One queued
// entry goes to every peer per tick.
class InternalServer final : public ServerLink {
 public:
  explicit InternalServer(LinkHost& host, TcpServer::Limits limits = {})
      : host_(host), limits_(limits) {}

  void Server_Init() override;
  void Server_Bye() override;
  void TCPServer_OTick() override;
  RawQueue* Queue() override { return record_.Queue ? &*record_.Queue : nullptr; }
  void PlanWake(WakePlan& plan) override;

  tOutDataServer& Record() { return record_; }

 private:
  void ApplyAccess(TcpServer& server);
  bool ListenAddress(std::optional<asio::ip::address>& bind);
  void LogDropped(const std::vector<std::string>& dropped);
  void CountPeers(TcpServer& server);
  void ReportTurnaways(TcpServer& server);
  void Log(const std::vector<std::string>& lines, bool errors);

  LinkHost& host_;
  TcpServer::Limits limits_;
  tOutDataServer record_;
  TurnawayLog refusals_;
  TurnawayLog accept_failures_;
};

}  // namespace trivane
