#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "base/byte_io.h"

namespace trivane::bus {

// The frames on a window's socket, little-endian (docs/desktop-bus.md).
inline constexpr std::uint32_t kKindMessage = 1;
inline constexpr std::uint32_t kKindCopyData = 2;
inline constexpr std::uint32_t kKindAnswer = 3;

inline constexpr std::uint32_t kStatusAnswered = 0;
inline constexpr std::uint32_t kStatusNoWindow = 1;

inline constexpr std::size_t kRequestHeaderSize = 24;
inline constexpr std::size_t kAnswerSize = 12;
// Far above what the studio sends, and low enough that a peer cannot make a
// window hold more than this per connection.
inline constexpr std::uint32_t kMaxCopyData = 4u << 20;

struct Request {
  std::uint32_t kind = kKindMessage;
  std::uint32_t to = 0;
  std::uint32_t message = 0;
  std::uint32_t wparam = 0;
  std::uint32_t value = 0;  // lParam, or dwData
  Bytes data;
};

struct Answer {
  std::uint32_t status = kStatusAnswered;
  std::int32_t result = 0;
};

Bytes EncodeRequestHeader(const Request& request, std::size_t data_size);
Bytes EncodeAnswer(const Answer& answer);
// Nothing for anything but a well-formed answer.
std::optional<Answer> DecodeAnswer(ByteView bytes);

// Collects one request from a stream, never asking for a byte beyond it, so a
// peer cannot queue more on a window than one frame.
class RequestReader {
 public:
  enum class State { kNeedMore, kComplete, kBad };

  // How many bytes the frame still lacks (0 once complete or bad).
  std::size_t Wanted() const;
  // Takes at most Wanted() bytes; the rest is the caller's mistake and bad.
  State Feed(ByteView bytes);
  State state() const { return state_; }
  bool Started() const { return !header_.empty(); }
  std::size_t Buffered() const { return header_.size() + request_.data.size(); }
  // The finished request; the reader starts afresh.
  Request Take();

 private:
  State CheckHeader();

  State state_ = State::kNeedMore;
  Bytes header_;
  Request request_;
  std::uint32_t length_ = 0;
};

}  // namespace trivane::bus
