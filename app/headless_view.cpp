#include "app/headless_view.h"

#include <string_view>

#include "core/log_line.h"

namespace trivane {

namespace {

constexpr std::string_view kErrorPriority = "<3>";
constexpr std::string_view kInfoPriority = "<6>";

}  // namespace

void HeadlessView::EntryAdded(const LogEntry& entry) {
  std::string line;
  if (priorities_) line = entry.severity == Severity::kError ? kErrorPriority : kInfoPriority;
  line += LogEntryLine(entry);
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

}  // namespace trivane
