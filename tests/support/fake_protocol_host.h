#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/system_text_codec.h"
#include "protocols/held_unit.h"
#include "protocols/protocol_handlers.h"
#include "protocols/protocol_host.h"

namespace trivane::testing {

// The source the handlers' tests read from; its lines show under it.
inline const Origin kThirdSource = Origin::TcpSource(2);

struct LoggedLine {
  int link;
  std::string message;
  std::string tag;
};

struct RoutedMessage {
  Origin origin;
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
  void SenderToDest(const Origin& origin, std::uint16_t type, std::uint16_t num,
                    ByteView data) override {
    routed.push_back({origin, type, num, Bytes(data.begin(), data.end())});
  }
  void Write_Log(std::uint32_t size, std::uint32_t over, std::uint32_t extra,
                 std::string_view name) override {
    files.push_back({size, over, extra, std::string(name)});
  }
  const TSettings& Settings() const override { return settings; }
  std::int64_t NowTick() const override { return now_tick; }
  const TextCodec& Codepage() const override { return *codepage; }

  const LoggedLine& LastLine() const { return log.back(); }

  // The unit at the front of comm as the intake takes it: cut, recorded,
  // handled only when the duplicate check would accept it, removed either way.
  bool TakeFront(ProtocolHandlers& handlers, TReadComm& comm, const Origin& origin) {
    const auto unit = CutUnit(comm.Held());
    if (!unit) return false;
    raw_units.emplace_back(unit->bytes.begin(), unit->bytes.end());
    if (accept_units) handlers.TakeUnit(*unit, origin);
    ConsumeFront(comm, static_cast<std::int32_t>(unit->bytes.size()));
    return true;
  }

  std::vector<LoggedLine> log;
  std::vector<Bytes> raw_units;
  bool accept_units = true;
  std::vector<RoutedMessage> routed;
  std::vector<FileLine> files;
  TSettings settings;
  std::int64_t now_tick = 100'000;
  std::unique_ptr<SystemTextCodec> codepage = SystemTextCodec::Open("WINDOWS-1251");
};

// Test strings: the Cyrillic title as UTF-8 and as Windows-1251 bytes.
inline const std::string kTitleUtf8 = "Рекламный блок";
inline const std::string kTitleCp1251 = "\xD0\xE5\xEA\xEB\xE0\xEC\xED\xFB\xE9 \xE1\xEB\xEE\xEA";

}  // namespace trivane::testing
