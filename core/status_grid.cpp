#include "core/status_grid.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <utility>

#include "base/formatting.h"

namespace trivane {
namespace {

constexpr int kStatusRow = 2;

StatusColor ColorOf(LineStatus status) {
  switch (status) {
    case LineStatus::Connected:
      return 0x008000;
    case LineStatus::Wait:
      return 0x808000;
    case LineStatus::Error:
      return 0xFF0000;
    default:
      return 0;
  }
}

std::string_view WordOf(LineStatus status) {
  switch (status) {
    case LineStatus::Connected:
      return "Connected";
    case LineStatus::Wait:
      return "Wait";
    case LineStatus::Error:
      return "Error";
    default:
      return {};
  }
}

bool ValidColumn(int column) {
  return column >= 0 && column < StatusGrid::kColumns;
}
bool ValidRow(int row) {
  return row >= 0 && row < StatusGrid::kRows;
}

std::size_t Index(int value) {
  return static_cast<std::size_t>(value);
}

}  // namespace

StatusGrid::StatusGrid() {
  widths_.fill(kDefaultColumnWidth);
}

std::string_view StatusGrid::Cell(int column, int row) const {
  if (!ValidColumn(column) || !ValidRow(row)) return {};
  return cells_[Index(column)][Index(row)];
}

void StatusGrid::SetCell(int column, int row, std::string text) {
  if (!ValidColumn(column) || !ValidRow(row)) return;
  cells_[Index(column)][Index(row)] = std::move(text);
  ColumnChanged(column);
}

void StatusGrid::SetLineStatus(int column, LineStatus status) {
  if (!ValidColumn(column)) return;
  colors_[Index(column)] = ColorOf(status);
  // "None" keeps the text: a data event overwrites it with the time right after.
  const std::string_view word = WordOf(status);
  if (!word.empty()) cells_[Index(column)][kStatusRow] = word;
  ColumnChanged(column);
}

void StatusGrid::MarkData(int column, TDateTime now) {
  if (!ValidColumn(column)) return;
  colors_[Index(column)] = 0;
  cells_[Index(column)][kStatusRow] = FDateTimeZ(now);
  ColumnChanged(column);
}

StatusColor StatusGrid::Color(int column) const {
  return ValidColumn(column) ? colors_[Index(column)] : 0;
}

void StatusGrid::ResetColors() {
  colors_.fill(0);
  for (int column = 0; column < kColumns; ++column) ColumnChanged(column);
}

StatusColor StatusGrid::CellBackground(int column, int row, StatusColor window_background) const {
  if (row != kStatusRow || column <= status_column::kLabels || !ValidColumn(column)) {
    return window_background;
  }
  const StatusColor color = colors_[Index(column)];
  return color != 0 ? color : window_background;
}

int StatusGrid::Width(int column) const {
  return ValidColumn(column) ? widths_[Index(column)] : 0;
}

void StatusGrid::SetWidth(int column, int width) {
  if (!ValidColumn(column)) return;
  widths_[Index(column)] = width;
  WidthsChanged();
}

void StatusGrid::MarkVisible(int column, bool visible) {
  SetWidth(column, visible ? 1 : 0);
}

void StatusGrid::SetClientWidth(int client_width) {
  client_width_ = client_width;
}

void StatusGrid::Resize_SGStatus() {
  // Without a grid on screen there is no width to share, and a share computed
  // from 0 would hide every column.
  if (client_width_ == 0) return;
  const auto visible =
      std::count_if(widths_.begin() + 1, widths_.end(), [](int width) { return width > 0; });
  const long long room = static_cast<long long>(client_width_) - widths_[0] - 1;
  const long long share = room / std::max<long long>(visible, 1);
  // A share of 0 or less hides the columns until the next layout; the window's
  // minimum width keeps that from happening on screen.
  const int width = static_cast<int>(std::clamp<long long>(share, std::numeric_limits<int>::min(),
                                                           std::numeric_limits<int>::max()));
  for (auto it = widths_.begin() + 1; it != widths_.end(); ++it) {
    if (*it > 0) *it = width;
  }
  WidthsChanged();
}

std::optional<std::string> StatusGrid::HintFor(int column,
                                               std::span<const std::string, 4> source_errors,
                                               const std::string& online_error) {
  if (column >= status_column::kFirstSource && column < status_column::kFirstSource + 4) {
    return source_errors[Index(column - status_column::kFirstSource)];
  }
  if (column == status_column::kServer) return std::string();
  if (column == status_column::kOnline) return online_error;
  return std::nullopt;
}

void StatusGrid::AddObserver(StatusGridObserver* observer) {
  if (observer != nullptr) observers_.push_back(observer);
}

void StatusGrid::RemoveObserver(StatusGridObserver* observer) {
  std::erase(observers_, observer);
}

void StatusGrid::ColumnChanged(int column) {
  for (StatusGridObserver* observer : observers_) observer->ColumnChanged(column);
}

void StatusGrid::WidthsChanged() {
  for (StatusGridObserver* observer : observers_) observer->WidthsChanged();
}

}  // namespace trivane
