#pragma once

#include <cstdio>

namespace trivane {

// True when the stream is the service manager's journal (systemd names the
// journal's stream in JOURNAL_STREAM as "device:inode"), where a line may
// begin with its syslog priority ("<3>").
bool StreamIsJournal(std::FILE* stream);

}  // namespace trivane
