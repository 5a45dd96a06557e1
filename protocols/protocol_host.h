#pragma once

#include <cstdint>
#include <string_view>

#include "base/byte_io.h"
#include "base/text_codec.h"
#include "protocols/records.h"
#include "settings/settings.h"

namespace trivane {

// What the message handlers reach on the controller, and nothing more.
class ProtocolHost {
 public:
  virtual ~ProtocolHost() = default;

  // message is UTF-8; link is the source the line is shown under.
  virtual void OutLog(int link, std::string_view message, std::string_view tag) = 0;
  // The source whose bytes are being parsed; decoding events are logged under it.
  virtual int ActiveReader() const = 0;
  // True when the raw unit is new and is to be acted on.
  virtual bool IPReader_NoDouble_Data(ByteView unit) = 0;
  virtual void SenderToDest(std::uint16_t msg_type, std::uint16_t msg_num, ByteView data) = 0;
  virtual void Write_Log(std::uint32_t size, std::uint32_t over, std::uint32_t extra,
                         std::string_view name) = 0;
  virtual TSettings& Settings() = 0;
  virtual std::int64_t NowTick() const = 0;
  // The one region block waiting to be sent, and its due tick (0 = none).
  virtual TRegionBlock& PendingBlock() = 0;
  virtual std::int64_t& PendingBlockDue() = 0;
  virtual const TextCodec& Codepage() const = 0;
};

}  // namespace trivane
