#pragma once

#include <string>

#include "core/controller.h"

namespace trivane {

// Runs the controller on this thread, ticking on data and at its due times,
// until it has closed; returns the process exit code.
// metrics_address: where to serve the metrics, or empty for none.
int RunHeadless(const ControllerPaths& paths, const TextCodec& codepage,
                const std::string& metrics_address, const FileVersion& version);

}  // namespace trivane
