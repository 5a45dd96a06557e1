#include "tools/message_text.h"

#include "base/formatting.h"
#include "protocols/records.h"
#include "tools/hex.h"

namespace trivane::sim {

std::string DescribeMessage(std::uint16_t type, std::uint16_t num, ByteView payload,
                            const TextCodec& codepage) {
  std::string line = "type=" + std::to_string(type) + " num=" + std::to_string(num) +
                     " len=" + std::to_string(payload.size()) + " hex=" + ToHex(payload);
  if (type != kOwnMsgType) return line;
  switch (num) {
    case msg_num::kRegionBlock:
      if (const auto block = TRegionBlock::Decode(payload)) {
        return line + " size=" + std::to_string(block->Size) +
               " over=" + std::to_string(block->Over) + " extra=" + std::to_string(block->Extra);
      }
      break;
    case msg_num::kBlockNotice:
      if (const auto notice = TBlockNotice::Decode(payload)) {
        return line + " kind=" + std::to_string(notice->Kind) +
               " size=" + std::to_string(notice->Size) +
               " text=" + Quoted(codepage.ToDisplay(notice->Text));
      }
      break;
    case msg_num::kClock:
      if (const auto value = LoadF64(payload, 0)) {
        return line + " clock=" + FormatDateTime("yyyy-mm-ddThh:nn:ss.zzz", *value);
      }
      break;
    default:
      return line;
  }
  return line + " incomplete";
}

std::string Quoted(std::string_view utf8) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20 || byte == 0x7F) {
          out += "\\x";
          out += kDigits[byte >> 4];
          out += kDigits[byte & 0x0F];
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string OneLine(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

}  // namespace trivane::sim
