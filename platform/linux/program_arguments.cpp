#include "platform/program_arguments.h"

namespace trivane {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return {argv, argv + argc};
}

void UseUtf8Output() {}

}  // namespace trivane
