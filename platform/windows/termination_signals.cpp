#include "platform/termination_signals.h"

#include <atomic>
#include <functional>
#include <utility>

#include "platform/windows/precise_wait.h"
#include "platform/windows/termination_event.h"

namespace trivane {
namespace {

std::atomic<bool> termination_requested{false};
std::function<void()> close_to_the_end;

HANDLE CreateTerminationEvent() {
  // Manual reset: every wait after the request ends at once.
  return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

// Runs on a thread of its own that Windows starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      RequestTermination();
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // Returning would end the process at once. The close runs on the main
      // thread, and the process ends when it returns from main (Windows ends
      // it anyway after its own time limit).
      RequestTermination();
      Sleep(INFINITE);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

HANDLE TerminationEvent() {
  static const HANDLE event = CreateTerminationEvent();
  return event;
}

void RequestTermination() {
  termination_requested = true;
  SetEvent(TerminationEvent());
}

void SetCloseToTheEnd(const std::function<void()>& close) {
  close_to_the_end = close;
}

void RunCloseToTheEnd() {
  // Once: a second end-of-session message finds the close done.
  const std::function<void()> close = std::exchange(close_to_the_end, nullptr);
  if (close) close();
}

void InstallTerminationHandlers(HangUp /*hang_up*/) {
  TerminationEvent();
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool TerminationRequested() {
  return termination_requested;
}

// Windows has no hang-up signal: the settings are read again by the dialog's
// Save only.
bool TakeReloadRequest() {
  return false;
}

void SleepUntilDeadlineOrSignal(std::chrono::steady_clock::time_point deadline) {
  WaitUntil(deadline, false);
}

}  // namespace trivane
