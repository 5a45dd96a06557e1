#pragma once

#include <QString>
#include <QTableView>
#include <functional>
#include <optional>
#include <string>

#include "core/status_grid.h"

namespace trivane {

class StatusGridModel;

// SGStatus: one column per link, its state painted in row 2. The visible link
// columns share the width the grid reports on every resize; the hint follows
// the mouse by column.
class StatusGridView final : public QTableView {
  Q_OBJECT

 public:
  // The hint over a column, or nothing when the hint must not change there.
  using HintSource = std::function<std::optional<std::string>(int column)>;

  StatusGridView(StatusGrid& grid, HintSource hint, QWidget* parent = nullptr);

  StatusGridModel* GridModel() const { return model_; }
  // The hint in effect: shown over the grid when it is not empty.
  const QString& Hint() const { return hint_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool viewportEvent(QEvent* event) override;

 private:
  void ApplyWidths();
  // SGStatusMouseMove: a point outside every cell leaves the hint as it is.
  void UpdateHint(const QPoint& viewport_pos);

  StatusGrid& grid_;
  HintSource hint_source_;
  StatusGridModel* model_;
  QString hint_;
};

}  // namespace trivane
