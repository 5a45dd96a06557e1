#include "gui/status_cell_delegate.h"

#include <QBrush>
#include <QColor>
#include <QPainter>

namespace trivane {

void StatusCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
  const QRect rect = option.rect;
  painter->save();
  painter->setClipRect(rect);
  painter->fillRect(rect, index.data(Qt::BackgroundRole).value<QColor>());
  painter->setPen(index.data(Qt::ForegroundRole).value<QColor>());
  painter->setFont(option.font);
  painter->drawText(rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                    index.data(Qt::DisplayRole).toString());
  painter->restore();
}

}  // namespace trivane
