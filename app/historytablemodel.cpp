#include "app/historytablemodel.h"

#include "journal/databaselog.h"
#include "journal/eventcode.h"

#include <QBrush>
#include <QColor>
#include <QDebug>

HistoryTableModel::HistoryTableModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void HistoryTableModel::setJournal(DatabaseLog *log, const ExportDevices &devices)
{
    m_log = log;
    m_devices = devices;
    reload();
}

void HistoryTableModel::setFilter(const JournalFilter &filter)
{
    m_filter = filter;
    reload();
}

void HistoryTableModel::reload()
{
    beginResetModel();
    m_rows.clear();
    m_cursor = JournalQuery::Cursor();
    m_error.clear();
    m_available = m_log && m_log->isUsable() && m_log->indexesReady();
    if (m_log && !m_log->indexesReady())
        m_error = QStringLiteral("Журнал обновляется: история будет доступна после завершения.");
    if (!m_available)
        m_cursor.atEnd = true;
    endResetModel();
    if (m_available)
        fetchMore(QModelIndex());
    emit reloaded();
}

int HistoryTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int HistoryTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    const EventRecord &record = m_rows.at(index.row());
    if (role == Qt::DisplayRole) {
        const bool acknowledgement = record.code == EventCode::Acknowledged;
        const auto device = m_devices.constFind(record.deviceId);
        switch (index.column()) {
        case TimeColumn:
            return record.time;
        case DeviceColumn:
            if (acknowledgement)
                return QStringLiteral("ПК");
            return device == m_devices.constEnd() ? QStringLiteral("Неизвестное устройство")
                                                  : device->typeName;
        case LocationColumn:
            return acknowledgement || device == m_devices.constEnd() ? QString() : device->tag;
        case EventColumn:
            return EventCode::text(record.code);
        default:
            return QVariant();
        }
    }
    if (role == Qt::ForegroundRole && index.column() == EventColumn) {
        switch (EventCode::kindOf(record.code)) {
        case EventCode::Kind::Fault:
            return QBrush(QColor(192, 0, 0));
        case EventCode::Kind::Clear:
            return QBrush(QColor(0, 128, 0));
        default:
            return QVariant();
        }
    }
    if (role == Qt::UserRole)
        return record.recordId;
    return QVariant();
}

QVariant HistoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case TimeColumn:
        return QStringLiteral("Время");
    case DeviceColumn:
        return QStringLiteral("Устройство");
    case LocationColumn:
        return QStringLiteral("Местоположение");
    case EventColumn:
        return QStringLiteral("Событие");
    default:
        return QVariant();
    }
}

bool HistoryTableModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_available && !m_cursor.atEnd;
}

void HistoryTableModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent) || !m_log)
        return;
    JournalQuery query(m_log->database());
    QVector<EventRecord> page;
    QString error;
    if (!query.page(m_filter, &m_cursor, pageSize, &page, &error)) {
        m_cursor.atEnd = true;
        qDebug().noquote() << "History not read:" << error;
        m_error = QStringLiteral("Журнал не удаётся прочитать.");
        return;
    }
    if (page.isEmpty())
        return;
    beginInsertRows(QModelIndex(), m_rows.size(), m_rows.size() + page.size() - 1);
    m_rows += page;
    endInsertRows();
}
