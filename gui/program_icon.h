#pragma once

#include <QIcon>

namespace trivane {

// The program's icon for the window and the tray, drawn as data/trivane.svg
// is (the desktop menu takes that file), so that no image plugin is needed.
QIcon ProgramIcon();

}  // namespace trivane
