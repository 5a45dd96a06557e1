#pragma once

namespace trivane {

// The descriptor the stop and reload signals are read from, for a wait that
// must end when one comes; -1 before InstallTerminationHandlers.
int StopSignalDescriptor();

}  // namespace trivane
