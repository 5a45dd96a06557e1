#pragma once

#include <QAbstractTableModel>

#include "core/event_log.h"

namespace trivane {

// The event log as Qt rows: row 0 is the newest entry (the log's grid row 1);
// the log's header row is the view's horizontal header. The rows move with the
// log, announced before and after each change as the log reports it.
class EventLogModel final : public QAbstractTableModel, private EventLogObserver {
  Q_OBJECT

 public:
  explicit EventLogModel(EventLog& log, QObject* parent = nullptr);
  ~EventLogModel() override;

  EventLog& Log() const { return log_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 signals:
  // The log's column widths were set from outside the fit.
  void widthsChanged();

 private:
  // EventLogObserver
  void BeforeEntryAdded() override;
  void EntryAdded(const LogEntry& entry) override;
  void BeforeOldestDropped(int index) override;
  void OldestDropped() override;
  void WidthsChanged() override;

  EventLog& log_;
};

}  // namespace trivane
