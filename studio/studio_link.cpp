#include "studio/studio_link.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "links/bounded_queue.h"
#include "links/router.h"

namespace trivane {
namespace {

// As the studio's own tools and the bus's file names show a window: eight hex
// digits, so an operator can find it there.
std::string WindowName(WindowHandle window) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<std::uint32_t>(window));
  return text;
}

// "1 message", "2 oldest studio messages"; and the verb that agrees.
std::string Messages(std::size_t count, std::string_view kind = "") {
  return std::to_string(count) + " " + std::string(kind) + (count == 1 ? "message" : "messages");
}
std::string_view Were(std::size_t count) {
  return count == 1 ? "was" : "were";
}

}  // namespace

DesktopStudioLink::DesktopStudioLink(LinkHost& host, Desktop& desktop, WindowHandle main_window)
    : host_(host), desktop_(desktop), main_window_(main_window) {}

DesktopStudioLink::~DesktopStudioLink() = default;

bool DesktopStudioLink::SourceMode() const {
  return host_.Settings().SrcMode == kSrcStudio;
}

bool DesktopStudioLink::DestinationMode() const {
  return host_.Settings().HasDestination(kDstStudio) && !SourceMode();
}

void DesktopStudioLink::Studio_Init() {
  if (!channel_) {
    connected_ = false;
    channel_ = std::make_unique<TWinMSG>(desktop_, main_window_);
    channel_->OnPeerFound = [this](TWinMSG&, const TWinPeer&) { StartStudio(); };
    channel_->OnPeerLost = [this](TWinMSG&, const TWinPeer&) { ExitStudio(); };
    channel_->OnPeerHung = [this](TWinMSG&, const TWinPeer& peer) {
      host_.OutLog(-1,
                   "Studio window " + WindowName(peer.Window) +
                       " does not respond: nothing is sent to it until it does",
                   kTag);
    };
    channel_->OnPeerResponding = [this](TWinMSG&, const TWinPeer& peer) {
      host_.OutLog(-1, "Studio window " + WindowName(peer.Window) + " responds again", kTag);
    };
  }
  if (queue_) {
    Studio_List_Dispose(false);
  } else {
    queue_.emplace();
  }
}

void DesktopStudioLink::Studio_Bye() {
  if (channel_) {
    channel_->Broadcast_Command(TWinMSG::PEER_MARKER, TWinMSG::kGoodbye);
    channel_.reset();
  }
  if (queue_) Studio_List_Dispose(true);
}

MessageQueue* DesktopStudioLink::Studio_Queue() {
  if (!queue_ || SourceMode()) return nullptr;
  return &*queue_;
}

void DesktopStudioLink::Studio_List_Dispose(bool free_list) {
  queue_->clear();
  if (free_list) queue_.reset();
}

void DesktopStudioLink::StartStudio() {
  if (SourceMode()) host_.SetLineStatus(status_column::kStudioSource, LineStatus::Connected);
  if (host_.Settings().HasDestination(kDstStudio)) {
    host_.SetLineStatus(status_column::kStudioDest, LineStatus::Connected);
  }
  // A second studio joining is no new connection of the link.
  if (!connected_) {
    if (SourceMode()) host_.Metrics().CountConnect(status_column::kStudioSource);
    if (host_.Settings().HasDestination(kDstStudio)) {
      host_.Metrics().CountConnect(status_column::kStudioDest);
    }
  }
  connected_ = true;
  if (dropped_while_away_ > 0) {
    host_.OutLog(-1,
                 Messages(dropped_while_away_) + " for the studio " +
                     std::string(Were(dropped_while_away_)) + " dropped while none was connected",
                 kTag);
    dropped_while_away_ = 0;
  }
}

void DesktopStudioLink::ExitStudio() {
  connected_ = false;
  if (SourceMode()) host_.SetLineStatus(status_column::kStudioSource, LineStatus::Wait);
  if (host_.Settings().HasDestination(kDstStudio)) {
    host_.SetLineStatus(status_column::kStudioDest, LineStatus::Wait);
  }
}

std::int32_t DesktopStudioLink::ReceiveCMD(std::uint32_t message, std::uint32_t wparam,
                                           std::uint32_t lparam) {
  if (!channel_) return 0;
  const TWinMSG::Command command = channel_->Handle_Command(message, wparam, lparam);
  // A hello or goodbye changes when the next scan has work.
  host_.WakeDriver();
  if (command.is_peer_command && command.low == TWinMSG::kIdentityQuery) {
    return static_cast<std::int16_t>(host_.Settings().PID);
  }
  return 0;
}

void DesktopStudioLink::WMCOPYDATA(std::uint32_t wparam, std::uint32_t dw_data, ByteView data) {
  if (!channel_ || !SourceMode() || !queue_) return;
  const auto msg_type = static_cast<std::uint16_t>(dw_data >> 16);
  const auto msg_num = static_cast<std::uint16_t>(dw_data & 0xFFFF);
  if (channel_->Peer_Kind(static_cast<WindowHandle>(wparam)) < 0) return;
  if (msg_type != kOwnMsgType || data.size() >= 65535) return;
  host_.MarkLastData(status_column::kStudioSource);
  queue_->push_back(TCommMsg{msg_type, msg_num, Bytes(data.begin(), data.end())});
  // Where the desktop's messages come outside the driver's own wait (a window's
  // message loop), the tick must still follow at once.
  host_.WakeDriver();
}

void DesktopStudioLink::PlanWake(WakePlan& plan) {
  if (!channel_) return;
  if (const std::optional<std::int64_t> scan = channel_->NextScan()) plan.DueAt(*scan);
  if (queue_ && !queue_->empty()) plan.DueAt(host_.NowTick());
}

void DesktopStudioLink::ScanTick() {
  if (channel_) channel_->ScanTick(host_.NowTick());
}

void DesktopStudioLink::Studio_Read_Tick() {
  ScanTick();
  if (!SourceMode() || !queue_) return;
  // A studio that floods between two ticks cannot grow the queue without end.
  // The studio's one queue carries either direction; its numbers are the studio's.
  if (const std::size_t lost = DropOldestBeyond(*queue_, kMaxQueuedFrames); lost > 0) {
    host_.OutLog(-1, "Queue full: " + Messages(lost, "oldest studio ") + " dropped", kTag);
    host_.Metrics().CountDropped(status_column::kStudioDest, lost);
  }
  host_.Metrics().SetQueueDepth(status_column::kStudioDest, queue_->size());
  while (!queue_->empty()) {
    const TCommMsg message = std::move(queue_->front());
    queue_->pop_front();
    host_.Router().TakeStudioMessage(message);
  }
}

void DesktopStudioLink::Studio_Send_Tick() {
  ScanTick();
  if (!DestinationMode() || !queue_) return;
  RelayMetrics& metrics = host_.Metrics();
  metrics.SetQueueDepth(status_column::kStudioDest, queue_->size());
  while (!queue_->empty()) {
    const TCommMsg message = std::move(queue_->front());
    queue_->pop_front();
    if (!connected_ || !channel_) {
      ++dropped_while_away_;
      metrics.CountDropped(status_column::kStudioDest, 0, 1);
      continue;
    }
    const TWinMSG::Delivery delivery =
        channel_->Send_Data(0, message.MsgType, message.Data, message.MsgNum);
    host_.MarkLastData(status_column::kStudioDest);
    const std::size_t missed = delivery.missed.size();
    if (delivery.sent > 0) metrics.CountSent(status_column::kStudioDest, message.Data.size());
    // Once for every studio window that did not take it, as the log counts.
    if (missed > 0) metrics.CountUnconfirmed(status_column::kStudioDest, missed);
    for (const WindowHandle window : delivery.missed) {
      if (std::find(silent_.begin(), silent_.end(), window) != silent_.end()) continue;
      silent_.push_back(window);
      host_.OutLog(-1,
                   "The studio window " + WindowName(window) +
                       " does not answer in time: its messages go unconfirmed",
                   kTag);
    }
    undelivered_ += missed;
    if (missed == 0 && delivery.sent > 0 && undelivered_ > 0) {
      host_.OutLog(-1,
                   "The studio answers again; " + Messages(undelivered_) + " for it " +
                       std::string(Were(undelivered_)) + " not confirmed",
                   kTag);
      undelivered_ = 0;
      silent_.clear();
    }
  }
}

}  // namespace trivane
