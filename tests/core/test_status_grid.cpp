#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "base/formatting.h"
#include "core/status_grid.h"

namespace trivane {
namespace {

constexpr StatusColor kBackground = 0xF0F0F0;

TEST(StatusGrid, StatusPaintsRowTwoOfLinkColumnsOnly) {
  StatusGrid grid;
  grid.SetLineStatus(7, LineStatus::Connected);
  grid.SetLineStatus(8, LineStatus::Error);
  grid.SetLineStatus(6, LineStatus::Wait);
  grid.SetLineStatus(0, LineStatus::Error);
  EXPECT_EQ(grid.Cell(7, 2), "Connected");
  EXPECT_EQ(grid.Cell(6, 2), "Wait");
  EXPECT_EQ(grid.CellBackground(7, 2, kBackground), 0x008000u);
  EXPECT_EQ(grid.CellBackground(8, 2, kBackground), 0xFF0000u);
  EXPECT_EQ(grid.CellBackground(6, 2, kBackground), 0x808000u);
  for (const auto& [c, r] : {std::pair{6, 0}, {6, 1}, {5, 2}, {0, 2}}) {
    EXPECT_EQ(grid.CellBackground(c, r, kBackground), kBackground) << c << "," << r;
  }

  // Clearing keeps the word; data replaces it with its time on the plain background.
  grid.SetLineStatus(8, LineStatus::None);
  EXPECT_EQ(grid.Cell(8, 2), "Error");
  EXPECT_EQ(grid.CellBackground(8, 2, kBackground), kBackground);
  grid.MarkData(6, 45634.5);
  EXPECT_EQ(grid.Cell(6, 2), FDateTimeZ(45634.5));
  EXPECT_EQ(grid.Color(6), 0u);
}

TEST(StatusGrid, VisibleColumnsShareTheClientWidth) {
  StatusGrid grid;
  for (int c = 1; c < StatusGrid::kColumns; ++c) grid.MarkVisible(c, c >= 2 && c <= 5);
  grid.Resize_SGStatus();  // no width reported yet: the marks stay
  EXPECT_EQ(grid.Width(2), 1);
  grid.SetClientWidth(600);
  grid.Resize_SGStatus();
  EXPECT_EQ(grid.Width(0), 66);
  EXPECT_EQ(grid.Width(1), 0);
  for (int c = 2; c <= 5; ++c) EXPECT_EQ(grid.Width(c), 133) << c;
  EXPECT_EQ(grid.Width(8), 0);

  for (int c = 1; c < StatusGrid::kColumns; ++c) grid.MarkVisible(c, false);
  grid.Resize_SGStatus();
  for (int c = 0; c < StatusGrid::kColumns; ++c) EXPECT_EQ(grid.Width(c), c == 0 ? 66 : 0) << c;
}

TEST(StatusGrid, HintDependsOnTheColumn) {
  const std::array<std::string, 4> errors{"refused 1", "refused 2", "", "refused 4"};
  EXPECT_EQ(StatusGrid::HintFor(3, errors, "bad password"), "refused 2");
  EXPECT_EQ(StatusGrid::HintFor(5, errors, "bad password"), "refused 4");
  EXPECT_EQ(StatusGrid::HintFor(7, errors, "bad password"), "");
  EXPECT_EQ(StatusGrid::HintFor(8, errors, "bad password"), "bad password");
  for (const int c : {-1, 0, 1, 6, 9}) EXPECT_FALSE(StatusGrid::HintFor(c, errors, "x")) << c;
}

class ColumnRecorder : public StatusGridObserver {
 public:
  void ColumnChanged(int column) override { columns.push_back(column); }
  void WidthsChanged() override { ++layouts; }
  std::vector<int> columns;
  int layouts = 0;
};

TEST(StatusGrid, OutOfRangeCellsAreIgnoredAndObserversHearWhichColumnChanged) {
  StatusGrid grid;
  ColumnRecorder observer;
  grid.AddObserver(&observer);
  grid.SetCell(9, 0, "x");
  grid.SetCell(0, 3, "x");
  grid.SetLineStatus(-1, LineStatus::Error);
  grid.MarkData(9, 45634.5);
  grid.SetWidth(9, 10);
  EXPECT_TRUE(observer.columns.empty());
  EXPECT_EQ(observer.layouts, 0);
  EXPECT_EQ(grid.Cell(9, 0), "");

  grid.SetCell(2, 1, "host:9999");
  grid.SetLineStatus(7, LineStatus::Wait);
  grid.MarkData(8, 45634.5);
  EXPECT_EQ(observer.columns, (std::vector{2, 7, 8}));
  EXPECT_EQ(observer.layouts, 0);

  // Showing, hiding and sharing the width are layout changes, not cell changes.
  grid.MarkVisible(3, false);
  grid.SetClientWidth(600);
  grid.Resize_SGStatus();
  EXPECT_EQ(observer.layouts, 2);
  observer.columns.clear();
  grid.ResetColors();
  EXPECT_EQ(observer.columns.size(), static_cast<std::size_t>(StatusGrid::kColumns));

  grid.RemoveObserver(&observer);
  grid.SetCell(2, 1, "other:1");
  EXPECT_EQ(observer.columns.size(), static_cast<std::size_t>(StatusGrid::kColumns));
}

}  // namespace
}  // namespace trivane
