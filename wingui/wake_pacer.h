#pragma once

#include <windows.h>

#include <winsock2.h>

#include <atomic>
#include <map>
#include <thread>

#include "core/relay_driver.h"

namespace trivane {

// When the window runs the relay's tick: its sockets report by window
// messages (WSAAsyncSelect), and a thread of its own keeps the next due time,
// with the precise wait Windows' coarse timers lack, and posts one message
// when it comes. Every message loop takes posted messages (the window's own,
// a modal dialog's, a message box's, the loop that moves or sizes the
// window), so the ticks go on whatever loop is running, always on the
// window's thread and never inside a send. With nothing due and nothing
// arriving, nothing is posted.
class WakePacer {
 public:
  WakePacer(HWND window, UINT tick_message, UINT socket_message);
  ~WakePacer();
  WakePacer(const WakePacer&) = delete;
  WakePacer& operator=(const WakePacer&) = delete;

  // From the window's thread after each tick: what to wait for next.
  void Arm(const DriverWait& wait);
  // From any thread: a tick soon.
  void Wake();
  // Called by the window when it takes the tick message: the next may come.
  void TickTaken() { posted_ = false; }

 private:
  void Run();
  void Post();
  void Select(const WakePlan& plan);

  static constexpr TickClock::rep kNothingDue = INT64_MAX;

  HWND window_;
  UINT tick_message_;
  UINT socket_message_;
  // One tick message at most waits in the queue: a window busy for a while
  // gets one tick when it is free again, not a backlog.
  std::atomic<bool> posted_{false};
  std::atomic<TickClock::rep> due_{kNothingDue};
  std::atomic<bool> stop_{false};
  HANDLE rearm_ = nullptr;
  std::map<SOCKET, long> selected_;
  std::thread thread_;
};

}  // namespace trivane
