#include "net/unit_dispatch.h"

namespace trivane {

int ParseHeldUnits(TReadComm& comm, TUECP& uecp, ProtocolHandlers& handlers) {
  int units = 0;
  while (!comm.Held().empty()) {
    bool taken = false;
    switch (comm.Held().front()) {
      case 0x2D:  // "-": a bare UECP manufacturer element
        taken = uecp.ExtractBareElement(comm);
        break;
      case 0x4C:  // "L" of the VL3 magic "L3"
        taken = handlers.VL3_COMMExec(comm);
        break;
      case 0x5A:  // "Z", the first byte of the VL2 magic
        taken = handlers.VL2_COMMExec(comm);
        break;
      case 0xFE:  // UECP frame start
        taken = uecp.ExtractFrame(comm);
        break;
      default:
        break;
    }
    if (!taken) break;
    ++units;
  }
  return units;
}

}  // namespace trivane
