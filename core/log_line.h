#pragma once

#include <string>

#include "core/event_log.h"

namespace trivane {

// One event-log entry as one text line: time TAB source TAB message TAB tag.
// TAB, CR and LF inside a field become a space, so an entry never spans lines
// and never shifts a column for whoever reads the stream.
std::string LogEntryLine(const LogEntry& entry);

}  // namespace trivane
