#pragma once

#include <QAbstractTableModel>
#include <QColor>

#include "core/status_grid.h"

namespace trivane {

// The status grid as a 9 x 3 Qt table. The fixed header row and label column
// are ordinary cells here: the grid is small and their texts live in the grid.
class StatusGridModel final : public QAbstractTableModel, private StatusGridObserver {
  Q_OBJECT

 public:
  explicit StatusGridModel(StatusGrid& grid, QObject* parent = nullptr);
  ~StatusGridModel() override;

  StatusGrid& Grid() const { return grid_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  static QColor ToQColor(StatusColor color);
  static StatusColor FromQColor(const QColor& color);

 signals:
  // Columns were shown, hidden or resized in the grid.
  void widthsChanged();

 private:
  // StatusGridObserver
  void ColumnChanged(int column) override;
  void WidthsChanged() override;

  StatusGrid& grid_;
};

}  // namespace trivane
