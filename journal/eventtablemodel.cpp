#include "journal/eventtablemodel.h"

#include "journal/databaselog.h"

#include <QDebug>

#include <algorithm>
#include <limits>

EventTableModel::EventTableModel(DatabaseLog *log, QObject *parent)
    : QAbstractTableModel(parent)
    , m_log(log)
{
}

bool EventTableModel::select()
{
    bool ok = false;
    QVector<EventRecord> rows = m_log->events(0, pageSize, true, &ok);
    beginResetModel();
    m_rows = ok ? rows : QVector<EventRecord>();
    m_more = ok && rows.size() == pageSize;
    endResetModel();
    return ok;
}

void EventTableModel::prependRecords(const QVector<EventRecord> &records)
{
    QVector<EventRecord> fresh;
    fresh.reserve(records.size());
    qint64 newest = m_rows.isEmpty() ? std::numeric_limits<qint64>::min() : m_rows.first().recordId;
    for (const EventRecord &record : records) {
        if (record.recordId > newest && record.seen == 0) {
            fresh.append(record);
            newest = record.recordId;
        }
    }
    if (fresh.isEmpty())
        return;
    std::reverse(fresh.begin(), fresh.end()); // newest first
    beginInsertRows(QModelIndex(), 0, fresh.size() - 1);
    m_rows = fresh + m_rows;
    endInsertRows();
    if (m_rows.size() > maxKeptRows) {
        beginRemoveRows(QModelIndex(), maxKeptRows, m_rows.size() - 1);
        m_rows.resize(maxKeptRows);
        endRemoveRows();
        m_more = true;
    }
}

EventRecord EventTableModel::record(int row) const
{
    return m_rows.value(row);
}

int EventTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int EventTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 6;
}

QVariant EventTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() ||
        (role != Qt::DisplayRole && role != Qt::EditRole))
        return QVariant();
    const EventRecord &row = m_rows.at(index.row());
    switch (index.column()) {
    case 0:
        return row.recordId;
    case 1:
        return row.time;
    case 2:
        return row.deviceId;
    case 3:
        return row.code;
    case 4:
        return row.description;
    case 5:
        return row.seen;
    default:
        return QVariant();
    }
}

QVariant EventTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case 0:
        return QStringLiteral("Номер записи");
    case 1:
        return QStringLiteral("Время");
    case 2:
        return QStringLiteral("Устройство");
    case 3:
        return QStringLiteral("Событие");
    case 4:
        return QStringLiteral("Описание");
    case 5:
        return QStringLiteral("Просмотрено");
    default:
        return QVariant();
    }
}

Qt::ItemFlags EventTableModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

bool EventTableModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_more;
}

void EventTableModel::fetchMore(const QModelIndex &parent)
{
    if (parent.isValid() || !m_more || m_rows.isEmpty())
        return;
    bool ok = false;
    const qint64 cursor = m_rows.last().recordId;
    const QVector<EventRecord> rows = m_log->events(cursor, pageSize, true, &ok);
    m_more = ok && rows.size() == pageSize;
    if (rows.isEmpty())
        return;
    // Every page goes on strictly below the last row: a page that does not is a fault of
    // the reading, not more events; reading stops there.
    if (rows.first().recordId >= cursor) {
        qWarning().noquote() << "journal page does not go on below record" << cursor;
        m_more = false;
        return;
    }
    beginInsertRows(QModelIndex(), m_rows.size(), m_rows.size() + rows.size() - 1);
    m_rows += rows;
    endInsertRows();
}
