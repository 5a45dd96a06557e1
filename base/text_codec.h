#pragma once

#include <string>
#include <string_view>

namespace trivane {

// Texts on the wire are 8-bit, in the station's ANSI code page; the operator
// reads UTF-8. Wire bytes are routed unchanged and converted only for display,
// and a text the relay itself puts on the wire is converted once, where it
// enters.
class TextCodec {
 public:
  virtual ~TextCodec() = default;
  virtual std::string ToDisplay(std::string_view wire) const = 0;
  virtual std::string ToWire(std::string_view display) const = 0;
};

}  // namespace trivane
