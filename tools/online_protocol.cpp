#include "tools/online_protocol.h"

#include "tools/hex.h"

namespace trivane::sim {
namespace {

constexpr std::size_t kLengthFieldSize = 2;
constexpr std::uint16_t kLengthWithoutPayload = 5;  // marker, type, number
constexpr std::uint8_t kMarker = 0x01;

}  // namespace

std::optional<std::string> LineReader::NextLine() {
  const auto end = pending_.find('\n');
  if (end == std::string::npos) return std::nullopt;
  std::string line = pending_.substr(0, end);
  pending_.erase(0, end + 1);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

Bytes LineReader::TakeRest() {
  Bytes rest(pending_.begin(), pending_.end());
  pending_.clear();
  return rest;
}

OnlineFrameReader::Result OnlineFrameReader::Next(OnlineFrame& frame, std::string& problem) {
  const ByteView held(pending_);
  const auto length = LoadU16(held, 0);
  if (!length) return Result::kNeedMore;
  if (*length < kLengthWithoutPayload) {
    problem = "length field " + std::to_string(*length) + " below " +
              std::to_string(kLengthWithoutPayload) + ", header " + ToHex(held.first(2));
    return Result::kMalformed;
  }
  if (held.size() > kLengthFieldSize && held[kLengthFieldSize] != kMarker) {
    problem = "marker " + ToHex(held.subspan(kLengthFieldSize, 1)) + " instead of 01, header " +
              ToHex(held.first(kLengthFieldSize + 1));
    return Result::kMalformed;
  }
  const std::size_t size = kLengthFieldSize + *length;
  if (held.size() < size) return Result::kNeedMore;
  frame.type = *LoadU16(held, 3);
  frame.num = *LoadU16(held, 5);
  frame.payload.assign(held.begin() + 7, held.begin() + static_cast<std::ptrdiff_t>(size));
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(size));
  return Result::kFrame;
}

}  // namespace trivane::sim
