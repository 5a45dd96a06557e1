#include "base/formatting.h"
#include "protocols/protocol_handlers.h"

namespace trivane {
namespace {

// Magic "L3", 2 bytes not read, length L (the bytes after it: type, number,
// payload), type, number, payload.
constexpr std::size_t kHeaderSize = 10;
constexpr std::size_t kLengthOffset = 4;
constexpr std::uint16_t kLengthOfEmptyPayload = 4;

}  // namespace

bool ProtocolHandlers::VL3_COMMExec(TReadComm& comm) {
  const ByteView held = comm.Held();
  if (held.size() < kHeaderSize || held[0] != 0x4C || held[1] != 0x33) return false;
  const std::uint16_t length = *LoadU16(held, kLengthOffset);
  // A length below 4 describes no frame; it stays like any unparseable data
  // until the intake gives up on the buffer.
  if (length < kLengthOfEmptyPayload) return false;
  const std::size_t payload_size = length - kLengthOfEmptyPayload;
  if (payload_size + kHeaderSize > held.size()) return false;

  const ByteView frame = held.first(payload_size + kHeaderSize);
  if (host_.IPReader_NoDouble_Data(frame)) {
    const std::uint16_t msg_type = *LoadU16(frame, 6);
    const std::uint16_t msg_num = *LoadU16(frame, 8);
    // The router and the echo may run while the buffer changes under a view.
    const Bytes payload(frame.begin() + kHeaderSize, frame.end());
    host_.SenderToDest(msg_type, msg_num, payload);
    OutParm_VL3(msg_num, payload);
  }
  ConsumeFront(comm, static_cast<std::int32_t>(frame.size()));
  return true;
}

void ProtocolHandlers::OutParm_VL3(std::uint16_t msg_num, ByteView payload) {
  switch (msg_num) {
    case msg_num::kRegionBlock:
      if (const auto block = TRegionBlock::Decode(payload)) {
        host_.Write_Log(block->Size, block->Over, block->Extra, "In");
        Log(RegionLine(*block), "VL3");
        return;
      }
      break;
    case msg_num::kBlockNotice:
      if (const auto notice = TBlockNotice::Decode(payload)) {
        EchoBlock(notice->Kind, notice->Size, notice->Text, "VL3");
        return;
      }
      break;
    case msg_num::kClock: {
      const TDateTime value = payload.size() >= kClockPayloadSize ? *LoadF64(payload, 0) : 0;
      Log("Clock " + LongTimeString(value), "VL3");
      return;
    }
    default:
      Log("Parm=" + std::to_string(msg_num), "VL3");
      return;
  }
  // A region block or notice too short to read field by field was still
  // relayed as received; the operator sees that it was incomplete.
  Log("Parm=" + std::to_string(msg_num) + ", incomplete: " + std::to_string(payload.size()) +
          " bytes",
      "VL3");
}

}  // namespace trivane
