#pragma once

#include "journal/exportdevice.h"
#include "journal/journalfilter.h"
#include "journal/journalquery.h"

#include <QAbstractTableModel>
#include <QPointer>

class DatabaseLog;

// The records of the whole event journal that a filter matches, newest first, read a
// page at a time as the view scrolls (fetchMore), so that ten million records cost no
// more than the rows shown. Acknowledged records are included.
class HistoryTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { TimeColumn, DeviceColumn, LocationColumn, EventColumn, ColumnCount };
    static constexpr int pageSize = 200;

    explicit HistoryTableModel(QObject *parent = nullptr);

    // The journal to read (none: empty) and what its device ids name.
    void setJournal(DatabaseLog *log, const ExportDevices &devices);
    // Reads the first page again with this filter.
    void setFilter(const JournalFilter &filter);
    const JournalFilter &filter() const { return m_filter; }
    // Reads the first page again (new records, a finished upgrade).
    void reload();
    // False while the journal cannot be searched yet (its upgrade runs) or could not be
    // read; `error` says why.
    bool isAvailable() const { return m_available; }
    QString error() const { return m_error; }
    const EventRecord &record(int row) const { return m_rows.at(row); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

signals:
    void reloaded();

private:
    QPointer<DatabaseLog> m_log;
    ExportDevices m_devices;
    JournalFilter m_filter;
    JournalQuery::Cursor m_cursor;
    QVector<EventRecord> m_rows;
    bool m_available = false;
    QString m_error;
};
