#pragma once

#include <windows.h>

#include <chrono>
#include <vector>

namespace trivane {

// Waits until the deadline, until the termination event is set, or (with
// wake_on_messages) until a message comes for the calling thread's windows,
// whichever is first. Windows' own timeouts move in steps of the system
// timer (15.6 ms unless raised), too coarse for deadlines 10 ms apart: the deadline
// is kept by a high-resolution waitable timer where Windows has one
// (Windows 10 1803 on), else by a waitable timer with the timer resolution
// raised to 1 ms for the life of the process.
// Any of `also` being set ends the wait too.
void WaitUntil(std::chrono::steady_clock::time_point deadline, bool wake_on_messages,
               const std::vector<HANDLE>& also = {});

// Waits for the deadline or for `event`, whichever is first, as precisely,
// and whatever else is asked: for a thread that keeps a window's due times.
void SleepUntilOrSet(std::chrono::steady_clock::time_point deadline, HANDLE event);

// Waits for the deadline alone, as precisely: for a thread that paces the
// window's ticks, which go on after a stop was asked for, to run the close.
void SleepUntil(std::chrono::steady_clock::time_point deadline);

}  // namespace trivane
