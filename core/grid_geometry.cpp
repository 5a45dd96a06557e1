#include "core/grid_geometry.h"

#include <algorithm>
#include <cstddef>
#include <limits>

namespace trivane {
namespace {

int ClampToInt(long long value) {
  return static_cast<int>(std::clamp<long long>(value, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

}  // namespace

void AutoSizeColumns(std::span<int> widths, std::span<const std::int16_t> weights,
                     const GridGeometry& grid) {
  const long long total_height =
      static_cast<long long>(grid.row_count) * (grid.row_height + (grid.horizontal_lines ? 1 : 0));
  const long long line_width = grid.vertical_lines ? 1 : 0;
  // While every row fits there is no vertical scroll bar, so the client width
  // understates what the columns may take.
  long long available = grid.client_height < total_height
                            ? grid.client_width
                            : static_cast<long long>(grid.full_width) - 1;

  const std::size_t columns = std::min(widths.size(), weights.size());
  for (std::size_t c = 0; c < columns; ++c) {
    if (weights[c] == 0) available -= widths[c] + line_width;
  }
  for (std::size_t c = 0; c < columns; ++c) {
    if (weights[c] != 0) widths[c] = ClampToInt(weights[c] * available / 100 - line_width);
  }
}

}  // namespace trivane
