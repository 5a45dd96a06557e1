#include "platform/program_version.h"

namespace trivane {

// An ELF program has no version resource: the build's own numbers stand.
std::optional<FileVersion> ProgramFileVersion() {
  return std::nullopt;
}

}  // namespace trivane
