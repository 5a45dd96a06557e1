#include "protocols/unit_pipeline.h"

namespace trivane {

UnitPipeline::UnitPipeline(ProtocolHost& host) : handlers_(host) {
  codec_.OnRawData = [&host](ByteView unit) { return host.IPReader_NoDouble_Data(unit); };
  codec_.OnMessage = [this](std::uint8_t mec, std::uint8_t sub, ByteView data) {
    handlers_.UECP_Receive(mec, sub, data);
  };
}

int UnitPipeline::ParseHeldUnits(TReadComm& comm) {
  int units = 0;
  while (!comm.Held().empty()) {
    bool taken = false;
    switch (comm.Held().front()) {
      case 0x2D:  // "-": a bare UECP manufacturer element
        taken = codec_.ExtractBareElement(comm);
        break;
      case 0x4C:  // "L" of the VL3 magic "L3"
        taken = handlers_.VL3_COMMExec(comm);
        break;
      case 0x5A:  // "Z", the first byte of the VL2 magic
        taken = handlers_.VL2_COMMExec(comm);
        break;
      case 0xFE:  // UECP frame start
        taken = codec_.ExtractFrame(comm);
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
