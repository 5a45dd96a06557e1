#include <windows.h>

#include "platform/own_console.h"

namespace trivane {

void LeaveOwnConsole() {
  // A console that lists this process alone was made for it.
  DWORD processes[2] = {};
  if (GetConsoleProcessList(processes, 2) == 1) FreeConsole();
}

}  // namespace trivane
