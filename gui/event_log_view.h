#pragma once

#include <QTableView>

#include "core/event_log.h"

class QAction;

namespace trivane {

class EventLogModel;

// SGLog: whole rows, range selection, newest on top. The log owns the column
// widths; this view reports its size to the log and applies what comes back,
// after every resize and every new entry, so "Events" takes the free width.
class EventLogView final : public QTableView {
  Q_OBJECT

 public:
  explicit EventLogView(EventLog& log, QWidget* parent = nullptr);

  EventLogModel* LogModel() const { return model_; }
  QAction* CopyAction() const { return copy_action_; }

  // SBCopyClick: the selected rows, top to bottom, onto the clipboard.
  void CopySelection();
  // Reports the viewport to the log, lets it fit the columns and applies its
  // widths; for changes the log does not announce (the "Src" width).
  void FitColumns();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // A scroll area's resize events are its viewport's, so a scroll bar that
  // comes or goes refits the columns too.
  void resizeEvent(QResizeEvent* event) override;
  // At the top the newest entry stays in sight; scrolled away, the rows in
  // sight stay where they are while new ones go on above them.
  void rowsInserted(const QModelIndex& parent, int start, int end) override;
  // An entry falling off the end takes the current row with it. Left to Qt,
  // the current row would move to the oldest entry left and the view would
  // scroll down to it, on every entry after that too.
  void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;

 private:
  void ApplyWidths();

  EventLog& log_;
  EventLogModel* model_;
  QAction* copy_action_;
};

}  // namespace trivane
