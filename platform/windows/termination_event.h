#pragma once

#include <windows.h>

namespace trivane {

// The stop requests of Windows (console events, WM_CLOSE, the end of the
// session) all land here, so that a wait for window messages can end on a
// stop as well: the event is set once a stop has been asked for.
HANDLE TerminationEvent();
void RequestTermination();
// Runs the close given to SetCloseToTheEnd, once.
void RunCloseToTheEnd();

}  // namespace trivane
