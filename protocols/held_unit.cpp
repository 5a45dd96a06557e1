#include "protocols/held_unit.h"

#include "protocols/uecp_codec.h"
#include "protocols/vl2_frame.h"
#include "protocols/vl3_frame.h"

namespace trivane {

std::optional<HeldUnit> CutUnit(ByteView held) {
  if (held.empty()) return std::nullopt;
  UnitKind kind{};
  std::optional<std::size_t> size;
  switch (held.front()) {
    case 0x2D:
      kind = UnitKind::kUecpElement;
      size = UecpElementSize(held);
      break;
    case 0x4C:
      kind = UnitKind::kVl3;
      size = Vl3FrameSize(held);
      break;
    case 0x5A:
      kind = UnitKind::kVl2;
      size = Vl2FrameSize(held);
      break;
    case uecp_frame::kStart:
      kind = UnitKind::kUecpFrame;
      size = UecpFrameSize(held);
      break;
    default:
      return std::nullopt;
  }
  if (!size) return std::nullopt;
  return HeldUnit{kind, held.first(*size)};
}

}  // namespace trivane
