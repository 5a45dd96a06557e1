#include "protocols/uecp_codec.h"

#include <algorithm>
#include <array>
#include <bit>

namespace trivane {
namespace {

using uecp_frame::kEscape;
using uecp_frame::kStart;
using uecp_frame::kStop;

// STA, ADD (2), SQC, MFL before MSG; CRC (2) and STP after it.
constexpr std::size_t kHeaderSize = 5;
constexpr std::size_t kFrameOverhead = 8;
constexpr std::size_t kMinFrameSize = 6;

// A bare element with MEL 255 is 257 bytes; the zeros after it end any text read.
constexpr std::size_t kLargestElement = 2 + 255;
constexpr std::size_t kMessageFieldSize = kLargestElement + 3;
using MessageField = std::array<std::uint8_t, kMessageFieldSize>;

constexpr std::uint8_t kManufacturerCode[] = {0x44, 0x6E};  // "Dn"
constexpr std::size_t kCommandPayload = 5;                  // MEC, MEL, code (2), letter
constexpr std::size_t kTitleAt = kCommandPayload + 9;       // "f": payload byte 9 starts the title

// UECP byte stuffing: 0xFD x stands for 0xFD + x, so FD 00/01/02 carry FD/FE/FF.
std::size_t Unstuff(ByteView in, std::span<std::uint8_t> out) {
  std::size_t length = 0;
  for (std::size_t i = 0; i < in.size(); ++i) {
    std::uint8_t byte = in[i];
    if (byte == kEscape && i + 1 < in.size()) byte = static_cast<std::uint8_t>(byte + in[++i]);
    out[length++] = byte;
  }
  return length;
}

void EmitRadiotext(const MessageField& msg, std::size_t mfl, const UecpMessageEvent& emit) {
  if (mfl < 6) return;
  // UECP: MEL counts the configuration byte and the text after it.
  const std::size_t mel = msg[3];
  const std::size_t text = mel == 0 ? 0 : mel - 1;
  emit(uecp_mec::kRadiotext, 0, ByteView(msg).subspan(5, std::min(text, mfl - 5)));
}

void EmitClock(const MessageField& msg, const UecpMessageEvent& emit) {
  const TDateTime value = DecodeCompactDate(std::span(msg).subspan<1, kCompactDateSize>());
  if (value == 0) return;
  const auto raw = std::bit_cast<std::uint64_t>(value);
  std::array<std::uint8_t, kClockPayloadSize> wire{};
  for (std::size_t i = 0; i < wire.size(); ++i) wire[i] = static_cast<std::uint8_t>(raw >> (8 * i));
  emit(uecp_mec::kClock, 0, wire);
}

void EmitManufacturer(const MessageField& msg, std::size_t mfl, const UecpMessageEvent& emit) {
  if (msg[1] < 1 || msg[2] != kManufacturerCode[0] || msg[3] != kManufacturerCode[1]) return;
  const std::uint8_t letter = msg[4];
  const ByteView payload = ByteView(msg).subspan(kCommandPayload);
  switch (letter) {
    case 's':
    case 'p':
    case 'i':
      emit(uecp_mec::kManufacturer, letter, payload.first(kDrcpCommandPayloadSize));
      return;
    case 'f': {
      const auto date = std::span(msg).subspan<kCommandPayload + 1, kCompactDateSize>();
      if (msg[kTitleAt] < 0x20 || DecodeCompactDate(date) == 0) return;
      const std::size_t length = mfl > kCommandPayload ? mfl - kCommandPayload : 0;
      emit(uecp_mec::kManufacturer, letter, payload.first(length));
      return;
    }
    default:
      return;
  }
}

// Only the first element of the message field is looked at.
void Dispatch(const MessageField& msg, std::size_t mfl, const UecpMessageEvent& emit) {
  switch (msg[0]) {
    case uecp_mec::kPs:
    case uecp_mec::kTaTp:
      return;
    case uecp_mec::kRadiotext:
      EmitRadiotext(msg, mfl, emit);
      return;
    case uecp_mec::kClock:
      EmitClock(msg, emit);
      return;
    case uecp_mec::kManufacturer:
      EmitManufacturer(msg, mfl, emit);
      return;
    default:
      return;
  }
}

void DecodeStuffedFrame(ByteView wire, const UecpMessageEvent& emit) {
  std::array<std::uint8_t, TReadComm::kCapacity> scratch;
  if (wire.size() > scratch.size()) return;
  const auto frame = std::span(scratch).first(Unstuff(wire, scratch));
  if (frame.size() < kMinFrameSize) return;

  const std::size_t mfl = frame[4];
  if (mfl + kFrameOverhead > frame.size() || mfl > uecp_frame::kMaxMessageField) return;
  const auto body = frame.subspan(kHeaderSize, mfl);
  const auto trailer = frame.subspan(kHeaderSize + mfl, 3);
  // UECP sends the CRC high byte first, unlike every other wire integer here.
  const auto crc = static_cast<std::uint16_t>(trailer[0] << 8 | trailer[1]);
  if (frame[0] != kStart || trailer[2] != kStop) return;
  if (UecpCrc(frame.subspan(1, mfl + 4)) != crc) return;

  MessageField msg{};
  std::ranges::copy(body, msg.begin());
  Dispatch(msg, mfl, emit);
}

}  // namespace

std::optional<std::size_t> UecpFrameSize(ByteView held) {
  if (held.size() < 2) return std::nullopt;
  const auto stop = std::find(held.begin() + 1, held.end(), kStop);
  if (stop == held.end()) return std::nullopt;
  return static_cast<std::size_t>(stop - held.begin()) + 1;
}

std::optional<std::size_t> UecpElementSize(ByteView held) {
  if (held.size() < 2) return std::nullopt;
  // UECP: MEL counts the bytes after itself.
  const std::size_t size = std::size_t{held[1]} + 2;
  if (size > held.size()) return std::nullopt;
  return size;
}

void DecodeUecpFrame(ByteView frame, const UecpMessageEvent& emit) {
  DecodeStuffedFrame(frame, emit);
}

void DecodeUecpElement(ByteView element, const UecpMessageEvent& emit) {
  if (element.size() > kMessageFieldSize) return;
  MessageField msg{};
  std::ranges::copy(element, msg.begin());
  Dispatch(msg, element.size(), emit);
}

std::optional<Bytes> BuildUecpFrame(ByteView message_field) {
  if (message_field.size() > uecp_frame::kMaxMessageField) return std::nullopt;
  Bytes body{0, 0, 0, static_cast<std::uint8_t>(message_field.size())};
  body.insert(body.end(), message_field.begin(), message_field.end());
  const std::uint16_t crc = UecpCrc(body);
  body.push_back(static_cast<std::uint8_t>(crc >> 8));
  body.push_back(static_cast<std::uint8_t>(crc & 0xFF));

  Bytes frame{kStart};
  for (const std::uint8_t byte : body) {
    if (byte >= kEscape) {
      frame.push_back(kEscape);
      frame.push_back(static_cast<std::uint8_t>(byte - kEscape));
    } else {
      frame.push_back(byte);
    }
  }
  frame.push_back(kStop);
  return frame;
}

}  // namespace trivane
