#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trivane {

// A profile (ini) file kept as its original lines, so that a save rewrites only
// the keys we touch: comments, blank lines, foreign sections and keys we do not
// know stay byte for byte, each with its own line ending.
//
// Names compare case-insensitively (ASCII); blanks around names and values are
// ignored; a value wrapped in one pair of double quotes reads without them. When
// a section or key appears twice, the first one is the one that counts.
class IniFile {
 public:
  // A missing file reads as an empty one. nullopt when the path exists but
  // cannot be read (a directory, no permission): saving over it would lose
  // whatever it holds.
  static std::optional<IniFile> Load(const std::filesystem::path& path);
  static IniFile Parse(std::string_view bytes);

  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  // Changes the key's line in place, or adds it after the last non-blank line
  // of its section, or appends the section. False, and nothing changed, when a
  // name or the value would break the line structure (a line break, "=" in the
  // key, "]" in the section).
  bool Set(std::string_view section, std::string_view key, std::string_view value);

  // Removes every line of the key in the section, so no later duplicate shows
  // through on the next read.
  void Remove(std::string_view section, std::string_view key);

  std::string Bytes() const;

  // Writes a temporary file beside the target and renames it over, so a crash
  // never leaves half a file; writes in place only when no temporary file can
  // be created there.
  bool Save(const std::filesystem::path& path) const;

 private:
  struct Line {
    std::string text;
    std::string ending;  // "\r\n", "\n", or empty for a last line without one
  };
  struct SectionRange {
    std::size_t header;
    std::size_t end;  // one past the section's last line
  };

  std::optional<SectionRange> FindSection(std::string_view section) const;

  std::vector<Line> lines_;
};

}  // namespace trivane
