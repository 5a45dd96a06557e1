#include "platform/executable_path.h"

#include <system_error>

namespace trivane {

std::filesystem::path ExecutablePath() {
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return path;
}

}  // namespace trivane
