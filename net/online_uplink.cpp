#include "net/online_uplink.h"

#include "base/formatting.h"
#include "links/bounded_queue.h"

namespace trivane {

OnlineUplink::~OnlineUplink() {
  Online_Bye();
}

void OnlineUplink::AbandonAttempt() {
  if (!record_.Connector) return;
  record_.Connector->Terminate();
  record_.Connector.reset();
}

void OnlineUplink::LogOnline(std::string_view text) {
  host_.OutLog(-1, ReplaceChar(text, '\r', " : "), "Online");
}

void OnlineUplink::Online_Init() {
  const TIPPortSett& online = host_.Settings().OnlineIP;
  // A hand-edited file may bring spaces or controls around the name.
  const std::string host(TrimControl(online.Host));
  if (host.empty() || online.Port == 0) {
    Online_Bye();
    return;
  }
  if (!record_.Client) {
    record_.Client = std::make_unique<TcpClient>(TConnectThread::kOnlineTarget);
    record_.Client->SetDisconnectedNotification([this](TcpClient&) { Online_OnDisconnected(); });
  }
  TcpClient& client = *record_.Client;
  if (client.Host() != host || client.Port() != online.Port) {
    AbandonAttempt();
    client.Disconnect();
    client.SetAddress(host, online.Port);
  }
  if (record_.Queue) {
    // Emptied, but a frame the socket has taken part of is finished first.
    RawQueue& queue = *record_.Queue;
    const bool in_flight = front_sent_ > 0 && !queue.empty();
    queue.erase(queue.begin() + (in_flight ? 1 : 0), queue.end());
  } else {
    record_.Queue.emplace();
  }
  if (!record_.Connector && !client.Connected()) Online_Connect();
}

void OnlineUplink::Online_Bye() {
  AbandonAttempt();
  if (record_.Client) {
    record_.Client->SetDisconnectedNotification(nullptr);
    record_.Client->Disconnect();
    record_.Client.reset();
  }
  record_.Queue.reset();
  host_.Metrics().SetQueueDepth(status_column::kOnline, 0);
  front_sent_ = 0;
}

void OnlineUplink::Online_Connect() {
  record_.LoggedIn = false;
  login_ = LoginOutcome{};
  front_sent_ = 0;
  TcpClient* client = record_.Client.get();
  // The thread gets its own copy: the settings may change while it runs.
  std::string password = host_.Settings().OnlineIP.Password;
  record_.Connector = std::make_unique<TConnectThread>(
      TConnectThread::kOnlineTarget,
      [this, client, password = std::move(password)](std::stop_token stop) {
        client->SetConnectedNotification([this, &stop, &password](TcpClient& connected) {
          Online_OnConnected(connected, password, stop);
        });
        TransportResult result = client->Connect(kConnectLimit, stop);
        client->SetConnectedNotification(nullptr);
        return std::move(result.text);
      },
      [this] { host_.WakeDriver(); });
  record_.Connector->Start();
}

// The three-line log-in: a greeting, the password, the verdict (empty means
// accepted). Runs on the connect thread; the connection stays open either way
// and the tick decides what to do with the outcome.
void OnlineUplink::Online_OnConnected(TcpClient& client, const std::string& password,
                                      const std::stop_token& stop) {
  std::string line;
  TransportResult step = client.ReadLine(line, limits_.login_line, stop);
  if (step.Ok()) step = client.WriteLine(password, limits_.login_line, stop);
  if (step.Ok()) step = client.ReadLine(line, limits_.login_line, stop);
  if (!step.Ok()) {
    login_.err_text = ReplaceChar(ReplaceChar(step.text, '\r', ":"), '\n', " ");
    return;
  }
  login_.logged_in = line.empty();
  login_.err_text = line;
}

void OnlineUplink::Online_CheckConnect() {
  if (!record_.Connector || !record_.Connector->Done()) return;
  // A copy: the attempt is freed below, and its text is still needed after.
  const std::string failure = record_.Connector->ErrText();
  if (!failure.empty() && failure != record_.ErrText) {
    record_.ErrText = failure;
    LogOnline(failure);
  }
  record_.Connector->Terminate();
  record_.Connector.reset();

  RelayMetrics& metrics = host_.Metrics();
  if (record_.Client->Connected()) {
    // A refused log-in is a failed connect, though the socket was open.
    if (login_.logged_in) {
      metrics.CountConnect(status_column::kOnline);
    } else {
      metrics.CountConnectFailed(status_column::kOnline);
    }
    host_.SetLineStatus(status_column::kOnline, LineStatus::Connected);
    record_.ReconnectAt = 0;
    record_.LoggedIn = login_.logged_in;
    record_.ErrText = login_.err_text;
    last_progress_ = host_.NowTick();
  } else {
    // A server that hung up during the log-in: its text stays for the column's
    // hint, like any log-in outcome, and the log says why the link retries.
    if (failure.empty() && !login_.err_text.empty()) {
      record_.ErrText = login_.err_text;
      LogOnline(login_.err_text);
    }
    metrics.CountConnectFailed(status_column::kOnline);
    host_.SetLineStatus(status_column::kOnline, LineStatus::Error);
    record_.ReconnectAt = host_.NowTick() + kRetryAfterFailureMs;
  }
}

// The bound holds while an attempt runs too: an uplink that cannot connect
// for hours must not gather every frame since.
void OnlineUplink::BoundQueue() {
  if (!record_.Queue) return;
  const std::size_t pinned = front_sent_ > 0 ? 1 : 0;
  if (const std::size_t lost = DropOldestBeyond(*record_.Queue, kMaxQueuedFrames, pinned);
      lost > 0) {
    host_.OutLog(-1, "Queue full: " + std::to_string(lost) + " oldest frames dropped", "Online");
    host_.Metrics().CountDropped(status_column::kOnline, lost);
  }
  host_.Metrics().SetQueueDepth(status_column::kOnline, record_.Queue->size());
}

void OnlineUplink::Online_Tick() {
  if (!record_.Client) return;
  BoundQueue();
  Online_CheckConnect();
  if (record_.Connector) return;

  TcpClient& client = *record_.Client;
  if (client.Connected()) {
    if (record_.LoggedIn) {
      Online_Send();
    } else if (!record_.ErrText.empty()) {
      host_.SetLineStatus(status_column::kOnline, LineStatus::Error);
      LogOnline(record_.ErrText);
      client.Disconnect();
      record_.ReconnectAt = host_.NowTick() + kRetryAfterFailureMs;
    }
    return;
  }
  if (record_.ReconnectAt > 0 && record_.ReconnectAt <= host_.NowTick()) {
    record_.ReconnectAt = 0;
    Online_Connect();
  }
}

void OnlineUplink::PlanWake(WakePlan& plan) {
  // A running attempt wakes the driver itself when it ends.
  if (!record_.Client || record_.Connector) return;
  const std::optional<NativeSocket> socket = record_.Client->Socket();
  if (!socket) {
    if (record_.ReconnectAt > 0) plan.DueAt(record_.ReconnectAt);
    return;
  }
  // A refused log-in is closed by the tick that sees it, so an open socket
  // here is logged in.
  if (!record_.LoggedIn) return;
  // Reading is how a close by the server is seen.
  plan.Read(*socket);
  if (record_.Queue && !record_.Queue->empty()) {
    plan.Write(*socket);
    plan.DueAt(last_progress_ + limits_.stall_ms);
  }
}

void OnlineUplink::Online_OnDisconnected() {
  host_.SetLineStatus(status_column::kOnline, LineStatus::Wait);
  record_.LoggedIn = false;
  // What the old connection took of a frame is lost with it; the frame goes
  // out again whole on the next one.
  front_sent_ = 0;
  if (record_.ReconnectAt == 0) record_.ReconnectAt = host_.NowTick() + kRetryAfterLossMs;
}

void OnlineUplink::DropConnection(std::string_view reason) {
  LogOnline(reason);
  record_.Client->Disconnect();
}

void OnlineUplink::Online_Send() {
  if (!record_.Queue) return;
  TcpClient& client = *record_.Client;
  // Reading notices a server that closed or reset; what it says after the
  // log-in is unused.
  const TransportResult read = client.ReadArrived();
  client.DiscardInput();
  if (read.kind == TransportResult::Kind::kClosedByPeer) {
    LogOnline("Connection closed by the server");  // the read has closed it
    return;
  }
  if (!read.Ok()) {
    DropConnection(read.text);
    return;
  }

  RawQueue& queue = *record_.Queue;
  const std::int64_t now = host_.NowTick();
  while (!queue.empty()) {
    const ByteView rest = ByteView(queue.front().Data).subspan(front_sent_);
    std::size_t sent = 0;
    if (const TransportResult write = client.WriteSome(rest, sent); !write.Ok()) {
      DropConnection(write.text);
      return;
    }
    if (sent > 0) last_progress_ = now;
    front_sent_ += sent;
    if (front_sent_ < queue.front().Data.size()) break;  // the socket takes no more now
    host_.Metrics().CountSent(status_column::kOnline, queue.front().Data.size());
    queue.pop_front();
    front_sent_ = 0;
    host_.MarkLastData(status_column::kOnline);
  }
  if (queue.empty()) {
    last_progress_ = now;
  } else if (now - last_progress_ >= limits_.stall_ms) {
    DropConnection("The server takes no data: " + std::to_string(queue.size()) +
                   " frames wait, none sent for " + std::to_string(limits_.stall_ms / 1000) + " s");
  }
}

}  // namespace trivane
