#pragma once

#include "links/links.h"

namespace trivane {

// The links this build carries: the four TCP source readers, the chain server
// and the online uplink. The studio link is not part of it yet; its slot stays
// empty rather than pretending to reach a studio.
ControllerParts MakeProductionParts(LinkHost& host);

}  // namespace trivane
