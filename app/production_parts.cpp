#include "app/production_parts.h"

#include "net/internal_server.h"
#include "net/ip_readers.h"
#include "net/online_uplink.h"

namespace trivane {

ControllerParts MakeProductionParts(LinkHost& host) {
  ControllerParts parts;
  parts.sources = std::make_unique<IPReaders>(host);
  parts.server = std::make_unique<InternalServer>(host);
  parts.online = std::make_unique<OnlineUplink>(host);
  return parts;
}

}  // namespace trivane
