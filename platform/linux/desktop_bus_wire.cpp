#include "platform/linux/desktop_bus_wire.h"

#include <algorithm>

#include "base/desktop.h"

namespace trivane::bus {

Bytes EncodeRequestHeader(const Request& request, std::size_t data_size) {
  Bytes out;
  out.reserve(kRequestHeaderSize);
  AppendU32(out, request.kind);
  AppendU32(out, request.to);
  AppendU32(out, request.message);
  AppendU32(out, request.wparam);
  AppendU32(out, request.value);
  AppendU32(out, static_cast<std::uint32_t>(data_size));
  return out;
}

Bytes EncodeAnswer(const Answer& answer) {
  Bytes out;
  out.reserve(kAnswerSize);
  AppendU32(out, kKindAnswer);
  AppendU32(out, answer.status);
  AppendU32(out, static_cast<std::uint32_t>(answer.result));
  return out;
}

std::optional<Answer> DecodeAnswer(ByteView bytes) {
  if (bytes.size() != kAnswerSize || LoadU32(bytes, 0) != kKindAnswer) return std::nullopt;
  const std::uint32_t status = *LoadU32(bytes, 4);
  if (status != kStatusAnswered && status != kStatusNoWindow) return std::nullopt;
  return Answer{status, static_cast<std::int32_t>(*LoadU32(bytes, 8))};
}

std::size_t RequestReader::Wanted() const {
  if (state_ != State::kNeedMore) return 0;
  if (header_.size() < kRequestHeaderSize) return kRequestHeaderSize - header_.size();
  return length_ - request_.data.size();
}

RequestReader::State RequestReader::Feed(ByteView bytes) {
  if (state_ != State::kNeedMore) return state_;
  if (bytes.size() > Wanted()) return state_ = State::kBad;
  if (header_.size() < kRequestHeaderSize) {
    header_.insert(header_.end(), bytes.begin(), bytes.end());
    if (header_.size() < kRequestHeaderSize) return state_;
    if (CheckHeader() == State::kBad) return state_;
  } else {
    request_.data.insert(request_.data.end(), bytes.begin(), bytes.end());
  }
  if (request_.data.size() == length_) state_ = State::kComplete;
  return state_;
}

RequestReader::State RequestReader::CheckHeader() {
  request_.kind = *LoadU32(header_, 0);
  request_.to = *LoadU32(header_, 4);
  request_.message = *LoadU32(header_, 8);
  request_.wparam = *LoadU32(header_, 12);
  request_.value = *LoadU32(header_, 16);
  length_ = *LoadU32(header_, 20);
  const bool message_ok = request_.kind == kKindMessage && length_ == 0;
  const bool copy_ok =
      request_.kind == kKindCopyData && request_.message == kWmCopyData && length_ <= kMaxCopyData;
  if (!message_ok && !copy_ok) return state_ = State::kBad;
  // Grows with what arrives, not with what the header promises.
  request_.data.reserve(std::min<std::size_t>(length_, std::size_t{64} * 1024));
  return state_;
}

Request RequestReader::Take() {
  Request done = std::move(request_);
  *this = RequestReader();
  return done;
}

}  // namespace trivane::bus
