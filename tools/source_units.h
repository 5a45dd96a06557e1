#pragma once

#include <string>
#include <variant>
#include <vector>

#include "base/byte_io.h"
#include "base/text_codec.h"

namespace trivane::sim {

// What a source is told to play, as read from the command line; texts are
// still UTF-8 and files still unread, so parsing needs neither.
struct HexUnit {
  Bytes bytes;
};
struct FileUnit {
  std::string path;
};
struct Vl3RegionUnit {
  std::uint32_t size_ms = 0, over_ms = 0, extra_ms = 0;
};
struct Vl3NoticeUnit {
  std::uint8_t kind = 0;
  std::uint32_t size_ms = 0;
  std::string text;
};
struct Vl3MessageUnit {
  std::uint16_t type = 0, num = 0;
  Bytes payload;
};
// Two frames: the block size, then the over time that sends it.
struct Vl2RegionUnit {
  double size_seconds = 0, over_seconds = 0;
};
struct Vl2NoticeUnit {
  std::uint8_t code = 0;
  double seconds = 0;
  std::string text;
};
struct DrcpBlockUnit {
  std::int32_t delay_ms = 0;
  std::uint32_t size_ms = 0;
  std::int32_t over_ms = 0;
  bool in_uecp_frame = false;  // else a bare element
};
struct RadiotextUnit {
  std::string text;
};

using UnitRecipe = std::variant<HexUnit, FileUnit, Vl3RegionUnit, Vl3NoticeUnit, Vl3MessageUnit,
                                Vl2RegionUnit, Vl2NoticeUnit, DrcpBlockUnit, RadiotextUnit>;

// The wire units, in order; a recipe may give more than one (VL2 region).
// Throws SimFailure (bad arguments) for an unreadable file or a text that
// does not fit its frame.
std::vector<Bytes> BuildUnits(const std::vector<UnitRecipe>& recipes, const TextCodec& codepage);

}  // namespace trivane::sim
