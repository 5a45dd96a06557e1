#pragma once

namespace trivane {

// What a log entry reports, said where it is made: the journal's priority,
// the window's marking and the metrics read it, never the entry's texts.
enum class Severity { kInformation, kError };

}  // namespace trivane
