#include <cmath>

#include "base/formatting.h"
#include "protocols/protocol_handlers.h"
#include "protocols/vl2_frame.h"

namespace trivane {
namespace {

enum Vl2Code : std::uint8_t {
  kPrepareBlock = vl2_frame::kPrepareBlock,
  kSendBlock = vl2_frame::kSendBlock,
  kClock = 0x40,
  kNoticeM = 0x64,
  kNoticeA = 0x65,
  kNoticeJ = 0x66,
  kNoticeI = 0x67,
  kNoticeP = 0x68,
  kNoticeE = 0x6B,
};

// The notice codes and the block kinds they send.
std::optional<std::uint8_t> NoticeKind(std::uint8_t code) {
  switch (code) {
    case kNoticeM:
      return 0;
    case kNoticeA:
      return 1;
    case kNoticeJ:
      return 5;
    case kNoticeI:
      return 2;
    case kNoticeP:
      return 7;
    case kNoticeE:
      return 6;
    default:
      return std::nullopt;
  }
}

}  // namespace

void ProtocolHandlers::VL2_Receive(std::uint8_t code, std::string_view text, double value,
                                   const Origin& origin) {
  if (!(value >= 0)) value = 0;
  if (code == kClock) {
    Log(origin, "GMT: " + FormatDateTime("HH:NN:SS.zzz DD.MM.YY", value), "VL2");
    return;
  }
  const auto notice_kind = NoticeKind(code);
  if (code != kPrepareBlock && code != kSendBlock && !notice_kind) return;

  const double ms = std::trunc(value * 1000);
  // Past 4 294 967.295 s the count would wrap into a short, wrong duration.
  if (ms > 0xFFFF'FFFF) {
    Log(origin, "Value out of range: " + FormatFixed(value, 3) + " s, command dropped", "VL2");
    return;
  }
  const auto duration = static_cast<std::uint32_t>(ms);

  if (code == kPrepareBlock) {
    Prepare_VL2DRCP(duration);
  } else if (code == kSendBlock) {
    pending_.Block().Over = duration;
    Send_DRCP(pending_.Block(), "VL2", origin);
  } else {
    Send_Block(*notice_kind, duration, std::string(text), "VL2", origin);
  }
}

void ProtocolHandlers::Prepare_VL2DRCP(std::uint32_t size) {
  pending_.Block() = TRegionBlock{.Head1 = 1, .Head2 = 1, .Size = size};
}

}  // namespace trivane
