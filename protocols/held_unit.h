#pragma once

#include <optional>

#include "base/byte_io.h"

namespace trivane {

// The kinds of unit a TCP source delivers, told apart by their first byte.
enum class UnitKind {
  kUecpFrame,    // 0xFE
  kUecpElement,  // "-": a bare manufacturer element
  kVl3,          // "L" of the magic "L3"
  kVl2,          // "Z", the first byte of the magic 5A A5
};

// One complete unit at the front of a source's held bytes, as received.
struct HeldUnit {
  UnitKind kind;
  ByteView bytes;
};

// The unit at the front of held, or nothing while the front is incomplete,
// malformed or starts no unit; held bytes are never searched past their front.
std::optional<HeldUnit> CutUnit(ByteView held);

}  // namespace trivane
