#include "core/log_line.h"

#include <string_view>

namespace trivane {
namespace {

void AppendField(std::string& line, std::string_view field) {
  for (const char c : field) {
    line.push_back(c == '\t' || c == '\r' || c == '\n' ? ' ' : c);
  }
}

}  // namespace

std::string LogEntryLine(const LogEntry& entry) {
  std::string line;
  line.reserve(entry.time.size() + entry.source.size() + entry.message.size() + entry.tag.size() +
               3);
  AppendField(line, entry.time);
  line.push_back('\t');
  AppendField(line, entry.source);
  line.push_back('\t');
  AppendField(line, entry.message);
  line.push_back('\t');
  AppendField(line, entry.tag);
  return line;
}

}  // namespace trivane
