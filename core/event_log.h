#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "base/date_time.h"
#include "base/severity.h"
#include "core/grid_geometry.h"

namespace trivane {

struct LogEntry {
  TDateTime time = 0;  // the moment it was logged
  int link = -1;       // 0-based TCP source, negative for none
  std::string message;
  std::string tag;  // short origin word ("UECP", "RUZoveve", ...) or empty
  Severity severity = Severity::kInformation;

  // The texts of the grid's "Time" and "Src" cells: FDateTimeZ, link + 1 or empty.
  std::string TimeText() const;
  std::string SourceText() const;
};

// Told of every change, before and after it, in the order the entries move;
// a view that keeps rows of its own binds here (Qt's begin/end rows pairs).
class EventLogObserver {
 public:
  virtual ~EventLogObserver() = default;
  // A new entry goes on top: entry 0, grid row 1.
  virtual void BeforeEntryAdded() {}
  virtual void EntryAdded(const LogEntry& /*entry*/) {}
  // The oldest entry, at `index`, falls off the bottom.
  virtual void BeforeOldestDropped(int /*index*/) {}
  virtual void OldestDropped() {}
  // A column width was set from outside the fit; the view fits again.
  virtual void WidthsChanged() {}
};

// The operator's event log: newest entry on top (grid row 1), at most 254 entries
// below the header row; the oldest falls off the bottom.
class EventLog {
 public:
  static constexpr int kMaxEntries = 254;
  static constexpr int kColumns = 4;
  static constexpr int kRowHeight = 19;
  static constexpr std::array<std::string_view, kColumns> kHeaders{"Time", "Src", "Events", "Data"};
  static constexpr std::array<int, kColumns> kInitialWidths{91, 27, 414, 97};
  static constexpr int kSourceColumn = 1;

  // The model side of OutLog: link < 0 leaves the "Src" cell empty.
  void Add(TDateTime now, int link, std::string message, std::string tag,
           Severity severity = Severity::kInformation);

  int EntryCount() const { return static_cast<int>(entries_.size()); }
  // Grid rows including the header: 2 while empty (header and one blank row).
  int RowCount() const;
  // Entry 0 is the newest; nothing past the end.
  const LogEntry* Entry(int index) const;
  // The text colour, 0x00RRGGBB, of an entry that reports a failure, so it
  // stands out among the others; 0 for the window's own.
  static constexpr std::uint32_t kErrorTextColor = 0xB00000;
  std::uint32_t TextColor(int index) const {
    const LogEntry* entry = Entry(index);
    return entry != nullptr && entry->severity == Severity::kError ? kErrorTextColor : 0;
  }
  // Row 0 is the header; a row past the entries reads as empty cells.
  std::string Cell(int column, int row) const;

  // SBCopyClick: rows top..bottom, CR between rows, TAB between cells.
  std::string CopyText(int top_row, int bottom_row) const;
  // SGLogKeyDown: Ctrl (other modifiers allowed) + key code 67 copies.
  static bool IsCopyShortcut(int key_code, bool ctrl_held);

  std::array<int, kColumns>& Widths() { return widths_; }
  // Sets one width and tells the observers, so a view on screen refits.
  void SetWidth(int column, int width);
  const std::array<int, kColumns>& Widths() const { return widths_; }

  // The front end reports its grid's size; AutoSize then widens "Events" to take
  // what the other columns leave (weights 0, 0, 100, 0).
  void SetViewport(int client_width, int client_height, int full_width);
  void AutoSize();

  void AddObserver(EventLogObserver* observer);
  void RemoveObserver(EventLogObserver* observer);

 private:
  std::deque<LogEntry> entries_;  // newest first
  std::array<int, kColumns> widths_ = kInitialWidths;
  int client_width_ = 0;
  int client_height_ = 0;
  int full_width_ = 0;
  std::vector<EventLogObserver*> observers_;
};

}  // namespace trivane
