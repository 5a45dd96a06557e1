#include "net/internal_server.h"

#include "links/bounded_queue.h"

namespace trivane {

void InternalServer::Server_Init() {
  if (!record_.Server) record_.Server = std::make_unique<TcpServer>(limits_);
  if (record_.Queue) {
    record_.Queue->clear();
  } else {
    record_.Queue.emplace();
  }
  TcpServer& server = *record_.Server;
  const std::uint16_t port = host_.Settings().ServerPort;
  if (server.Port() != port || !server.Listening()) {
    server.StopListening();
    if (const TransportResult listen = server.Listen(port); !listen.Ok()) {
      host_.OutLog(-1, listen.text, "IPServer");
      host_.SetLineStatus(status_column::kServer, LineStatus::Error);
      return;
    }
  }
  host_.SetLineStatus(status_column::kServer, LineStatus::Connected);
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

void InternalServer::PlanWake(WakePlan& plan) {
  if (!record_.Queue) return;
  if (!record_.Queue->empty()) plan.DueAt(host_.NowTick());
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
  if (listening) CountPeers(*server);
}

}  // namespace trivane
