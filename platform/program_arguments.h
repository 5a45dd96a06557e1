#pragma once

#include <string>
#include <vector>

namespace trivane {

// The program's arguments in UTF-8, its name first. On Windows main's argv is
// in the ANSI code page, which cannot hold every name an operator may give.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Standard output and error take UTF-8 as it is (the Windows console is told
// so; elsewhere nothing needs doing).
void UseUtf8Output();

}  // namespace trivane
