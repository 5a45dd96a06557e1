#include "net/internal_server.h"

#include "links/bounded_queue.h"
#include "net/host_lookup.h"

namespace trivane {

namespace {

// A host name for the bind address is looked up while the settings are
// applied; one the name server does not answer holds that no longer than this.
constexpr auto kBindLookupLimit = std::chrono::seconds(2);

}  // namespace

void InternalServer::Server_Init() {
  if (!record_.Server) {
    record_.Server = std::make_unique<TcpServer>(limits_, [this] { host_.WakeDriver(); });
  }
  if (record_.Queue) {
    record_.Queue->clear();
  } else {
    record_.Queue.emplace();
  }
  TcpServer& server = *record_.Server;
  ApplyAccess(server);
  std::optional<asio::ip::address> bind;
  if (!ListenAddress(bind)) {
    server.StopListening();
    host_.SetLineStatus(status_column::kServer, LineStatus::Error);
    return;
  }
  const std::uint16_t port = host_.Settings().ServerPort;
  if (server.Port() != port || server.Bind() != bind || !server.Listening()) {
    server.StopListening();
    if (const TransportResult listen = server.Listen(port, bind); !listen.Ok()) {
      host_.OutLog(-1, listen.text, "IPServer");
      host_.SetLineStatus(status_column::kServer, LineStatus::Error);
      return;
    }
  }
  host_.SetLineStatus(status_column::kServer, LineStatus::Connected);
}

void InternalServer::ApplyAccess(TcpServer& server) {
  const TSettings& settings = host_.Settings();
  AllowList allow = AllowList::Parse(settings.ServerAllow);
  for (const std::string& entry : allow.invalid) {
    host_.OutError(-1, "ServerAllow: \"" + entry + "\" is neither an address nor a range",
                   "IPServer");
  }
  const std::vector<std::string> let_go =
      server.SetAccess({.allow = std::move(allow), .max_peers = settings.ServerMaxPeers});
  for (const std::string& name : let_go) {
    host_.OutLog(-1, "Peer " + name + " let go: not in ServerAllow", "IPServer");
  }
}

bool InternalServer::ListenAddress(std::optional<asio::ip::address>& bind) {
  const TSettings& settings = host_.Settings();
  if (settings.ServerBind.empty()) return true;
  std::error_code error;
  bind = asio::ip::make_address(settings.ServerBind, error);
  if (!error) return true;
  const HostLookup found =
      LookUpWithin(settings.ServerBind, settings.ServerPort,
                   std::chrono::steady_clock::now() + kBindLookupLimit, std::stop_token{});
  if (found.outcome == HostLookup::Outcome::kFound && !found.endpoints.empty()) {
    bind = found.endpoints.front().address();
    return true;
  }
  const std::string why = found.outcome == HostLookup::Outcome::kTimedOut
                              ? "the name server did not answer"
                              : found.failure;
  host_.OutLog(-1, "ServerBind " + settings.ServerBind + ": " + why, "IPServer");
  return false;
}

void InternalServer::Server_Bye() {
  RelayMetrics& metrics = host_.Metrics();
  if (record_.Server) {
    record_.Server->StopListening();
    RelayMetrics::Add(metrics.chain.peers_connected, record_.Server->TakeAccepted());
    record_.Server.reset();
  }
  record_.Queue.reset();
  RelayMetrics::Set(metrics.chain.peers, 0);
  metrics.SetQueueDepth(status_column::kServer, 0);
}

void InternalServer::LogDropped(const std::vector<std::string>& dropped) {
  for (const std::string& text : dropped) host_.OutLog(-1, text, "IPServer");
  RelayMetrics::Add(host_.Metrics().chain.peers_dropped, dropped.size());
}

void InternalServer::CountPeers(TcpServer& server) {
  RelayMetrics& metrics = host_.Metrics();
  RelayMetrics::Add(metrics.chain.peers_connected, server.TakeAccepted());
  RelayMetrics::Set(metrics.chain.peers, server.PeerCount());
}

void InternalServer::Log(const std::vector<std::string>& lines, bool errors) {
  for (const std::string& line : lines) {
    if (errors) {
      host_.OutError(-1, line, "IPServer");
    } else {
      host_.OutLog(-1, line, "IPServer");
    }
  }
}

void InternalServer::ReportTurnaways(TcpServer& server) {
  const std::int64_t now = host_.NowTick();
  Log(refusals_.Due(now), false);
  Log(accept_failures_.Due(now), true);
  const TcpServer::Turnaways turned = server.TakeTurnaways();
  if (turned.Empty()) return;

  RelayMetrics::Chain& chain = host_.Metrics().chain;
  const std::string cap = std::to_string(host_.Settings().ServerMaxPeers);
  for (const auto& [address, n] : turned.by_rule) {
    RelayMetrics::Add(chain.peers_refused_rule, n);
    Log(refusals_.Count("Peer " + address + " refused: not in ServerAllow", n, now), false);
  }
  for (const auto& [address, n] : turned.by_cap) {
    RelayMetrics::Add(chain.peers_refused_cap, n);
    Log(refusals_.Count("Peer " + address + " refused: ServerMaxPeers " + cap + " reached", n, now),
        false);
  }
  const std::string pause = std::to_string(limits_.accept_pause.count());
  for (const auto& [failure, n] : turned.accept_failures) {
    RelayMetrics::Add(chain.accept_failures, n);
    Log(accept_failures_.Count(
            "Accept failed: " + failure + "; trying again after " + pause + " ms", n, now),
        true);
  }
}

void InternalServer::PlanWake(WakePlan& plan) {
  if (!record_.Queue) return;
  if (!record_.Queue->empty()) plan.DueAt(host_.NowTick());
  for (const TurnawayLog* log : {&refusals_, &accept_failures_}) {
    if (const auto due = log->NextDue()) plan.DueAt(*due);
  }
  if (record_.Server) record_.Server->PlanWake(plan, host_.GetTick64());
}

void InternalServer::TCPServer_OTick() {
  if (!record_.Queue) return;
  RawQueue& queue = *record_.Queue;
  TcpServer* server = record_.Server.get();
  const bool listening = server != nullptr && server->Listening();
  // Peers that could not take everything last time get the rest first.
  if (listening) LogDropped(server->Flush());

  RelayMetrics& metrics = host_.Metrics();
  if (const std::size_t lost = DropOldestBeyond(queue, kMaxQueuedFrames); lost > 0) {
    host_.OutLog(-1, "Queue full: " + std::to_string(lost) + " oldest entries dropped", "IPServer");
    metrics.CountDropped(status_column::kServer, lost);
  }
  metrics.SetQueueDepth(status_column::kServer, queue.size());
  if (!queue.empty()) {
    const TRawMsg entry = std::move(queue.front());
    queue.pop_front();
    if (listening) {
      LogDropped(server->Broadcast(entry.Data));
      host_.MarkLastData(status_column::kServer);
      metrics.CountSent(status_column::kServer, entry.Data.size());
    } else {
      metrics.CountDropped(status_column::kServer, 0, 1);
    }
  }
  if (listening) {
    CountPeers(*server);
    ReportTurnaways(*server);
  }
}

}  // namespace trivane
