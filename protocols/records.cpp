#include "protocols/records.h"

#include <algorithm>
#include <cstring>

namespace trivane {

void ConsumeFront(TReadComm& comm, std::int32_t n) {
  const auto held =
      std::clamp<std::int32_t>(comm.Count, 0, static_cast<std::int32_t>(comm.Data.size()));
  n = std::min(n, held);
  if (n < 1) return;
  // Bytes past Count are zero already, so only the held rest needs moving.
  const auto cut = static_cast<std::size_t>(n);
  const auto rest = static_cast<std::size_t>(held - n);
  std::memmove(comm.Data.data(), comm.Data.data() + cut, rest);
  comm.Count = held - n;
  std::fill(comm.Data.begin() + comm.Count, comm.Data.begin() + held, std::uint8_t{0});
}

Bytes TRegionBlock::Encode() const {
  Bytes out;
  out.reserve(kWireSize);
  AppendU8(out, Head1);
  AppendU8(out, Head2);
  AppendU32(out, Size);
  AppendU32(out, Reserved);
  AppendU32(out, Over);
  AppendU32(out, Extra);
  return out;
}

std::optional<TRegionBlock> TRegionBlock::Decode(ByteView bytes) {
  if (bytes.size() < kWireSize) return std::nullopt;
  TRegionBlock block;
  block.Head1 = *LoadU8(bytes, 0);
  block.Head2 = *LoadU8(bytes, 1);
  block.Size = *LoadU32(bytes, 2);
  block.Reserved = *LoadU32(bytes, 6);
  block.Over = *LoadU32(bytes, 10);
  block.Extra = *LoadU32(bytes, 14);
  return block;
}

Bytes TBlockNotice::Encode() const {
  Bytes out;
  out.reserve(kHeaderSize + Text.size());
  AppendU8(out, Kind);
  AppendU32(out, Size);
  out.insert(out.end(), Text.begin(), Text.end());
  return out;
}

std::optional<TBlockNotice> TBlockNotice::Decode(ByteView bytes) {
  if (bytes.size() < kHeaderSize) return std::nullopt;
  TBlockNotice notice;
  notice.Kind = *LoadU8(bytes, 0);
  notice.Size = *LoadU32(bytes, 1);
  const auto text = bytes.subspan(kHeaderSize);
  notice.Text = BytesToStr(text, static_cast<std::int32_t>(text.size()));
  return notice;
}

TDateTime DecodeCompactDate(std::span<const std::uint8_t, kCompactDateSize> bytes) {
  const int year = bytes[0];
  const int hundredths = bytes[6];
  // Clocks that were never set send years before 2019; those are not times.
  if (year < 19 || year > 99 || hundredths > 99) return 0;
  const auto value = EncodeDateTime({.year = 2000 + year,
                                     .month = bytes[1],
                                     .day = bytes[2],
                                     .hour = bytes[3],
                                     .minute = bytes[4],
                                     .second = bytes[5],
                                     .millisecond = hundredths * 10});
  return value.value_or(0);
}

std::string BytesToStr(ByteView bytes, std::int32_t n) {
  if (n <= 0) return {};
  const auto count = std::min(static_cast<std::size_t>(n), bytes.size());
  return std::string(reinterpret_cast<const char*>(bytes.data()), count);
}

}  // namespace trivane
