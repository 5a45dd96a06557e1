#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/byte_io.h"
#include "base/desktop.h"

namespace trivane {

// One studio window that announced itself.
struct TWinPeer {
  static constexpr std::size_t kClassNameMax = 252;

  bool Enabled = false;  // receives broadcasts and data
  bool Hung = false;     // last answer of the desktop's hung check
  WindowHandle Window = 0;
  std::uint32_t Id = 0;    // 0 for every announced peer
  std::uint32_t Kind = 0;  // 0 for every announced peer; data goes to kind 0
  std::string ClassName;   // as the desktop reports it, cut to kClassNameMax
};

// The window-message channel to the playout studio: admits windows that say
// hello, notices those that leave, close or change class, and sends data and
// commands to every peer.
//
//   not seen --hello--> pending --next scan, a live window--> admitted (OnPeerFound)
//                          '--next scan, no such window--> gone (OnPeerLost)
//   admitted --goodbye, window gone, or another class at its handle--> gone (OnPeerLost)
//
// A send never waits long: each has a short limit, a peer the desktop calls
// hung is not sent to until it responds again, and every send loop works from
// the handles it started with, so a peer that leaves in the middle of a loop
// (its goodbye is served while a send waits) is neither freed under the loop
// nor sent to afterwards.
class TWinMSG {
 public:
  static constexpr std::uint32_t WM_PEER_CMD = 2102;  // WM_USER + 1078, fixed
  static constexpr std::uint16_t PEER_MARKER = 0x7FFF;
  static constexpr std::uint16_t kHello = 0;
  static constexpr std::uint16_t kIdentityQuery = 0x7FFF;
  static constexpr std::uint16_t kGoodbye = 2;  // any other low half is a goodbye too
  static constexpr std::int64_t kScanIntervalMs = 100;
  // A studio that has not answered within this is given up for that send, and
  // not sent to again before the next scan: the tick must go on, and a served
  // message takes well under a millisecond. Half a tick, so that a studio that
  // stops serving costs the other links at most that, once per scan, until the
  // desktop calls it hung. The request may still be served late; it is only
  // unconfirmed.
  static constexpr std::chrono::milliseconds kSendLimit{5};

  using PeerEvent = std::function<void(TWinMSG&, const TWinPeer&)>;

  struct Command {
    bool is_peer_command = false;  // the high half is PEER_MARKER
    std::uint16_t high = 0;
    std::uint16_t low = 0;
  };

  // What became of one Send_Data: how many peers took it, how many were
  // skipped as hung, and how many gave no answer in time now or since the
  // last scan (the caller says so), and which windows the last two were.
  struct Delivery {
    int sent = 0;
    int hung = 0;
    int unanswered = 0;
    std::vector<WindowHandle> missed;  // in Peers order
  };

  // own_window goes as wParam of everything the channel sends.
  TWinMSG(Desktop& desktop, WindowHandle own_window);
  // Says no goodbye and fires no event.
  ~TWinMSG();

  TWinMSG(const TWinMSG&) = delete;
  TWinMSG& operator=(const TWinMSG&) = delete;

  // The owner's tick: a scan every kScanIntervalMs.
  void ScanTick(std::int64_t now_ms);
  void Scan();

  static Command Unpack_Command(std::uint32_t lparam);
  Command Handle_Command(std::uint32_t message, std::uint32_t wparam, std::uint32_t lparam);
  void Queue_Hello(WindowHandle window);
  void Remove_Peer(WindowHandle window);

  SendOutcome Send_Command(WindowHandle window, std::uint16_t high, std::uint16_t low);
  void Broadcast_Command(std::uint16_t high, std::uint16_t low);
  Delivery Send_Data(std::uint32_t kind, std::uint16_t msg_type, ByteView data,
                     std::uint16_t msg_num);
  SendOutcome Send_Data_To(WindowHandle window, std::uint16_t msg_type, ByteView data,
                           std::uint16_t msg_num);

  // The peer's Kind, or -1 when the window is not a peer.
  std::int64_t Peer_Kind(WindowHandle window) const;

  const std::vector<TWinPeer>& Peers() const { return peers_; }
  std::size_t PendingCount() const { return pending_.size(); }
  // When ScanTick next has work: nothing while there is no peer and no hello
  // to compare the desktop with.
  std::optional<std::int64_t> NextScan() const {
    if (peers_.empty() && pending_.empty()) return std::nullopt;
    return next_scan_ms_;
  }
  WindowHandle OwnHandle() const { return own_window_; }

  PeerEvent OnPeerLost;
  PeerEvent OnPeerFound;
  PeerEvent OnPeerHung;
  PeerEvent OnPeerResponding;

 private:
  // Index in a list sorted by Window, or -1.
  static int Find_Peer(const std::vector<TWinPeer>& list, WindowHandle window);
  void Fire(const PeerEvent& event, const TWinPeer& peer);
  // The peers a loop goes to, fixed when it starts.
  std::vector<WindowHandle> Targets(const std::function<bool(const TWinPeer&)>& wanted) const;
  // Still a peer, enabled and responding: worth a send now.
  const TWinPeer* Sendable(WindowHandle window) const;

  Desktop& desktop_;
  WindowHandle own_window_;
  bool busy_ = false;
  bool default_enabled_ = true;
  std::vector<TWinPeer> peers_;    // sorted by Window
  std::vector<TWinPeer> pending_;  // in arrival order
  // Peers that let a send run out of time; skipped until the next scan.
  std::vector<WindowHandle> unanswered_;
  std::int64_t next_scan_ms_ = 0;
};

}  // namespace trivane
