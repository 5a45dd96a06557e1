#include "tools/unit_builders.h"

#include "links/router.h"
#include "protocols/uecp_codec.h"
#include "protocols/vl2_frame.h"

namespace trivane::sim {

Bytes RegionBlockPayload(std::uint32_t size, std::uint32_t over, std::uint32_t extra) {
  const TRegionBlock block{.Head1 = 1, .Head2 = 1, .Size = size, .Over = over, .Extra = extra};
  return block.Encode();
}

Bytes BlockNoticePayload(std::uint8_t kind, std::uint32_t size, std::string_view wire_text) {
  const TBlockNotice notice{.Kind = kind, .Size = size, .Text = std::string(wire_text)};
  return notice.Encode();
}

Bytes ClockPayload(TDateTime value) {
  Bytes payload;
  AppendF64(payload, value);
  return payload;
}

Bytes Vl3Region(std::uint32_t size, std::uint32_t over, std::uint32_t extra) {
  return BuildVl3Frame(kOwnMsgType, msg_num::kRegionBlock, RegionBlockPayload(size, over, extra));
}

Bytes Vl3Notice(std::uint8_t kind, std::uint32_t size, std::string_view wire_text) {
  return BuildVl3Frame(kOwnMsgType, msg_num::kBlockNotice,
                       BlockNoticePayload(kind, size, wire_text));
}

Bytes DrcpBlockElement(std::int32_t delay_ms, std::uint32_t size, std::int32_t over) {
  Bytes payload;
  AppendU8(payload, 0);
  AppendU32(payload, static_cast<std::uint32_t>(delay_ms));
  payload.insert(payload.end(), 8, 0);
  AppendU32(payload, size);
  AppendU32(payload, static_cast<std::uint32_t>(over));

  Bytes element{uecp_mec::kManufacturer, static_cast<std::uint8_t>(3 + kDrcpCommandPayloadSize),
                'D', 'n', 's'};
  element.insert(element.end(), payload.begin(), payload.end());
  return element;
}

std::optional<Bytes> RadiotextElement(std::string_view wire_text) {
  if (wire_text.size() > kRadiotextMaxText) return std::nullopt;
  Bytes element{uecp_mec::kRadiotext, 0, 0, static_cast<std::uint8_t>(1 + wire_text.size()), 0};
  element.insert(element.end(), wire_text.begin(), wire_text.end());
  return element;
}

}  // namespace trivane::sim
