#include "gui/event_log_model.h"

#include <QColor>
#include <cstddef>
#include <cstdint>

namespace trivane {

EventLogModel::EventLogModel(EventLog& log, QObject* parent)
    : QAbstractTableModel(parent), log_(log) {
  log_.AddObserver(this);
}

EventLogModel::~EventLogModel() {
  log_.RemoveObserver(this);
}

int EventLogModel::rowCount(const QModelIndex& parent) const {
  // The log's blank row while it is empty is not an entry.
  return parent.isValid() ? 0 : log_.EntryCount();
}

int EventLogModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : EventLog::kColumns;
}

QVariant EventLogModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
  if (role == Qt::ForegroundRole) {
    const std::uint32_t color = log_.TextColor(index.row());
    if (color == 0) return {};
    return QColor(static_cast<int>((color >> 16) & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>(color & 0xFF));
  }
  if (role != Qt::DisplayRole) return {};
  return QString::fromStdString(log_.Cell(index.column(), index.row() + 1));
}

QVariant EventLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= EventLog::kColumns) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  const std::string_view header = EventLog::kHeaders[static_cast<std::size_t>(section)];
  return QString::fromUtf8(header.data(), static_cast<qsizetype>(header.size()));
}

void EventLogModel::BeforeEntryAdded() {
  beginInsertRows(QModelIndex(), 0, 0);
}

void EventLogModel::EntryAdded(const LogEntry& /*entry*/) {
  endInsertRows();
}

void EventLogModel::BeforeOldestDropped(int index) {
  beginRemoveRows(QModelIndex(), index, index);
}

void EventLogModel::OldestDropped() {
  endRemoveRows();
}

void EventLogModel::WidthsChanged() {
  emit widthsChanged();
}

}  // namespace trivane
