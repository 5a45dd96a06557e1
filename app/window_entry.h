#pragma once

#include "base/file_version.h"
#include "base/text_codec.h"
#include "core/controller.h"

namespace trivane {

// Linux: a display is named, or Qt is told which platform to use. Windows:
// always.
bool CanOpenWindow();

// The desktop window over the controller, on this thread, until it has
// closed; returns the process exit code.
int RunWindowed(int argc, char** argv, const ControllerPaths& paths, const TextCodec& codepage,
                const FileVersion& version);

}  // namespace trivane
