#include "studio/win_msg_channel.h"

#include <algorithm>
#include <utility>

namespace trivane {
namespace {

bool ByWindow(const TWinPeer& a, const TWinPeer& b) {
  return a.Window < b.Window;
}

std::string CutClassName(std::string name) {
  if (name.size() > TWinPeer::kClassNameMax) name.resize(TWinPeer::kClassNameMax);
  return name;
}

}  // namespace

TWinMSG::TWinMSG(Desktop& desktop, WindowHandle own_window)
    : desktop_(desktop), own_window_(own_window) {}

TWinMSG::~TWinMSG() {
  OnPeerLost = nullptr;
  OnPeerFound = nullptr;
  OnPeerHung = nullptr;
  OnPeerResponding = nullptr;
}

int TWinMSG::Find_Peer(const std::vector<TWinPeer>& list, WindowHandle window) {
  const auto it = std::lower_bound(
      list.begin(), list.end(), window,
      [](const TWinPeer& peer, WindowHandle wanted) { return peer.Window < wanted; });
  if (it == list.end() || it->Window != window) return -1;
  return static_cast<int>(it - list.begin());
}

void TWinMSG::Fire(const PeerEvent& event, const TWinPeer& peer) {
  if (event) event(*this, peer);
}

void TWinMSG::ScanTick(std::int64_t now_ms) {
  if (now_ms < next_scan_ms_) return;
  next_scan_ms_ = now_ms + kScanIntervalMs;
  Scan();
}

void TWinMSG::Scan() {
  if (busy_) return;
  unanswered_.clear();  // each scan gives a silent peer one more try
  // With no peer and no hello there is nothing to compare the desktop with,
  // and a relay waiting for its studio should not read the desktop ten times
  // a second for nothing.
  if (peers_.empty() && pending_.empty()) return;
  busy_ = true;

  std::vector<TWinPeer> windows;
  for (DesktopWindow& found : desktop_.EnumWindows()) {
    TWinPeer entry;
    entry.Window = found.handle;
    entry.ClassName = CutClassName(std::move(found.class_name));
    windows.push_back(std::move(entry));
  }
  std::sort(windows.begin(), windows.end(), ByWindow);

  // Events may queue or remove peers; every step re-reads the lists.
  while (!pending_.empty()) {
    TWinPeer record = std::move(pending_.front());
    pending_.erase(pending_.begin());
    if (Find_Peer(peers_, record.Window) >= 0) continue;
    const int at = Find_Peer(windows, record.Window);
    if (at < 0) {
      Fire(OnPeerLost, record);
      continue;
    }
    record.ClassName = windows[static_cast<std::size_t>(at)].ClassName;
    record.Enabled = default_enabled_;
    const WindowHandle window = record.Window;
    peers_.push_back(std::move(record));
    std::sort(peers_.begin(), peers_.end(), ByWindow);
    const int admitted = Find_Peer(peers_, window);
    if (admitted >= 0) Fire(OnPeerFound, TWinPeer(peers_[static_cast<std::size_t>(admitted)]));
  }

  for (std::size_t i = 0; i < peers_.size();) {
    const int at = Find_Peer(windows, peers_[i].Window);
    const bool lost =
        at < 0 || windows[static_cast<std::size_t>(at)].ClassName != peers_[i].ClassName;
    if (!lost) {
      ++i;
      continue;
    }
    const TWinPeer gone = peers_[i];
    Fire(OnPeerLost, gone);
    // The event may have removed it already.
    const int still = Find_Peer(peers_, gone.Window);
    if (still >= 0) peers_.erase(peers_.begin() + still);
  }

  for (std::size_t i = 0; i < peers_.size(); ++i) {
    const std::optional<bool> hung = desktop_.IsHung(peers_[i].Window);
    if (!hung) break;  // this desktop cannot tell
    if (*hung == peers_[i].Hung) continue;
    peers_[i].Hung = *hung;
    Fire(*hung ? OnPeerHung : OnPeerResponding, TWinPeer(peers_[i]));
  }
  busy_ = false;
}

TWinMSG::Command TWinMSG::Unpack_Command(std::uint32_t lparam) {
  Command command;
  command.high = static_cast<std::uint16_t>(lparam >> 16);
  command.low = static_cast<std::uint16_t>(lparam & 0xFFFF);
  command.is_peer_command = command.high == PEER_MARKER;
  return command;
}

TWinMSG::Command TWinMSG::Handle_Command(std::uint32_t /*message*/, std::uint32_t wparam,
                                         std::uint32_t lparam) {
  const Command command = Unpack_Command(lparam);
  if (!command.is_peer_command) return command;
  const auto window = static_cast<WindowHandle>(wparam);
  if (command.low == kHello) {
    Queue_Hello(window);
  } else if (command.low != kIdentityQuery) {
    Remove_Peer(window);
  }
  return command;
}

void TWinMSG::Queue_Hello(WindowHandle window) {
  if (Find_Peer(peers_, window) >= 0) return;
  TWinPeer record;
  record.Window = window;
  pending_.push_back(std::move(record));
}

void TWinMSG::Remove_Peer(WindowHandle window) {
  for (int at = Find_Peer(peers_, window); at >= 0; at = Find_Peer(peers_, window)) {
    const TWinPeer gone = peers_[static_cast<std::size_t>(at)];
    Fire(OnPeerLost, gone);
    // The event may have removed it already.
    const int still = Find_Peer(peers_, window);
    if (still >= 0) peers_.erase(peers_.begin() + still);
  }
}

std::vector<WindowHandle> TWinMSG::Targets(
    const std::function<bool(const TWinPeer&)>& wanted) const {
  std::vector<WindowHandle> targets;
  for (const TWinPeer& peer : peers_) {
    if (peer.Enabled && wanted(peer)) targets.push_back(peer.Window);
  }
  return targets;
}

const TWinPeer* TWinMSG::Sendable(WindowHandle window) const {
  const int at = Find_Peer(peers_, window);
  if (at < 0) return nullptr;
  const TWinPeer& peer = peers_[static_cast<std::size_t>(at)];
  return peer.Enabled ? &peer : nullptr;
}

SendOutcome TWinMSG::Send_Command(WindowHandle window, std::uint16_t high, std::uint16_t low) {
  const std::uint32_t lparam = (static_cast<std::uint32_t>(high) << 16) | low;
  return desktop_.SendMessage(window, WM_PEER_CMD, static_cast<std::uint32_t>(own_window_), lparam,
                              kSendLimit);
}

void TWinMSG::Broadcast_Command(std::uint16_t high, std::uint16_t low) {
  for (const WindowHandle window : Targets([](const TWinPeer& peer) { return !peer.Hung; })) {
    const TWinPeer* peer = Sendable(window);
    if (peer == nullptr || peer->Hung) continue;
    Send_Command(window, high, low);
  }
}

TWinMSG::Delivery TWinMSG::Send_Data(std::uint32_t kind, std::uint16_t msg_type, ByteView data,
                                     std::uint16_t msg_num) {
  Delivery delivery;
  for (const WindowHandle window :
       Targets([kind](const TWinPeer& peer) { return peer.Kind == kind; })) {
    const TWinPeer* peer = Sendable(window);
    if (peer == nullptr) continue;  // left while an earlier send waited
    if (peer->Hung) {
      ++delivery.hung;
      delivery.missed.push_back(window);
      continue;
    }
    if (std::find(unanswered_.begin(), unanswered_.end(), window) != unanswered_.end()) {
      ++delivery.unanswered;
      delivery.missed.push_back(window);
      continue;
    }
    if (Send_Data_To(window, msg_type, data, msg_num).Answered()) {
      ++delivery.sent;
    } else {
      ++delivery.unanswered;
      delivery.missed.push_back(window);
      unanswered_.push_back(window);
    }
  }
  return delivery;
}

SendOutcome TWinMSG::Send_Data_To(WindowHandle window, std::uint16_t msg_type, ByteView data,
                                  std::uint16_t msg_num) {
  const std::uint32_t dw_data = (static_cast<std::uint32_t>(msg_type) << 16) | msg_num;
  return desktop_.SendCopyData(window, static_cast<std::uint32_t>(own_window_), dw_data, data,
                               kSendLimit);
}

std::int64_t TWinMSG::Peer_Kind(WindowHandle window) const {
  const int at = Find_Peer(peers_, window);
  return at < 0 ? -1 : static_cast<std::int64_t>(peers_[static_cast<std::size_t>(at)].Kind);
}

}  // namespace trivane
