#include "protocols/vl2_frame.h"

namespace trivane {
namespace {

using namespace vl2_frame;

constexpr std::size_t kCodeOffset = 2;
constexpr std::size_t kLengthOffset = 3;
constexpr std::size_t kUnusedBytes = 5;
constexpr std::size_t kValueOffset = 10;
constexpr std::size_t kTextOffset = 18;

}  // namespace

std::optional<std::size_t> Vl2FrameSize(ByteView held) {
  if (held.size() < kTextOffset || held[0] != kMagic1 || held[1] != kMagic2) return std::nullopt;
  const std::uint16_t length = *LoadU16(held, kLengthOffset);
  if (length < kLengthWithoutText || length > kMaxLength) return std::nullopt;
  const std::size_t size = kValueOffset + length;
  if (size > held.size()) return std::nullopt;
  return size;
}

Vl2Command ReadVl2Frame(ByteView frame) {
  return {.code = LoadU8(frame, kCodeOffset).value_or(0),
          .value = LoadF64(frame, kValueOffset).value_or(0),
          .text = frame.size() > kTextOffset ? frame.subspan(kTextOffset) : ByteView()};
}

std::optional<Bytes> BuildVl2Frame(std::uint8_t code, double value, std::string_view wire_text) {
  if (wire_text.size() > kMaxText) return std::nullopt;
  Bytes frame{kMagic1, kMagic2, code};
  AppendU16(frame, static_cast<std::uint16_t>(kLengthWithoutText + wire_text.size()));
  frame.insert(frame.end(), kUnusedBytes, 0);
  AppendF64(frame, value);
  frame.insert(frame.end(), wire_text.begin(), wire_text.end());
  return frame;
}

}  // namespace trivane
