#pragma once

#include "base/text_codec.h"
#include "core/controller.h"

namespace trivane {

// A display is named, or Qt is told which platform to use.
bool CanOpenWindow();

// The desktop window over the controller, on this thread, until it has
// closed; returns the process exit code.
int RunWindowed(int argc, char** argv, const ControllerPaths& paths, const TextCodec& codepage);

}  // namespace trivane
