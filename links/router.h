#pragma once

#include <cstdint>

#include "base/byte_io.h"
#include "links/raw_msg.h"
#include "settings/settings.h"

namespace trivane {

// The destinations' queues; a null pointer is a queue that does not exist
// (its destination is off) and is skipped.
struct DestinationQueues {
  MessageQueue* studio = nullptr;
  RawQueue* server = nullptr;
  RawQueue* online = nullptr;
};

// Copies one message into the queue of every enabled destination, each in the
// byte layout that destination sends. The caller keeps its payload.
void SenderToDest(const TSettings& settings, const DestinationQueues& queues,
                  std::uint16_t msg_type, std::uint16_t msg_num, ByteView data);

// The studio gets the message itself.
void ZUDovivi_List_Send(MessageQueue* queue, std::uint16_t msg_type, std::uint16_t msg_num,
                        ByteView data);

// A VL3 frame: "L3", 0, payload length + 4, type, number, payload.
void Server_List_Send(RawQueue* queue, std::uint16_t msg_type, std::uint16_t msg_num,
                      ByteView data);

// An online frame: payload length + 5, 0x01, type, number, payload.
void Online_List_Send(RawQueue* queue, std::uint16_t msg_type, std::uint16_t msg_num,
                      ByteView data);

// Frame sizes, headers included.
inline constexpr std::size_t kVl3HeaderSize = 10;
inline constexpr std::size_t kOnlineHeaderSize = 7;

Bytes BuildVl3Frame(std::uint16_t msg_type, std::uint16_t msg_num, ByteView data);
Bytes BuildOnlineFrame(std::uint16_t msg_type, std::uint16_t msg_num, ByteView data);

}  // namespace trivane
