#include <windows.h>

#include "platform/event_wait.h"

#include <winsock2.h>

#include <vector>

#include "platform/windows/precise_wait.h"

namespace trivane {

struct EventWait::State {
  SystemDesktop* desktop = nullptr;
  HANDLE wake = nullptr;       // auto-reset: one Wake ends one wait
  WSAEVENT sockets = nullptr;  // set by whichever watched socket is ready
};

EventWait::EventWait(SystemDesktop* desktop) : state_(std::make_unique<State>()) {
  state_->desktop = desktop;
  // Without them a wake-up or a socket waits for the next due time, which
  // only delays; the relay runs on.
  state_->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  state_->sockets = WSACreateEvent();
  if (state_->sockets == WSA_INVALID_EVENT) state_->sockets = nullptr;
}

EventWait::~EventWait() {
  if (state_->wake != nullptr) CloseHandle(state_->wake);
  if (state_->sockets != nullptr) WSACloseEvent(state_->sockets);
}

void EventWait::Wake() {
  if (state_->wake != nullptr) SetEvent(state_->wake);
}

void EventWait::Wait(const WakePlan& plan, std::chrono::steady_clock::time_point until) {
  std::vector<HANDLE> also;
  if (state_->wake != nullptr) also.push_back(state_->wake);
  if (state_->sockets != nullptr) {
    also.push_back(state_->sockets);
    // Selecting again records what is already there (bytes waiting, room to
    // send), so readiness from before the wait is not lost.
    for (const WakePlan::Watch& watch : plan.Sockets()) {
      const long events =
          (watch.read ? FD_READ | FD_CLOSE : 0) | (watch.write ? FD_WRITE | FD_CLOSE : 0);
      WSAEventSelect(static_cast<SOCKET>(watch.socket), state_->sockets, events);
    }
  }
  WaitUntil(until, state_->desktop != nullptr, also);
  if (state_->sockets != nullptr) {
    // The sockets go back to plain non-blocking use by the tick.
    for (const WakePlan::Watch& watch : plan.Sockets()) {
      WSAEventSelect(static_cast<SOCKET>(watch.socket), nullptr, 0);
    }
    WSAResetEvent(state_->sockets);
  }
}

}  // namespace trivane
