#include "tools/line_output.h"

#include <cstdio>

namespace trivane::sim {

void PrintLine(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace trivane::sim
