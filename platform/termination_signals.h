#pragma once

#include <chrono>

namespace trivane {

// SIGINT and SIGTERM only raise a flag; the front end turns it into a close
// request on its own thread, so nothing runs inside a signal handler. SIGPIPE
// is ignored.
void InstallTerminationHandlers();
bool TerminationRequested();

// Sleeps until the deadline, or less when a signal arrives, so a stop request
// is seen at once however long the sleep was meant to be.
void SleepUntilDeadlineOrSignal(std::chrono::steady_clock::time_point deadline);

}  // namespace trivane
