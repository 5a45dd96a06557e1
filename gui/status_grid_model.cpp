#include "gui/status_grid_model.h"

#include <QGuiApplication>
#include <QPalette>

namespace trivane {

StatusGridModel::StatusGridModel(StatusGrid& grid, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid) {
  grid_.AddObserver(this);
}

StatusGridModel::~StatusGridModel() {
  grid_.RemoveObserver(this);
}

int StatusGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : StatusGrid::kRows;
}

int StatusGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : StatusGrid::kColumns;
}

QVariant StatusGridModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
  const QPalette palette = QGuiApplication::palette();
  switch (role) {
    case Qt::DisplayRole: {
      const std::string_view text = grid_.Cell(index.column(), index.row());
      return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    case Qt::BackgroundRole: {
      const StatusColor window = FromQColor(palette.color(QPalette::Window));
      return ToQColor(grid_.CellBackground(index.column(), index.row(), window));
    }
    case Qt::ForegroundRole:
      return palette.color(QPalette::WindowText);
    default:
      return {};
  }
}

Qt::ItemFlags StatusGridModel::flags(const QModelIndex& index) const {
  // Shown, never selected or edited.
  return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}

QColor StatusGridModel::ToQColor(StatusColor color) {
  return QColor(static_cast<int>((color >> 16) & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>(color & 0xFF));
}

StatusColor StatusGridModel::FromQColor(const QColor& color) {
  return (static_cast<StatusColor>(color.red()) << 16) |
         (static_cast<StatusColor>(color.green()) << 8) | static_cast<StatusColor>(color.blue());
}

void StatusGridModel::ColumnChanged(int column) {
  if (column < 0 || column >= StatusGrid::kColumns) return;
  emit dataChanged(index(0, column), index(StatusGrid::kRows - 1, column));
}

void StatusGridModel::WidthsChanged() {
  emit widthsChanged();
}

}  // namespace trivane
