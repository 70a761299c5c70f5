#pragma once

#include "journal/eventrecord.h"

#include <QAbstractTableModel>
#include <QVector>

class DatabaseLog;

// The unacknowledged events of the event journal, newest first, for the journal view.
// Columns: "Номер записи", "Время", "Устройство", "Событие", "Описание", "Просмотрено"
// (record_id, param_time, device_unique_id, error_id, error_description, seen).
//
// Rows are read a page at a time (the view asks for more as it scrolls), and every page
// query is finished before it returns: no read stays open on the database, which would
// stop the write-ahead log from being checkpointed while the program writes.
class EventTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int pageSize = 256;
    // Rows kept when events are added at the top; older ones are read again on demand.
    static constexpr int maxKeptRows = 4096;

    explicit EventTableModel(DatabaseLog *log, QObject *parent = nullptr);

    // Reads the first page again. False when the query failed (the model is then empty).
    bool select();
    // New unacknowledged events, oldest first, newer than every row shown: added at the
    // top in one insertion. Acknowledged records and records not newer than the top row
    // are ignored.
    void prependRecords(const QVector<EventRecord> &records);
    EventRecord record(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool canFetchMore(const QModelIndex &parent = QModelIndex()) const override;
    void fetchMore(const QModelIndex &parent = QModelIndex()) override;

private:
    DatabaseLog *m_log;
    QVector<EventRecord> m_rows;
    bool m_more = false;
};
