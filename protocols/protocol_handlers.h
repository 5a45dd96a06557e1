#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/byte_io.h"
#include "protocols/held_unit.h"
#include "protocols/origin.h"
#include "protocols/pending_block.h"
#include "protocols/protocol_host.h"
#include "protocols/records.h"

namespace trivane {

// Everything the relay does with a decoded unit, whatever protocol brought it:
// region blocks and block notices are logged and routed, clocks are logged.
// Wire texts stay bytes in the station's code page until they are shown.
class ProtocolHandlers {
 public:
  explicit ProtocolHandlers(ProtocolHost& host) : host_(host) {}

  // A unit cut from a source's buffer that is to be acted on: decoded by its kind.
  void TakeUnit(const HeldUnit& unit, const Origin& origin);

  // Region blocks, block notices, studio messages and the test panel.
  void Send_DRCP(const TRegionBlock& block, std::string_view tag, const Origin& origin);
  void Send_Block(std::uint8_t kind, std::uint32_t size, std::string text, std::string_view tag,
                  const Origin& origin);
  void EchoBlock(std::uint8_t kind, std::uint32_t size, std::string_view text, std::string_view tag,
                 const Origin& origin);
  void Get_Studio3_DRCP(ByteView data, const Origin& origin);
  void Decode_Block(ByteView data, const Origin& origin);
  void Decode_DRCPClock(ByteView data, const Origin& origin);
  // The test panel's three fields, in seconds.
  void SBAuthorClick(double block_seconds, double over_seconds, double extra_seconds,
                     const Origin& origin);
  // The pending block, sent once its time has come.
  void SendDueBlock(std::int64_t now);

  // Decoded UECP elements.
  void UECP_Receive(std::uint8_t mec, std::uint8_t sub, ByteView data, const Origin& origin);
  void DIGITON_SPI(std::uint8_t sub, ByteView data, const Origin& origin);
  void DIGITON_F(ByteView data, const Origin& origin);
  void EchoPlayList(ByteView data, const Origin& origin);

  // VL3: a frame is relayed and echoed.
  void VL3_Receive(ByteView frame, const Origin& origin);
  void OutParm_VL3(std::uint16_t msg_num, ByteView payload, const Origin& origin);

  // VL2: single commands that build region blocks and block notices.
  void VL2_Receive(std::uint8_t code, std::string_view text, double value, const Origin& origin);
  void Prepare_VL2DRCP(std::uint32_t size);

  PendingRegionBlock& Pending() { return pending_; }

 private:
  void Log(const Origin& origin, std::string_view message, std::string_view tag);

  ProtocolHost& host_;
  PendingRegionBlock pending_;
};

// "--> REGION <---: 60.000, Over: 120.000, Extra: 0.000"
std::string RegionLine(const TRegionBlock& block);

// The letter of a block kind: M A I V H J E P, or "Type" and the number.
std::string BlockKindLetter(std::uint8_t kind);

}  // namespace trivane
