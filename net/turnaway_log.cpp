#include "net/turnaway_log.h"

namespace trivane {

std::string TurnawayLog::Line(const std::string& text, std::uint64_t n) {
  return text + " (" + std::to_string(n) + (n == 1 ? " connection)" : " connections)");
}

std::vector<std::string> TurnawayLog::Count(const std::string& text, std::uint64_t n,
                                            std::int64_t now) {
  std::vector<std::string> lines = Due(now);
  const bool known = entries_.contains(text);
  const std::string key = known || entries_.size() < kMaxTexts ? text : std::string(kOthers);
  const auto [it, fresh] = entries_.try_emplace(key);
  if (fresh) {
    it->second.told_at = now;
    lines.push_back(Line(key, n));
  } else {
    it->second.untold += n;
  }
  return lines;
}

std::vector<std::string> TurnawayLog::Due(std::int64_t now) {
  std::vector<std::string> lines;
  for (auto it = entries_.begin(); it != entries_.end();) {
    Entry& entry = it->second;
    if (now - entry.told_at < kPeriodMs) {
      ++it;
    } else if (entry.untold == 0) {
      it = entries_.erase(it);  // a quiet minute: the next one is told at once
    } else {
      lines.push_back(Line(it->first, entry.untold));
      entry.told_at = now;
      entry.untold = 0;
      ++it;
    }
  }
  return lines;
}

std::optional<std::int64_t> TurnawayLog::NextDue() const {
  std::optional<std::int64_t> due;
  for (const auto& [text, entry] : entries_) {
    if (entry.untold == 0) continue;
    const std::int64_t at = entry.told_at + kPeriodMs;
    if (!due || at < *due) due = at;
  }
  return due;
}

}  // namespace trivane
