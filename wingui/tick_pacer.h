#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/tick_schedule.h"

namespace trivane {

// The 10 ms tick of the window, on the headless schedule. A thread of its own
// keeps the time, with the precise wait Windows' coarse timers lack, and posts
// one message to the window when a tick is due; the window runs the tick when
// it takes that message. Every message loop takes posted messages (the
// window's own, a modal dialog's, a message box's, the loop that moves or
// sizes the window), so the ticks go on whatever loop is running, always on
// the window's thread and never inside a send: a thread waiting in a send
// takes only sent messages.
class TickPacer {
 public:
  // Posts `message` to `window` every period, from one period after this.
  TickPacer(HWND window, UINT message, TickClock::duration period);
  ~TickPacer();
  TickPacer(const TickPacer&) = delete;
  TickPacer& operator=(const TickPacer&) = delete;

  // Called by the window when it takes the message: the next one may come.
  void TickTaken() { posted_ = false; }

 private:
  void Run();

  HWND window_;
  UINT message_;
  TickClock::duration period_;
  // One message at most waits in the queue: a window busy for a while gets
  // one tick when it is free again, not a backlog.
  std::atomic<bool> posted_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace trivane
