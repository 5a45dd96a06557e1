#pragma once

#include <cstdint>

#include "base/byte_io.h"
#include "links/links.h"
#include "links/raw_msg.h"
#include "protocols/held_unit.h"
#include "protocols/online_frame.h"
#include "protocols/origin.h"
#include "protocols/protocol_handlers.h"
#include "protocols/protocol_host.h"
#include "protocols/vl3_frame.h"
#include "settings/settings.h"

namespace trivane {

class LinkHost;

// The destinations' queues; a null pointer is a queue that does not exist
// (its destination is off) and is skipped.
struct DestinationQueues {
  MessageQueue* studio = nullptr;
  RawQueue* server = nullptr;
  RawQueue* online = nullptr;
};

// What the chain server relays of what comes from an origin. Its peers are
// instances that read it as a TCP source: from a TCP source they get the unit
// as it arrived (the routed message as well would reach them twice); from
// the studio and the test panel, which bring no unit, the routed message as a
// VL3 frame.
enum class ChainForm { kRawUnit, kRoutedMessage };
ChainForm ChainServerForm(const Origin& origin);

// Copies one message into the queue of every enabled destination, each in the
// byte layout that destination sends. The caller keeps its payload.
void SenderToDest(const TSettings& settings, const DestinationQueues& queues, const Origin& origin,
                  std::uint16_t msg_type, std::uint16_t msg_num, ByteView data);

// The studio gets the message itself.
void ZUDovivi_List_Send(MessageQueue* queue, std::uint16_t msg_type, std::uint16_t msg_num,
                        ByteView data);
// A VL3 frame.
void Server_List_Send(RawQueue* queue, std::uint16_t msg_type, std::uint16_t msg_num,
                      ByteView data);
// An online frame.
void Online_List_Send(RawQueue* queue, std::uint16_t msg_type, std::uint16_t msg_num,
                      ByteView data);

// The one route of every unit and message, from wherever it comes to every
// destination: TCP sources hand it the units they cut with the duplicate
// check's verdict, the studio link its messages, the controller the test
// panel's block and the tick's due block. The handlers decode, log and hand
// the routed messages back to SenderToDest here.
class UnitRouter : public ProtocolHost {
 public:
  UnitRouter(LinkHost& host, const ControllerParts& parts);

  ~UnitRouter() override = default;
  UnitRouter(const UnitRouter&) = delete;
  UnitRouter& operator=(const UnitRouter&) = delete;

  void TakeSourceUnit(int source, const HeldUnit& unit, bool accepted);
  void TakeStudioMessage(const TCommMsg& message);
  void SendTestBlock(double block_seconds, double over_seconds, double extra_seconds);
  // The pending block, once due.
  void SendDueBlock();

  PendingRegionBlock& Pending() { return handlers_.Pending(); }

  // ProtocolHost
  void OutLog(int link, std::string_view message, std::string_view tag) override;
  void SenderToDest(const Origin& origin, std::uint16_t msg_type, std::uint16_t msg_num,
                    ByteView data) override;
  void Write_Log(std::uint32_t size, std::uint32_t over, std::uint32_t extra,
                 std::string_view name) override;
  const TSettings& Settings() const override;
  std::int64_t NowTick() const override;
  const TextCodec& Codepage() const override;

 private:
  DestinationQueues Queues() const;

  LinkHost& host_;
  const ControllerParts& parts_;
  ProtocolHandlers handlers_{*this};
  // The studio's and the test panel's lines are shown under the source last read.
  int last_source_ = 0;
};

}  // namespace trivane
