#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/byte_io.h"

namespace trivane::sim {

// The log-in lines: each ends with LF, and a CR before it is not part of the
// line.
class LineReader {
 public:
  void Append(ByteView bytes) { pending_.append(bytes.begin(), bytes.end()); }
  std::optional<std::string> NextLine();
  // What came after the last line taken: the first frames, when a client
  // does not wait for the verdict.
  Bytes TakeRest();
  std::size_t PendingBytes() const { return pending_.size(); }

 private:
  std::string pending_;
};

struct OnlineFrame {
  std::uint16_t type = 0;
  std::uint16_t num = 0;
  Bytes payload;
};

// Cuts online frames from a byte stream: u16 length (the bytes after it),
// 0x01, u16 type, u16 number, payload.
class OnlineFrameReader {
 public:
  enum class Result { kFrame, kNeedMore, kMalformed };

  void Append(ByteView bytes) { pending_.insert(pending_.end(), bytes.begin(), bytes.end()); }
  // On kMalformed, `problem` says why; the stream cannot be trusted after it.
  Result Next(OnlineFrame& frame, std::string& problem);

 private:
  Bytes pending_;
};

}  // namespace trivane::sim
