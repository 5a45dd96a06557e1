#include "base/formatting.h"
#include "protocols/protocol_handlers.h"
#include "protocols/vl3_frame.h"

namespace trivane {

void ProtocolHandlers::VL3_Receive(ByteView frame, const Origin& origin) {
  const Vl3Message fields = ReadVl3Frame(frame);
  // The router and the echo may run while the buffer changes under a view.
  const Bytes payload(fields.payload.begin(), fields.payload.end());
  host_.SenderToDest(origin, fields.msg_type, fields.msg_num, payload);
  OutParm_VL3(fields.msg_num, payload, origin);
}

void ProtocolHandlers::OutParm_VL3(std::uint16_t msg_num, ByteView payload, const Origin& origin) {
  switch (msg_num) {
    case msg_num::kRegionBlock:
      if (const auto block = TRegionBlock::Decode(payload)) {
        host_.Write_Log(block->Size, block->Over, block->Extra, "In");
        Log(origin, RegionLine(*block), "VL3");
        return;
      }
      break;
    case msg_num::kBlockNotice:
      if (const auto notice = TBlockNotice::Decode(payload)) {
        EchoBlock(notice->Kind, notice->Size, notice->Text, "VL3", origin);
        return;
      }
      break;
    case msg_num::kClock: {
      const TDateTime value = payload.size() >= kClockPayloadSize ? *LoadF64(payload, 0) : 0;
      Log(origin, "Clock " + LongTimeString(value), "VL3");
      return;
    }
    default:
      Log(origin, "Parm=" + std::to_string(msg_num), "VL3");
      return;
  }
  // A region block or notice too short to read field by field was still
  // relayed as received; the operator sees that it was incomplete.
  Log(origin,
      "Parm=" + std::to_string(msg_num) + ", incomplete: " + std::to_string(payload.size()) +
          " bytes",
      "VL3");
}

}  // namespace trivane
