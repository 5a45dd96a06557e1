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
  const std::string time = entry.TimeText();
  const std::string source = entry.SourceText();
  std::string line;
  line.reserve(time.size() + source.size() + entry.message.size() + entry.tag.size() + 3);
  AppendField(line, time);
  line.push_back('\t');
  AppendField(line, source);
  line.push_back('\t');
  AppendField(line, entry.message);
  line.push_back('\t');
  AppendField(line, entry.tag);
  return line;
}

}  // namespace trivane
