#pragma once

#include <cstdint>
#include <string_view>

#include "base/byte_io.h"
#include "base/text_codec.h"
#include "protocols/origin.h"
#include "settings/settings.h"

namespace trivane {

// What the message handlers reach, and nothing more.
class ProtocolHost {
 public:
  virtual ~ProtocolHost() = default;

  // message is UTF-8; link is the source the line is shown under.
  virtual void OutLog(int link, std::string_view message, std::string_view tag) = 0;
  // A decoded message for the destinations; the caller keeps its payload.
  virtual void SenderToDest(const Origin& origin, std::uint16_t msg_type, std::uint16_t msg_num,
                            ByteView data) = 0;
  virtual void Write_Log(std::uint32_t size, std::uint32_t over, std::uint32_t extra,
                         std::string_view name) = 0;
  virtual const TSettings& Settings() const = 0;
  virtual std::int64_t NowTick() const = 0;
  virtual const TextCodec& Codepage() const = 0;
};

}  // namespace trivane
