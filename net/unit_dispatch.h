#pragma once

#include "protocols/protocol_handlers.h"
#include "protocols/records.h"
#include "protocols/uecp_codec.h"

namespace trivane {

// Parses the units at the front of a source's buffer, each by its first byte,
// until a parser refuses (incomplete or unknown data stays for later).
// Returns the number of units taken.
int ParseHeldUnits(TReadComm& comm, TUECP& uecp, ProtocolHandlers& handlers);

}  // namespace trivane
