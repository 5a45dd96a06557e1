#pragma once

#include "links/links.h"
#include "platform/system_desktop.h"
#include "studio/relay_main_window.h"

namespace trivane {

// The links this build carries: the four TCP source readers, the chain server,
// the online uplink and, when the desktop can be used, the studio link over
// the main window (main_window may be null: no studio then).
ControllerParts MakeProductionParts(LinkHost& host, Desktop* desktop, RelayMainWindow* main_window);

// The bus when the main window could be put on it, else null, said once on
// standard error: the relay then runs without its studio link.
Desktop* UsableDesktop(SystemDesktop& desktop, const RelayMainWindow& main_window);

}  // namespace trivane
