#include "platform/own_console.h"

namespace trivane {

void LeaveOwnConsole() {}

}  // namespace trivane
