#include "platform/windows/precise_wait.h"

#include <timeapi.h>

#include <algorithm>

#include "platform/windows/termination_event.h"

namespace trivane {
namespace {

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

HANDLE CreateDeadlineTimer() {
  HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                        TIMER_ALL_ACCESS);
  if (timer != nullptr) return timer;
  timeBeginPeriod(1);
  return CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
}

// One per thread: the tick's thread waits, and so may a tool's own thread.
HANDLE DeadlineTimer() {
  thread_local const HANDLE timer = CreateDeadlineTimer();
  return timer;
}

// Arms the thread's timer for what is left; false when no timer could be
// had (the caller then waits with a coarse timeout).
bool ArmDeadlineTimer(std::chrono::nanoseconds left) {
  // Relative due times are negative, in units of 100 ns.
  LARGE_INTEGER due{};
  due.QuadPart = -std::max<long long>(1, left.count() / 100);
  const HANDLE timer = DeadlineTimer();
  return timer != nullptr && SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
}

DWORD CoarseMilliseconds(std::chrono::nanoseconds left) {
  using namespace std::chrono;
  return static_cast<DWORD>(std::max<long long>(1, duration_cast<milliseconds>(left).count()));
}

}  // namespace

void SleepUntilOrSet(std::chrono::steady_clock::time_point deadline, HANDLE event) {
  using namespace std::chrono;
  const auto left = duration_cast<nanoseconds>(deadline - steady_clock::now());
  if (left.count() <= 0) return;
  if (!ArmDeadlineTimer(left)) {
    WaitForSingleObject(event, CoarseMilliseconds(left));
    return;
  }
  const HANDLE handles[] = {DeadlineTimer(), event};
  WaitForMultipleObjects(2, handles, FALSE, INFINITE);
  CancelWaitableTimer(DeadlineTimer());
}

void SleepUntil(std::chrono::steady_clock::time_point deadline) {
  using namespace std::chrono;
  const auto left = duration_cast<nanoseconds>(deadline - steady_clock::now());
  if (left.count() <= 0) return;
  if (!ArmDeadlineTimer(left)) {
    Sleep(CoarseMilliseconds(left));
    return;
  }
  WaitForSingleObject(DeadlineTimer(), INFINITE);
}

void WaitUntil(std::chrono::steady_clock::time_point deadline, bool wake_on_messages,
               const std::vector<HANDLE>& also) {
  using namespace std::chrono;
  const auto left = duration_cast<nanoseconds>(deadline - steady_clock::now());
  if (left.count() <= 0) return;
  std::vector<HANDLE> handles{TerminationEvent()};
  handles.insert(handles.end(), also.begin(), also.end());
  // Without a timer the coarse timeout is still better than spinning.
  DWORD timeout = CoarseMilliseconds(left);
  const bool timed = ArmDeadlineTimer(left);
  if (timed) {
    handles.push_back(DeadlineTimer());
    timeout = INFINITE;
  }
  const auto count = static_cast<DWORD>(handles.size());
  if (wake_on_messages) {
    MsgWaitForMultipleObjectsEx(count, handles.data(), timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  } else {
    WaitForMultipleObjects(count, handles.data(), FALSE, timeout);
  }
  if (timed) CancelWaitableTimer(DeadlineTimer());
}

}  // namespace trivane
