#pragma once

#include <chrono>

namespace trivane {

// SIGINT and SIGTERM are blocked and read from a signal descriptor: the
// front end asks TerminationRequested on its own thread and turns it into a
// close request, so nothing runs inside a signal handler. Install before any
// thread starts. SIGPIPE is ignored.
void InstallTerminationHandlers();
bool TerminationRequested();

// Sleeps until the deadline, or less when a signal arrives, so a stop request
// is seen at once however long the sleep was meant to be.
void SleepUntilDeadlineOrSignal(std::chrono::steady_clock::time_point deadline);

}  // namespace trivane
