#include <algorithm>

#include "base/formatting.h"
#include "protocols/protocol_handlers.h"
#include "protocols/uecp_codec.h"

namespace trivane {
namespace {

constexpr std::size_t kTitleOffset = 9;  // "f": position, compact date, then the title
constexpr std::size_t kMaxNoticeTitle = 128;
constexpr std::int32_t kDueAtOnceDelay = 65535;

// Text bytes up to the first NUL, or all of them.
std::string_view UpToNul(ByteView bytes) {
  const auto nul = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
  return {reinterpret_cast<const char*>(bytes.data()),
          static_cast<std::size_t>(nul - bytes.begin())};
}

ByteView After(ByteView bytes, std::size_t offset) {
  return offset < bytes.size() ? bytes.subspan(offset) : ByteView();
}

}  // namespace

void ProtocolHandlers::UECP_Receive(std::uint8_t mec, std::uint8_t sub, ByteView data,
                                    const Origin& origin) {
  switch (mec) {
    case uecp_mec::kRadiotext:
      Log(origin, "RT: " + host_.Codepage().ToDisplay(UpToNul(data)), "UECP");
      break;
    case uecp_mec::kClock:
      Log(origin, "GMT: " + FormatDateTime("HH:NN:SS.zzz DD.MM.YY", LoadF64(data, 0).value_or(0)),
          "UECP");
      break;
    case uecp_mec::kManufacturer:
      if (sub == 'f') {
        DIGITON_F(data, origin);
      } else {
        DIGITON_SPI(sub, data, origin);
      }
      break;
    default:
      break;
  }
}

void ProtocolHandlers::DIGITON_SPI(std::uint8_t sub, ByteView data, const Origin& origin) {
  if (sub != 's' || data.size() < kDrcpCommandPayloadSize) return;
  const std::uint32_t size = *LoadU32(data, 13);
  const auto over = static_cast<std::int32_t>(*LoadU32(data, 17));
  const auto delay = static_cast<std::int32_t>(*LoadU32(data, 1));

  // A size with the top bit set is no real block; sending it would put a
  // block of some 25 days on air.
  if (size > 0x7FFF'FFFFu) {
    Log(origin, "Block size out of range: " + std::to_string(size) + " ms, command dropped",
        "DRCP");
    return;
  }
  const TRegionBlock block{.Head1 = 1,
                           .Head2 = 1,
                           .Size = size,
                           .Reserved = 0,
                           .Over = over < 0 ? 0u : static_cast<std::uint32_t>(over),
                           .Extra = 0};
  const std::int64_t now = host_.NowTick();
  std::int64_t due = now;
  if (delay < kDueAtOnceDelay && !host_.Settings().IgnoreDelay) due = now + delay;
  pending_.Schedule(block, due, origin);
}

void ProtocolHandlers::DIGITON_F(ByteView data, const Origin& origin) {
  const auto position = LoadU8(data, 0);
  if (!position) return;
  if (*position == 0) {
    const std::string_view title = UpToNul(After(data, kTitleOffset));
    Send_Block(0, 0, std::string(title.substr(0, kMaxNoticeTitle)), "DRCP", origin);
  } else if (host_.Settings().ShowPlaylist) {
    EchoPlayList(data, origin);
  }
}

void ProtocolHandlers::EchoPlayList(ByteView data, const Origin& origin) {
  if (data.size() < kTitleOffset) return;
  const TDateTime when = DecodeCompactDate(data.subspan<1, kCompactDateSize>());
  Log(origin,
      "PL-" + std::to_string(data[0]) + " : " + FDateTimeZ(when) + " : " +
          host_.Codepage().ToDisplay(UpToNul(After(data, kTitleOffset))),
      "DRCP");
}

}  // namespace trivane
