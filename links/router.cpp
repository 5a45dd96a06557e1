#include "links/router.h"

#include <limits>

namespace trivane {
namespace {

constexpr std::uint16_t kVl3Magic = 0x334C;  // "L3" on the wire
constexpr std::uint8_t kOnlineFrameKind = 0x01;

// A frame whose length fields would not hold its size is never queued: a
// wrapped length would make every peer misread the rest of the stream.
bool FitsFrame(std::size_t header_size, ByteView data) {
  return data.size() <= std::numeric_limits<std::uint16_t>::max() - header_size;
}

}  // namespace

Bytes BuildVl3Frame(std::uint16_t msg_type, std::uint16_t msg_num, ByteView data) {
  Bytes frame;
  frame.reserve(kVl3HeaderSize + data.size());
  AppendU16(frame, kVl3Magic);
  AppendU16(frame, 0);
  AppendU16(frame, static_cast<std::uint16_t>(data.size() + 4));
  AppendU16(frame, msg_type);
  AppendU16(frame, msg_num);
  frame.insert(frame.end(), data.begin(), data.end());
  return frame;
}

Bytes BuildOnlineFrame(std::uint16_t msg_type, std::uint16_t msg_num, ByteView data) {
  Bytes frame;
  frame.reserve(kOnlineHeaderSize + data.size());
  AppendU16(frame, static_cast<std::uint16_t>(data.size() + 5));
  AppendU8(frame, kOnlineFrameKind);
  AppendU16(frame, msg_type);
  AppendU16(frame, msg_num);
  frame.insert(frame.end(), data.begin(), data.end());
  return frame;
}

void ZUDovivi_List_Send(MessageQueue* queue, std::uint16_t msg_type, std::uint16_t msg_num,
                        ByteView data) {
  if (queue == nullptr || !FitsFrame(0, data)) return;
  queue->push_back(TCommMsg{msg_type, msg_num, Bytes(data.begin(), data.end())});
}

void Server_List_Send(RawQueue* queue, std::uint16_t msg_type, std::uint16_t msg_num,
                      ByteView data) {
  if (queue == nullptr || !FitsFrame(kVl3HeaderSize, data)) return;
  queue->push_back(TRawMsg{BuildVl3Frame(msg_type, msg_num, data)});
}

void Online_List_Send(RawQueue* queue, std::uint16_t msg_type, std::uint16_t msg_num,
                      ByteView data) {
  if (queue == nullptr || !FitsFrame(kOnlineHeaderSize, data)) return;
  queue->push_back(TRawMsg{BuildOnlineFrame(msg_type, msg_num, data)});
}

void SenderToDest(const TSettings& settings, const DestinationQueues& queues,
                  std::uint16_t msg_type, std::uint16_t msg_num, ByteView data) {
  if (settings.HasDestination(kDstStudio)) {
    ZUDovivi_List_Send(queues.studio, msg_type, msg_num, data);
  }
  // With TCP sources the chain server relays the accepted raw source units
  // instead, so routed messages would reach its peers twice.
  if (settings.HasDestination(kDstServer) && settings.SrcMode == kSrcStudio) {
    Server_List_Send(queues.server, msg_type, msg_num, data);
  }
  if (settings.HasDestination(kDstOnline)) {
    Online_List_Send(queues.online, msg_type, msg_num, data);
  }
}

}  // namespace trivane
