#include "app/headless_view.h"

#include "core/log_line.h"

namespace trivane {

void HeadlessView::EntryAdded(const LogEntry& entry) {
  std::string line = LogEntryLine(entry);
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

}  // namespace trivane
