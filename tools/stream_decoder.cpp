#include "tools/stream_decoder.h"

#include <algorithm>

#include "protocols/held_unit.h"
#include "tools/hex.h"
#include "tools/message_text.h"

namespace trivane::sim {

PrintingHost::PrintingHost(const TextCodec& codepage, LineSink out, const DecodeSettings& settings)
    : codepage_(codepage), out_(std::move(out)) {
  settings_.SrcMode = kSrcTcp;
  settings_.ShowPlaylist = settings.show_playlist;
  settings_.IgnoreDelay = settings.ignore_delay;
}

void PrintingHost::OutLog(int /*link*/, std::string_view message, std::string_view tag) {
  out_("LOG " + std::string(tag) + ": " + OneLine(message));
}

void PrintingHost::SenderToDest(const Origin& /*origin*/, std::uint16_t msg_type,
                                std::uint16_t msg_num, ByteView data) {
  out_("ROUTE " + DescribeMessage(msg_type, msg_num, data, codepage_));
}

void PrintingHost::Write_Log(std::uint32_t size, std::uint32_t over, std::uint32_t extra,
                             std::string_view name) {
  out_("FILE " + std::string(name) + " size=" + std::to_string(size) +
       " over=" + std::to_string(over) + " extra=" + std::to_string(extra));
}

StreamDecoder::StreamDecoder(const TextCodec& codepage, LineSink out,
                             const DecodeSettings& settings)
    : host_(codepage, std::move(out), settings) {
  comm_.Data.assign(TReadComm::kCapacity, 0);
}

std::size_t StreamDecoder::Append(ByteView bytes) {
  // The intake's own arithmetic, one byte of slack included.
  const auto count = static_cast<std::size_t>(comm_.Count);
  std::size_t stored = bytes.size();
  if (count + stored > TReadComm::kCapacity - 1) stored = TReadComm::kCapacity - count;
  if (stored == 0) return 0;
  std::copy_n(bytes.begin(), stored, comm_.Data.begin() + comm_.Count);
  comm_.Count += static_cast<std::int32_t>(stored);
  // One stream is one source, and a source repeating itself is always passed
  // on: the duplicate check only ever holds back what another source sent.
  while (const auto unit = CutUnit(comm_.Held())) {
    host_.Out()("UNIT " + std::to_string(unit->bytes.size()) + " bytes: " + ToHex(unit->bytes));
    handlers_.TakeUnit(*unit, Origin::TcpSource(0));
    ConsumeFront(comm_, static_cast<std::int32_t>(unit->bytes.size()));
  }
  SendDueBlock();
  return stored;
}

void StreamDecoder::DiscardHeld() {
  const ByteView held = comm_.Held();
  if (held.empty()) return;
  host_.Out()("UNPARSED " + std::to_string(held.size()) + " bytes: " + ToHex(held));
  ConsumeFront(comm_, comm_.Count);
}

void StreamDecoder::SendDueBlock() {
  // The relay sends a scheduled block from its tick once the delay is over;
  // offline there is no waiting, so the delay is shown and the block sent.
  PendingRegionBlock& pending = handlers_.Pending();
  if (pending.DueTick() <= 0) return;
  host_.Out()("PENDING due_in=" + std::to_string(pending.DueTick() - PrintingHost::kNowTick));
  handlers_.SendDueBlock(pending.DueTick());
}

}  // namespace trivane::sim
