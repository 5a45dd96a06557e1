#pragma once

// The desktop of the system the relay is built for, a Desktop with Where()
// (what the operator is told when a window cannot be made on it).
#if defined(_WIN32)
#include "platform/windows/win32_desktop.h"
namespace trivane {
using SystemDesktop = Win32Desktop;
}
#else
#include "platform/linux/desktop_bus.h"
namespace trivane {
using SystemDesktop = DesktopBus;
}
#endif
