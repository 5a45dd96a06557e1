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
  if (record_.Server) {
    record_.Server->StopListening();
    record_.Server.reset();
  }
  record_.Queue.reset();
}

void InternalServer::LogDropped(const std::vector<std::string>& dropped) {
  for (const std::string& text : dropped) host_.OutLog(-1, text, "IPServer");
}

void InternalServer::TCPServer_OTick() {
  if (!record_.Queue) return;
  RawQueue& queue = *record_.Queue;
  TcpServer* server = record_.Server.get();
  const bool listening = server != nullptr && server->Listening();
  // Peers that could not take everything last time get the rest first.
  if (listening) LogDropped(server->Flush());

  if (const std::size_t lost = DropOldestBeyond(queue, kMaxQueuedFrames); lost > 0) {
    host_.OutLog(-1, "Queue full: " + std::to_string(lost) + " oldest entries dropped", "IPServer");
  }
  if (queue.empty()) return;
  const TRawMsg entry = std::move(queue.front());
  queue.pop_front();
  if (!listening) return;
  LogDropped(server->Broadcast(entry.Data));
  host_.MarkLastData(status_column::kServer);
}

}  // namespace trivane
