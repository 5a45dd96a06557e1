#include "core/event_log.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "base/formatting.h"

namespace trivane {

std::string LogEntry::TimeText() const {
  return FDateTimeZ(time);
}

std::string LogEntry::SourceText() const {
  return link < 0 ? std::string() : std::to_string(static_cast<std::int64_t>(link) + 1);
}

void EventLog::AddObserver(EventLogObserver* observer) {
  if (observer != nullptr) observers_.push_back(observer);
}

void EventLog::RemoveObserver(EventLogObserver* observer) {
  std::erase(observers_, observer);
}

void EventLog::Add(TDateTime now, int link, std::string message, std::string tag,
                   Severity severity) {
  for (EventLogObserver* observer : observers_) observer->BeforeEntryAdded();
  entries_.push_front(
      LogEntry{now, link < 0 ? -1 : link, std::move(message), std::move(tag), severity});
  // A new row can bring the vertical scroll bar, which narrows "Events".
  AutoSize();
  for (EventLogObserver* observer : observers_) observer->EntryAdded(entries_.front());
  if (entries_.size() <= static_cast<std::size_t>(kMaxEntries)) return;
  const int oldest = EntryCount() - 1;
  for (EventLogObserver* observer : observers_) observer->BeforeOldestDropped(oldest);
  entries_.pop_back();
  for (EventLogObserver* observer : observers_) observer->OldestDropped();
}

int EventLog::RowCount() const {
  return entries_.empty() ? 2 : EntryCount() + 1;
}

const LogEntry* EventLog::Entry(int index) const {
  if (index < 0 || index >= EntryCount()) return nullptr;
  return &entries_[static_cast<std::size_t>(index)];
}

std::string EventLog::Cell(int column, int row) const {
  if (column < 0 || column >= kColumns || row < 0 || row > EntryCount()) return {};
  if (row == 0) return std::string(kHeaders[static_cast<std::size_t>(column)]);
  const LogEntry& entry = entries_[static_cast<std::size_t>(row - 1)];
  switch (column) {
    case 0:
      return entry.TimeText();
    case 1:
      return entry.SourceText();
    case 2:
      return entry.message;
    default:
      return entry.tag;
  }
}

std::string EventLog::CopyText(int top_row, int bottom_row) const {
  top_row = std::max(top_row, 0);
  bottom_row = std::min(bottom_row, RowCount() - 1);
  std::string text;
  for (int row = top_row; row <= bottom_row; ++row) {
    // A lone CR, no LF, separates rows; nothing goes before the first.
    if (!text.empty()) text += '\r';
    for (int column = 0; column < kColumns; ++column) {
      if (column > 0) text += '\t';
      text += Cell(column, row);
    }
  }
  return text;
}

bool EventLog::IsCopyShortcut(int key_code, bool ctrl_held) {
  return ctrl_held && key_code == 67;
}

void EventLog::SetWidth(int column, int width) {
  if (column < 0 || column >= kColumns) return;
  widths_[static_cast<std::size_t>(column)] = width;
  for (EventLogObserver* observer : observers_) observer->WidthsChanged();
}

void EventLog::SetViewport(int client_width, int client_height, int full_width) {
  client_width_ = client_width;
  client_height_ = client_height;
  full_width_ = full_width;
}

void EventLog::AutoSize() {
  // Without a grid on screen there is nothing to fit.
  if (client_width_ == 0) return;
  static constexpr std::array<std::int16_t, kColumns> kWeights{0, 0, 100, 0};
  const GridGeometry grid{client_width_, client_height_, full_width_, RowCount(),
                          kRowHeight,    true,           true};
  AutoSizeColumns(widths_, kWeights, grid);
}

}  // namespace trivane
