#pragma once

#include <cstddef>
#include <cstdint>

#include "protocols/protocol_handlers.h"
#include "protocols/protocol_host.h"
#include "protocols/records.h"
#include "protocols/uecp_codec.h"
#include "tools/line_output.h"

namespace trivane::sim {

// The settings that change what the relay's handlers do with a decoded unit.
struct DecodeSettings {
  bool show_playlist = false;
  bool ignore_delay = false;
};

// Stands where the relay's controller stands behind the handlers, and prints
// what the controller would be asked to do:
//   UNIT <n> bytes: <hex>          a complete unit cut from the stream
//   ROUTE <message fields>         a message handed to the router
//   FILE <In|Out> size=.. over=.. extra=..   a daily-file line
//   LOG <tag>: <message>           an event-log line
class PrintingHost final : public ProtocolHost {
 public:
  // An arbitrary tick: due times are printed relative to it.
  static constexpr std::int64_t kNowTick = 1'000'000;

  PrintingHost(const TextCodec& codepage, LineSink out, const DecodeSettings& settings);

  void OutLog(int link, std::string_view message, std::string_view tag) override;
  void SenderToDest(const Origin& origin, std::uint16_t msg_type, std::uint16_t msg_num,
                    ByteView data) override;
  void Write_Log(std::uint32_t size, std::uint32_t over, std::uint32_t extra,
                 std::string_view name) override;
  const TSettings& Settings() const override { return settings_; }
  std::int64_t NowTick() const override { return kNowTick; }
  const TextCodec& Codepage() const override { return codepage_; }

  const LineSink& Out() const { return out_; }

 private:
  const TextCodec& codepage_;
  LineSink out_;
  TSettings settings_;
};

// One source's byte stream through the relay's own intake steps: an 8192-byte
// buffer, the real dispatch by first byte, the real UECP codec and handlers
// bound as the relay binds them. Besides the host's lines it prints
//   PENDING due_in=<ms>            a scheduled region block, sent right after
//   UNPARSED <n> bytes: <hex>      held bytes given up, as the relay gives up
//                                  the whole buffer when its front is stuck
class StreamDecoder {
 public:
  StreamDecoder(const TextCodec& codepage, LineSink out, const DecodeSettings& settings = {});

  StreamDecoder(const StreamDecoder&) = delete;
  StreamDecoder& operator=(const StreamDecoder&) = delete;

  // Stores what fits, as the intake stores one arrival, and parses. Returns
  // the number of bytes stored; 0 means the buffer is full and stuck.
  std::size_t Append(ByteView bytes);
  // Prints and drops whatever is held.
  void DiscardHeld();
  std::size_t HeldBytes() const { return comm_.Held().size(); }
  // How many bytes the next Append can store.
  std::size_t Room() const { return comm_.Room(); }

 private:
  void SendDueBlock();

  PrintingHost host_;
  ProtocolHandlers handlers_{host_};
  TReadComm comm_;
};

}  // namespace trivane::sim
