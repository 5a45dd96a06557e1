#include "core/app_paths.h"

namespace trivane {

std::filesystem::path IniPathFor(const std::filesystem::path& executable) {
  auto ini = executable;
  ini.replace_extension(".ini");
  return ini;
}

std::filesystem::path LogDirFor(const std::filesystem::path& executable) {
  return executable.parent_path() / "Log";
}

}  // namespace trivane
