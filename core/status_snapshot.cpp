#include "core/status_snapshot.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace trivane {

StatusSnapshot SnapshotOf(const StatusGrid& grid, const EventLog& log, const StatusHints& hints,
                          std::string caption) {
  StatusSnapshot snapshot;
  snapshot.caption = std::move(caption);
  for (int column = status_column::kStudioSource; column < StatusGrid::kColumns; ++column) {
    if (!grid.IsVisible(column)) continue;
    snapshot.columns.push_back({.column = column,
                                .title = std::string(grid.Cell(column, 0)),
                                .address = std::string(grid.Cell(column, 1)),
                                .state = std::string(grid.Cell(column, 2)),
                                .color = grid.Color(column),
                                .hint = hints ? hints(column).value_or("") : std::string()});
  }
  snapshot.log.reserve(static_cast<std::size_t>(log.EntryCount()));
  for (int index = 0; index < log.EntryCount(); ++index) {
    const LogEntry& entry = *log.Entry(index);
    snapshot.log.push_back({.time = entry.TimeText(),
                            .source = entry.SourceText(),
                            .text = entry.message,
                            .tag = entry.tag,
                            .error = entry.severity == Severity::kError});
  }
  return snapshot;
}

namespace {

// The length of the valid UTF-8 sequence at the start of text, 0 if none.
std::size_t Utf8Length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const auto follows = [&](std::size_t i) { return i < text.size() && (byte(i) & 0xC0) == 0x80; };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return follows(1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (!follows(1) || !follows(2)) return 0;
    // No overlong forms, no surrogates.
    if (lead == 0xE0 && byte(1) < 0xA0) return 0;
    if (lead == 0xED && byte(1) > 0x9F) return 0;
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (!follows(1) || !follows(2) || !follows(3)) return 0;
    if (lead == 0xF0 && byte(1) < 0x90) return 0;
    if (lead == 0xF4 && byte(1) > 0x8F) return 0;
    return 4;
  }
  return 0;
}

void AddString(std::string& out, std::string_view text) {
  out += '"';
  while (!text.empty()) {
    const std::size_t length = Utf8Length(text);
    if (length == 0) {
      out += "\\ufffd";
      text.remove_prefix(1);
      continue;
    }
    const char c = text[0];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      std::array<char, 8> escaped{};
      std::snprintf(escaped.data(), escaped.size(), "\\u%04x", static_cast<unsigned char>(c));
      out += escaped.data();
    } else {
      out.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  out += '"';
}

void AddColor(std::string& out, StatusColor color) {
  if (color == 0) {
    out += "null";
    return;
  }
  std::array<char, 10> text{};
  std::snprintf(text.data(), text.size(), "\"#%06X\"", color & 0xFFFFFFU);
  out += text.data();
}

}  // namespace

std::string StatusJson(const StatusSnapshot& snapshot) {
  std::string out = "{\"revision\":" + std::to_string(snapshot.revision) + ",\"caption\":";
  AddString(out, snapshot.caption);
  out += ",\"columns\":[";
  for (std::size_t i = 0; i < snapshot.columns.size(); ++i) {
    const StatusSnapshot::Column& column = snapshot.columns[i];
    out += i == 0 ? "{" : ",{";
    out += "\"column\":" + std::to_string(column.column) + ",\"title\":";
    AddString(out, column.title);
    out += ",\"address\":";
    AddString(out, column.address);
    out += ",\"state\":";
    AddString(out, column.state);
    out += ",\"color\":";
    AddColor(out, column.color);
    out += ",\"hint\":";
    AddString(out, column.hint);
    out += '}';
  }
  out += "],\"log\":[";
  for (std::size_t i = 0; i < snapshot.log.size(); ++i) {
    const StatusSnapshot::Line& line = snapshot.log[i];
    out += i == 0 ? "{\"time\":" : ",{\"time\":";
    AddString(out, line.time);
    out += ",\"source\":";
    AddString(out, line.source);
    out += ",\"text\":";
    AddString(out, line.text);
    out += ",\"tag\":";
    AddString(out, line.tag);
    out += line.error ? ",\"error\":true}" : ",\"error\":false}";
  }
  out += "]}";
  return out;
}

}  // namespace trivane
