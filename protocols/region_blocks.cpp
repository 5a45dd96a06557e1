#include <algorithm>
#include <cmath>

#include "base/formatting.h"
#include "protocols/protocol_handlers.h"
#include "protocols/uecp_codec.h"
#include "protocols/vl2_frame.h"

namespace trivane {
namespace {

constexpr std::string_view kTestPanelTitle = "Рекламный блок";  // UTF-8 here, wire code page out
constexpr double kTestPanelMaxSeconds = 900;

std::uint32_t TestPanelMs(double seconds) {
  // The panel's fields hold 0..900 s; anything else never reaches the wire.
  if (!(seconds > 0)) return 0;
  return static_cast<std::uint32_t>(std::min(seconds, kTestPanelMaxSeconds) * 1000);
}

}  // namespace

std::string RegionLine(const TRegionBlock& block) {
  return "--> REGION <---: " + FormatFixed(block.Size / 1000.0, 3) +
         ", Over: " + FormatFixed(block.Over / 1000.0, 3) +
         ", Extra: " + FormatFixed(block.Extra / 1000.0, 3);
}

std::string BlockKindLetter(std::uint8_t kind) {
  static constexpr std::string_view kLetters = "MAIVHJEP";
  if (kind < kLetters.size()) return std::string(1, kLetters[kind]);
  return "Type" + std::to_string(kind);
}

void ProtocolHandlers::Log(const Origin& origin, std::string_view message, std::string_view tag) {
  host_.OutLog(origin.source, message, tag);
}

void ProtocolHandlers::TakeUnit(const HeldUnit& unit, const Origin& origin) {
  const auto emit = [&](std::uint8_t mec, std::uint8_t sub, ByteView data) {
    UECP_Receive(mec, sub, data, origin);
  };
  switch (unit.kind) {
    case UnitKind::kUecpFrame:
      DecodeUecpFrame(unit.bytes, emit);
      return;
    case UnitKind::kUecpElement:
      DecodeUecpElement(unit.bytes, emit);
      return;
    case UnitKind::kVl3:
      VL3_Receive(unit.bytes, origin);
      return;
    case UnitKind::kVl2: {
      const Vl2Command frame = ReadVl2Frame(unit.bytes);
      VL2_Receive(frame.code, BytesToStr(frame.text, static_cast<std::int32_t>(frame.text.size())),
                  frame.value, origin);
      return;
    }
  }
}

void ProtocolHandlers::SendDueBlock(std::int64_t now) {
  if (const auto due = pending_.TakeDue(now)) Send_DRCP(due->block, "UECP", due->origin);
}

void ProtocolHandlers::Send_DRCP(const TRegionBlock& block, std::string_view tag,
                                 const Origin& origin) {
  host_.SenderToDest(origin, kOwnMsgType, msg_num::kRegionBlock, block.Encode());
  host_.Write_Log(block.Size, block.Over, block.Extra, "Out");
  Log(origin, RegionLine(block), tag);
}

void ProtocolHandlers::Send_Block(std::uint8_t kind, std::uint32_t size, std::string text,
                                  std::string_view tag, const Origin& origin) {
  while (!text.empty() && text.back() == '\0') text.pop_back();
  // The payload length is 16 bits; no source sends that much text.
  constexpr std::size_t kMaxText = 0xFFFF - TBlockNotice::kHeaderSize;
  if (text.size() > kMaxText) text.resize(kMaxText);
  const TBlockNotice notice{kind, size, text};
  host_.SenderToDest(origin, kOwnMsgType, msg_num::kBlockNotice, notice.Encode());
  EchoBlock(kind, size, text, tag, origin);
}

void ProtocolHandlers::EchoBlock(std::uint8_t kind, std::uint32_t size, std::string_view text,
                                 std::string_view tag, const Origin& origin) {
  const double seconds = size / 1000.0;
  Log(origin,
      BlockKindLetter(kind) + " : " + FormatFixed(seconds, 1) + " (" + FormatDuration(6, seconds) +
          ") : " + ReplaceChar(host_.Codepage().ToDisplay(text), '\r', " - "),
      tag);
}

void ProtocolHandlers::Get_Studio3_DRCP(ByteView data, const Origin& origin) {
  if (const auto block = TRegionBlock::Decode(data)) Send_DRCP(*block, "VL3", origin);
}

void ProtocolHandlers::Decode_Block(ByteView data, const Origin& origin) {
  if (auto notice = TBlockNotice::Decode(data)) {
    Send_Block(notice->Kind, notice->Size, std::move(notice->Text), "VL3", origin);
  }
}

void ProtocolHandlers::Decode_DRCPClock(ByteView data, const Origin& origin) {
  const TDateTime value = data.size() == kClockPayloadSize ? LoadF64(data, 0).value_or(0) : 0;
  Log(origin, "RunClock! Time=" + FormatDateTime("HH:NN:SS DD.MM.YY", value), "");
}

void ProtocolHandlers::SBAuthorClick(double block_seconds, double over_seconds,
                                     double extra_seconds, const Origin& origin) {
  const TRegionBlock block{.Head1 = 1,
                           .Head2 = 1,
                           .Size = TestPanelMs(block_seconds),
                           .Reserved = 0,
                           .Over = TestPanelMs(over_seconds),
                           .Extra = TestPanelMs(extra_seconds)};
  Send_DRCP(block, "Test", origin);
  Send_Block(1, block.Size, host_.Codepage().ToWire(kTestPanelTitle), "Test", origin);
}

}  // namespace trivane
