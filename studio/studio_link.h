#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "base/desktop.h"
#include "links/link_host.h"
#include "links/links.h"
#include "studio/win_msg_channel.h"

namespace trivane {

// The playout studio as source (SrcMode 0: its messages are queued as they
// arrive and handed to the studio handlers on the next tick) or as
// destination (DstMode bit 1: routed messages go to every studio peer on the
// next tick). The main window forwards its two channel messages here.
//
//   stopped --Init--> running, no studio ("Wait") --peer found--> studio present ("Connected")
//   studio present --a peer lost--> running, no studio; any --Bye--> goodbye to all, stopped
//
// With no studio present, outgoing messages are dropped (the studio wants
// fresh commands, not a backlog), and the log says how many when it comes
// back. A studio that does not answer is not waited for; what it misses is
// counted and said in the log when it answers again.
class DesktopStudioLink final : public StudioLink {
 public:
  static constexpr std::string_view kTag = "ZUDovivi";

  // main_window: the relay's own window, wParam of everything it sends.
  DesktopStudioLink(LinkHost& host, Desktop& desktop, WindowHandle main_window);
  ~DesktopStudioLink() override;

  DesktopStudioLink(const DesktopStudioLink&) = delete;
  DesktopStudioLink& operator=(const DesktopStudioLink&) = delete;

  void Studio_Init() override;
  void Studio_Bye() override;
  void Studio_Read_Tick() override;
  void Studio_Send_Tick() override;
  // Null while stopped, and while the studio is the source: with both
  // directions asked for, what the handlers route must not come back into
  // the queue that the read tick drains.
  MessageQueue* Studio_Queue() override;
  void PlanWake(WakePlan& plan) override;

  // WM_PEER_CMD on the main window; returns the message's result.
  std::int32_t ReceiveCMD(std::uint32_t message, std::uint32_t wparam, std::uint32_t lparam);
  // WM_COPYDATA on the main window; only queues a copy.
  void WMCOPYDATA(std::uint32_t wparam, std::uint32_t dw_data, ByteView data);

  bool Studio_Connected() const { return connected_; }
  TWinMSG* Channel() { return channel_.get(); }

 private:
  void StartStudio();
  void ExitStudio();
  void Studio_List_Dispose(bool free_list);
  void ScanTick();
  bool SourceMode() const;
  bool DestinationMode() const;

  LinkHost& host_;
  Desktop& desktop_;
  WindowHandle main_window_;
  bool connected_ = false;
  std::unique_ptr<TWinMSG> channel_;
  std::optional<MessageQueue> queue_;
  // Messages dropped since the studio left, said once when one comes back.
  std::size_t dropped_while_away_ = 0;
  // Messages a present studio did not take (hung or no answer in time), once
  // for every window that did not, until all answer again; and the windows
  // already named in the log meanwhile.
  std::size_t undelivered_ = 0;
  std::vector<WindowHandle> silent_;
};

}  // namespace trivane
