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

Bytes Vl3Message(std::uint16_t type, std::uint16_t num, ByteView payload) {
  return BuildVl3Frame(type, num, payload);
}

Bytes Vl3Region(std::uint32_t size, std::uint32_t over, std::uint32_t extra) {
  return Vl3Message(kOwnMsgType, msg_num::kRegionBlock, RegionBlockPayload(size, over, extra));
}

Bytes Vl3Notice(std::uint8_t kind, std::uint32_t size, std::string_view wire_text) {
  return Vl3Message(kOwnMsgType, msg_num::kBlockNotice, BlockNoticePayload(kind, size, wire_text));
}

std::optional<Bytes> Vl2Command(std::uint8_t code, double seconds, std::string_view wire_text) {
  if (wire_text.size() > vl2_frame::kMaxText) return std::nullopt;
  Bytes frame{vl2_frame::kMagic1, vl2_frame::kMagic2, code};
  AppendU16(frame, static_cast<std::uint16_t>(vl2_frame::kLengthWithoutText + wire_text.size()));
  frame.insert(frame.end(), vl2_frame::kUnusedBytes, 0);
  AppendF64(frame, seconds);
  frame.insert(frame.end(), wire_text.begin(), wire_text.end());
  return frame;
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

std::optional<Bytes> UecpFrame(ByteView message_field) {
  if (message_field.size() > uecp_frame::kMaxMessageField) return std::nullopt;
  // Address 0 (every encoder), sequence 0 (not counted).
  Bytes body{0, 0, 0, static_cast<std::uint8_t>(message_field.size())};
  body.insert(body.end(), message_field.begin(), message_field.end());
  const std::uint16_t crc = UecpCrc(body);
  body.push_back(static_cast<std::uint8_t>(crc >> 8));
  body.push_back(static_cast<std::uint8_t>(crc & 0xFF));

  using namespace uecp_frame;
  Bytes frame{kStart};
  for (const std::uint8_t byte : body) {
    if (byte >= kEscape) {
      frame.push_back(kEscape);
      frame.push_back(static_cast<std::uint8_t>(byte - kEscape));
    } else {
      frame.push_back(byte);
    }
  }
  frame.push_back(kStop);
  return frame;
}

}  // namespace trivane::sim
