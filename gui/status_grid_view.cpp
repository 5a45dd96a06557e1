#include "gui/status_grid_view.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <utility>

#include "gui/status_cell_delegate.h"
#include "gui/status_grid_model.h"

namespace trivane {

StatusGridView::StatusGridView(StatusGrid& grid, HintSource hint, QWidget* parent)
    : QTableView(parent),
      grid_(grid),
      hint_source_(std::move(hint)),
      model_(new StatusGridModel(grid, this)) {
  setModel(model_);
  setItemDelegate(new StatusCellDelegate(this));
  setSelectionMode(QAbstractItemView::NoSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setFocusPolicy(Qt::NoFocus);
  setShowGrid(true);
  setWordWrap(false);
  horizontalHeader()->hide();
  verticalHeader()->hide();
  horizontalHeader()->setMinimumSectionSize(0);
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(StatusGrid::kDefaultRowHeight);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The hint follows the mouse, not only the places where a tooltip came up.
  setMouseTracking(true);
  connect(model_, &StatusGridModel::widthsChanged, this, &StatusGridView::ApplyWidths);
  ApplyWidths();
}

void StatusGridView::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  grid_.SetClientWidth(viewport()->width());
  grid_.Resize_SGStatus();  // announces the widths, which ApplyWidths then takes
}

bool StatusGridView::viewportEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseMove:
      UpdateHint(static_cast<QMouseEvent*>(event)->position().toPoint());
      break;
    case QEvent::ToolTip: {
      const auto* help = static_cast<QHelpEvent*>(event);
      UpdateHint(help->pos());
      if (hint_.isEmpty()) {
        QToolTip::hideText();
      } else {
        QToolTip::showText(help->globalPos(), hint_, viewport());
      }
      return true;
    }
    default:
      break;
  }
  return QTableView::viewportEvent(event);
}

void StatusGridView::ApplyWidths() {
  for (int column = 0; column < StatusGrid::kColumns; ++column) {
    const int width = grid_.Width(column);
    setColumnHidden(column, width <= 0);
    if (width > 0 && columnWidth(column) != width) setColumnWidth(column, width);
  }
}

void StatusGridView::UpdateHint(const QPoint& viewport_pos) {
  const QModelIndex index = indexAt(viewport_pos);
  if (!index.isValid() || !hint_source_) return;
  if (std::optional<std::string> hint = hint_source_(index.column())) {
    hint_ = QString::fromStdString(*hint);
  }
}

}  // namespace trivane
