#include "app/production_parts.h"

namespace trivane {

ControllerParts MakeProductionParts(LinkHost& /*host*/) {
  return {};
}

}  // namespace trivane
