#include "gui/event_log_view.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QScrollBar>
#include <algorithm>
#include <climits>
#include <cstddef>

#include "gui/event_log_model.h"

namespace trivane {

EventLogView::EventLogView(EventLog& log, QWidget* parent)
    : QTableView(parent), log_(log), model_(new EventLogModel(log, this)) {
  setModel(model_);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(true);
  setWordWrap(false);
  // A cell too narrow for its text cuts it off, as the grid always has; the
  // time column is narrower than the time in most fonts.
  setTextElideMode(Qt::ElideNone);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setDefaultSectionSize(EventLog::kRowHeight);
  horizontalHeader()->setHighlightSections(false);
  // The log owns the widths; a dragged border would be undone by the next fit.
  horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setMinimumSectionSize(0);
  // The log's widths fill the viewport exactly; a horizontal bar would only
  // take height from the rows and flicker as the widths follow it.
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ApplyWidths();

  copy_action_ = new QAction(QStringLiteral("Copy"), this);
  copy_action_->setShortcut(QKeySequence::Copy);
  copy_action_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(copy_action_, &QAction::triggered, this, &EventLogView::CopySelection);
  addAction(copy_action_);
  setContextMenuPolicy(Qt::ActionsContextMenu);

  // The log has fitted its widths to the new row count before it reports the
  // row; the viewport may have changed since, so report it again.
  connect(model_, &QAbstractItemModel::rowsInserted, this, &EventLogView::FitColumns);
  connect(model_, &QAbstractItemModel::rowsRemoved, this, &EventLogView::FitColumns);
  connect(model_, &EventLogModel::widthsChanged, this, &EventLogView::FitColumns);
}

void EventLogView::CopySelection() {
  int top = INT_MAX;
  int bottom = -1;
  for (const QItemSelectionRange& range : selectionModel()->selection()) {
    top = std::min(top, range.top());
    bottom = std::max(bottom, range.bottom());
  }
  if (bottom < 0 && currentIndex().isValid()) top = bottom = currentIndex().row();
  // Grid row 0 is the header, so entry rows are one further down.
  const std::string text = bottom < 0 ? std::string() : log_.CopyText(top + 1, bottom + 1);
  QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

void EventLogView::FitColumns() {
  // Row 0 of the log's grid is the header, which sits above the viewport here.
  log_.SetViewport(viewport()->width(), viewport()->height() + horizontalHeader()->height(),
                   width());
  log_.AutoSize();
  ApplyWidths();
}

void EventLogView::keyPressEvent(QKeyEvent* event) {
  if (EventLog::IsCopyShortcut(event->key(), event->modifiers().testFlag(Qt::ControlModifier))) {
    CopySelection();
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

void EventLogView::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  FitColumns();
}

void EventLogView::rowsInserted(const QModelIndex& parent, int start, int end) {
  QScrollBar* bar = verticalScrollBar();
  const bool at_top = bar->value() == bar->minimum();
  QTableView::rowsInserted(parent, start, end);
  if (at_top) return;
  // The view lays its rows out later, once per burst; the scroll bar's range
  // must take the new rows now, or the step below stops at the old bottom.
  updateGeometries();
  const int rows = end - start + 1;
  const int step = verticalScrollMode() == ScrollPerItem ? 1 : EventLog::kRowHeight;
  bar->setValue(bar->value() + rows * step);
}

void EventLogView::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) {
  // Before Qt's own handler (the selection model's), which would move it.
  const QModelIndex current = currentIndex();
  if (current.isValid() && current.row() >= start && current.row() <= end) {
    selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
  }
  QTableView::rowsAboutToBeRemoved(parent, start, end);
}

void EventLogView::ApplyWidths() {
  const auto& widths = log_.Widths();
  for (int column = 0; column < EventLog::kColumns; ++column) {
    const int width = std::max(widths[static_cast<std::size_t>(column)], 0);
    if (columnWidth(column) != width) setColumnWidth(column, width);
  }
}

}  // namespace trivane
