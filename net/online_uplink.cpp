#include "net/online_uplink.h"

#include "core/formatting.h"
#include "net/bounded_queue.h"

namespace trivane {

OnlineUplink::~OnlineUplink() {
  Online_Bye();
}

void OnlineUplink::AbandonAttempt() {
  if (!record_.Connector) return;
  record_.Connector->Terminate();
  record_.Connector.reset();
}

void OnlineUplink::Online_Init() {
  TIPPortSett& online = host_.Settings().OnlineIP;
  online.Host = std::string(TrimControl(online.Host));
  if (online.Host.empty() || online.Port == 0) {
    Online_Bye();
    return;
  }
  if (!record_.Client) {
    record_.Client = std::make_unique<TcpClient>(TConnectThread::kOnlineTarget);
    record_.Client->SetDisconnectedNotification([this](TcpClient&) { Online_OnDisconnected(); });
  }
  TcpClient& client = *record_.Client;
  if (client.Host() != online.Host || client.Port() != online.Port) {
    AbandonAttempt();
    client.Disconnect();
    client.SetAddress(online.Host, online.Port);
  }
  if (record_.Queue) {
    record_.Queue->clear();
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
}

void OnlineUplink::Online_Connect() {
  record_.LoggedIn = false;
  login_ = LoginOutcome{};
  TcpClient* client = record_.Client.get();
  // The thread gets its own copy: the settings may change while it runs.
  std::string password = host_.Settings().OnlineIP.Password;
  record_.Connector = std::make_unique<TConnectThread>(
      TConnectThread::kOnlineTarget,
      [this, client, password = std::move(password)](std::stop_token stop) {
        client->SetConnectedNotification([this, &stop, &password](TcpClient& connected) {
          Online_OnConnected(connected, password, stop);
        });
        std::string failure = client->Connect(kConnectLimit, stop);
        client->SetConnectedNotification(nullptr);
        return failure;
      });
  record_.Connector->Start();
}

// The three-line log-in: a greeting, the password, the verdict (empty means
// accepted). Runs on the connect thread; the connection stays open either way
// and the tick decides what to do with the outcome.
void OnlineUplink::Online_OnConnected(TcpClient& client, const std::string& password,
                                      const std::stop_token& stop) {
  std::string line;
  std::string failure = client.ReadLine(line, login_line_limit_, stop);
  if (failure.empty()) failure = client.WriteLine(password, login_line_limit_, stop);
  if (failure.empty()) failure = client.ReadLine(line, login_line_limit_, stop);
  if (!failure.empty()) {
    login_.err_text = ReplaceChar(ReplaceChar(failure, '\r', ":"), '\n', " ");
    return;
  }
  login_.logged_in = line.empty();
  login_.err_text = line;
}

void OnlineUplink::Online_CheckConnect() {
  if (!record_.Connector || !record_.Connector->Done()) return;
  const std::string& failure = record_.Connector->ErrText();
  if (!failure.empty() && failure != record_.ErrText) {
    record_.ErrText = failure;
    host_.OutLog(-1, ReplaceChar(failure, '\r', " : "), "Online");
  }
  record_.Connector->Terminate();
  record_.Connector.reset();

  if (record_.Client->Connected()) {
    host_.SetLineStatus(status_column::kOnline, LineStatus::Connected);
    record_.ReconnectAt = 0;
    record_.LoggedIn = login_.logged_in;
    record_.ErrText = login_.err_text;
  } else {
    // A server that hung up during the log-in: its text stays for the column's
    // hint, like any log-in outcome.
    if (!login_.err_text.empty()) record_.ErrText = login_.err_text;
    host_.SetLineStatus(status_column::kOnline, LineStatus::Error);
    record_.ReconnectAt = host_.NowTick() + kRetryAfterFailureMs;
  }
}

void OnlineUplink::Online_Tick() {
  if (!record_.Client) return;
  Online_CheckConnect();
  if (record_.Connector) return;
  if (record_.Queue) {
    if (const std::size_t lost = DropOldestBeyond(*record_.Queue, kMaxQueuedFrames); lost > 0) {
      host_.OutLog(-1, "Queue full: " + std::to_string(lost) + " oldest frames dropped", "Online");
    }
  }

  TcpClient& client = *record_.Client;
  if (client.Connected()) {
    if (record_.LoggedIn) {
      Online_Send();
    } else if (!record_.ErrText.empty()) {
      host_.SetLineStatus(status_column::kOnline, LineStatus::Error);
      host_.OutLog(-1, ReplaceChar(record_.ErrText, '\r', " : "), "Online");
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

void OnlineUplink::Online_OnDisconnected() {
  host_.SetLineStatus(status_column::kOnline, LineStatus::Wait);
  record_.LoggedIn = false;
  if (record_.ReconnectAt == 0) record_.ReconnectAt = host_.NowTick() + kRetryAfterLossMs;
}

void OnlineUplink::Online_Send() {
  if (!record_.Queue) return;
  TcpClient& client = *record_.Client;
  // Reading notices a server that closed; what it says after the log-in is unused.
  // A failed read (a reset, say) is a lost connection too, and says why.
  if (const std::string failure = client.ReadArrived(); !failure.empty()) {
    host_.OutLog(-1, ReplaceChar(failure, '\r', " : "), "Online");
    client.Disconnect();
    return;
  }
  client.DiscardInput();
  // Frames stay queued while the link is down and go out, in order, after the
  // next log-in; a frame whose write failed is sent again then, whole.
  RawQueue& queue = *record_.Queue;
  while (!queue.empty() && client.Connected()) {
    if (!client.WriteBlock(queue.front().Data, kWriteLimit).empty()) {
      client.Disconnect();
      return;
    }
    queue.pop_front();
    host_.MarkLastData(status_column::kOnline);
  }
}

}  // namespace trivane
