#pragma once

namespace trivane {

// The window's program started on its own (from Explorer, the Start menu or
// the Run key) was given a console of its own by Windows, which only stands
// empty beside the window: it is let go. Started from a console, the program
// keeps writing there. Nothing happens on Linux, where a program gets no
// console it did not ask for.
void LeaveOwnConsole();

}  // namespace trivane
