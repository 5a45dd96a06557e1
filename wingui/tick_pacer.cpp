#include "wingui/tick_pacer.h"

#include "platform/windows/precise_wait.h"

namespace trivane {

TickPacer::TickPacer(HWND window, UINT message, TickClock::duration period)
    : window_(window), message_(message), period_(period), thread_([this] { Run(); }) {}

TickPacer::~TickPacer() {
  stop_ = true;
  thread_.join();
}

void TickPacer::Run() {
  auto due = TickClock::now() + period_;
  while (!stop_) {
    // One period asleep at most, so the destructor never waits long.
    SleepUntil(due);
    if (stop_) break;
    if (!posted_.exchange(true) && !PostMessageW(window_, message_, 0, 0)) posted_ = false;
    due = NextTickDue(due, TickClock::now(), period_);
  }
}

}  // namespace trivane
