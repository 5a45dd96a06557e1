#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/byte_io.h"
#include "protocols/protocol_host.h"
#include "protocols/records.h"

namespace trivane {

// Everything the relay does with a decoded unit, whatever protocol brought it:
// region blocks and block notices are logged and routed, clocks are logged.
// Wire texts stay bytes in the station's code page until they are shown.
class ProtocolHandlers {
 public:
  explicit ProtocolHandlers(ProtocolHost& host) : host_(host) {}

  // Region blocks, block notices, studio messages and the test panel.
  void Send_DRCP(const TRegionBlock& block, std::string_view tag);
  void Send_Block(std::uint8_t kind, std::uint32_t size, std::string text, std::string_view tag);
  void EchoBlock(std::uint8_t kind, std::uint32_t size, std::string_view text,
                 std::string_view tag);
  void Get_Studio3_DRCP(ByteView data);
  void Decode_Block(ByteView data);
  void Decode_DRCPClock(ByteView data);
  // The test panel's three fields, in seconds.
  void SBAuthorClick(double block_seconds, double over_seconds, double extra_seconds);

  // Decoded UECP elements.
  void UECP_Receive(std::uint8_t mec, std::uint8_t sub, ByteView data);
  void DIGITON_SPI(std::uint8_t sub, ByteView data);
  void DIGITON_F(ByteView data);
  void EchoPlayList(ByteView data);

  // VL3: a frame at the front of the buffer is relayed and echoed.
  bool VL3_COMMExec(TReadComm& comm);
  void OutParm_VL3(std::uint16_t msg_num, ByteView payload);

  // VL2: single commands that build region blocks and block notices.
  bool VL2_COMMExec(TReadComm& comm);
  void VL2_Receive(std::uint8_t code, std::string_view text, double value);
  void Prepare_VL2DRCP(std::uint32_t size);

 private:
  void Log(std::string_view message, std::string_view tag);

  ProtocolHost& host_;
};

// "--> REGION <---: 60.000, Over: 120.000, Extra: 0.000"
std::string RegionLine(const TRegionBlock& block);

// The letter of a block kind: M A I V H J E P, or "Type" and the number.
std::string BlockKindLetter(std::uint8_t kind);

}  // namespace trivane
