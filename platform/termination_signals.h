#pragma once

#include <chrono>
#include <functional>

namespace trivane {

// What SIGHUP asks of the program: to stop like SIGINT and SIGTERM (a tool on
// a terminal that goes away), or to read its settings again (the relay).
enum class HangUp { kStops, kReloads };

// SIGINT, SIGTERM and SIGHUP are blocked and read from a signal descriptor:
// the front end asks on its own thread and turns them into a close or a
// reload, so nothing runs inside a signal handler. Install before any thread
// starts. SIGPIPE is ignored.
void InstallTerminationHandlers(HangUp hang_up = HangUp::kStops);
bool TerminationRequested();
// True once for each SIGHUP that has come (several before one ask count once).
bool TakeReloadRequest();

// Where the system ends the program as soon as one of its calls returns (on
// Windows, WM_ENDSESSION at the end of the session), the front end's whole
// close runs inside that call; elsewhere it is never called. Null removes it.
void SetCloseToTheEnd(const std::function<void()>& close);

// Sleeps until the deadline, or less when a signal arrives, so a stop request
// is seen at once however long the sleep was meant to be.
void SleepUntilDeadlineOrSignal(std::chrono::steady_clock::time_point deadline);

}  // namespace trivane
