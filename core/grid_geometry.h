#pragma once

#include <cstdint>
#include <span>

namespace trivane {

// What a front end reports about one of its grids, so that column widths can be
// computed without a widget.
struct GridGeometry {
  int client_width = 0;  // inside the borders and scroll bars
  int client_height = 0;
  int full_width = 0;  // outside width, borders included
  int row_count = 0;
  int row_height = 0;
  bool horizontal_lines = true;
  bool vertical_lines = true;
};

// Columns with weight 0 keep their width; the others share what those leave, by
// percentage. widths and weights are indexed by column; extra weights are ignored.
void AutoSizeColumns(std::span<int> widths, std::span<const std::int16_t> weights,
                     const GridGeometry& grid);

}  // namespace trivane
