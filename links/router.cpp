#include "links/router.h"

#include "links/link_host.h"

namespace trivane {
namespace {

// The studio's copy data carries a 16-bit length as well.
bool StudioMessageFits(ByteView data) {
  return data.size() <= 0xFFFF;
}

}  // namespace

ChainForm ChainServerForm(const Origin& origin) {
  return origin.kind == Origin::Kind::kTcpSource ? ChainForm::kRawUnit : ChainForm::kRoutedMessage;
}

void ZUDovivi_List_Send(MessageQueue* queue, std::uint16_t msg_type, std::uint16_t msg_num,
                        ByteView data) {
  if (queue == nullptr || !StudioMessageFits(data)) return;
  queue->push_back(TCommMsg{msg_type, msg_num, Bytes(data.begin(), data.end())});
}

// A frame whose length field would not hold its size is never queued: a
// wrapped length would make every peer misread the rest of the stream.
void Server_List_Send(RawQueue* queue, std::uint16_t msg_type, std::uint16_t msg_num,
                      ByteView data) {
  if (queue == nullptr || !Vl3FrameFits(data)) return;
  queue->push_back(TRawMsg{BuildVl3Frame(msg_type, msg_num, data)});
}

void Online_List_Send(RawQueue* queue, std::uint16_t msg_type, std::uint16_t msg_num,
                      ByteView data) {
  if (queue == nullptr || !OnlineFrameFits(data)) return;
  queue->push_back(TRawMsg{BuildOnlineFrame(msg_type, msg_num, data)});
}

void SenderToDest(const TSettings& settings, const DestinationQueues& queues, const Origin& origin,
                  std::uint16_t msg_type, std::uint16_t msg_num, ByteView data) {
  if (settings.HasDestination(kDstStudio)) {
    ZUDovivi_List_Send(queues.studio, msg_type, msg_num, data);
  }
  if (settings.HasDestination(kDstServer) && ChainServerForm(origin) == ChainForm::kRoutedMessage) {
    Server_List_Send(queues.server, msg_type, msg_num, data);
  }
  if (settings.HasDestination(kDstOnline)) {
    Online_List_Send(queues.online, msg_type, msg_num, data);
  }
}

UnitRouter::UnitRouter(LinkHost& host, const ControllerParts& parts) : host_(host), parts_(parts) {}

DestinationQueues UnitRouter::Queues() const {
  return {.studio = parts_.studio ? parts_.studio->Studio_Queue() : nullptr,
          .server = parts_.server ? parts_.server->Queue() : nullptr,
          .online = parts_.online ? parts_.online->Queue() : nullptr};
}

void UnitRouter::TakeSourceUnit(int source, const HeldUnit& unit, bool accepted) {
  last_source_ = source;
  if (!accepted) return;
  const Origin origin = Origin::TcpSource(source);
  RawQueue* server = Queues().server;
  if (server != nullptr && Settings().HasDestination(kDstServer) &&
      ChainServerForm(origin) == ChainForm::kRawUnit) {
    server->push_back(TRawMsg{Bytes(unit.bytes.begin(), unit.bytes.end())});
  }
  handlers_.TakeUnit(unit, origin);
}

void UnitRouter::TakeStudioMessage(const TCommMsg& message) {
  const Origin origin = Origin::Studio(last_source_);
  switch (message.MsgNum) {
    case msg_num::kRegionBlock:
      handlers_.Get_Studio3_DRCP(message.Data, origin);
      break;
    case msg_num::kBlockNotice:
      handlers_.Decode_Block(message.Data, origin);
      break;
    case msg_num::kClock:
      handlers_.Decode_DRCPClock(message.Data, origin);
      break;
    default:
      break;
  }
}

void UnitRouter::SendTestBlock(double block_seconds, double over_seconds, double extra_seconds) {
  handlers_.SBAuthorClick(block_seconds, over_seconds, extra_seconds,
                          Origin::TestPanel(last_source_));
}

void UnitRouter::SendDueBlock() {
  handlers_.SendDueBlock(host_.NowTick());
}

void UnitRouter::OutLog(int link, std::string_view message, std::string_view tag) {
  host_.OutLog(link, message, tag);
}

void UnitRouter::SenderToDest(const Origin& origin, std::uint16_t msg_type, std::uint16_t msg_num,
                              ByteView data) {
  trivane::SenderToDest(Settings(), Queues(), origin, msg_type, msg_num, data);
}

void UnitRouter::Write_Log(std::uint32_t size, std::uint32_t over, std::uint32_t extra,
                           std::string_view name) {
  host_.Write_Log(size, over, extra, name);
}

const TSettings& UnitRouter::Settings() const {
  return host_.Settings();
}

std::int64_t UnitRouter::NowTick() const {
  return host_.NowTick();
}

const TextCodec& UnitRouter::Codepage() const {
  return host_.Codepage();
}

}  // namespace trivane
