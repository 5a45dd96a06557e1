#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/date_time.h"
#include "links/line_status.h"

namespace trivane {

// 0x00RRGGBB; 0 means "no colour, use the window background".
using StatusColor = std::uint32_t;

// Told after each change, by column, so a view repaints only what changed.
class StatusGridObserver {
 public:
  virtual ~StatusGridObserver() = default;
  // A cell text or the colour of this column.
  virtual void ColumnChanged(int /*column*/) {}
  // Columns shown, hidden or resized.
  virtual void WidthsChanged() {}
};

// The status grid: 9 columns x 3 rows (header, "Port/PID", "Last data"), one
// colour per link column, column widths and the per-column hints.
class StatusGrid {
 public:
  static constexpr int kColumns = 9;
  static constexpr int kRows = 3;
  static constexpr int kDefaultColumnWidth = 66;
  static constexpr int kDefaultRowHeight = 20;

  StatusGrid();

  std::string_view Cell(int column, int row) const;
  void SetCell(int column, int row, std::string text);

  // Codes above None also write their word ("Connected", "Wait", "Error") to row 2.
  void SetLineStatus(int column, LineStatus status);
  // A data event: clears the colour and shows the time of the data in row 2.
  void MarkData(int column, TDateTime now);

  StatusColor Color(int column) const;
  void ResetColors();
  // SGStatusDrawCell's choice: row 2 of a link column takes the status colour,
  // every other cell (and a column without colour) the window background.
  StatusColor CellBackground(int column, int row, StatusColor window_background) const;

  int Width(int column) const;
  void SetWidth(int column, int width);
  void MarkVisible(int column, bool visible);  // width 1 or 0 until Resize_SGStatus
  bool IsVisible(int column) const { return Width(column) > 0; }
  void SetClientWidth(int client_width);
  // Visible link columns share the client width equally; column 0 keeps its width.
  // Nothing changes until a client width has been reported.
  void Resize_SGStatus();

  // SGStatusMouseMove: the hint for a column, or nothing when the hint must not
  // change. source_errors are the TCP source slots' ErrText, online_error the
  // uplink's.
  static std::optional<std::string> HintFor(int column,
                                            std::span<const std::string, 4> source_errors,
                                            const std::string& online_error);

  void AddObserver(StatusGridObserver* observer);
  void RemoveObserver(StatusGridObserver* observer);

 private:
  void ColumnChanged(int column);
  void WidthsChanged();

  std::array<std::array<std::string, kRows>, kColumns> cells_;
  std::array<StatusColor, kColumns> colors_{};
  std::array<int, kColumns> widths_;
  int client_width_ = 0;
  std::vector<StatusGridObserver*> observers_;
};

}  // namespace trivane
