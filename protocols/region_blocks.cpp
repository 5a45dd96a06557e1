#include <algorithm>
#include <cmath>

#include "base/formatting.h"
#include "protocols/protocol_handlers.h"

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

void ProtocolHandlers::Log(std::string_view message, std::string_view tag) {
  host_.OutLog(host_.ActiveReader(), message, tag);
}

void ProtocolHandlers::Send_DRCP(const TRegionBlock& block, std::string_view tag) {
  host_.SenderToDest(kOwnMsgType, msg_num::kRegionBlock, block.Encode());
  host_.Write_Log(block.Size, block.Over, block.Extra, "Out");
  Log(RegionLine(block), tag);
}

void ProtocolHandlers::Send_Block(std::uint8_t kind, std::uint32_t size, std::string text,
                                  std::string_view tag) {
  while (!text.empty() && text.back() == '\0') text.pop_back();
  // The payload length is 16 bits; no source sends that much text.
  constexpr std::size_t kMaxText = 0xFFFF - TBlockNotice::kHeaderSize;
  if (text.size() > kMaxText) text.resize(kMaxText);
  const TBlockNotice notice{kind, size, text};
  host_.SenderToDest(kOwnMsgType, msg_num::kBlockNotice, notice.Encode());
  EchoBlock(kind, size, text, tag);
}

void ProtocolHandlers::EchoBlock(std::uint8_t kind, std::uint32_t size, std::string_view text,
                                 std::string_view tag) {
  const double seconds = size / 1000.0;
  Log(BlockKindLetter(kind) + " : " + FormatFixed(seconds, 1) + " (" + FormatDuration(6, seconds) +
          ") : " + ReplaceChar(host_.Codepage().ToDisplay(text), '\r', " - "),
      tag);
}

void ProtocolHandlers::Get_Studio3_DRCP(ByteView data) {
  if (const auto block = TRegionBlock::Decode(data)) Send_DRCP(*block, "VL3");
}

void ProtocolHandlers::Decode_Block(ByteView data) {
  if (auto notice = TBlockNotice::Decode(data)) {
    Send_Block(notice->Kind, notice->Size, std::move(notice->Text), "VL3");
  }
}

void ProtocolHandlers::Decode_DRCPClock(ByteView data) {
  const TDateTime value = data.size() == kClockPayloadSize ? LoadF64(data, 0).value_or(0) : 0;
  Log("RunClock! Time=" + FormatDateTime("HH:NN:SS DD.MM.YY", value), "");
}

void ProtocolHandlers::SBAuthorClick(double block_seconds, double over_seconds,
                                     double extra_seconds) {
  const TRegionBlock block{.Head1 = 1,
                           .Head2 = 1,
                           .Size = TestPanelMs(block_seconds),
                           .Reserved = 0,
                           .Over = TestPanelMs(over_seconds),
                           .Extra = TestPanelMs(extra_seconds)};
  // The chain server takes routed messages only from a studio source; the
  // test messages are meant to reach it whatever the source is.
  TSettings& settings = host_.Settings();
  const std::int32_t source_mode = settings.SrcMode;
  settings.SrcMode = kSrcStudio;
  Send_DRCP(block, "Test");
  Send_Block(1, block.Size, host_.Codepage().ToWire(kTestPanelTitle), "Test");
  settings.SrcMode = source_mode;
}

}  // namespace trivane
