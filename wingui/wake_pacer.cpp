#include "wingui/wake_pacer.h"

#include "platform/windows/precise_wait.h"

namespace trivane {

WakePacer::WakePacer(HWND window, UINT tick_message, UINT socket_message)
    : window_(window),
      tick_message_(tick_message),
      socket_message_(socket_message),
      rearm_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      thread_([this] { Run(); }) {}

WakePacer::~WakePacer() {
  stop_ = true;
  if (rearm_ != nullptr) SetEvent(rearm_);
  thread_.join();
  for (const auto& [socket, events] : selected_) WSAAsyncSelect(socket, window_, 0, 0);
  if (rearm_ != nullptr) CloseHandle(rearm_);
}

void WakePacer::Arm(const DriverWait& wait) {
  Select(wait.plan);
  due_ = wait.until.time_since_epoch().count();
  if (rearm_ != nullptr) SetEvent(rearm_);
}

void WakePacer::Wake() {
  Post();
}

void WakePacer::Post() {
  if (!posted_.exchange(true) && !PostMessageW(window_, tick_message_, 0, 0)) posted_ = false;
}

void WakePacer::Select(const WakePlan& plan) {
  std::map<SOCKET, long> wanted;
  for (const WakePlan::Watch& watch : plan.Sockets()) {
    // A close is always worth a tick: it is how the link learns of it.
    wanted[static_cast<SOCKET>(watch.socket)] =
        FD_CLOSE | (watch.read ? FD_READ : 0) | (watch.write ? FD_WRITE : 0);
  }
  for (const auto& [socket, events] : selected_) {
    if (!wanted.contains(socket)) WSAAsyncSelect(socket, window_, 0, 0);
  }
  for (const auto& [socket, events] : wanted) {
    const auto it = selected_.find(socket);
    // Selecting again only when the events change: Windows posts again by
    // itself once a read or a send has taken what it reported.
    if (it == selected_.end() || it->second != events) {
      WSAAsyncSelect(socket, window_, socket_message_, events);
    }
  }
  selected_ = std::move(wanted);
}

void WakePacer::Run() {
  while (!stop_) {
    TickClock::rep due = due_;
    if (due == kNothingDue) {
      if (rearm_ == nullptr) return;
      WaitForSingleObject(rearm_, INFINITE);
      continue;
    }
    const TickClock::time_point until{TickClock::duration(due)};
    if (TickClock::now() < until) {
      if (rearm_ == nullptr) {
        SleepUntil(until);
      } else {
        SleepUntilOrSet(until, rearm_);
      }
      continue;  // re-read: a new due time may have come meanwhile
    }
    // Due: posted once, until the window asks for the next due time.
    if (due_.compare_exchange_strong(due, kNothingDue)) Post();
  }
}

}  // namespace trivane
