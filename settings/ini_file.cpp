#include "settings/ini_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

#include "settings/ascii_text.h"

namespace trivane {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kLineBreak = "\r\n";

std::optional<std::string_view> SectionName(std::string_view text) {
  text = TrimBlanks(text);
  if (text.empty() || text.front() != '[') return std::nullopt;
  text.remove_prefix(1);
  return TrimBlanks(text.substr(0, text.find(']')));
}

struct KeyLine {
  std::string_view key;
  std::string_view value;
};

// A comment line needs no case of its own: its "key" starts with ";" and so
// never equals a name we look for.
std::optional<KeyLine> ParseKeyLine(std::string_view text) {
  const auto equals = text.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return KeyLine{TrimBlanks(text.substr(0, equals)), TrimBlanks(text.substr(equals + 1))};
}

bool IsQuoted(std::string_view value) {
  return value.size() >= 2 && value.front() == '"' && value.back() == '"';
}

// Quotes keep a value that would otherwise lose its outer blanks or quotes on
// the next read.
std::string EncodeValue(std::string_view value) {
  const bool needs_quotes =
      !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) || IsQuoted(value));
  if (!needs_quotes) return std::string(value);
  return '"' + std::string(value) + '"';
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

fs::path TemporaryPathBeside(const fs::path& target) {
  std::random_device seed;
  fs::path name = ".";
  name += target.filename();
  name += "." + std::to_string(seed()) + ".tmp";
  return target.parent_path() / name;
}

bool WriteInPlace(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out.is_open()) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return out.good();
}

}  // namespace

std::optional<IniFile> IniFile::Load(const fs::path& path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (status.type() == fs::file_type::not_found) return IniFile{};
  // Only a regular file: a device or a pipe at this path could block or never end.
  if (status.type() != fs::file_type::regular) return std::nullopt;

  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return std::nullopt;
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return std::nullopt;
  return Parse(bytes);
}

IniFile IniFile::Parse(std::string_view bytes) {
  IniFile file;
  while (!bytes.empty()) {
    const auto newline = bytes.find('\n');
    Line line;
    if (newline == std::string_view::npos) {
      line.text = bytes;
      bytes = {};
    } else {
      const bool crlf = newline > 0 && bytes[newline - 1] == '\r';
      const std::size_t text_end = crlf ? newline - 1 : newline;
      line.text = bytes.substr(0, text_end);
      line.ending = bytes.substr(text_end, newline + 1 - text_end);
      bytes.remove_prefix(newline + 1);
    }
    file.lines_.push_back(std::move(line));
  }
  return file;
}

std::optional<IniFile::SectionRange> IniFile::FindSection(std::string_view section) const {
  section = TrimBlanks(section);
  std::optional<SectionRange> found;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const auto name = SectionName(lines_[i].text);
    if (!name) continue;
    if (found) {
      found->end = i;
      return found;
    }
    if (EqualsIgnoreCaseAscii(*name, section)) found = SectionRange{i, lines_.size()};
  }
  return found;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  key = TrimBlanks(key);
  const auto range = FindSection(section);
  if (!range) return std::nullopt;
  for (std::size_t i = range->header + 1; i < range->end; ++i) {
    const auto line = ParseKeyLine(lines_[i].text);
    if (!line || !EqualsIgnoreCaseAscii(line->key, key)) continue;
    std::string_view value = line->value;
    if (IsQuoted(value)) value = value.substr(1, value.size() - 2);
    return std::string(value);
  }
  return std::nullopt;
}

bool IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  const std::string_view trimmed_key = TrimBlanks(key);
  const std::string_view trimmed_section = TrimBlanks(section);
  if (trimmed_key.empty() || trimmed_key.front() == '[' ||
      trimmed_key.find('=') != std::string_view::npos ||
      trimmed_section.find(']') != std::string_view::npos || HasLineBreak(section) ||
      HasLineBreak(key) || HasLineBreak(value)) {
    return false;
  }
  Line written{std::string(trimmed_key) + "=" + EncodeValue(value), std::string(kLineBreak)};

  const auto range = FindSection(trimmed_section);
  if (!range) {
    if (!lines_.empty() && lines_.back().ending.empty()) lines_.back().ending = kLineBreak;
    lines_.push_back({"[" + std::string(trimmed_section) + "]", std::string(kLineBreak)});
    lines_.push_back(std::move(written));
    return true;
  }

  std::size_t last_filled = range->header;
  for (std::size_t i = range->header + 1; i < range->end; ++i) {
    const auto line = ParseKeyLine(lines_[i].text);
    if (line && EqualsIgnoreCaseAscii(line->key, trimmed_key)) {
      lines_[i] = std::move(written);
      return true;
    }
    if (!TrimBlanks(lines_[i].text).empty()) last_filled = i;
  }
  if (lines_[last_filled].ending.empty()) lines_[last_filled].ending = kLineBreak;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(last_filled + 1), std::move(written));
  return true;
}

void IniFile::Remove(std::string_view section, std::string_view key) {
  key = TrimBlanks(key);
  const auto range = FindSection(section);
  if (!range) return;
  const auto first = lines_.begin() + static_cast<std::ptrdiff_t>(range->header + 1);
  const auto last = lines_.begin() + static_cast<std::ptrdiff_t>(range->end);
  lines_.erase(std::remove_if(first, last,
                              [key](const Line& line) {
                                const auto parsed = ParseKeyLine(line.text);
                                return parsed && EqualsIgnoreCaseAscii(parsed->key, key);
                              }),
               last);
}

std::string IniFile::Bytes() const {
  std::string bytes;
  for (const Line& line : lines_) bytes.append(line.text).append(line.ending);
  return bytes;
}

bool IniFile::Save(const fs::path& path) const {
  const std::string bytes = Bytes();
  std::error_code error;
  // Replace the file a link points to, not the link itself.
  fs::path target = path;
  if (fs::is_symlink(path, error)) {
    const fs::path resolved = fs::canonical(path, error);
    if (!error) target = resolved;
  }

  const fs::path temporary = TemporaryPathBeside(target);
  std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
  if (!out.is_open()) return WriteInPlace(target, bytes);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (out.good()) {
    const fs::file_status old_status = fs::status(target, error);
    if (!error && fs::is_regular_file(old_status)) {
      fs::permissions(temporary, old_status.permissions(), error);
    }
    fs::rename(temporary, target, error);
    if (!error) return true;
  }
  fs::remove(temporary, error);
  return false;
}

}  // namespace trivane
