#pragma once

#include <optional>

#include "base/file_version.h"

namespace trivane {

// The file version in the running program's own version resource; nothing
// where programs carry none (Linux) or the resource cannot be read.
std::optional<FileVersion> ProgramFileVersion();

}  // namespace trivane
