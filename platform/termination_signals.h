#pragma once

namespace trivane {

// SIGINT and SIGTERM only raise a flag; the front end turns it into a close
// request on its own thread, so nothing runs inside a signal handler. SIGPIPE
// is ignored.
void InstallTerminationHandlers();
bool TerminationRequested();

}  // namespace trivane
