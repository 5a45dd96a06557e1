#include "links/router.h"
#include "net/duplicate_check.h"
#include "net/ip_readers.h"
#include "protocols/held_unit.h"

namespace trivane {

void IPReaders::IPReader_ReadComm() {
  for (int i = 0; i < kSourceCount; ++i) {
    tIP1Reader& slot = Slot(i);
    if (!slot.Client) continue;
    TReadComm& comm = slot.Comm;

    IPReader_CheckConnect(i);
    // The client belongs to its attempt until the attempt is collected.
    if (!slot.Connector) IPReader_ReadNewData(i);
    if (comm.Count > 0 && comm.NewData) {
      comm.NewData = false;
      ParseHeldUnits(i);
    }
    IPReader_ReconnectTick(i);
    if (comm.Count < 1) comm.Deadline = 0;
    if (comm.Deadline > 0 && comm.Deadline < host_.NowTick()) {
      host_.OutLog(i, "Clear invalid data", "inside");
      host_.Metrics().CountInvalidDiscard(i);
      host_.Write_Error(i, comm);
      // Zeroing as well keeps the buffer's tail clean for the next unit.
      ConsumeFront(comm, comm.Count);
      comm.Count = 0;
      comm.Deadline = 0;
    }
  }
}

void IPReaders::ParseHeldUnits(int i) {
  TReadComm& comm = Slot(i).Comm;
  record_.ActiveReader = static_cast<std::uint8_t>(i);
  while (const auto unit = CutUnit(comm.Held())) {
    const bool accepted = IPReader_NoDouble_Data(record_, unit->bytes);
    host_.Metrics().CountUnit(i, accepted);
    host_.Router().TakeSourceUnit(i, *unit, accepted);
    ConsumeFront(comm, static_cast<std::int32_t>(unit->bytes.size()));
  }
}

void IPReaders::IPReader_ReadNewData(int i) {
  tIP1Reader& slot = Slot(i);
  TcpClient& client = *slot.Client;
  if (!client.Connected()) return;
  // Only what fits is taken; the rest waits in the socket for the next tick.
  // Taking more and keeping what fits would cut a unit in two, and the bytes
  // behind the cut would parse as garbage or as a unit stitched from two.
  // A full buffer whose front no parser could take is different: no later
  // byte can complete that front, so what arrives until the buffer is given
  // up is read and dropped, and junk never backs up in the socket in front
  // of the valid units behind it.
  const std::size_t room = slot.Comm.Room();
  const bool stuck = room == 0 && !slot.Comm.NewData;
  if (room == 0 && !stuck) return;
  const TransportResult read = client.ReadArrived(stuck ? TcpClient::kMaxReceive : room);
  if (read.kind == TransportResult::Kind::kClosedByPeer) return;  // "Wait" and a retry follow
  if (!read.Ok()) {
    host_.OutError(i, read.text, "> Except <");
    if (client.Connected()) client.Disconnect();
    return;
  }
  if (client.Input().empty()) return;
  IPReader_ReceiveData(i, client.Input());
  client.DiscardInput();
  slot.LastRead = host_.NowTick();
}

void IPReaders::IPReader_ReceiveData(int i, ByteView bytes) {
  host_.MarkLastData(status_column::kFirstSource + i);
  TReadComm& comm = Slot(i).Comm;
  const auto held = static_cast<std::size_t>(comm.Count);
  if (comm.Data.size() < TReadComm::kCapacity) return;
  // What does not fit is dropped; the held bytes are parsed or discarded first.
  const std::size_t free = held < comm.Data.size() ? comm.Data.size() - held : 0;
  const std::size_t stored = std::min(bytes.size(), free);
  host_.Metrics().CountDroppedBytes(i, bytes.size() - stored);
  if (stored == 0) return;  // the deadline runs from the last arrival that was kept
  std::copy_n(bytes.begin(), stored, comm.Data.begin() + static_cast<std::ptrdiff_t>(held));
  comm.Count += static_cast<std::int32_t>(stored);
  comm.Deadline = host_.NowTick() + kDiscardAfterMs;
  comm.NewData = true;
}

}  // namespace trivane
