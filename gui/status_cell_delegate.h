#pragma once

#include <QStyledItemDelegate>

namespace trivane {

// Paints a status cell as the grid always has: the cell's background filled
// edge to edge, its text at two pixels from the top left, clipped to the cell.
// A style would otherwise be free to paint over the status colours.
class StatusCellDelegate final : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

}  // namespace trivane
