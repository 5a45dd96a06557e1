#include <windows.h>

#include "platform/program_arguments.h"
// After windows.h, which it needs.
#include <shellapi.h>

#include "platform/windows/wide_text.h"

namespace trivane {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  LocalFree(wide);
  return arguments;
}

void UseUtf8Output() {
  SetConsoleOutputCP(CP_UTF8);
}

}  // namespace trivane
