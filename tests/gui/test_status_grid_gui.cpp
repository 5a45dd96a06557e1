#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>
#include <QToolTip>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/status_grid.h"
#include "gui/status_grid_model.h"
#include "gui/status_grid_view.h"

namespace trivane {
namespace {

constexpr int kColumn = 3;  // the second TCP source

QColor WindowBackground() {
  return QGuiApplication::palette().color(QPalette::Window);
}

std::optional<std::string> NoHint(int /*column*/) {
  return std::nullopt;
}

TEST(GuiStatusGridModel, FixedCellsAreCellsAndOnlyTheChangedColumnIsRepainted) {
  StatusGrid grid;
  StatusGridModel model(grid);
  EXPECT_EQ(model.rowCount(), 3);
  EXPECT_EQ(model.columnCount(), 9);
  grid.SetCell(0, 1, "Port/PID");
  EXPECT_EQ(model.data(model.index(1, 0)).toString(), QStringLiteral("Port/PID"));
  EXPECT_FALSE(model.flags(model.index(2, 4)).testFlag(Qt::ItemIsSelectable));
  EXPECT_FALSE(model.flags(model.index(2, 4)).testFlag(Qt::ItemIsEditable));

  std::vector<std::pair<QModelIndex, QModelIndex>> changes;
  QObject::connect(
      &model, &QAbstractItemModel::dataChanged,
      [&](const QModelIndex& from, const QModelIndex& to) { changes.emplace_back(from, to); });
  int width_changes = 0;
  QObject::connect(&model, &StatusGridModel::widthsChanged, [&] { ++width_changes; });

  grid.SetLineStatus(4, LineStatus::Error);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].first, model.index(0, 4));
  EXPECT_EQ(changes[0].second, model.index(2, 4));
  EXPECT_EQ(model.data(model.index(2, 4)).toString(), QStringLiteral("Error"));
  EXPECT_EQ(model.data(model.index(2, 4), Qt::BackgroundRole).value<QColor>(), QColor(255, 0, 0));
  EXPECT_EQ(model.data(model.index(2, 4), Qt::ForegroundRole).value<QColor>(),
            QGuiApplication::palette().color(QPalette::WindowText));
  EXPECT_EQ(width_changes, 0);

  grid.MarkVisible(5, false);
  EXPECT_EQ(width_changes, 1);
  EXPECT_EQ(changes.size(), 1u);
}

TEST(GuiStatusGridModel, ColourValuesConvertBothWays) {
  EXPECT_EQ(StatusGridModel::ToQColor(0x808000), QColor(128, 128, 0));
  EXPECT_EQ(StatusGridModel::ToQColor(0x123456), QColor(0x12, 0x34, 0x56));
  EXPECT_EQ(StatusGridModel::FromQColor(QColor(0x12, 0x34, 0x56)), 0x123456u);
}

class GuiStatusGridView : public testing::Test {
 protected:
  void Show(int viewport_width) {
    const int frame = 2 * view.frameWidth();
    view.resize(viewport_width + frame, 3 * StatusGrid::kDefaultRowHeight + frame);
    view.show();
    QApplication::processEvents();
  }
  // A pixel of the cell away from its text (drawn at the top left) and its
  // grid lines (right and bottom).
  QColor Pixel(int row, int column) {
    const QRect cell = view.visualRect(view.model()->index(row, column));
    const QPoint at = view.viewport()->mapTo(&view, cell.bottomRight() - QPoint(4, 4));
    return view.grab().toImage().pixelColor(at);
  }

  StatusGrid grid;
  StatusGridView view{grid, NoHint};
};

TEST_F(GuiStatusGridView, EachStatusPaintsItsColourInRowTwoOnly) {
  grid.SetCell(kColumn, 0, "Src IP 2");
  grid.SetCell(kColumn, 1, "10.0.0.2:7000");
  Show(600);
  const struct {
    LineStatus status;
    QColor colour;
    const char* text;
  } cases[] = {
      {LineStatus::Connected, QColor(0, 128, 0), "Connected"},
      {LineStatus::Wait, QColor(128, 128, 0), "Wait"},
      {LineStatus::Error, QColor(255, 0, 0), "Error"},
      {LineStatus::None, WindowBackground(), "Error"},  // the word stays
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.status));
    grid.SetLineStatus(kColumn, c.status);
    EXPECT_EQ(view.model()->data(view.model()->index(2, kColumn)).toString(),
              QString::fromLatin1(c.text));
    EXPECT_EQ(Pixel(2, kColumn), c.colour);
    EXPECT_EQ(Pixel(0, kColumn), WindowBackground());
    EXPECT_EQ(Pixel(1, kColumn), WindowBackground());
  }
}

TEST_F(GuiStatusGridView, TheStatusColourShowsThroughAStyleSheet) {
  view.setStyleSheet(QStringLiteral("QTableView::item { background: blue; color: white; }"));
  grid.SetLineStatus(kColumn, LineStatus::Wait);
  Show(600);
  EXPECT_EQ(Pixel(2, kColumn), QColor(128, 128, 0));
  EXPECT_EQ(Pixel(1, kColumn), WindowBackground());
}

TEST_F(GuiStatusGridView, VisibleColumnsShareTheClientWidth) {
  for (int column = 1; column < StatusGrid::kColumns; ++column) {
    grid.MarkVisible(column, column >= 2 && column <= 5);
  }
  Show(600);
  ASSERT_EQ(view.viewport()->width(), 600);
  EXPECT_EQ(view.columnWidth(0), 66);
  for (int column = 2; column <= 5; ++column) {
    EXPECT_EQ(view.columnWidth(column), (600 - 66 - 1) / 4) << column;
    EXPECT_FALSE(view.isColumnHidden(column)) << column;
  }
  for (int column : {1, 6, 7, 8}) EXPECT_TRUE(view.isColumnHidden(column)) << column;

  // A column shown later takes its share at the next resize.
  grid.MarkVisible(8, true);
  EXPECT_FALSE(view.isColumnHidden(8));
  Show(700);
  EXPECT_EQ(view.columnWidth(8), (700 - 66 - 1) / 5);
  EXPECT_EQ(view.columnWidth(2), (700 - 66 - 1) / 5);
}

TEST_F(GuiStatusGridView, WithNoVisibleColumnNothingIsResized) {
  for (int column = 1; column < StatusGrid::kColumns; ++column) grid.MarkVisible(column, false);
  Show(600);
  EXPECT_EQ(view.columnWidth(0), 66);
  for (int column = 1; column < StatusGrid::kColumns; ++column) {
    EXPECT_EQ(grid.Width(column), 0) << column;
    EXPECT_TRUE(view.isColumnHidden(column)) << column;
  }
}

class GuiStatusGridHint : public testing::Test {
 protected:
  GuiStatusGridHint() {
    view.resize(9 * 66 + 2 * view.frameWidth(), 3 * 20 + 2 * view.frameWidth());
    view.show();
    QApplication::processEvents();
  }
  QPoint Over(int column) const { return view.visualRect(view.model()->index(1, column)).center(); }
  void MoveTo(int column) {
    QMouseEvent move(QEvent::MouseMove, Over(column), view.viewport()->mapToGlobal(Over(column)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &move);
  }
  void AskTooltip(int column) {
    QHelpEvent help(QEvent::ToolTip, Over(column), view.viewport()->mapToGlobal(Over(column)));
    QApplication::sendEvent(view.viewport(), &help);
  }

  // As the controller answers: the sources' and the uplink's errors, none
  // over the server, and nothing to change elsewhere.
  static std::optional<std::string> Hint(int column) {
    if (column >= 2 && column <= 5) return "source " + std::to_string(column - 1) + " refused";
    if (column == 7) return std::string();
    if (column == 8) return std::string("log-in failed");
    return std::nullopt;
  }

  StatusGrid grid;
  StatusGridView view{grid, Hint};
};

TEST_F(GuiStatusGridHint, TheHintFollowsTheColumnAndStaysWhereThereIsNone) {
  MoveTo(3);
  EXPECT_EQ(view.Hint(), QStringLiteral("source 2 refused"));
  for (int column : {0, 1, 6}) {
    MoveTo(column);
    EXPECT_EQ(view.Hint(), QStringLiteral("source 2 refused")) << column;
  }
  MoveTo(8);
  EXPECT_EQ(view.Hint(), QStringLiteral("log-in failed"));
  MoveTo(7);
  EXPECT_EQ(view.Hint(), QString());
  MoveTo(6);
  EXPECT_EQ(view.Hint(), QString());
}

TEST_F(GuiStatusGridHint, ATooltipShowsTheHintOnlyWhenItIsNotEmpty) {
  AskTooltip(5);
  EXPECT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text(), QStringLiteral("source 4 refused"));
  AskTooltip(1);  // keeps the hint of column 5
  EXPECT_EQ(QToolTip::text(), QStringLiteral("source 4 refused"));
  AskTooltip(7);
  // The tip fades out rather than vanishing on the spot.
  QElapsedTimer waited;
  waited.start();
  while (QToolTip::isVisible() && waited.elapsed() < 2000) {
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  EXPECT_FALSE(QToolTip::isVisible());
}

}  // namespace
}  // namespace trivane
