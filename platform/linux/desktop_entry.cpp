#include "platform/linux/desktop_entry.h"

namespace trivane {

namespace {

constexpr std::string_view kGroupHeader = "[Desktop Entry]";
// Characters that force an Exec argument into double quotes.
constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
// Characters a backslash must precede inside a quoted Exec argument.
constexpr std::string_view kQuotedEscapes = "\"`$\\";

bool Contains(std::string_view set, char c) {
  return set.find(c) != std::string_view::npos;
}

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The escapes every string value may carry: \s \n \t \r \\. Anything else after
// a backslash is kept as written.
std::string UnescapeString(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    switch (value[++i]) {
      case 's':
        out += ' ';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        out += '\\';
        out += value[i];
    }
  }
  return out;
}

std::string EscapeString(std::string_view value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string UndoublePercent(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
  }
  return out;
}

std::optional<std::string> FirstExecArgument(std::string_view exec) {
  exec = TrimSpaces(exec);
  std::string argument;
  std::size_t i = 0;
  if (!exec.empty() && exec.front() == '"') {
    bool closed = false;
    for (i = 1; i < exec.size(); ++i) {
      if (exec[i] == '"') {
        closed = true;
        break;
      }
      if (exec[i] == '\\' && i + 1 < exec.size() && Contains(kQuotedEscapes, exec[i + 1])) ++i;
      argument += exec[i];
    }
    if (!closed) return std::nullopt;
  } else {
    while (i < exec.size() && exec[i] != ' ' && exec[i] != '\t') argument += exec[i++];
  }
  if (argument.empty()) return std::nullopt;
  return UndoublePercent(argument);
}

std::string QuoteExecArgument(std::string_view program) {
  std::string doubled;
  for (char c : program) doubled += (c == '%') ? std::string("%%") : std::string(1, c);
  if (doubled.find_first_of(kReserved) == std::string::npos) return doubled;
  std::string quoted = "\"";
  for (char c : doubled) {
    if (Contains(kQuotedEscapes, c)) quoted += '\\';
    quoted += c;
  }
  return quoted + '"';
}

}  // namespace

std::optional<DesktopEntry> ParseDesktopEntry(std::string_view text) {
  bool in_group = false;
  std::optional<std::string> exec;
  bool hidden = false;
  while (!text.empty()) {
    const auto newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = TrimSpaces(line);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      // Only the first [Desktop Entry] group counts.
      if (in_group) break;
      in_group = line == kGroupHeader;
      continue;
    }
    const auto equals = line.find('=');
    if (!in_group || equals == std::string_view::npos) continue;
    const std::string_view key = TrimSpaces(line.substr(0, equals));
    const std::string_view value = TrimSpaces(line.substr(equals + 1));
    if (key == "Exec" && !exec) exec = UnescapeString(value);
    if (key == "Hidden") hidden = value == "true";
  }
  if (!exec) return std::nullopt;
  auto program = FirstExecArgument(*exec);
  if (!program) return std::nullopt;
  return DesktopEntry{std::move(*program), hidden};
}

std::string FormatDesktopEntry(std::string_view display_name, std::string_view program) {
  std::string text(kGroupHeader);
  text += "\nType=Application\nName=";
  text += EscapeString(display_name);
  text += "\nExec=";
  text += EscapeString(QuoteExecArgument(program));
  text += '\n';
  return text;
}

}  // namespace trivane
