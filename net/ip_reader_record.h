#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "links/raw_msg.h"
#include "net/connect_thread.h"
#include "net/tcp_client.h"
#include "protocols/records.h"
#include "settings/settings.h"

namespace trivane {

// One TCP source slot.
struct tIP1Reader {
  std::unique_ptr<TConnectThread> Connector;  // attempt running or not yet collected
  TReadComm Comm;
  std::int64_t LastRead = 0;     // tick of the last bytes read, or of the connect
  std::int64_t ReconnectAt = 0;  // next attempt, or the planned periodic reconnect; 0 = none
  bool SilentReconnect = false;
  std::string ErrText;                // last connect error, shown as the column's hint
  std::unique_ptr<TcpClient> Client;  // none while the reader is stopped
  std::optional<RawQueue> Cache;      // the last units parsed here, oldest first; none when stopped
};

struct tIPReader {
  std::uint8_t ActiveReader = 0;  // slot whose bytes are being parsed right now
  std::array<tIP1Reader, kSourceCount> Readers;
};

}  // namespace trivane
