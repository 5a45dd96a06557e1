#include "net/ip_readers.h"

#include <algorithm>

#include "base/formatting.h"
#include "net/duplicate_check.h"

namespace trivane {
namespace {

int Column(int i) {
  return status_column::kFirstSource + i;
}

}  // namespace

IPReaders::IPReaders(LinkHost& host) : host_(host) {}

IPReaders::~IPReaders() {
  IPReader_Bye();
}

void IPReaders::IPReader_Init() {
  const TSettings& settings = host_.Settings();
  for (int i = 0; i < kSourceCount; ++i) {
    const TIPPortSett& source = settings.SrcIP[static_cast<std::size_t>(i)];
    if (!TrimControl(source.Host).empty() && source.Port != 0) {
      IPReader_Run(i);
    } else {
      IPReader_Quit(i);
    }
  }
}

void IPReaders::AttachDisconnected(TcpClient& client) {
  client.SetDisconnectedNotification([this](TcpClient& c) { IPReader_OnDisconnected(c); });
}

// A client is never reconfigured or freed under a running attempt, and never
// gets a second one: the attempt is told to stop (a connect gives up within
// one wait slice) and waited for first.
void IPReaders::AbandonAttempt(tIP1Reader& slot) {
  if (!slot.Connector) return;
  slot.Connector->Terminate();
  slot.Connector.reset();
}

void IPReaders::IPReader_Run(int i) {
  tIP1Reader& slot = Slot(i);
  const TIPPortSett& source = host_.Settings().SrcIP[static_cast<std::size_t>(i)];
  // A hand-edited file may bring spaces or controls around the name.
  const std::string host(TrimControl(source.Host));
  if (!slot.Client) {
    slot.Client = std::make_unique<TcpClient>(i);
    AttachDisconnected(*slot.Client);
  }
  TcpClient& client = *slot.Client;
  // The attempt is asked first: the socket is its thread's while it runs.
  if (client.Port() == source.Port && client.Host() == host &&
      (slot.Connector || client.Connected())) {
    return;
  }
  AbandonAttempt(slot);
  if (client.Connected()) {
    // Moving to another address is no loss of connection: no "Wait", no retry.
    client.SetDisconnectedNotification(nullptr);
    client.Disconnect();
    AttachDisconnected(client);
  }
  client.SetAddress(host, source.Port);

  if (slot.Cache) {
    slot.Cache->clear();
  } else {
    slot.Cache.emplace();
  }
  // A new connection never parses the tail of an old one.
  slot.Comm.Count = 0;
  slot.Comm.Deadline = 0;
  slot.Comm.NewData = false;
  slot.Comm.Data.assign(TReadComm::kCapacity, 0);
  slot.LastRead = 0;
  slot.ReconnectAt = 0;
  slot.SilentReconnect = false;
  IPReader_Connect(i);
}

void IPReaders::IPReader_Quit(int i) {
  tIP1Reader& slot = Slot(i);
  AbandonAttempt(slot);
  if (slot.Client) {
    slot.Client->SetDisconnectedNotification(nullptr);
    slot.Client->Disconnect();
    slot.Client.reset();
  }
  slot.Cache.reset();
  slot.Comm.Count = 0;
  slot.Comm.NewData = false;
  slot.Comm.Data.clear();
  slot.Comm.Data.shrink_to_fit();
  slot.Comm.Deadline = 0;
}

void IPReaders::IPReader_Bye() {
  for (int i = 0; i < kSourceCount; ++i) IPReader_Quit(i);
}

bool IPReaders::AttemptsDone() {
  bool done = true;
  for (tIP1Reader& slot : record_.Readers) {
    slot.ReconnectAt = 0;
    if (!slot.Connector) continue;
    // Freeing a client under a running attempt would pull it from the thread;
    // the attempt is bounded by its connect time limit, so wait for it.
    if (!slot.Connector->Done()) {
      done = false;
      continue;
    }
    slot.Connector->Terminate();
    slot.Connector.reset();
  }
  return done;
}

std::string IPReaders::ErrText(int i) const {
  if (i < 0 || i >= kSourceCount) return {};
  return record_.Readers[static_cast<std::size_t>(i)].ErrText;
}

void IPReaders::PlanWake(WakePlan& plan) {
  for (tIP1Reader& slot : record_.Readers) {
    // A running attempt wakes the driver itself when it ends, and until then
    // the socket is its thread's.
    if (!slot.Client || slot.Connector) continue;
    if (slot.Comm.Deadline > 0) plan.DueAt(slot.Comm.Deadline + 1);
    const std::optional<NativeSocket> socket = slot.Client->Socket();
    if (!socket) {
      plan.DueAt(slot.ReconnectAt + 1);
      continue;
    }
    // Bytes, and a close by the peer, are both read.
    plan.Read(*socket);
    if (slot.ReconnectAt != 0) {
      plan.DueAt(std::min(slot.LastRead + kSilenceLimitMs,
                          std::max(slot.ReconnectAt, slot.LastRead + kQuietBeforePlannedMs)));
    }
  }
}

void IPReaders::IPReader_Connect(int i) {
  tIP1Reader& slot = Slot(i);
  slot.ReconnectAt = 0;
  TcpClient* client = slot.Client.get();
  slot.Connector = std::make_unique<TConnectThread>(
      static_cast<std::int8_t>(i),
      [client](const std::stop_token& stop) { return client->Connect(kConnectLimit, stop).text; },
      [this] { host_.WakeDriver(); });
  slot.Connector->Start();
}

void IPReaders::IPReader_CheckConnect(int i) {
  tIP1Reader& slot = Slot(i);
  if (!slot.Connector || !slot.Connector->Done()) return;
  if (slot.Connector->ErrText() != slot.ErrText) {
    slot.ErrText = slot.Connector->ErrText();
    // The same failure again is not logged again.
    if (!slot.ErrText.empty()) {
      host_.OutError(i, ReplaceChar(slot.ErrText, '\r', " : "), ">> ERROR <<");
    }
  }
  slot.Connector->Terminate();
  slot.Connector.reset();

  const std::int64_t now = host_.NowTick();
  if (slot.Client->Connected()) {
    host_.Metrics().CountConnect(Column(i));
    if (!slot.SilentReconnect) host_.SetLineStatus(Column(i), LineStatus::Connected);
    // The planned reconnect stays quiet, but only that one: a later real
    // loss must show "Wait" again.
    slot.SilentReconnect = false;
    slot.ErrText.clear();
    slot.LastRead = now;
    // Spread over whole seconds so that sources renewed together drift apart.
    const std::int64_t r = std::uniform_int_distribution<int>(0, 9)(random_);
    slot.ReconnectAt = now + kPlannedReconnectMs + (r - 5) * 1000;
  } else {
    host_.Metrics().CountConnectFailed(Column(i));
    host_.SetLineStatus(Column(i), LineStatus::Error);
    if (slot.ReconnectAt == 0) {
      slot.SilentReconnect = false;
      slot.ReconnectAt = now + kRetryAfterFailureMs;
      slot.LastRead = 0;
    }
  }
}

void IPReaders::IPReader_OnDisconnected(TcpClient& client) {
  const int i = client.Tag();
  tIP1Reader& slot = Slot(i);
  std::int64_t delay = kRetryAfterForcedMs;
  if (!slot.SilentReconnect) {
    host_.SetLineStatus(Column(i), LineStatus::Wait);
    delay = kRetryAfterLossMs;
  }
  slot.ReconnectAt = host_.GetTick64() + delay;
}

void IPReaders::IPReader_ReconnectTick(int i) {
  tIP1Reader& slot = Slot(i);
  if (slot.Connector) return;
  const std::int64_t now = host_.NowTick();
  if (slot.Client->Connected()) {
    if (slot.ReconnectAt == 0) return;
    const bool silent_too_long = slot.LastRead + kSilenceLimitMs <= now;
    const bool planned_and_quiet =
        slot.ReconnectAt <= now && slot.LastRead + kQuietBeforePlannedMs <= now;
    if (!silent_too_long && !planned_and_quiet) return;
    slot.ReconnectAt = 0;
    slot.SilentReconnect = true;
    slot.Client->DiscardInput();
    slot.Client->Disconnect();
    return;
  }
  if (slot.ReconnectAt < now) IPReader_Connect(i);
}

}  // namespace trivane
