#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace trivane {

// Log lines for connections turned away, at most one a minute for each text,
// each with how many connections it stands for. A flood from one address
// gives one line at once and one a minute while it lasts; the last minute's
// count is not lost when the flood stops.
class TurnawayLog {
 public:
  static constexpr std::int64_t kPeriodMs = 60'000;
  // Beyond this many texts within a minute the rest share one line.
  static constexpr std::size_t kMaxTexts = 256;
  static constexpr std::string_view kOthers = "Other peers refused";

  // Counts n connections for the text; the lines due now are returned.
  std::vector<std::string> Count(const std::string& text, std::uint64_t n, std::int64_t now);
  // Lines whose minute has passed with connections not yet told.
  std::vector<std::string> Due(std::int64_t now);
  // When the next of those falls due.
  std::optional<std::int64_t> NextDue() const;

 private:
  struct Entry {
    std::int64_t told_at = 0;
    std::uint64_t untold = 0;
  };

  static std::string Line(const std::string& text, std::uint64_t n);

  std::map<std::string, Entry> entries_;
};

}  // namespace trivane
