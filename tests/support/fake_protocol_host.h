#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/system_text_codec.h"
#include "protocols/protocol_host.h"

namespace trivane::testing {

struct LoggedLine {
  int link;
  std::string message;
  std::string tag;
};

struct RoutedMessage {
  std::uint16_t type;
  std::uint16_t num;
  Bytes data;
};

struct FileLine {
  std::uint32_t size, over, extra;
  std::string name;
};

// Records what the handlers ask of the controller; texts go through the real
// station code page.
class FakeProtocolHost : public ProtocolHost {
 public:
  void OutLog(int link, std::string_view message, std::string_view tag) override {
    log.push_back({link, std::string(message), std::string(tag)});
  }
  int ActiveReader() const override { return active_reader; }
  bool IPReader_NoDouble_Data(ByteView unit) override {
    raw_units.emplace_back(unit.begin(), unit.end());
    return accept_units;
  }
  void SenderToDest(std::uint16_t type, std::uint16_t num, ByteView data) override {
    routed.push_back({type, num, Bytes(data.begin(), data.end())});
  }
  void Write_Log(std::uint32_t size, std::uint32_t over, std::uint32_t extra,
                 std::string_view name) override {
    files.push_back({size, over, extra, std::string(name)});
  }
  TSettings& Settings() override { return settings; }
  std::int64_t NowTick() const override { return now_tick; }
  TRegionBlock& PendingBlock() override { return pending; }
  std::int64_t& PendingBlockDue() override { return pending_due; }
  const TextCodec& Codepage() const override { return *codepage; }

  const LoggedLine& LastLine() const { return log.back(); }

  std::vector<LoggedLine> log;
  std::vector<Bytes> raw_units;
  std::vector<RoutedMessage> routed;
  std::vector<FileLine> files;
  TSettings settings;
  int active_reader = 2;
  bool accept_units = true;
  std::int64_t now_tick = 100'000;
  TRegionBlock pending{.Head1 = 0, .Head2 = 0};
  std::int64_t pending_due = 0;
  std::unique_ptr<SystemTextCodec> codepage = SystemTextCodec::Open("WINDOWS-1251");
};

// Test strings: the Cyrillic title as UTF-8 and as Windows-1251 bytes.
inline const std::string kTitleUtf8 = "Рекламный блок";
inline const std::string kTitleCp1251 = "\xD0\xE5\xEA\xEB\xE0\xEC\xED\xFB\xE9 \xE1\xEB\xEE\xEA";

}  // namespace trivane::testing
