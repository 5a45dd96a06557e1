#pragma once

#include "core/controller.h"

namespace trivane {

// Runs the controller on this thread with a 10 ms tick until it has closed;
// returns the process exit code.
int RunHeadless(const ControllerPaths& paths, const TextCodec& codepage);

}  // namespace trivane
