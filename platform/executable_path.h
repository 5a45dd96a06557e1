#pragma once

#include <filesystem>

namespace trivane {

// Full path of the running program; empty when the system cannot tell.
std::filesystem::path ExecutablePath();

}  // namespace trivane
