#pragma once

#include "core/links.h"

namespace trivane {

// The links this build carries. The TCP readers, the chain server, the online
// uplink and the studio link are not part of it yet: each slot stays empty
// rather than pretending to connect.
ControllerParts MakeProductionParts(LinkHost& host);

}  // namespace trivane
