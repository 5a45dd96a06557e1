#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/byte_io.h"
#include "base/text_codec.h"

namespace trivane::sim {

// One routed message as one line of fields:
//   type=1 num=1 len=18 hex=... size=60000 over=120000 extra=0
//   type=1 num=2 len=19 hex=... kind=1 size=90500 text="Рекламный блок"
//   type=1 num=4 len=8 hex=... clock=2024-02-29T23:59:59.990
// len is the payload length. Payloads of type 1 that are too short to read
// get "incomplete"; other types are shown as bytes only.
std::string DescribeMessage(std::uint16_t type, std::uint16_t num, ByteView payload,
                            const TextCodec& codepage);

// A text in double quotes with \" \\ \r \n \t and \xNN for other control
// bytes, so a title can never break or fake a line.
std::string Quoted(std::string_view utf8);

// The same text with TAB, CR and LF as spaces, as the relay's log shows it.
std::string OneLine(std::string_view text);

}  // namespace trivane::sim
