#pragma once

#include "journal/eventrecord.h"
#include "journal/journalfilter.h"

#include <QSqlDatabase>
#include <QString>
#include <QVector>

#include <limits>

// Pages of the event journal that match a JournalFilter, newest first (by stored time,
// then by record number), for the history view, its export and `norda-cli journal
// query`. A page continues below the last record of the previous one, so pages stay
// equally fast deep into ten million records.
//
// With indexes over the time key per device and per code, a filter on a few devices (or
// failing that, on a few codes) reads each of them along its own index and merges them;
// other filters walk the time index. A journal that has no time key yet (written by an
// older version and not opened by this one since) is read in record order instead, its
// time bounds tested against the stored text.
class JournalQuery {
public:
    struct Cursor {
        qint64 timeKey = std::numeric_limits<qint64>::max();
        qint64 recordId = std::numeric_limits<qint64>::max();
        bool atEnd = false;
    };

    // Devices or codes read one by one at most; a longer list is tested along the time
    // index instead.
    static constexpr int maxPartitions = 512;

    explicit JournalQuery(const QSqlDatabase &database);

    // Whether the journal has the time keys and their indexes (older files may not).
    bool hasTimeKey();

    // Up to `limit` events after `cursor` (which moves on; atEnd once fewer came). False
    // with `error` set when the database could not be read, or when the records did not
    // move on (a damaged file).
    bool page(const JournalFilter &filter, Cursor *cursor, int limit, QVector<EventRecord> *rows,
              QString *error = nullptr);

private:
    QString conditions(const JournalFilter &filter, const QString &partitionColumn) const;

    QSqlDatabase m_database;
    int m_hasTimeKey = -1;
};
