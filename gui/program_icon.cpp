#include "gui/program_icon.h"

#include <QPainter>
#include <QPen>
#include <QPixmap>

namespace trivane {
namespace {

QPixmap Drawn(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 64.0, size / 64.0);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x1f, 0x5f, 0x1f));
  painter.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
  painter.setBrush(Qt::white);
  painter.drawEllipse(QPointF(16, 32), 7, 7);
  painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(22, 30), QPointF(44, 16));
  painter.drawLine(QPointF(23, 32), QPointF(44, 32));
  painter.drawLine(QPointF(22, 34), QPointF(44, 48));
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xd8, 0xd8, 0x00));
  for (const double y : {14.0, 32.0, 50.0}) painter.drawEllipse(QPointF(48, y), 5, 5);
  return pixmap;
}

}  // namespace

QIcon ProgramIcon() {
  QIcon icon;
  for (const int size : {16, 22, 32, 48, 64}) icon.addPixmap(Drawn(size));
  return icon;
}

}  // namespace trivane
